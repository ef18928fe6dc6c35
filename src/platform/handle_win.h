// A kernel object handle closed with the object. Windows code only.
#pragma once

#include <windows.h>

namespace platform::win {

class KernelHandle {
  public:
    explicit KernelHandle(HANDLE handle)
        : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~KernelHandle() {
        if (handle_) CloseHandle(handle_);
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

  private:
    HANDLE handle_;
};

}  // namespace platform::win
