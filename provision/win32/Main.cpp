// qvprovision: configures the logical cash-drawer devices of the quillvane
// service object from the command line (qvprovision --help).
#include <cwchar>
#include <string>
#include <vector>

#include "provision/Commands.h"
#include "provision/win32/Win32Console.h"
#include "provision/win32/Win32HidList.h"
#include "provision/win32/Win32Registry.h"
#include "win32kit/Text.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(win32kit::FromWide(argv[i], std::wcslen(argv[i])));
  }
  qvprovision::win32::Win32Registry registry;
  qvprovision::win32::Win32HidList hid;
  qvprovision::win32::Win32Console console;
  return qvprovision::RunCommandLine(args, registry, hid, console);
}
