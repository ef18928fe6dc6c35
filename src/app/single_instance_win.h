// One Valmorin per user and Windows session.
#pragma once

#include <windows.h>

#include "platform/handle_win.h"

namespace app {

// Holds a mutex named for the user in the session's namespace for as long as
// the object lives: two programs watching one list would launch every new
// file twice and both write the list. Other users and sessions have names
// of their own.
class SingleInstance {
  public:
    SingleInstance();
    // This program is the one: no other Valmorin of this user runs in this
    // session.
    bool Owned() const { return owned_; }
    // Waits up to `patience` for the other program to end, as one closed
    // by the setup program does, and takes its place.
    bool Claim(DWORD patience);

  private:
    platform::win::KernelHandle mutex_;
    bool owned_ = false;
};

// Brings the running program's main window to the front where it shows; a
// window hidden behind the notification icon stays hidden. Waits up to
// `patience` for a program that is still starting to make its window; false
// when there is none.
bool HandOver(const wchar_t* caption, DWORD patience);

}  // namespace app
