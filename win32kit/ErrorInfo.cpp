#include "win32kit/ErrorInfo.h"

#include "win32kit/Owners.h"

namespace win32kit {

HRESULT ReportToCaller(const ErrorSource& objSource, HRESULT hr,
                       const wchar_t* strDescription) noexcept {
  if (SUCCEEDED(hr)) {
    SetErrorInfo(0, nullptr);
    return hr;
  }
  ComRef<ICreateErrorInfo> objCreate;
  if (FAILED(CreateErrorInfo(objCreate.Put()))) return hr;
  objCreate->SetGUID(*objSource.pIid);
  objCreate->SetSource(const_cast<LPOLESTR>(objSource.strProgId));
  objCreate->SetDescription(const_cast<LPOLESTR>(strDescription ? strDescription : L""));
  ComRef<IErrorInfo> objError;
  if (SUCCEEDED(
          objCreate->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(objError.Put())))) {
    SetErrorInfo(0, objError.Get());
  }
  return hr;
}

HRESULT RaiseToInvoker(const ErrorSource& objSource, EXCEPINFO* pExcepInfo, HRESULT scode,
                       const std::u16string& strDescription) noexcept {
  if (pExcepInfo) {
    *pExcepInfo = EXCEPINFO{};
    pExcepInfo->scode = scode;
    pExcepInfo->bstrSource = SysAllocString(objSource.strProgId);
    pExcepInfo->bstrDescription =
        SysAllocStringLen(reinterpret_cast<const OLECHAR*>(strDescription.data()),
                          static_cast<UINT>(strDescription.size()));
  }
  return DISP_E_EXCEPTION;
}

}  // namespace win32kit
