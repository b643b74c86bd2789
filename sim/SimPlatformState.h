// Private state of SimPlatform, shared by the files that implement it
// (SimPlatform.cpp, SimHidBus.cpp, SimOverlappedIo.cpp). Not for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/SimPlatform.h"

namespace sim {

enum class HandleKind : std::uint8_t {
  RegistryKey,
  DeviceList,
  File,
  Event,
  PreparsedData,
  DiskFile,   // a file of SimFileSystem
  FileSearch  // a FindFirstFileW search
};

const char* HandleKindName(HandleKind kind);

// ASCII letters lower-cased: registry names and device paths compare so.
std::string LowerAscii(std::string text);

// A key path below the root with its empty components dropped and its names
// lower-cased: "A\\b\\" and "a\\B" both give "a\\b".
std::string NormalizeKeyPath(const std::string& path);

// Win32 error codes the simulated calls leave for GetLastError, besides
// those the core itself tells apart (PlatformTypes.h).
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kErrorNoMoreItems = 259;
constexpr std::uint32_t kErrorInvalidUserBuffer = 1784;
using quillvane::kErrorDeviceNotConnected;
using quillvane::kErrorIoIncomplete;
using quillvane::kErrorIoPending;
using quillvane::kErrorOperationAborted;

// How many input reports the driver keeps per open handle.
constexpr std::size_t kReportRingSize = 32;

// One input report held for a handle.
struct SimReport {
  std::uint8_t status = 0;   // byte 1: the drawer's state
  std::uint32_t length = 0;  // bytes, report id included
};

struct HandleEntry {
  HandleKind kind = HandleKind::File;
  std::string keyPath;                // RegistryKey: path below HKLM, as normalized
  std::vector<std::size_t> devices;   // DeviceList: indices of the devices it lists
  std::size_t device = 0;             // File, PreparsedData: index of the device
  bool overlapped = false;            // File: opened with FILE_FLAG_OVERLAPPED
  std::deque<SimReport> ring;         // File: reports no read has taken yet
  bool manualReset = true;            // Event
  bool signalled = false;             // Event
  std::u16string diskPath;            // DiskFile
  std::vector<std::u16string> found;  // FileSearch: the names still to give
  std::vector<bool> foundFolders;     // FileSearch: which of them are folders
};

// A read that has started and not finished. The buffer and the OVERLAPPED
// belong to the caller; the sim writes into them when the read finishes.
struct PendingRead {
  std::size_t device = 0;
  quillvane::Handle file = 0;
  std::uint8_t* buffer = nullptr;
  std::uint32_t length = 0;
  quillvane::OVERLAPPED* overlapped = nullptr;
  quillvane::Handle event = 0;
  // Cancelled with the device's cancelCompletesLate fault: lands later.
  bool cancelledLate = false;
};

// The arguments of one call as the log keeps them: handles, ids and flags
// alike, pointer-sized values whole.
template <typename... Values>
std::vector<std::int64_t> LogArgs(Values... values) {
  return {static_cast<std::int64_t>(values)...};
}

struct SimPlatform::State {
  explicit State(SimPlatform& owner) : platform(owner) {}

  // Checks the binding of `bindName` (throws 48 / 453), then logs the call
  // under `logName`.
  void Enter(const char* bindName, const char* logName, std::vector<std::int64_t> args,
             std::string text = {});
  void Enter(const char* name, std::vector<std::int64_t> args, std::string text = {}) {
    Enter(name, name, std::move(args), std::move(text));
  }

  void Violation(const std::string& text);
  quillvane::Handle NewHandle(HandleEntry entry);
  // The open handle of one of `kinds`, or nullptr after recording why not.
  HandleEntry* Use(const char* function, quillvane::Handle handle,
                   std::initializer_list<HandleKind> kinds);
  // The kind of a handle this platform gave out (open or closed).
  std::optional<HandleKind> IssuedKind(quillvane::Handle handle) const;
  // Closes the handle if it is open and of one of `kinds`, giving what it
  // was; otherwise records a violation (double close, wrong close function,
  // unknown handle).
  std::optional<HandleEntry> Close(const char* function, quillvane::Handle handle,
                                   std::initializer_list<HandleKind> kinds);

  // Brings every device with open handles up to the virtual clock: each
  // report due by now goes to the reads pending on its handles or into
  // their rings; an unplugged device fails its pending reads.
  // Late-cancelled reads are left for LandLateReads.
  void CatchUp();
  void CatchUpDevice(std::size_t device);
  // Hands one report of `device` to each of its open handles.
  void Deliver(std::size_t device, const SimReport& report);
  // Late-cancelled reads finish now, writing a full report into their buffer.
  void LandLateReads();
  // Cancels every unfinished read of `file` (late with the device's fault).
  void CancelReadsOf(quillvane::Handle file);
  // Finishes reads[index] with `report` (with an error status, nothing
  // written, when the device's reads fail) and removes it.
  void CompleteRead(std::size_t index, const SimReport& report);
  // Finishes reads[index] with `status`, nothing written, and removes it.
  void FailRead(std::size_t index, std::uint32_t status);
  void SignalEvent(quillvane::Handle event);
  // When a pending read of `event` will finish by itself: the next report
  // of its device; none for a silent device.
  std::optional<std::uint64_t> NextCompletionFor(quillvane::Handle event) const;
  // True when some read still to finish will signal `event`.
  bool AnyReadWillSignal(quillvane::Handle event) const;

  // Records `error` for GetLastError and gives `result`, for failure returns.
  template <typename T>
  T Fail(std::uint32_t error, T result) {
    lastError = error;
    return result;
  }

  static std::string Hex(std::uint32_t value);

  SimPlatform& platform;
  // Where handles are pointer-sized 64-bit values they carry bit 32 as well,
  // so that one squeezed through 32 bits would no longer be known.
  static constexpr quillvane::Handle kFirstHandle =
      quillvane::kPointers64 ? (quillvane::Handle{1} << 32) + 0x100 : 0x100;
  static constexpr quillvane::Handle kHandleStep = 4;
  std::unordered_map<quillvane::Handle, HandleEntry> handles;  // open handles only
  std::vector<HandleKind> issuedKinds;                         // by handle number
  // Devices by lower-cased interface path (the first device added per path).
  std::unordered_map<std::string, std::size_t> devicesByPath;
  std::vector<PendingRead> reads;
  // The open file handles of each device, in the order they were opened,
  // and the devices that have any (only those produce reports).
  std::vector<std::vector<quillvane::Handle>> deviceFiles;
  std::set<std::size_t> activeDevices;
  std::size_t unnamedDevices = 0;
  // What GetLastError gives: set by failing kernel32, hid and setupapi calls.
  std::uint32_t lastError = 0;
};

}  // namespace sim
