#include "gui/memory/toolkit_memory.h"

#include <algorithm>
#include <filesystem>

namespace gui {
MemoryToolkit::MemoryToolkit() = default;
MemoryToolkit::~MemoryToolkit() = default;

MemoryToolkit::MemoryTimer::~MemoryTimer() {
    auto& list = kit.timers_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void MemoryToolkit::ProcessMessages() {
    ++pumps;
    if (onPump) onPump(pumps);
    Deliver();
}

void MemoryToolkit::Deliver() {
    // As a message loop does, deliver also what arrives during delivery.
    while (!queue_.empty()) {
        auto message = std::move(queue_.front());
        queue_.pop_front();
        Guarded(message);
    }
}

Launched MemoryToolkit::ShellOpen(WindowHandle, const char16_t* file, const char16_t* params,
                                  bool hidden) {
    launches.push_back({file, params, hidden});
    return onLaunch ? onLaunch(launches.back()) : Launched{true, 0, 0, 0};
}

bool MemoryToolkit::ProcessEnded(intptr_t process, uint32_t& exitCode) {
    const auto found = ended.find(process);
    if (found == ended.end()) return false;
    exitCode = found->second;
    return true;
}

void MemoryToolkit::ReleaseProcess(intptr_t process) {
    released.push_back(process);
}

bool MemoryToolkit::TrayIconNotify(WindowHandle owner, uint32_t id, std::u16string_view tip,
                                   std::u16string_view title, std::u16string_view text) {
    const auto found = trayIcons.find({owner, id});
    if (found == trayIcons.end()) return false;
    found->second = tip;
    tips.emplace_back(tip);
    if (!title.empty()) balloons.push_back(std::u16string(title) + u": " + std::u16string(text));
    return true;
}

std::unique_ptr<Timer> MemoryToolkit::CreateTimer(Window&, std::function<void()> onTimer) {
    auto timer = std::make_unique<MemoryTimer>(*this, std::move(onTimer));
    timers_.push_back(timer.get());
    return timer;
}

int MemoryToolkit::MessageBox(std::u16string_view text, std::u16string_view caption,
                              uint32_t flags) {
    const Box box{std::u16string(text), std::u16string(caption), flags};
    boxes.push_back(box);
    if (onBox) onBox(box);
    Deliver();
    return nextAnswer;
}

bool MemoryToolkit::TrayIconAdd(WindowHandle owner, uint32_t id, IconHandle icon,
                                std::u16string_view tip) {
    ++trayAdds;
    bool added = trayWorks && !trayIcons.count({owner, id});
    if (added) trayIcons[{owner, id}] = std::u16string(tip.substr(0, 127));
    if (icon && icon != &appIcon_) destroyedIcons.push_back(icon);
    return added;
}

bool MemoryToolkit::TrayIconDelete(WindowHandle owner, uint32_t id) {
    ++trayDeletes;
    return trayIcons.erase({owner, id}) > 0;
}

bool MemoryToolkit::SpecialFolder(int csidl, std::u16string& path) {
    auto found = specialFolders.find(csidl);
    if (found == specialFolders.end()) return false;
    path = found->second;
    return true;
}

void MemoryToolkit::Post(const Window& window, uint32_t message, intptr_t lparam) {
    WindowEvents* target = &dynamic_cast<const memory::FormState&>(window).events;
    queue_.push_back([target, message, lparam] { target->OnUserMessage(message, lparam); });
}

void MemoryToolkit::PostTick(const Timer& timer) {
    auto* target = static_cast<const MemoryTimer*>(&timer);
    queue_.push_back([this, target] {
        // A timer that was stopped or destroyed meanwhile sends nothing.
        if (std::find(timers_.begin(), timers_.end(), target) != timers_.end() && target->enabled)
            target->onTimer();
    });
}

void MemoryToolkit::FireTimers() {
    std::vector<MemoryTimer*> due;
    for (MemoryTimer* t : timers_)
        if (t->enabled) due.push_back(t);
    for (MemoryTimer* t : due)
        if (std::find(timers_.begin(), timers_.end(), t) != timers_.end() && t->enabled)
            Guarded(t->onTimer);
}

std::unique_ptr<Form> MemoryToolkit::CreateForm(WindowEvents& events, const FormDesign& design) {
    auto form = std::make_unique<memory::FormState>(events, design, onModal);
    forms.push_back(form.get());
    return form;
}

bool MemoryToolkit::SelectDirectory(Window&, std::u16string_view start, std::u16string& chosen) {
    chooserStarts.emplace_back(start);
    return chooseDirectory && chooseDirectory(start, chosen);
}

bool MemoryToolkit::DirectoryExists(std::u16string_view path) {
    std::u16string native(path);
#ifndef _WIN32
    std::replace(native.begin(), native.end(), u'\\', u'/');
#endif
    std::error_code ignored;
    return !native.empty() && std::filesystem::is_directory(std::filesystem::path(native), ignored);
}

uint32_t MemoryToolkit::SetErrorMode(uint32_t mode) {
    errorModes.push_back(mode);
    return std::exchange(errorMode, mode);
}

}  // namespace gui
