#include "virtual-drawer/client/Session.h"

namespace vdrawer {

bool Session::Open(Checks& checks, long expected, const std::wstring& device) {
  std::string error;
  if (!checks.Expect(drawer.Create(&error), error)) return false;
  const long result = drawer.CallLong(
      L"OpenService", {Arg::Text(L"CashDrawer"), Arg::Text(device), Arg::Object(&control)});
  return checks.ExpectEq(result, expected, "OpenService");
}

bool Session::OpenEnabled(Checks& checks, const std::wstring& device) {
  if (!Open(checks, kSuccess, device)) return false;
  if (!checks.ExpectEq(Call(L"ClaimDevice", {Arg::Long(0)}), kSuccess, "ClaimDevice")) return false;
  Enable(true);
  return checks.ExpectEq(Call(L"GetPropertyNumber", {Arg::Long(kDeviceEnabled)}), -1L, "enabled");
}

std::vector<long> Session::Codes() const {
  std::vector<long> codes;
  for (const StatusCall& call : control.Calls()) codes.push_back(call.code);
  return codes;
}

std::string Join(const std::vector<long>& codes) {
  std::string text;
  for (long code : codes) text += (text.empty() ? "" : ",") + std::to_string(code);
  return "[" + text + "]";
}

std::vector<std::string> OutputReports(Checks& checks) {
  std::vector<std::string> reports;
  const std::string answer = Control(checks, "reports 1");
  std::size_t at = 0;
  while ((at = answer.find("report 1 at=", at)) != std::string::npos) {
    const std::size_t bytes = answer.find(' ', at + 12) + 1;
    const std::size_t end = answer.find('\n', bytes);
    reports.push_back(answer.substr(bytes, end - bytes));
    at = end;
  }
  return reports;
}

bool NoHandlesLeft(Checks& checks, const std::string& serial) {
  std::string handles;
  for (int i = 0; i < 50 && handles != "0"; ++i, Sleep(20)) {
    handles = DeviceField(checks, serial, "handles");
  }
  return handles == "0";
}

}  // namespace vdrawer
