// The system's shell.
#pragma once

#include "platform/host.h"

namespace platform {

// See Host::ShellOpen.
void ShellOpen(WindowHandle owner, const char16_t* file, const char16_t* params, bool hidden);

}  // namespace platform
