// Form1's command logic: what each click calls on the control object `cd`,
// in which order, the lines it appends to List1, and what it sets in the
// window. Portable: the window and `cd` are reached through FormView and
// ControlObjectPort.
//
// A call on `cd` that fails with an automation error ends the command at that
// point and appends one line, the step's fixed error text followed by the
// failure status as a signed decimal ("Open Error = -2147221164"). What the
// command set before stays set. A wait text that is not a whole 32-bit number
// appends "<box name> Error = " with the type-mismatch or overflow status and
// the wait is not called.
//
// Everything runs on the window's thread. A handler can be entered again
// while `cd` runs WaitForDrawerClose (the service object pumps the window's
// messages), so handlers keep no state on the object but blnOpened.
#pragma once

#include <cstdint>
#include <functional>

#include "tester/ControlObjectPort.h"
#include "tester/DeviceRegistry.h"
#include "tester/FormView.h"
#include "tester/Layout.h"

namespace brindlemark {

// The device category key the list is read from, and the access it asks for.
inline constexpr char16_t kDeviceCategoryKey[] = u"Software\\OLEforRetail\\ServiceOPOS\\CashDrawer";
constexpr std::uint32_t kDeviceCategoryAccess = 0x3F;
constexpr std::uint32_t kDeviceNameChars = 255;
constexpr std::int32_t kClaimTimeout = 1000;

class Form1 {
 public:
  Form1(ControlObjectPort& objControl, FormView& objView);

  // Fills OpenName from the registry. Calls nothing on `cd`, logs nothing.
  void Form_Load(DeviceRegistry& objRegistry);

  // Runs the click handler of `lngId`; false when that control has no action
  // (its click changes nothing but what the window itself shows).
  bool Click(ControlId lngId);

  // Lifecycle commands.
  void Open_Click();
  void Close_Click();
  void Claim_Click();
  void Release_Click();
  void Enable_Click();
  void Freeze_Click();
  void UnFreeze_Click();
  // Drawer commands and the health check.
  void CheckHealth_Click();
  void OpenDrawer_Click();
  void ReadDrawer_Click();
  void WaitForDrawerClose_Click();
  // The indicator box that reflects blnOpened.
  void Opened_Click();

  // Reads the thirteen properties in order and sets the readout controls.
  void ReadProperties();
  // Reads DrawerOpened and sets its box.
  void ReadDrawerState();

  bool blnOpened() const { return mblnOpened; }

 private:
  // Runs one step that calls `cd`; on an automation error appends
  // `strErrorText` with the status and gives false.
  bool Attempt(const char16_t* strErrorText, const std::function<void()>& objStep);
  void SetOpened(bool blnValue);
  // Calls a method of `cd` that takes no arguments.
  std::int32_t CallPlain(std::int32_t lngDispid);

  ControlObjectPort& cd;
  FormView& mobjView;
  bool mblnOpened = false;
};

}  // namespace brindlemark
