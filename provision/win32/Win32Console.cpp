#include "provision/win32/Win32Console.h"

#include <string>

#include "win32kit/Text.h"
#include "win32kit/WinHeaders.h"

namespace qvprovision::win32 {
namespace {

void Write(DWORD which, const std::u16string& text) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  std::u16string lines;
  for (char16_t ch : text) {
    if (ch == u'\n') lines += u'\r';
    lines += ch;
  }
  lines += u"\r\n";
  DWORD written = 0;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::wstring wide = win32kit::ToWide(lines);
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  const std::string bytes = win32kit::ToCodePage(lines, CP_UTF8);
  if (bytes.empty()) return;
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void Win32Console::Out(const std::u16string& line) { Write(STD_OUTPUT_HANDLE, line); }

void Win32Console::Err(const std::u16string& line) { Write(STD_ERROR_HANDLE, line); }

}  // namespace qvprovision::win32
