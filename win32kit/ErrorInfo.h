// How an automation object tells its caller why a call failed: the thread's
// error object for vtable callers, the exception record for IDispatch
// callers. Descriptions stay UTF-16 from end to end.
#pragma once

#include <string>

#include "win32kit/WinHeaders.h"

namespace win32kit {

// Who reports: the interface and the programmatic identifier named as source.
struct ErrorSource {
  const IID* pIid;
  const wchar_t* strProgId;
};

// On failure, sets the thread's error object to the description; on success
// clears what an earlier call left there. Gives hr back.
HRESULT ReportToCaller(const ErrorSource& objSource, HRESULT hr,
                       const wchar_t* strDescription) noexcept;

inline HRESULT ReportToCaller(const ErrorSource& objSource, HRESULT hr,
                              const std::u16string& strDescription) noexcept {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");
  return ReportToCaller(objSource, hr, reinterpret_cast<const wchar_t*>(strDescription.c_str()));
}

// Fills the caller's exception record (when given) with scode and the
// description and gives DISP_E_EXCEPTION, as IDispatch::Invoke reports a
// failure of the member itself.
HRESULT RaiseToInvoker(const ErrorSource& objSource, EXCEPINFO* pExcepInfo, HRESULT scode,
                       const std::u16string& strDescription) noexcept;

}  // namespace win32kit
