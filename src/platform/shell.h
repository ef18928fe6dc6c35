// The system's shell.
#pragma once

namespace platform {

using WindowHandle = void*;  // a native window, opaque to portable code

// The shell's open operation: starts `file` (a program, document or web
// address) with `params`, owned by `owner`, shown or hidden, no working
// directory, without waiting. Failures are the shell's own business.
void ShellOpen(WindowHandle owner, const char16_t* file, const char16_t* params, bool hidden);

}  // namespace platform
