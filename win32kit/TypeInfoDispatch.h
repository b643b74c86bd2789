// IDispatch for an object whose dual interface the embedded type library
// describes: the type-information count, the description itself, names to
// DISPIDs, and Invoke.
//
// A dual interface has two descriptions. GetTypeInfo hands out the dispatch
// one (what ITypeLib::GetTypeInfoOfGuid gives: methods with their results,
// no HRESULTs), which late-binding clients read. The vtable one drives
// Invoke, which calls the interface's slots, and the name lookup.
#pragma once

#include "win32kit/ErrorInfo.h"
#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace win32kit {

struct DualTypeInfo {
  ComRef<ITypeInfo> objDispatch;  // TKIND_DISPATCH
  ComRef<ITypeInfo> objVtable;    // TKIND_INTERFACE
};

// Both descriptions of the dual interface iid in objTypeLib.
HRESULT LoadDualTypeInfo(ITypeLib* objTypeLib, REFIID iid, DualTypeInfo& objInfo);

HRESULT OneTypeInfoCount(UINT* pctinfo);

// Hands out the dispatch description.
HRESULT ShareTypeInfo(const DualTypeInfo& objInfo, UINT iTInfo, ITypeInfo** ppTInfo);

HRESULT IDsOfNamesFromTypeInfo(const DualTypeInfo& objInfo, REFIID riid, LPOLESTR* rgszNames,
                               UINT cNames, DISPID* rgDispId);

// IDispatch::Invoke on objSelf, a pointer to the vtable interface. The
// member is found by DISPID and kind; its arguments are checked and prepared
// (DispatchArguments) before the type library's Invoke calls the slot.
// pVarResult is cleared first and left empty on failure. No exception leaves:
// one raised on the way (argument preparation included) fails the call with
// DISP_E_EXCEPTION and its status and description in *pExcepInfo.
HRESULT InvokeFromTypeInfo(const DualTypeInfo& objInfo, void* objSelf, const ErrorSource& objSource,
                           DISPID dispIdMember, REFIID riid, WORD wFlags, DISPPARAMS* pDispParams,
                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept;

}  // namespace win32kit
