// The toolkit on Win32: the one the product runs on. Windows code only.
#pragma once

#include <windows.h>

#include <array>
// windows.h maps MessageBox to MessageBoxW, which would rename the toolkit's
// member in every file that sees both; including windows.h first here keeps
// the macro away whatever order a file includes them in.
#undef MessageBox

#include <cstdint>
#include <functional>
#include <string_view>

#include "gui/controls.h"
#include "gui/toolkit.h"

namespace gui {

// The icon resources of the button glyphs, indexed by Glyph (0: none). The
// program names its own pictures at start-up, before any window is made.
using GlyphResources = std::array<int, static_cast<size_t>(Glyph::Globe) + 1>;
void SetGlyphResources(const GlyphResources& ids);

class Win32Toolkit final : public Toolkit, public FormToolkit {
  public:
    Win32Toolkit();
    ~Win32Toolkit();
    Win32Toolkit(const Win32Toolkit&) = delete;
    Win32Toolkit& operator=(const Win32Toolkit&) = delete;

    // The program's message loop: runs until WM_QUIT and returns its exit code.
    int Run();

    // Host
    void ProcessMessages() override;
    Launched ShellOpen(WindowHandle owner, const char16_t* file, const char16_t* params,
                       bool hidden) override;
    bool ProcessEnded(intptr_t process, uint32_t& exitCode) override;
    void ReleaseProcess(intptr_t process) override;

    // Toolkit
    // An interval of 0 keeps an enabled timer silent instead of letting it
    // fire as often as Windows allows.
    std::unique_ptr<Timer> CreateTimer(Window& owner, std::function<void()> onTimer) override;
    int MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t flags) override;
    IconHandle ApplicationIcon() override;
    bool TrayIconAdd(WindowHandle owner, uint32_t id, IconHandle icon,
                     std::u16string_view tip) override;
    bool TrayIconDelete(WindowHandle owner, uint32_t id) override;
    bool TrayIconNotify(WindowHandle owner, uint32_t id, std::u16string_view tip,
                        std::u16string_view title, std::u16string_view text) override;
    void Post(const Window& window, uint32_t message, intptr_t lparam) override;
    std::vector<std::u16string> Arguments() override;
    std::u16string ProgramFile() override;
    bool SpecialFolder(int csidl, std::u16string& path) override;
    FormToolkit& Forms() override { return *this; }

    // FormToolkit
    std::unique_ptr<Form> CreateForm(WindowEvents& events, const FormDesign& design) override;
    bool SelectDirectory(Window& owner, std::u16string_view start, std::u16string& chosen) override;
    bool DirectoryExists(std::u16string_view path) override;
    uint32_t SetErrorMode(uint32_t mode) override;
    void Beep() override;
    SettingsStore& Settings() override;
    int PixelsPerInch() override;
    void ScreenSize(int& width, int& height) override;
    std::vector<uint8_t> ResourceData(int id) override;

    // When set, message boxes come here instead of onto the screen, and what
    // it returns is the button pressed: tests cannot answer a modal box.
    std::function<int(std::u16string_view text, std::u16string_view caption, uint32_t flags)>
        messageBoxHook;
    // When set, the select-directory dialog comes here instead.
    std::function<bool(std::u16string_view start, std::u16string& chosen)> selectDirectoryHook;

  private:
    std::unique_ptr<SettingsStore> settings_;
};

// The per-user settings in the registry, below HKEY_CURRENT_USER.
std::unique_ptr<SettingsStore> CreateRegistrySettings();

}  // namespace gui
