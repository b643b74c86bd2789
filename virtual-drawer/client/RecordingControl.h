// The control object's part as the Wine tests and measurements play it: an
// IDispatch that answers "SOStatusUpdate" and records each call with the
// performance-counter time it arrived. Counts its references so a test can
// see the service object let go of it.
#pragma once

#include <cstdint>
#include <vector>

#include "win32kit/WinHeaders.h"

namespace vdrawer {

struct StatusCall {
  long code = 0;
  std::int64_t ticks = 0;  // QueryPerformanceCounter when it arrived
};

class RecordingControl : public IDispatch {
 public:
  // Not deleted by Release: the test owns it and checks the count.
  ULONG References() const { return mReferences; }
  const std::vector<StatusCall>& Calls() const { return mCalls; }
  void ClearCalls() { mCalls.clear(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++mReferences; }
  ULONG STDMETHODCALLTYPE Release() override { return --mReferences; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT* argError) override;

 private:
  ULONG mReferences = 1;
  std::vector<StatusCall> mCalls;
};

}  // namespace vdrawer
