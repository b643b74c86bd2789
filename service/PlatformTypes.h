// Portable records and constants of the Windows platform, as the core sees
// them, for the bitness being built: handles, pointers and the fields Windows
// declares pointer-sized (ULONG_PTR, HANDLE, LPVOID) are std::uintptr_t, so
// the layouts are those of 32-bit Windows in a 32-bit build and of 64-bit
// Windows in a 64-bit one (the native build included). The Win32 binding
// checks each record against the real one with static_assert, for both
// targets, so these may be passed to the platform by address.
//
// Constants carry a k prefix because windows.h defines the Win32 spellings as
// macros and both headers meet in the Win32 binding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillvane {

// A platform handle (file, event, key, device list, preparsed data, window):
// pointer-sized, never squeezed through a 32-bit integer.
using Handle = std::uintptr_t;

// INVALID_HANDLE_VALUE is (HANDLE)-1 and the predefined keys are 32-bit
// negative numbers sign-extended to pointer size, as windows.h defines them.
constexpr Handle kInvalidHandleValue = static_cast<Handle>(-1);
constexpr Handle kHkeyLocalMachine = static_cast<Handle>(std::intptr_t{-0x7FFFFFFE});

constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

constexpr std::uint32_t kDigcfPresent = 0x02;
constexpr std::uint32_t kDigcfDeviceInterface = 0x10;

constexpr std::uint32_t kGenericRead = 0x80000000u;
constexpr std::uint32_t kGenericWrite = 0x40000000u;
constexpr std::uint32_t kFileShareRead = 1;
constexpr std::uint32_t kFileShareWrite = 2;
constexpr std::uint32_t kOpenExisting = 3;
constexpr std::uint32_t kFileFlagOverlapped = 0x40000000u;

constexpr std::uint32_t kWaitObject0 = 0;
constexpr std::uint32_t kWaitTimeout = 0x102;
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Win32 error codes the core tells apart.
constexpr std::uint32_t kErrorDevNotExist = 55;
constexpr std::uint32_t kErrorBrokenPipe = 109;
constexpr std::uint32_t kErrorNoData = 232;
constexpr std::uint32_t kErrorPipeNotConnected = 233;
constexpr std::uint32_t kErrorNoSuchDevice = 433;
constexpr std::uint32_t kErrorOperationAborted = 995;
constexpr std::uint32_t kErrorIoIncomplete = 996;
constexpr std::uint32_t kErrorIoPending = 997;
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;
constexpr std::uint32_t kErrorDeviceRemoved = 1617;

// MsgWaitForMultipleObjects: any input wakes the wait.
constexpr std::uint32_t kQsAllInput = 0x04FF;

// OVERLAPPED.Internal while the I/O is still in progress.
constexpr std::uint32_t kStatusPending = 0x103;

constexpr std::uint32_t kWmTimer = 275;

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};

struct HIDD_ATTRIBUTES {
  std::uint32_t Size;
  std::uint16_t VendorID;
  std::uint16_t ProductID;
  std::uint16_t VersionNumber;
};

struct HIDP_CAPS {
  std::uint16_t Usage;
  std::uint16_t UsagePage;
  std::uint16_t InputReportByteLength;
  std::uint16_t OutputReportByteLength;
  std::uint16_t FeatureReportByteLength;
  std::uint16_t Reserved[17];
  std::uint16_t NumberLinkCollectionNodes;
  std::uint16_t NumberInputButtonCaps;
  std::uint16_t NumberInputValueCaps;
  std::uint16_t NumberInputDataIndices;
  std::uint16_t NumberOutputButtonCaps;
  std::uint16_t NumberOutputValueCaps;
  std::uint16_t NumberOutputDataIndices;
  std::uint16_t NumberFeatureButtonCaps;
  std::uint16_t NumberFeatureValueCaps;
  std::uint16_t NumberFeatureDataIndices;
};

// Pointer-sized in both records: Internal, InternalHigh (ULONG_PTR), hEvent.
struct OVERLAPPED {
  std::uintptr_t Internal;
  std::uintptr_t InternalHigh;
  std::uint32_t Offset;
  std::uint32_t OffsetHigh;
  Handle hEvent;
};

// Reserved is a ULONG_PTR. The 32-bit platform packs the device-setup
// records to 1 byte, the 64-bit one to 8: natural alignment gives both.
struct SP_DEVICE_INTERFACE_DATA {
  std::uint32_t cbSize;
  GUID InterfaceClassGuid;
  std::uint32_t Flags;
  std::uintptr_t Reserved;
};

struct SP_DEVINFO_DATA {
  std::uint32_t cbSize;
  GUID ClassGuid;
  std::uint32_t DevInst;
  std::uintptr_t Reserved;
};

// lpSecurityDescriptor is a pointer.
struct SECURITY_ATTRIBUTES {
  std::uint32_t nLength;
  std::uintptr_t lpSecurityDescriptor;
  std::int32_t bInheritHandle;
};

// cbSize of SP_DEVICE_INTERFACE_DETAIL_DATA_A: the 4-byte size field and the
// first byte of the path, 5 on the 32-bit platform (packed to 1 byte) and 8
// on the 64-bit one (padded to the record's alignment). The path starts at
// byte 4 on both.
constexpr std::uint32_t kDeviceInterfaceDetailDataSize = sizeof(std::uintptr_t) == 8 ? 8 : 5;
constexpr std::uint32_t kDeviceInterfaceDetailPathOffset = 4;

constexpr bool kPointers64 = sizeof(std::uintptr_t) == 8;
static_assert(sizeof(std::uintptr_t) == 4 || kPointers64);
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(HIDD_ATTRIBUTES) == 12);
static_assert(sizeof(HIDP_CAPS) == 64);
static_assert(sizeof(OVERLAPPED) == (kPointers64 ? 32 : 20));
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == (kPointers64 ? 32 : 28));
static_assert(sizeof(SP_DEVINFO_DATA) == (kPointers64 ? 32 : 28));
static_assert(sizeof(SECURITY_ATTRIBUTES) == (kPointers64 ? 24 : 12));
static_assert(offsetof(HIDP_CAPS, InputReportByteLength) == 4);
static_assert(offsetof(OVERLAPPED, hEvent) == (kPointers64 ? 24 : 16));

// True once the I/O described by the record has finished, successfully or not.
inline bool HasOverlappedIoCompleted(const OVERLAPPED& ov) { return ov.Internal != kStatusPending; }

// Log files: wide-character paths, appending, listing and deleting.
constexpr std::uint32_t kFileAppendData = 0x0004;
constexpr std::uint32_t kFileShareDelete = 4;
constexpr std::uint32_t kOpenAlways = 4;
constexpr std::uint32_t kFileAttributeDirectory = 0x10;
constexpr std::uint32_t kFileAttributeNormal = 0x80;
constexpr std::uint32_t kInvalidFileSize = 0xFFFFFFFFu;
constexpr std::uint32_t kErrorAlreadyExists = 183;
constexpr std::int32_t kCsidlCommonAppData = 0x23;
constexpr std::size_t kMaxPath = 260;

struct SYSTEMTIME {
  std::uint16_t wYear;
  std::uint16_t wMonth;
  std::uint16_t wDayOfWeek;
  std::uint16_t wDay;
  std::uint16_t wHour;
  std::uint16_t wMinute;
  std::uint16_t wSecond;
  std::uint16_t wMilliseconds;
};

struct FILETIME {
  std::uint32_t dwLowDateTime;
  std::uint32_t dwHighDateTime;
};

struct WIN32_FIND_DATAW {
  std::uint32_t dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  std::uint32_t nFileSizeHigh;
  std::uint32_t nFileSizeLow;
  std::uint32_t dwReserved0;
  std::uint32_t dwReserved1;
  char16_t cFileName[kMaxPath];
  char16_t cAlternateFileName[14];
};

static_assert(sizeof(SYSTEMTIME) == 16);
static_assert(sizeof(WIN32_FIND_DATAW) == 592);
static_assert(offsetof(WIN32_FIND_DATAW, cFileName) == 44);

}  // namespace quillvane
