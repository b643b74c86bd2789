// Owners for platform handles, each closed by its own platform operation and
// empty at its own "no handle" value. Close() closes at most once and returns
// the platform's answer, so a handle is never used or closed a second time.
#pragma once

#include <cstdint>
#include <utility>

#include "service/ApiDeclarations.h"

namespace quillvane {

template <std::int32_t (ApiDeclarations::*CloseOperation)(Handle), Handle kEmpty>
class UniquePlatformHandle {
 public:
  UniquePlatformHandle() = default;
  // Takes ownership of `value`; an empty value owns nothing.
  UniquePlatformHandle(ApiDeclarations& api, Handle value)
      : mApi(value == kEmpty ? nullptr : &api), mValue(value) {}
  ~UniquePlatformHandle() {
    try {
      Close();
    } catch (...) {
      // A close that cannot even be bound has nothing left to undo.
    }
  }

  UniquePlatformHandle(const UniquePlatformHandle&) = delete;
  UniquePlatformHandle& operator=(const UniquePlatformHandle&) = delete;
  UniquePlatformHandle(UniquePlatformHandle&& other) noexcept
      : mApi(std::exchange(other.mApi, nullptr)), mValue(std::exchange(other.mValue, kEmpty)) {}
  UniquePlatformHandle& operator=(UniquePlatformHandle&& other) noexcept {
    if (this != &other) {
      Close();
      mApi = std::exchange(other.mApi, nullptr);
      mValue = std::exchange(other.mValue, kEmpty);
    }
    return *this;
  }

  bool IsOpen() const { return mValue != kEmpty; }
  Handle Get() const { return mValue; }

  // Closes the handle if it is open and leaves the owner empty. Gives the
  // close operation's result, or 0 when there was nothing to close. A close
  // that throws (a missing platform function) still leaves the owner empty.
  std::int32_t Close() {
    if (mValue == kEmpty) return 0;
    ApiDeclarations* api = std::exchange(mApi, nullptr);
    Handle value = std::exchange(mValue, kEmpty);
    return (api->*CloseOperation)(value);
  }

 private:
  ApiDeclarations* mApi = nullptr;
  Handle mValue = kEmpty;
};

using UniqueFileHandle = UniquePlatformHandle<&ApiDeclarations::CloseHandle, kInvalidHandleValue>;
using UniqueEventHandle = UniquePlatformHandle<&ApiDeclarations::CloseHandle, 0>;
using UniqueRegKey = UniquePlatformHandle<&ApiDeclarations::RegCloseKey, 0>;
using UniqueDeviceInfoList =
    UniquePlatformHandle<&ApiDeclarations::SetupDiDestroyDeviceInfoList, kInvalidHandleValue>;
using UniquePreparsedData = UniquePlatformHandle<&ApiDeclarations::HidD_FreePreparsedData, 0>;
using UniqueFindHandle = UniquePlatformHandle<&ApiDeclarations::FindClose, kInvalidHandleValue>;

}  // namespace quillvane
