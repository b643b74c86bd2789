// The objects a replacement DLL gave out and has not yet taken back, owned
// here until then. A pointer or handle the DLL did not give is refused
// rather than trusted, as the system DLLs refuse a bad handle. Safe from any
// thread.
#pragma once

#include <memory>
#include <new>
#include <set>

#include "win32kit/WinHeaders.h"

namespace vdrawer {

template <typename T>
class LiveSet {
 public:
  // Takes `object` (made with new); false, with the object deleted, when
  // there is no memory to keep it.
  bool Add(T* object) noexcept {
    std::unique_ptr<T> owned(object);
    AcquireSRWLockExclusive(&mLock);
    bool added = false;
    try {
      added = mObjects.insert(object).second;
    } catch (const std::bad_alloc&) {
    }
    ReleaseSRWLockExclusive(&mLock);
    if (added) owned.release();
    return added;
  }
  // The live object `handle` names, or null.
  T* Find(const void* handle) {
    AcquireSRWLockShared(&mLock);
    const auto found = mObjects.find(static_cast<T*>(const_cast<void*>(handle)));
    T* object = found == mObjects.end() ? nullptr : *found;
    ReleaseSRWLockShared(&mLock);
    return object;
  }
  // Deletes the live object `handle` names; false when it names none.
  bool Destroy(const void* handle) {
    AcquireSRWLockExclusive(&mLock);
    const auto found = mObjects.find(static_cast<T*>(const_cast<void*>(handle)));
    T* object = nullptr;
    if (found != mObjects.end()) {
      object = *found;
      mObjects.erase(found);
    }
    ReleaseSRWLockExclusive(&mLock);
    delete object;
    return object != nullptr;
  }

 private:
  SRWLOCK mLock = SRWLOCK_INIT;
  std::set<T*> mObjects;
};

}  // namespace vdrawer
