// What the main window needs from the application around it.
#pragma once

#include "platform/shell.h"

namespace gui {

using platform::Launched;
using platform::WindowHandle;

class Host {
  public:
    // Handles every window message waiting in the queue, then returns.
    virtual void ProcessMessages() = 0;
    // The shell's open operation: starts `file` (a program, document or web
    // address) with `params`, owned by `owner`, shown or hidden, no working
    // directory, without waiting and without the shell's error boxes.
    virtual Launched ShellOpen(WindowHandle owner, const char16_t* file, const char16_t* params,
                               bool hidden) = 0;
    // Whether a process it started has ended, and its exit code; never waits.
    virtual bool ProcessEnded(intptr_t process, uint32_t& exitCode) = 0;
    virtual void ReleaseProcess(intptr_t process) = 0;

  protected:
    ~Host() = default;
};

}  // namespace gui
