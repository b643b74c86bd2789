// Runs one command while a registry key is read-only, as it is for a user
// who is not an administrator, and gives the key its former security back:
//   qvprovision-readonly <key below HKEY_LOCAL_MACHINE> <command line>
// Everyone may read the key (and change its security, for the way back) but
// not set values, make subkeys or delete it. The exit code is the command's;
// 90 when the registry ignores the key's security (a write still gets
// through), 91 to 93 when the key cannot be locked, run or unlocked.
#include <cstdio>
#include <string>
#include <vector>

#include "win32kit/Owners.h"

namespace {

int Fail(int code, const char* what) {
  std::fprintf(stderr, "qvprovision-readonly: %s (error %lu)\n", what, GetLastError());
  return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qvprovision-readonly <key> <command line>\n");
    return 91;
  }
  win32kit::UniqueHkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, argv[1], 0, READ_CONTROL | WRITE_DAC, key.Put()) !=
      ERROR_SUCCESS) {
    return Fail(91, "cannot open the key");
  }
  DWORD size = 0;
  RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
  std::vector<std::uint8_t> former(size);
  if (RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, former.data(), &size) !=
      ERROR_SUCCESS) {
    return Fail(91, "cannot read the key's security");
  }

  // A DACL with one entry: Everyone may read and change the security.
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof everyone;
  BYTE aclBuffer[256];
  auto* acl = reinterpret_cast<PACL>(aclBuffer);
  SECURITY_DESCRIPTOR locked;
  if (!CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize) ||
      !InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | READ_CONTROL | WRITE_DAC, everyone) ||
      !InitializeSecurityDescriptor(&locked, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&locked, TRUE, acl, FALSE) ||
      RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, &locked) != ERROR_SUCCESS) {
    return Fail(91, "cannot lock the key");
  }

  int result = 0;
  win32kit::UniqueHkey probe;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, argv[1], 0, KEY_SET_VALUE, probe.Put()) == ERROR_SUCCESS) {
    std::fprintf(stderr, "qvprovision-readonly: the registry ignores the key's security\n");
    result = 90;
  } else {
    std::wstring commandLine = argv[2];
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
      result = Fail(92, "cannot run the command");
    } else {
      DWORD exitCode = 92;
      WaitForSingleObject(process.hProcess, INFINITE);
      GetExitCodeProcess(process.hProcess, &exitCode);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      result = static_cast<int>(exitCode);
    }
  }
  if (RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, former.data()) != ERROR_SUCCESS) {
    return Fail(93, "cannot give the key its security back");
  }
  return result;
}
