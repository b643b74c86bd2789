// The simulated platform's file calls, on the in-memory SimFileSystem, and
// its local time and thread id.
//
// Call log (paths as UTF-8 text):
//   CreateFileW        {access, share, disposition, flags}; text = path
//   CreateDirectoryW   {}; text = path
//   GetFileSize        {hFile}
//   FindFirstFileW     {}; text = pattern
//   FindNextFileW, FindClose {handle}
//   DeleteFileW        {}; text = path
//   GetLocalTime, GetCurrentThreadId {}
//   SHGetFolderPathW   {csidl}
#include <cstring>

#include "service/basTrace.h"
#include "sim/SimPlatform.h"
#include "sim/SimPlatformState.h"

namespace sim {

using quillvane::Handle;

namespace {

constexpr std::uint32_t kCreateNew = 1;
constexpr std::uint32_t kCreateAlways = 2;
constexpr std::uint32_t kOpenAlways = 4;
constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);
constexpr std::uint64_t kMsPerDay = 86400000;

void FillFindData(const std::u16string& name, bool folder, quillvane::WIN32_FIND_DATAW* data) {
  *data = quillvane::WIN32_FIND_DATAW{};
  data->dwFileAttributes =
      folder ? quillvane::kFileAttributeDirectory : quillvane::kFileAttributeNormal;
  const std::size_t length = std::min(name.size(), quillvane::kMaxPath - 1);
  std::memcpy(data->cFileName, name.data(), length * sizeof(char16_t));
}

}  // namespace

void SimPlatform::SetLocalTimeAtStart(int year, int month, int day, int hour, int minute,
                                      int second) {
  mLocalTimeAtStart =
      static_cast<std::uint64_t>(quillvane::basTrace::DayNumber(year, month, day)) * kMsPerDay +
      static_cast<std::uint64_t>((hour * 60 + minute) * 60 + second) * 1000;
}

Handle SimPlatform::CreateFileW(const char16_t* lpFileName, std::uint32_t dwDesiredAccess,
                                std::uint32_t dwShareMode,
                                quillvane::SECURITY_ATTRIBUTES* /*lpSecurityAttributes*/,
                                std::uint32_t dwCreationDisposition,
                                std::uint32_t dwFlagsAndAttributes, Handle /*hTemplateFile*/) {
  const std::u16string path = lpFileName ? lpFileName : u"";
  mState->Enter("CreateFileW",
                {dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes},
                quillvane::basTrace::Utf8(path));
  if (dwCreationDisposition == kCreateNew && mFiles.IsFile(path)) {
    return mState->Fail(quillvane::kErrorAlreadyExists, quillvane::kInvalidHandleValue);
  }
  const bool create = dwCreationDisposition == kCreateNew ||
                      dwCreationDisposition == kCreateAlways ||
                      dwCreationDisposition == kOpenAlways;
  const std::uint32_t error = mFiles.OpenForAppend(path, create);
  if (error != 0) return mState->Fail(error, quillvane::kInvalidHandleValue);
  if (dwCreationDisposition == kCreateAlways) mFiles.PutFile(path, std::string());
  HandleEntry entry;
  entry.kind = HandleKind::DiskFile;
  entry.diskPath = path;
  return mState->NewHandle(std::move(entry));
}

std::int32_t SimPlatform::CreateDirectoryW(const char16_t* lpPathName,
                                           quillvane::SECURITY_ATTRIBUTES* /*lpSecurity*/) {
  const std::u16string path = lpPathName ? lpPathName : u"";
  mState->Enter("CreateDirectoryW", {}, quillvane::basTrace::Utf8(path));
  const std::uint32_t error = mFiles.MakeFolder(path);
  return error == 0 ? 1 : mState->Fail(error, 0);
}

std::uint32_t SimPlatform::GetFileSize(Handle hFile, std::uint32_t* lpFileSizeHigh) {
  mState->Enter("GetFileSize", LogArgs(hFile));
  HandleEntry* file = mState->Use("GetFileSize", hFile, {HandleKind::DiskFile});
  if (!file) return quillvane::kInvalidFileSize;
  const std::uint64_t size = mFiles.Size(file->diskPath);
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<std::uint32_t>(size >> 32);
  mState->lastError = 0;
  return static_cast<std::uint32_t>(size);
}

Handle SimPlatform::FindFirstFileW(const char16_t* lpFileName,
                                   quillvane::WIN32_FIND_DATAW* lpFindFileData) {
  const std::u16string pattern = lpFileName ? lpFileName : u"";
  mState->Enter("FindFirstFileW", {}, quillvane::basTrace::Utf8(pattern));
  HandleEntry entry;
  entry.kind = HandleKind::FileSearch;
  const std::uint32_t error = mFiles.Find(pattern, &entry.found, &entry.foundFolders);
  if (error != 0) return mState->Fail(error, quillvane::kInvalidHandleValue);
  FillFindData(entry.found.front(), entry.foundFolders.front(), lpFindFileData);
  entry.found.erase(entry.found.begin());
  entry.foundFolders.erase(entry.foundFolders.begin());
  return mState->NewHandle(std::move(entry));
}

std::int32_t SimPlatform::FindNextFileW(Handle hFindFile,
                                        quillvane::WIN32_FIND_DATAW* lpFindFileData) {
  mState->Enter("FindNextFileW", LogArgs(hFindFile));
  HandleEntry* search = mState->Use("FindNextFileW", hFindFile, {HandleKind::FileSearch});
  if (!search) return 0;
  if (search->found.empty()) return mState->Fail(kErrorNoMoreItems, 0);
  FillFindData(search->found.front(), search->foundFolders.front(), lpFindFileData);
  search->found.erase(search->found.begin());
  search->foundFolders.erase(search->foundFolders.begin());
  return 1;
}

std::int32_t SimPlatform::FindClose(Handle hFindFile) {
  mState->Enter("FindClose", LogArgs(hFindFile));
  return mState->Close("FindClose", hFindFile, {HandleKind::FileSearch}) ? 1 : 0;
}

std::int32_t SimPlatform::DeleteFileW(const char16_t* lpFileName) {
  const std::u16string path = lpFileName ? lpFileName : u"";
  mState->Enter("DeleteFileW", {}, quillvane::basTrace::Utf8(path));
  const std::uint32_t error = mFiles.DeleteFile(path);
  return error == 0 ? 1 : mState->Fail(error, 0);
}

void SimPlatform::GetLocalTime(quillvane::SYSTEMTIME* lpSystemTime) {
  mState->Enter("GetLocalTime", {});
  const std::uint64_t ms = mLocalTimeAtStart + mClock.Now();
  int year = 0, month = 0, day = 0;
  const auto dayNumber = static_cast<std::int64_t>(ms / kMsPerDay);
  quillvane::basTrace::DateOfDay(dayNumber, year, month, day);
  const std::uint64_t inDay = ms % kMsPerDay;
  *lpSystemTime = quillvane::SYSTEMTIME{};
  lpSystemTime->wYear = static_cast<std::uint16_t>(year);
  lpSystemTime->wMonth = static_cast<std::uint16_t>(month);
  lpSystemTime->wDay = static_cast<std::uint16_t>(day);
  lpSystemTime->wDayOfWeek =
      static_cast<std::uint16_t>((dayNumber + 4) % 7);  // 1970-01-01: Thursday
  lpSystemTime->wHour = static_cast<std::uint16_t>(inDay / 3600000);
  lpSystemTime->wMinute = static_cast<std::uint16_t>(inDay / 60000 % 60);
  lpSystemTime->wSecond = static_cast<std::uint16_t>(inDay / 1000 % 60);
  lpSystemTime->wMilliseconds = static_cast<std::uint16_t>(inDay % 1000);
}

std::uint32_t SimPlatform::GetCurrentThreadId() {
  mState->Enter("GetCurrentThreadId", {});
  return kThreadId;
}

std::int32_t SimPlatform::SHGetFolderPathW(Handle /*hwnd*/, std::int32_t csidl, Handle /*hToken*/,
                                           std::uint32_t /*dwFlags*/, char16_t* pszPath) {
  mState->Enter("SHGetFolderPathW", {csidl});
  if (mProgramDataFails || csidl != quillvane::kCsidlCommonAppData) return kEFail;
  const std::u16string path = u"C:\\ProgramData";
  std::memcpy(pszPath, path.c_str(), (path.size() + 1) * sizeof(char16_t));
  return 0;
}

}  // namespace sim
