// The control object as the service object calls it: an IDispatch given to
// OpenService, held by a counted reference until the wrapper goes away.
#pragma once

#include "contract/ControlObject.h"
#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace quillvane::win32 {

class DispatchControl final : public contract::AutomationObject {
 public:
  // Adds a reference to objDispatch; the destructor releases it.
  explicit DispatchControl(IDispatch* objDispatch);

  // Looks the name up at every call and invokes it as a method with one
  // VT_I4 by value. A failure throws RuntimeError carrying the failure
  // status and description (win32kit::CallByName): the one the callee
  // raised, or the one of the lookup or call.
  void CallMethod(const std::u16string& name, std::int32_t value) override;

 private:
  win32kit::ComRef<IDispatch> mobjDispatch;
};

// The control object held by a variant as OpenService receives it: an object
// reference (IDispatch, or IUnknown that answers IDispatch), possibly by
// reference. Nothing gives no object; any other content raises error 13.
contract::AutomationRef ControlFromVariant(const VARIANT& varDispatch);

}  // namespace quillvane::win32
