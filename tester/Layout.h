// The controls of Form1: their identifiers, kinds, captions or initial
// contents, and positions in twips in the window's client coordinates. The
// window is built from this table and the layout test checks against it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brindlemark {

// Also the Win32 control identifiers.
enum class ControlId : std::int32_t {
  kNone = 0,
  Open = 101,
  Close,
  OpenName,
  Opened,
  Freeze,
  Claim,
  Release,
  UnFreeze,
  Enable,
  Frame7,
  CheckHealth,
  Internal,
  External,
  Interactive,
  OpenDrawer,
  ReadDrawer,
  DrawerOpened,
  Frame9,
  WaitForDrawerClose,
  Frame10,
  TimeoutValue,
  Frame11,
  FrequencyValue,
  Frame12,
  DurationValue,
  Frame13,
  DelayValue,
  Frame8,
  List1,
  Frame1,
  ReadProperties,
  Frame2,
  CheckHealthText,
  Claimed,
  FreezeEvents,
  DeviceEnabled,
  CapStatus,
  CapPowerReporting,
  CapStatusMultiDrawer,
  CapStatisticsReporting,
  CapUpdateStatistics,
  Frame3,
  DeviceServiceDescription,
  Frame4,
  DeviceServiceVersion,
  Frame5,
  PhysicalDeviceDescription,
  Frame6,
  PhysicalDeviceName,
};

enum class ControlKind { kButton, kCheckBox, kOptionButton, kTextBox, kComboBox, kListBox, kFrame };

struct ControlLayout {
  ControlId lngId;
  const char* strName;
  ControlKind lngKind;
  const char16_t* strCaption;  // caption, or the initial text of a text box
  std::int32_t lngLeft;        // twips, window client coordinates
  std::int32_t lngTop;
  std::int32_t lngWidth;
  std::int32_t lngHeight;
  ControlId lngParent;  // kNone: a child of the window
  bool blnVisible;
  bool blnSelected;  // an option button selected at start
};

constexpr std::int32_t kTwipsPerPixel = 15;  // 96 dots per inch
constexpr std::int32_t kClientWidthTwips = 9375;
constexpr std::int32_t kClientHeightTwips = 7155;
inline constexpr char16_t kFormCaption[] = u"Brindlemark";

// Every control, in creation order (a parent before its children).
const ControlLayout* FormControls(std::size_t* lngCount);
// The entry of `lngId`, or null.
const ControlLayout* FindControl(ControlId lngId);

}  // namespace brindlemark
