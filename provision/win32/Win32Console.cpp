#include "provision/win32/Win32Console.h"

#include <string>

#include "service/win32/WinHeaders.h"

namespace qvprovision::win32 {
namespace {

void Write(DWORD which, const std::u16string& text) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  std::wstring wide;
  for (char16_t ch : text) {
    if (ch == u'\n') wide += L'\r';
    wide += static_cast<wchar_t>(ch);
  }
  wide += L"\r\n";
  DWORD written = 0;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size,
                      nullptr, nullptr);
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void Win32Console::Out(const std::u16string& line) { Write(STD_OUTPUT_HANDLE, line); }

void Win32Console::Err(const std::u16string& line) { Write(STD_ERROR_HANDLE, line); }

}  // namespace qvprovision::win32
