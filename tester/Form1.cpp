#include "tester/Form1.h"

#include <vector>

#include "contract/ControlObject.h"
#include "tester/LogText.h"

namespace brindlemark {
namespace {

// Closes the device category key once, however the load ends.
class OpenedKey {
 public:
  OpenedKey(DeviceRegistry& objRegistry, RegistryKeyToken objKey)
      : mobjRegistry(objRegistry), mobjKey(objKey) {}
  ~OpenedKey() { mobjRegistry.CloseKey(mobjKey); }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  RegistryKeyToken Get() const { return mobjKey; }

 private:
  DeviceRegistry& mobjRegistry;
  RegistryKeyToken mobjKey;
};

}  // namespace

Form1::Form1(ControlObjectPort& objControl, FormView& objView)
    : cd(objControl), mobjView(objView) {}

bool Form1::Attempt(const char16_t* strErrorText, const std::function<void()>& objStep) {
  try {
    objStep();
    return true;
  } catch (const AutomationError& objError) {
    mobjView.AppendLogLine(LogLine(strErrorText, objError.Status()));
    return false;
  }
}

void Form1::Form_Load(DeviceRegistry& objRegistry) {
  mobjView.ClearOpenName();
  RegistryKeyToken objKey = 0;
  if (objRegistry.OpenLocalMachineKey(kDeviceCategoryKey, kDeviceCategoryAccess, &objKey) != 0) {
    mobjView.EnableControl(ControlId::OpenName, false);
    return;
  }
  OpenedKey objCategory(objRegistry, objKey);
  for (std::uint32_t lngIndex = 0;; ++lngIndex) {
    std::u16string strName;
    if (objRegistry.EnumKey(objCategory.Get(), lngIndex, kDeviceNameChars, kDeviceNameChars,
                            &strName) != 0) {
      break;
    }
    mobjView.AddOpenNameItem(strName);
  }
}

bool Form1::Click(ControlId lngId) {
  switch (lngId) {
    case ControlId::Open:
      Open_Click();
      return true;
    case ControlId::Close:
      Close_Click();
      return true;
    case ControlId::Claim:
      Claim_Click();
      return true;
    case ControlId::Release:
      Release_Click();
      return true;
    case ControlId::Enable:
      Enable_Click();
      return true;
    case ControlId::Freeze:
      Freeze_Click();
      return true;
    case ControlId::UnFreeze:
      UnFreeze_Click();
      return true;
    case ControlId::CheckHealth:
      CheckHealth_Click();
      return true;
    case ControlId::OpenDrawer:
      OpenDrawer_Click();
      return true;
    case ControlId::ReadDrawer:
      ReadDrawer_Click();
      return true;
    case ControlId::WaitForDrawerClose:
      WaitForDrawerClose_Click();
      return true;
    case ControlId::Opened:
      Opened_Click();
      return true;
    case ControlId::ReadProperties:
    case ControlId::Claimed:
    case ControlId::DeviceEnabled:
    case ControlId::FreezeEvents:
    case ControlId::CapPowerReporting:
    case ControlId::CapStatisticsReporting:
    case ControlId::CapUpdateStatistics:
      ReadProperties();
      return true;
    case ControlId::DrawerOpened:
      ReadDrawerState();
      return true;
    default:
      return false;
  }
}

void Form1::SetOpened(bool blnValue) {
  mblnOpened = blnValue;
  mobjView.SetChecked(ControlId::Opened, blnValue);
}

std::int32_t Form1::CallPlain(std::int32_t lngDispid) {
  std::vector<MethodArgument> objArgs;
  return cd.Invoke(lngDispid, objArgs);
}

void Form1::Opened_Click() { mobjView.SetChecked(ControlId::Opened, mblnOpened); }

void Form1::ReadProperties() {
  Attempt(u"ReadProperties Error = ", [this] {
    using namespace contract;
    mobjView.SetChecked(ControlId::CapPowerReporting, cd.GetNumber(kDispidCapPowerReporting) == -1);
    mobjView.SetChecked(ControlId::CapStatisticsReporting,
                        cd.GetNumber(kDispidCapStatisticsReporting) != 0);
    mobjView.SetChecked(ControlId::CapUpdateStatistics,
                        cd.GetNumber(kDispidCapUpdateStatistics) != 0);
    mobjView.SetText(ControlId::CheckHealthText, cd.GetText(kDispidCheckHealthText));
    mobjView.SetChecked(ControlId::Claimed, cd.GetNumber(kDispidClaimed) != 0);
    mobjView.SetChecked(ControlId::DeviceEnabled, cd.GetNumber(kDispidDeviceEnabled) != 0);
    mobjView.SetChecked(ControlId::FreezeEvents, cd.GetNumber(kDispidFreezeEvents) != 0);
    mobjView.SetText(ControlId::DeviceServiceDescription,
                     cd.GetText(kDispidServiceObjectDescription));
    mobjView.SetText(ControlId::DeviceServiceVersion,
                     Decimal(cd.GetNumber(kDispidServiceObjectVersion)));
    mobjView.SetText(ControlId::PhysicalDeviceDescription, cd.GetText(kDispidDeviceDescription));
    mobjView.SetText(ControlId::PhysicalDeviceName, cd.GetText(kDispidDeviceName));
    mobjView.SetChecked(ControlId::CapStatus, cd.GetNumber(kDispidCapStatus) != 0);
    mobjView.SetChecked(ControlId::CapStatusMultiDrawer,
                        cd.GetNumber(kDispidCapStatusMultiDrawer) != 0);
  });
}

void Form1::ReadDrawerState() {
  Attempt(u"ReadDrawer Error = ", [this] {
    mobjView.SetChecked(ControlId::DrawerOpened, cd.GetNumber(contract::kDispidDrawerOpened) != 0);
  });
}

}  // namespace brindlemark
