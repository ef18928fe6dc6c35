// The in-memory toolkit: windows, timers and the notification area as plain
// data, for the native tests. Tests fire timers, queue messages for the next
// ProcessMessages and look at what the program did. Never part of the product.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <utility>

#include "gui/controls.h"
#include "gui/memory/forms_memory.h"
#include "gui/toolkit.h"

namespace gui {

class MemoryToolkit final : public Toolkit, public FormToolkit {
  public:
    struct Box {
        std::u16string text, caption;
        uint32_t flags;
    };
    struct Launch {
        std::u16string file, params;
        bool hidden;
    };
    struct MemoryTimer;

    MemoryToolkit();
    ~MemoryToolkit();

    // Host
    void ProcessMessages() override;
    Launched ShellOpen(WindowHandle owner, const char16_t* file, const char16_t* params,
                       bool hidden) override;
    bool ProcessEnded(intptr_t process, uint32_t& exitCode) override;
    void ReleaseProcess(intptr_t process) override;

    // Toolkit
    std::unique_ptr<Timer> CreateTimer(Window& owner, std::function<void()> onTimer) override;
    int MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t flags) override;
    IconHandle ApplicationIcon() override { return &appIcon_; }
    bool TrayIconAdd(WindowHandle owner, uint32_t id, IconHandle icon,
                     std::u16string_view tip) override;
    bool TrayIconDelete(WindowHandle owner, uint32_t id) override;
    bool TrayIconNotify(WindowHandle owner, uint32_t id, std::u16string_view tip,
                        std::u16string_view title, std::u16string_view text) override;
    std::vector<std::u16string> Arguments() override { return arguments; }
    std::u16string ProgramFile() override { return programFile; }
    bool SpecialFolder(int csidl, std::u16string& path) override;
    FormToolkit& Forms() override { return *this; }

    // FormToolkit
    std::unique_ptr<Form> CreateForm(WindowEvents& events, const FormDesign& design) override;
    bool SelectDirectory(Window& owner, std::u16string_view start, std::u16string& chosen) override;
    bool DirectoryExists(std::u16string_view path) override;
    uint32_t SetErrorMode(uint32_t mode) override;
    void Beep() override { ++beeps; }
    SettingsStore& Settings() override { return settings; }
    int PixelsPerInch() override { return pixelsPerInch; }
    void ScreenSize(int& width, int& height) override {
        width = screenWidth, height = screenHeight;
    }
    std::vector<uint8_t> ResourceData(int id) override { return resources[id]; }

    // What a test drives.
    // Queues a message for the window; the next ProcessMessages delivers it.
    void Post(const Window& window, uint32_t message, intptr_t lparam) override;
    // Delivers what is queued, as the message loop does between two events.
    void Deliver();
    // What each launch starts; without it, each starts with no process.
    std::function<Launched(const Launch&)> onLaunch;
    // The exit codes of the processes that have ended, and those let go of.
    std::map<intptr_t, uint32_t> ended;
    std::vector<intptr_t> released;
    // Each tip set, and each balloon shown as "title: text".
    std::vector<std::u16string> tips, balloons;
    // Queues a tick of the timer, delivered like a message.
    void PostTick(const Timer& timer);
    // Fires every enabled timer once, as the message loop would.
    void FireTimers();
    // Runs on every ProcessMessages, before the queue is delivered; gets the
    // number of the pump, counting from 1.
    std::function<void(int)> onPump;
    // Runs while a message box is open; what it posts is delivered before the
    // box closes, as by the box's own message loop.
    std::function<void(const Box&)> onBox;

    // What a test looks at.
    int pumps = 0;
    std::vector<Launch> launches;
    std::vector<Box> boxes;
    int nextAnswer = 1;  // what the next message box returns (IDOK)
    std::map<std::pair<WindowHandle, uint32_t>, std::u16string> trayIcons;
    int trayAdds = 0, trayDeletes = 0;
    bool trayWorks = true;  // false: the shell has no notification area
    std::vector<IconHandle> destroyedIcons;
    std::vector<std::u16string> arguments;
    std::u16string programFile = u"C:\\Program Files\\Valmorin\\Valmorin.exe";
    std::map<int, std::u16string> specialFolders;  // missing: not located

    // Forms: every one made, and the script that acts in a modal one.
    std::vector<memory::FormState*> forms;
    std::function<void(memory::FormState&)> onModal;
    // The select-directory dialog: gets the start folder, returns false for
    // Cancel; without a script it is cancelled.
    std::function<bool(std::u16string_view start, std::u16string& chosen)> chooseDirectory;
    std::vector<std::u16string> chooserStarts;
    std::vector<uint32_t> errorModes;  // every mode set, in order
    uint32_t errorMode = 0;
    int beeps = 0;
    memory::MemorySettings settings;
    int pixelsPerInch = 96;
    int screenWidth = 1920, screenHeight = 1080;
    std::map<int, std::vector<uint8_t>> resources;

  private:
    std::deque<std::function<void()>> queue_;
    std::vector<MemoryTimer*> timers_;
    int appIcon_ = 0;
};

// The state behind the toolkit's objects, for tests that look inside.
struct MemoryToolkit::MemoryTimer final : Timer {
    MemoryTimer(MemoryToolkit& kit, std::function<void()> onTimer)
        : kit(kit), onTimer(std::move(onTimer)) {}
    ~MemoryTimer() override;
    void SetEnabled(bool on) override { enabled = on; }
    bool Enabled() const override { return enabled; }
    void SetInterval(uint32_t ms) override {
        if (enabled && ms != interval) ++restarts;
        interval = ms;
    }
    uint32_t Interval() const override { return interval; }

    MemoryToolkit& kit;
    std::function<void()> onTimer;
    bool enabled = false;
    uint32_t interval = 1000;
    int restarts = 0;
};

}  // namespace gui
