// The type-information half of IDispatch for an object that one ITypeInfo
// describes: its count, the description itself, and names to DISPIDs.
#pragma once

#include "service/win32/ComHandles.h"
#include "service/win32/WinHeaders.h"

namespace quillvane::win32 {

inline HRESULT OneTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}

inline HRESULT ShareTypeInfo(ITypeInfo* objTypeInfo, UINT iTInfo, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  *ppTInfo = ComRef<ITypeInfo>::Share(objTypeInfo).Detach();
  return S_OK;
}

inline HRESULT IDsOfNamesFromTypeInfo(ITypeInfo* objTypeInfo, REFIID riid, LPOLESTR* rgszNames,
                                      UINT cNames, DISPID* rgDispId) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return DispGetIDsOfNames(objTypeInfo, rgszNames, cNames, rgDispId);
}

}  // namespace quillvane::win32
