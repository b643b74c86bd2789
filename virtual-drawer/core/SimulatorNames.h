// The names by which the simulator, its control command and the replacement
// DLLs find each other.
#pragma once

namespace vdrawer {

// One request and one answer per connection.
inline constexpr char kControlPipePath[] = R"(\\.\pipe\quillvane-virtual-drawer)";
// Held by the running simulator: there is at most one.
inline constexpr char kInstanceMutexName[] = "QuillvaneVirtualDrawerSimulator";
// Volatile key under HKEY_CURRENT_USER: value name = serial, data = pipe path
// of each plugged device. Named pipes cannot be listed, so the replacement
// setupapi.dll enumerates this key.
inline constexpr char kDevicesKeyPath[] = R"(Software\QuillvaneVirtualDrawer)";

}  // namespace vdrawer
