// The command buttons: lifecycle, health check and drawer commands.
#include <array>
#include <vector>

#include "contract/ControlObject.h"
#include "tester/Form1.h"
#include "tester/LogText.h"

namespace brindlemark {

using namespace contract;

void Form1::Open_Click() {
  std::int32_t lngResult = 0;
  const bool blnCalled = Attempt(u"Open Error = ", [&] {
    std::vector<MethodArgument> objArgs(1);
    objArgs[0].varValue = mobjView.GetText(ControlId::OpenName);
    lngResult = cd.Invoke(kDispidOpen, objArgs);
  });
  // An open that failed outright left nothing open.
  SetOpened(blnCalled && lngResult == 0);
  if (!blnCalled) return;
  mobjView.AppendLogLine(LogLine(u"Open Return = ", lngResult));
  if (!Attempt(u"OpenResult Error = ", [&] {
        mobjView.AppendLogLine(LogLine(u"Open Result = ", cd.GetNumber(kDispidOpenResult)));
      })) {
    return;
  }
  ReadProperties();
}

void Form1::Close_Click() {
  std::int32_t lngResult = 0;
  const bool blnCalled = Attempt(u"Close Error = ", [&] { lngResult = CallPlain(kDispidClose); });
  SetOpened(false);
  if (!blnCalled) return;
  mobjView.AppendLogLine(LogLine(u"Close Result = ", lngResult));
  ReadProperties();
}

void Form1::Claim_Click() {
  if (!Attempt(u"Claim Error = ", [&] {
        std::vector<MethodArgument> objArgs(1);
        objArgs[0].varValue = kClaimTimeout;
        mobjView.AppendLogLine(LogLine(u"Claim Result = ", cd.Invoke(kDispidClaimDevice, objArgs)));
      })) {
    return;
  }
  ReadProperties();
}

void Form1::Release_Click() {
  if (!Attempt(u"Release Error = ", [&] {
        mobjView.AppendLogLine(LogLine(u"Release Result = ", CallPlain(kDispidReleaseDevice)));
      })) {
    return;
  }
  ReadProperties();
}

void Form1::Enable_Click() {
  if (Attempt(u"Enable Error = ", [&] { cd.PutFlag(kDispidDeviceEnabled, true); })) {
    ReadProperties();
  }
}

void Form1::Freeze_Click() {
  if (Attempt(u"Freeze Error = ", [&] { cd.PutFlag(kDispidFreezeEvents, true); })) {
    ReadProperties();
  }
}

void Form1::UnFreeze_Click() {
  if (Attempt(u"UnFreeze Error = ", [&] { cd.PutFlag(kDispidFreezeEvents, false); })) {
    ReadProperties();
  }
}

void Form1::CheckHealth_Click() {
  std::int32_t lngLevel = 0;
  if (mobjView.IsChecked(ControlId::Internal)) lngLevel = 1;
  if (mobjView.IsChecked(ControlId::External)) lngLevel = 2;
  if (mobjView.IsChecked(ControlId::Interactive)) lngLevel = 3;
  Attempt(u"CheckHealth Error = ", [&] {
    std::vector<MethodArgument> objArgs(1);
    objArgs[0].varValue = lngLevel;
    objArgs[0].blnByRef = true;
    const std::int32_t lngResult = cd.Invoke(kDispidCheckHealth, objArgs);
    const auto* lngLevelAfter = std::get_if<std::int32_t>(&objArgs[0].varValue);
    mobjView.AppendLogLine(
        LogLine(u"CheckHealth Level = ", lngLevelAfter ? *lngLevelAfter : lngLevel));
    mobjView.AppendLogLine(LogLine(u"CheckHealth Result = ", lngResult));
  });
}

void Form1::OpenDrawer_Click() {
  if (Attempt(u"OpenDrawer Error = ", [&] {
        mobjView.AppendLogLine(LogLine(u"OpenDrawer Result = ", CallPlain(kDispidOpenDrawer)));
      })) {
    ReadDrawerState();
  }
}

void Form1::ReadDrawer_Click() { ReadDrawerState(); }

void Form1::WaitForDrawerClose_Click() {
  struct WaitText {
    ControlId lngBox;
    const char16_t* strErrorText;
  };
  static constexpr std::array<WaitText, 4> kTexts{{
      {ControlId::TimeoutValue, u"TimeoutValue Error = "},
      {ControlId::FrequencyValue, u"FrequencyValue Error = "},
      {ControlId::DurationValue, u"DurationValue Error = "},
      {ControlId::DelayValue, u"DelayValue Error = "},
  }};
  std::vector<MethodArgument> objArgs;
  for (const WaitText& objText : kTexts) {
    std::int32_t lngValue = 0;
    const std::int32_t lngStatus = ParseWholeNumber(mobjView.GetText(objText.lngBox), &lngValue);
    if (lngStatus != 0) {
      mobjView.AppendLogLine(LogLine(objText.strErrorText, lngStatus));
      return;
    }
    objArgs.emplace_back();
    objArgs.back().varValue = lngValue;
    objArgs.back().blnByRef = true;
  }
  if (Attempt(u"Wait Error = ", [&] {
        mobjView.AppendLogLine(
            LogLine(u"Wait Result = ", cd.Invoke(kDispidWaitForDrawerClose, objArgs)));
      })) {
    ReadDrawerState();
  }
}

}  // namespace brindlemark
