// Platform functions bound by library and function name at their first call.
//
// A slot remembers the resolved address, so later calls cost one atomic load.
// Slots are constant-initialized statics: nothing runs when the library loads.
// The system libraries loaded here stay loaded for the life of the process,
// as they would with static imports.
//
// Libraries are loaded by full path from the system folder, so a DLL of the
// same name beside the host program, or anywhere else on the search path,
// never takes their place. The one way around that is the virtual drawer's
// development switch: when
//   HKEY_CURRENT_USER\Software\quillvane\VirtualDrawer
// holds a nonzero REG_DWORD value named by the host program's full path, the
// libraries marked kDevelopmentSwitch are loaded by the ordinary search,
// which looks in the program's folder first. The switch is read once per
// process, at the first load of such a library; without the value it is off.
#pragma once

#include <atomic>

#include "win32kit/WinHeaders.h"

namespace quillvane::win32 {

enum class LibrarySearch : unsigned char {
  kSystemFolder,       // always the system folder's copy
  kDevelopmentSwitch,  // the program folder's copy first, when the switch is on
};

struct BoundLibrary {
  const char* strName;  // ASCII file name, e.g. "hid.dll"
  LibrarySearch enmSearch = LibrarySearch::kSystemFolder;
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
