// The objects a replacement DLL gave out and has not yet taken back. A
// pointer or handle the DLL did not give is refused rather than trusted,
// as the system DLLs refuse a bad handle. Safe from any thread.
#pragma once

#include <set>

#include "win32kit/WinHeaders.h"

namespace vdrawer {

class LiveSet {
 public:
  bool Contains(const void* object) {
    AcquireSRWLockShared(&mLock);
    const bool live = mObjects.count(object) != 0;
    ReleaseSRWLockShared(&mLock);
    return live;
  }
  void Add(const void* object) {
    AcquireSRWLockExclusive(&mLock);
    mObjects.insert(object);
    ReleaseSRWLockExclusive(&mLock);
  }
  // True when the object was live (and is no longer).
  bool Remove(const void* object) {
    AcquireSRWLockExclusive(&mLock);
    const bool removed = mObjects.erase(object) != 0;
    ReleaseSRWLockExclusive(&mLock);
    return removed;
  }

 private:
  SRWLOCK mLock = SRWLOCK_INIT;
  std::set<const void*> mObjects;
};

}  // namespace vdrawer
