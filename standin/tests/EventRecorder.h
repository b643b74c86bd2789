// An application's event sink for the stand-in's connection point: records
// the Data of every StatusUpdateEvent, in order.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <vector>

namespace standin_test {

class EventRecorder final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // owned by the test

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override;

  std::vector<long> status_updates;
  // Anything that arrived that is not a StatusUpdateEvent with one integer.
  int unexpected = 0;
  long refs = 0;
};

}  // namespace standin_test
