// An owner for one kernel handle (file, pipe, event, process, mutex): closes
// it exactly once, moves without leaking. A file or pipe handle is empty at
// INVALID_HANDLE_VALUE, the others at NULL; both count as empty here.
#pragma once

#include <utility>

#include "virtual-drawer/win/WinHeaders.h"

namespace vdrawer {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : mHandle(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : mHandle(std::exchange(other.mHandle, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      mHandle = std::exchange(other.mHandle, nullptr);
    }
    return *this;
  }

  HANDLE Get() const { return mHandle; }
  bool IsOpen() const { return mHandle != nullptr && mHandle != INVALID_HANDLE_VALUE; }
  void Reset(HANDLE handle = nullptr) {
    HANDLE old = std::exchange(mHandle, handle);
    if (old != nullptr && old != INVALID_HANDLE_VALUE) ::CloseHandle(old);
  }
  HANDLE Release() { return std::exchange(mHandle, nullptr); }

 private:
  HANDLE mHandle = nullptr;
};

}  // namespace vdrawer
