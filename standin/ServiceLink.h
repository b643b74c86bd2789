// The service object as the stand-in reaches it: found through the default
// value of the device's key (a programmatic identifier), created, and called
// late-bound by name (GetIDsOfNames, then Invoke) at every call.
#pragma once

#include <oaidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "service/win32/ComHandles.h"
#include "service/win32/WinHeaders.h"

namespace quillvane::standin {

// How one call on the service object went: S_OK, or the failure status with
// the callee's description when it gave one.
struct CallOutcome {
  HRESULT hr = S_OK;
  std::wstring strDescription;
};

// Arguments for ServiceLink calls. They do not own what they point to: a
// text argument borrows the caller's BSTR for the duration of the call.
VARIANT LongArg(LONG lngValue);
VARIANT TextArg(BSTR strValue);
VARIANT VariantRefArg(VARIANT* varValue);

// Finds the class configured for strDeviceName: 0 and the class identifier,
// or OPOS_OR_REGBADNAME when the device key is missing (or the name cannot
// be a device key), OPOS_OR_REGPROGID when its default value holds no
// programmatic identifier of a registered class.
std::int32_t FindServiceClass(const std::wstring& strDeviceName, CLSID* lpClsid);

class ServiceLink {
 public:
  ServiceLink() = default;
  explicit ServiceLink(win32::ComRef<IDispatch> objService) : mobjService(std::move(objService)) {}

  // Creates the object of class clsid and asks it for IDispatch.
  static HRESULT Create(REFCLSID clsid, ServiceLink& objLink);

  explicit operator bool() const { return static_cast<bool>(mobjService); }
  void Reset() { mobjService.Reset(); }

  // Invokes strName as a method with objArgs in the callee's order. An
  // unknown name gives DISP_E_UNKNOWNNAME; a failure the callee raised gives
  // the callee's own status and description.
  CallOutcome Call(const wchar_t* strName, const std::vector<VARIANT>& objArgs,
                   VARIANT* varResult) const;
  // The same, the result converted to a 32-bit integer or to text.
  CallOutcome CallLong(const wchar_t* strName, const std::vector<VARIANT>& objArgs,
                       LONG* lngResult) const;
  CallOutcome CallText(const wchar_t* strName, const std::vector<VARIANT>& objArgs,
                       win32::UniqueBstr& strResult) const;

 private:
  win32::ComRef<IDispatch> mobjService;
};

}  // namespace quillvane::standin
