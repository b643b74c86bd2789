#include "win32kit/ProcessResources.h"

#include <vector>

#include "win32kit/WinHeaders.h"

namespace win32kit {
namespace {

// The system handle table as ntdll gives it (information class 16).
struct HandleEntry {
  ULONG ProcessId;
  UCHAR ObjectTypeNumber;
  UCHAR Flags;
  USHORT Handle;
  PVOID Object;
  ACCESS_MASK GrantedAccess;
};
struct HandleTable {
  ULONG Count;
  HandleEntry Handles[1];
};
using QueryFunction = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

}  // namespace

std::size_t CountProcessHandles() {
  auto lpQuery = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!lpQuery) return 0;
  std::vector<unsigned char> bytBuffer(1 << 16);
  for (;;) {
    ULONG lngNeeded = 0;
    const LONG lngStatus = lpQuery(kSystemHandleInformation, bytBuffer.data(),
                                   static_cast<ULONG>(bytBuffer.size()), &lngNeeded);
    if (lngStatus == kStatusInfoLengthMismatch) {
      bytBuffer.resize(lngNeeded > bytBuffer.size() ? lngNeeded + 4096 : bytBuffer.size() * 2);
      continue;
    }
    if (lngStatus < 0) return 0;
    break;
  }
  const auto* lpTable = reinterpret_cast<const HandleTable*>(bytBuffer.data());
  const ULONG lngSelf = ::GetCurrentProcessId();
  std::size_t lngCount = 0;
  for (ULONG lngIndex = 0; lngIndex < lpTable->Count; ++lngIndex) {
    if (lpTable->Handles[lngIndex].ProcessId == lngSelf) ++lngCount;
  }
  return lngCount;
}

std::size_t HeapBytesInUse() {
  std::vector<HANDLE> hHeaps(::GetProcessHeaps(0, nullptr) + 16);
  hHeaps.resize(::GetProcessHeaps(static_cast<DWORD>(hHeaps.size()), hHeaps.data()));
  std::size_t lngBytes = 0;
  for (HANDLE hHeap : hHeaps) {
    if (!::HeapLock(hHeap)) continue;
    PROCESS_HEAP_ENTRY objEntry{};
    while (::HeapWalk(hHeap, &objEntry)) {
      if (objEntry.wFlags & PROCESS_HEAP_ENTRY_BUSY) lngBytes += objEntry.cbData;
    }
    ::HeapUnlock(hHeap);
  }
  return lngBytes;
}

}  // namespace win32kit
