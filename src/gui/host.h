// What the main window needs from the application around it.
#pragma once

#include "platform/shell.h"

namespace gui {

using platform::WindowHandle;

class Host {
public:
    // Handles every window message waiting in the queue, then returns.
    virtual void ProcessMessages() = 0;
    // The shell's open operation: starts `file` (a program, document or web
    // address) with `params`, owned by `owner`, shown or hidden, no working
    // directory, without waiting. Failures are the shell's own business.
    virtual void ShellOpen(WindowHandle owner, const char16_t* file, const char16_t* params,
                           bool hidden) = 0;

protected:
    ~Host() = default;
};

}  // namespace gui
