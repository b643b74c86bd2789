// Private state of SimPlatform, shared by the files that implement it
// (SimPlatform.cpp, SimHidBus.cpp, SimOverlappedIo.cpp). Not for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/SimPlatform.h"

namespace sim {

enum class HandleKind : std::uint8_t { RegistryKey, DeviceList, File, Event, PreparsedData };

const char* HandleKindName(HandleKind kind);

// ASCII letters lower-cased: registry names and device paths compare so.
std::string LowerAscii(std::string text);

// A key path below the root with its empty components dropped and its names
// lower-cased: "A\\b\\" and "a\\B" both give "a\\b".
std::string NormalizeKeyPath(const std::string& path);

// Win32 error codes the simulated calls leave for GetLastError.
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kErrorNoMoreItems = 259;
constexpr std::uint32_t kErrorOperationAborted = 995;
constexpr std::uint32_t kErrorIoIncomplete = 996;
constexpr std::uint32_t kErrorIoPending = 997;
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;
constexpr std::uint32_t kErrorInvalidUserBuffer = 1784;

struct HandleEntry {
  HandleKind kind = HandleKind::File;
  std::string keyPath;               // RegistryKey: path below HKLM, as normalized
  std::vector<std::size_t> devices;  // DeviceList: indices of the devices it lists
  std::size_t device = 0;            // File, PreparsedData: index of the device
  bool overlapped = false;           // File: opened with FILE_FLAG_OVERLAPPED
  bool manualReset = true;           // Event
  bool signalled = false;            // Event
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
  std::uint64_t due = 0;
  // Cancelled with the device's cancelCompletesLate fault: lands later.
  bool cancelledLate = false;
};

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

  // Finishes every read whose report is due by now (or whose device was
  // unplugged meanwhile). Late-cancelled reads are left for LandLateReads.
  void CompleteDueReads();
  // Late-cancelled reads finish now, writing a full report into their buffer.
  void LandLateReads();
  // Cancels every unfinished read of `file` (late with the device's fault).
  void CancelReadsOf(quillvane::Handle file);
  // Finishes reads[index] successfully at virtual time `at` and removes it.
  void CompleteRead(std::size_t index, std::uint64_t at);
  // Finishes reads[index] with `status`, nothing written, and removes it.
  void FailRead(std::size_t index, std::uint32_t status);
  void SignalEvent(quillvane::Handle event);

  // Records `error` for GetLastError and gives `result`, for failure returns.
  template <typename T>
  T Fail(std::uint32_t error, T result) {
    lastError = error;
    return result;
  }

  static std::string Hex(std::uint32_t value);

  SimPlatform& platform;
  static constexpr quillvane::Handle kFirstHandle = 0x100;
  static constexpr quillvane::Handle kHandleStep = 4;
  std::unordered_map<quillvane::Handle, HandleEntry> handles;  // open handles only
  std::vector<HandleKind> issuedKinds;                         // by handle number
  // Devices by lower-cased interface path (the first device added per path).
  std::unordered_map<std::string, std::size_t> devicesByPath;
  std::vector<PendingRead> reads;
  std::size_t unnamedDevices = 0;
  // What GetLastError gives: set by failing kernel32, hid and setupapi calls.
  std::uint32_t lastError = 0;
};

}  // namespace sim
