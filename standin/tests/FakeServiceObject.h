// A service object of the test's own, served from the client process under
// a class identifier and ProgID of its own. It answers the service object's
// methods by name, records every call with its arguments, holds the control
// object it is given from OpenService until CloseService, and can be told to
// answer a result or to fail a method with an automation error.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "win32kit/Owners.h"

namespace standin_test {

struct RecordedCall {
  std::wstring name;
  std::vector<long> numbers;        // the integer arguments, in order
  std::vector<std::wstring> texts;  // the text arguments, in order
};

class FakeServiceObject final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // owned by the test

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override;

  // The control object as OpenService gave it, and a copy the test keeps
  // after CloseService lets go of it.
  win32kit::ComRef<IDispatch> control;
  win32kit::ComRef<IDispatch> last_control;

  std::vector<RecordedCall> calls;
  // Answers: a method's result, GetPropertyNumber and GetPropertyString by index.
  std::map<std::wstring, long> results;
  std::map<long, long> numbers;
  std::map<long, std::wstring> texts;
  // The method to fail, with this status and description.
  std::wstring fail_method;
  HRESULT fail_status = 0x800A0009;
  long refs = 0;

  void Reset();
  // The names of the calls recorded, joined by blanks.
  std::wstring CallNames() const;
  // Calls SOStatusUpdate(data) by name on the control object, as the
  // service object's poll does.
  HRESULT RaiseStatusUpdate(long data);
};

}  // namespace standin_test
