// The system's shell, and the processes it starts.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using WindowHandle = void*;  // a native window, opaque to portable code

// What an open operation started.
struct Launched {
    bool started = false;
    uint32_t error = 0;    // the system's code when nothing started
    intptr_t process = 0;  // to ask for its end; 0 when there is none (a
                           // document handed to a program already running)
    uint32_t pid = 0;
};

// The shell's open operation: starts `file` (a program, document or web
// address) with `params`, owned by `owner`, shown or hidden, no working
// directory, without waiting and without the shell's error boxes.
Launched ShellOpen(WindowHandle owner, const char16_t* file, const char16_t* params, bool hidden);

// Whether a started process has ended, and its exit code; never waits.
bool ProcessEnded(intptr_t process, uint32_t& exitCode);
// Lets go of a process, ended or not.
void ReleaseProcess(intptr_t process);

// The system's text for an error code, without a line break at its end.
std::u16string ErrorText(uint32_t error);

}  // namespace platform
