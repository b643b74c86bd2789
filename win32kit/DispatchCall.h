// Calls into another component through its IDispatch, and the one rule by
// which such a call's failure reads: the status and description the callee
// gave in its exception record.
#pragma once

#include <string>
#include <vector>

#include "win32kit/WinHeaders.h"

namespace win32kit {

// How one call into another component went: S_OK, or the failure status
// with the callee's description when it gave one.
struct CallOutcome {
  HRESULT hr = S_OK;
  std::u16string strDescription;
};

// The outcome of a call to IDispatch::Invoke that returned hrInvoke and
// filled `record`. For DISP_E_EXCEPTION the callee's deferred fill-in runs
// first, and the status is the callee's own: its scode when that is a
// failure, else its run-time error number wCode as 0x800A0000 | wCode, else
// DISP_E_EXCEPTION itself. Any other status stands as it is. The record's
// strings are freed (the description is kept) and the record left empty.
CallOutcome TakeExceptionRecord(HRESULT hrInvoke, EXCEPINFO& record) noexcept;

// Invokes member lngDispid of objTarget with objParams (arguments last
// first, as Invoke takes them); the outcome by TakeExceptionRecord.
CallOutcome InvokeMember(IDispatch* objTarget, DISPID lngDispid, WORD lngFlags,
                         DISPPARAMS& objParams, VARIANT* varResult);

// Looks strName up (GetIDsOfNames, at every call) and invokes it as a
// method with objArgs in the callee's declared order. A failed lookup gives
// its own status, DISP_E_UNKNOWNNAME for an unknown name.
CallOutcome CallByName(IDispatch* objTarget, const wchar_t* strName,
                       const std::vector<VARIANT>& objArgs, VARIANT* varResult);

// Arguments for CallByName. They do not own what they point to: a text
// argument borrows the caller's BSTR for the duration of the call.
VARIANT LongArg(LONG lngValue);
VARIANT TextArg(BSTR strValue);
VARIANT VariantRefArg(VARIANT* varValue);

}  // namespace win32kit
