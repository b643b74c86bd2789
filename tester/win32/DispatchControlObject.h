// The control object `cd` reached through its IDispatch, member by DISPID.
// Created by programmatic identifier: the standard control object when it is
// registered, otherwise our stand-in. When neither can be created, every call
// fails with the creation's status, so the window still opens and each click
// logs why nothing answers.
#pragma once

#include "tester/ControlObjectPort.h"
#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace brindlemark::win32 {

inline constexpr wchar_t kStandardControlProgId[] = L"OposCashDrawer_1_8_LibCtl.OPOSCashDrawer";
inline constexpr wchar_t kStandInControlProgId[] = L"quillvane.ControlObject";

class DispatchControlObject : public ControlObjectPort {
 public:
  // Creates the control object; COM must be initialised on this thread.
  DispatchControlObject();

  std::int32_t GetNumber(std::int32_t lngDispid) override;
  std::u16string GetText(std::int32_t lngDispid) override;
  void PutFlag(std::int32_t lngDispid, bool blnValue) override;
  std::int32_t Invoke(std::int32_t lngDispid, std::vector<MethodArgument>& objArgs) override;

  // The programmatic identifier that was created, or null.
  const wchar_t* CreatedProgId() const { return mstrProgId; }

 private:
  // One IDispatch::Invoke; throws AutomationError with the call's status (for
  // DISP_E_EXCEPTION the callee's own, win32kit::TakeExceptionRecord).
  void Call(std::int32_t lngDispid, WORD lngFlags, DISPPARAMS* objParams, VARIANT* varResult);
  // A property get converted to `lngType`.
  void GetAs(std::int32_t lngDispid, VARTYPE lngType, win32kit::UniqueVariant* varValue);

  win32kit::ComRef<IDispatch> mobjDispatch;
  HRESULT mlngCreateStatus = S_OK;
  const wchar_t* mstrProgId = nullptr;
};

}  // namespace brindlemark::win32
