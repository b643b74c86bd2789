// What a Windows process holds, counted the way Wine 8 can answer: open
// handles from the system handle table (GetProcessHandleCount gives 0 there)
// and bytes allocated in the process heaps (PrivateUsage gives 0 there).
// For the virtual drawer's status and for tests that check a run leaves
// handles and memory flat.
#pragma once

#include <cstddef>

namespace win32kit {

// Handles open in this process now; 0 when the system cannot tell.
std::size_t CountProcessHandles();

// Bytes in busy blocks of every heap of this process.
std::size_t HeapBytesInUse();

}  // namespace win32kit
