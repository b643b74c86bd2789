// The service object as the stand-in reaches it: found through the default
// value of the device's key (a programmatic identifier), created, and called
// late-bound by name (GetIDsOfNames, then Invoke) at every call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win32kit/DispatchCall.h"
#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace quillvane::standin {

// Finds the class configured for strDeviceName: 0 and the class identifier,
// or OPOS_OR_REGBADNAME when the device key is missing (or the name cannot
// be a device key), OPOS_OR_REGPROGID when its default value holds no
// programmatic identifier of a registered class.
std::int32_t FindServiceClass(const std::u16string& strDeviceName, CLSID* lpClsid);

class ServiceLink {
 public:
  ServiceLink() = default;
  explicit ServiceLink(win32kit::ComRef<IDispatch> objService)
      : mobjService(std::move(objService)) {}

  // Creates the object of class clsid and asks it for IDispatch.
  static HRESULT Create(REFCLSID clsid, ServiceLink& objLink);

  explicit operator bool() const { return static_cast<bool>(mobjService); }
  void Reset() { mobjService.Reset(); }

  // Invokes strName as a method with objArgs in the callee's order
  // (win32kit::CallByName): an unknown name gives DISP_E_UNKNOWNNAME, a
  // failure the callee raised the callee's own status and description.
  win32kit::CallOutcome Call(const wchar_t* strName, const std::vector<VARIANT>& objArgs,
                             VARIANT* varResult) const;
  // The same, the result converted to a 32-bit integer or to text.
  win32kit::CallOutcome CallLong(const wchar_t* strName, const std::vector<VARIANT>& objArgs,
                                 LONG* lngResult) const;
  win32kit::CallOutcome CallText(const wchar_t* strName, const std::vector<VARIANT>& objArgs,
                                 win32kit::UniqueBstr& strResult) const;

 private:
  win32kit::ComRef<IDispatch> mobjService;
};

}  // namespace quillvane::standin
