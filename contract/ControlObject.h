// The control object as the service object and the tester know it.
//
// The control object is an outside automation component. The tester calls it
// by DISPID (the members below, with their kinds and argument orders); the
// service object holds a counted reference to it from OpenService until
// CloseService and calls its SOStatusUpdate method by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace contract {

// Application-side members of the control object, by DISPID.
enum ControlDispid : std::int32_t {
  // Property gets.
  kDispidCapPowerReporting = 12,         // integer
  kDispidCheckHealthText = 13,           // string
  kDispidClaimed = 14,                   // boolean
  kDispidDeviceEnabled = 17,             // boolean; also put
  kDispidFreezeEvents = 18,              // boolean; also put
  kDispidServiceObjectDescription = 27,  // string
  kDispidServiceObjectVersion = 28,      // integer
  kDispidDeviceDescription = 29,         // string
  kDispidDeviceName = 30,                // string
  kDispidCapStatisticsReporting = 39,    // boolean
  kDispidCapUpdateStatistics = 40,       // boolean
  kDispidOpenResult = 49,                // integer
  kDispidCapStatus = 50,                 // boolean
  kDispidDrawerOpened = 51,              // boolean
  kDispidCapStatusMultiDrawer = 52,      // boolean
  // Methods, each returning a result code.
  kDispidCheckHealth = 31,         // (Level: long, by reference)
  kDispidClaimDevice = 32,         // (Timeout: long, by value)
  kDispidClose = 35,               // ()
  kDispidOpen = 37,                // (DeviceName: string, by value)
  kDispidReleaseDevice = 38,       // ()
  kDispidOpenDrawer = 60,          // ()
  kDispidWaitForDrawerClose = 61,  // (BeepTimeout, BeepFrequency, BeepDuration, BeepDelay:
                                   //  long, each by reference)
};

// The method the service object calls, by name, once per status code.
inline constexpr char16_t kStatusUpdateMethod[] = u"SOStatusUpdate";

// Status codes passed to SOStatusUpdate.
constexpr std::int32_t CASH_SUE_DRAWERCLOSED = 0;
constexpr std::int32_t CASH_SUE_DRAWEROPEN = 1;
// Power status codes, when the application has asked for power notification.
constexpr std::int32_t OPOS_SUE_POWER_ONLINE = 2001;
constexpr std::int32_t OPOS_SUE_POWER_OFF_OFFLINE = 2004;

// A counted reference to an automation object that the service object calls
// late-bound. The Win32 frame wraps an IDispatch (the name is looked up with
// GetIDsOfNames at every call); the simulated side records the calls.
class AutomationObject {
 public:
  virtual ~AutomationObject() = default;
  // Invokes the method `name` with one 32-bit integer passed by value; the
  // result is ignored. A failure (unknown name, rejected call) throws
  // quillvane::RuntimeError carrying the component's failure status.
  virtual void CallMethod(const std::u16string& name, std::int32_t value) = 0;
};

using AutomationRef = std::shared_ptr<AutomationObject>;

}  // namespace contract
