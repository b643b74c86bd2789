// A control object for the Wine test programs: counts its references, answers
// SOStatusUpdate (failing it with a chosen status and description when told
// to), and refuses every other name and member.
#pragma once

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <string>

namespace qvtest {

class CountedDispatch : public IDispatch {
 public:
  LONG refs = 1;
  int updates = 0;
  HRESULT failWith = S_OK;  // the scode SOStatusUpdate raises, when set
  std::wstring failText;    // and its description

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (count != 1 || !names || !ids || lstrcmpiW(names[0], L"SOStatusUpdate") != 0) {
      return DISP_E_UNKNOWNNAME;
    }
    ids[0] = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                   EXCEPINFO* exception, UINT*) override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    ++updates;
    if (failWith == S_OK) return S_OK;
    if (exception) {
      *exception = EXCEPINFO{};
      exception->scode = failWith;
      exception->bstrDescription =
          SysAllocStringLen(failText.data(), static_cast<UINT>(failText.size()));
    }
    return DISP_E_EXCEPTION;
  }
};

}  // namespace qvtest
