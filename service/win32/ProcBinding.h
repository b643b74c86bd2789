// Platform functions bound by library and function name at their first call.
//
// A slot remembers the resolved address, so later calls cost one atomic load.
// Slots are constant-initialized statics: nothing runs when the library loads.
// The system libraries loaded here stay loaded for the life of the process,
// as they would with static imports.
#pragma once

#include <atomic>

#include "service/win32/WinHeaders.h"

namespace quillvane::win32 {

struct BoundLibrary {
  const char* strName;
  std::atomic<HMODULE> hModule{nullptr};
};

struct BoundFunction {
  BoundLibrary& objLibrary;
  const char* strName;
  std::atomic<FARPROC> lpProc{nullptr};
};

// The address of the slot's function, loading its library on first use.
// Throws RuntimeError 48 when the library cannot be loaded and 453 when it
// lacks the entry point; a failed lookup is retried on the next call.
FARPROC Resolve(BoundFunction& objFunction);

template <typename Fn>
Fn Bound(BoundFunction& objFunction) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(Resolve(objFunction)));
}

}  // namespace quillvane::win32
