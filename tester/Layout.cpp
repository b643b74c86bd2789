#include "tester/Layout.h"

#include <iterator>

namespace brindlemark {
namespace {

using K = ControlKind;
using C = ControlId;
constexpr C kWindow = C::kNone;

constexpr ControlLayout kControls[] = {
    // Device lifecycle.
    {C::Open, "Open", K::kButton, u"Open", 120, 240, 1215, 495, kWindow, true, false},
    {C::Close, "Close", K::kButton, u"Close", 1560, 240, 1215, 495, kWindow, true, false},
    {C::OpenName, "OpenName", K::kComboBox, u"", 120, 840, 1335, 315, kWindow, true, false},
    {C::Opened, "Opened", K::kCheckBox, u"Opened", 1560, 840, 1215, 495, kWindow, true, false},
    {C::Freeze, "Freeze", K::kButton, u"Freeze", 3000, 840, 1215, 495, kWindow, true, false},
    {C::Claim, "Claim", K::kButton, u"Claim", 120, 1440, 1215, 495, kWindow, true, false},
    {C::Release, "Release", K::kButton, u"Release", 1560, 1440, 1215, 495, kWindow, true, false},
    {C::UnFreeze, "UnFreeze", K::kButton, u"UnFreeze", 3000, 1440, 1215, 495, kWindow, true, false},
    {C::Enable, "Enable", K::kButton, u"Enable", 120, 2040, 1215, 495, kWindow, true, false},
    // Health check, drawer, wait and log.
    {C::Frame7, "Frame7", K::kFrame, u"", 120, 2640, 2655, 1575, kWindow, true, false},
    {C::CheckHealth, "CheckHealth", K::kButton, u"CheckHealth", 240, 2880, 1215, 495, kWindow, true,
     false},
    {C::Internal, "Internal", K::kOptionButton, u"Internal", 1560, 2760, 1095, 495, kWindow, true,
     true},
    {C::External, "External", K::kOptionButton, u"External", 1560, 3120, 1095, 615, kWindow, true,
     false},
    {C::Interactive, "Interactive", K::kOptionButton, u"Interactive", 1560, 3600, 1095, 495,
     kWindow, true, false},
    {C::OpenDrawer, "OpenDrawer", K::kButton, u"OpenDrawer", 120, 4320, 1215, 495, kWindow, true,
     false},
    {C::ReadDrawer, "ReadDrawer", K::kButton, u"ReadDrawer", 1560, 4320, 1215, 495, kWindow, true,
     false},
    {C::DrawerOpened, "DrawerOpened", K::kCheckBox, u"DrawerOpened", 120, 4920, 1455, 495, kWindow,
     true, false},
    {C::Frame9, "Frame9", K::kFrame, u"", 2880, 1920, 1815, 3255, kWindow, true, false},
    {C::WaitForDrawerClose, "WaitForDrawerClose", K::kButton, u"Wait For Drawer Close", 3000, 2160,
     1215, 495, kWindow, true, false},
    {C::Frame10, "Frame10", K::kFrame, u"Timeout", 3000, 2640, 1575, 615, kWindow, true, false},
    {C::TimeoutValue, "TimeoutValue", K::kTextBox, u"10000", 3120, 2880, 1215, 285, kWindow, true,
     false},
    {C::Frame11, "Frame11", K::kFrame, u"Frequency", 3000, 3240, 1575, 615, kWindow, true, false},
    {C::FrequencyValue, "FrequencyValue", K::kTextBox, u"500", 3120, 3480, 1215, 285, kWindow, true,
     false},
    {C::Frame12, "Frame12", K::kFrame, u"Duration", 3000, 3840, 1575, 615, kWindow, true, false},
    {C::DurationValue, "DurationValue", K::kTextBox, u"1000", 3120, 4080, 1215, 285, kWindow, true,
     false},
    {C::Frame13, "Frame13", K::kFrame, u"Delay", 3000, 4440, 1575, 615, kWindow, true, false},
    {C::DelayValue, "DelayValue", K::kTextBox, u"3000", 3120, 4680, 1215, 285, kWindow, true,
     false},
    {C::Frame8, "Frame8", K::kFrame, u"Debug Results", 120, 5400, 4575, 1695, kWindow, true, false},
    {C::List1, "List1", K::kListBox, u"", 240, 5640, 4335, 1230, kWindow, true, false},
    // Property readout.
    {C::Frame1, "Frame1", K::kFrame, u"Read Properties", 4800, 120, 4455, 5655, kWindow, true,
     false},
    {C::ReadProperties, "ReadProperties", K::kButton, u"Read Properties", 4920, 360, 1215, 495,
     kWindow, true, false},
    {C::Frame2, "Frame2", K::kFrame, u"CheckHealthText", 6720, 240, 2415, 615, C::Frame1, true,
     false},
    {C::CheckHealthText, "CheckHealthText", K::kTextBox, u"", 6840, 480, 2175, 285, kWindow, true,
     false},
    {C::Claimed, "Claimed", K::kCheckBox, u"Claimed", 4920, 960, 1095, 255, kWindow, true, false},
    {C::FreezeEvents, "FreezeEvents", K::kCheckBox, u"FreezeEvents", 6960, 840, 1335, 495, kWindow,
     true, false},
    {C::DeviceEnabled, "DeviceEnabled", K::kCheckBox, u"DeviceEnabled", 4920, 1200, 1455, 495,
     kWindow, true, false},
    {C::CapStatus, "CapStatus", K::kCheckBox, u"CapStatus", 6960, 1200, 1215, 495, kWindow, true,
     false},
    {C::CapPowerReporting, "CapPowerReporting", K::kCheckBox, u"CapPowerReporting", 4920, 1560,
     1815, 495, kWindow, false, false},
    {C::CapStatusMultiDrawer, "CapStatusMultiDrawer", K::kCheckBox, u"CapStatusMultiDrawer", 6960,
     1560, 2175, 495, kWindow, true, false},
    {C::CapStatisticsReporting, "CapStatisticsReporting", K::kCheckBox, u"CapStatisticsReporting",
     4920, 1920, 1935, 495, kWindow, false, false},
    {C::CapUpdateStatistics, "CapUpdateStatistics", K::kCheckBox, u"CapUpdateStatistics", 4920,
     2280, 1815, 495, kWindow, false, false},
    {C::Frame3, "Frame3", K::kFrame, u"DeviceServiceDescription", 4920, 2640, 4215, 615, kWindow,
     true, false},
    {C::DeviceServiceDescription, "DeviceServiceDescription", K::kTextBox, u"", 5040, 2880, 3975,
     285, kWindow, true, false},
    {C::Frame4, "Frame4", K::kFrame, u"DeviceServiceVersion", 4920, 3360, 4215, 615, kWindow, true,
     false},
    {C::DeviceServiceVersion, "DeviceServiceVersion", K::kTextBox, u"", 5040, 3600, 3975, 285,
     kWindow, true, false},
    {C::Frame5, "Frame5", K::kFrame, u"PhysicalDeviceDescription", 4920, 4080, 4215, 615, kWindow,
     true, false},
    {C::PhysicalDeviceDescription, "PhysicalDeviceDescription", K::kTextBox, u"", 5040, 4320, 3975,
     285, kWindow, true, false},
    {C::Frame6, "Frame6", K::kFrame, u"PhysicalDeviceName", 4920, 4800, 4215, 615, kWindow, true,
     false},
    {C::PhysicalDeviceName, "PhysicalDeviceName", K::kTextBox, u"", 5040, 5040, 3975, 285, kWindow,
     true, false},
};

}  // namespace

const ControlLayout* FormControls(std::size_t* lngCount) {
  *lngCount = std::size(kControls);
  return kControls;
}

const ControlLayout* FindControl(ControlId lngId) {
  for (const ControlLayout& objControl : kControls) {
    if (objControl.lngId == lngId) return &objControl;
  }
  return nullptr;
}

}  // namespace brindlemark
