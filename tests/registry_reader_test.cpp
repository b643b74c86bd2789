#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/PlatformTypes.h"
#include "service/basRegistry.h"
#include "sim/SimPlatform.h"
#include "tests/DrawerTestSupport.h"

namespace {

using drawer_test::ErrorNumberOf;
using drawer_test::kDeviceKey;
using quillvane::RegVariant;
using quillvane::basRegistry::GetRegValue;

class RegistryReader : public ::testing::Test {
 protected:
  RegVariant Read(const std::string& name, const std::string& key = kDeviceKey) {
    return GetRegValue(sim, quillvane::kHkeyLocalMachine, drawer_test::Text(key),
                       drawer_test::Text(name));
  }
  void SetRaw(const std::string& name, std::uint32_t type, const std::string& bytes) {
    sim.Registry().SetValue(kDeviceKey, name, type,
                            std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  }
  void TearDown() override {
    EXPECT_TRUE(sim.Violations().empty()) << ::testing::PrintToString(sim.Violations());
    EXPECT_TRUE(sim.LeakedHandles().empty()) << ::testing::PrintToString(sim.LeakedHandles());
    // Every key opened is closed again.
    EXPECT_EQ(sim.CountCalls("RegOpenKeyA") - failedOpens, sim.CountCalls("RegCloseKey"));
  }

  sim::SimPlatform sim;
  std::size_t failedOpens = 0;
};

TEST_F(RegistryReader, TextAndNumbersReadAsThemselves) {
  sim.Registry().SetString(kDeviceKey, "PID", "1234");
  sim.Registry().SetDword(kDeviceKey, "Version", 1234);
  sim.Registry().SetDword(kDeviceKey, "Seven", 7);
  sim.Registry().SetDword(kDeviceKey, "AllBits", 0xFFFFFFFFu);

  RegVariant pid = Read("PID");
  EXPECT_FALSE(pid.blnIsLong);
  EXPECT_EQ(pid.strValue, u"1234");
  RegVariant version = Read("Version");
  EXPECT_TRUE(version.blnIsLong);
  EXPECT_EQ(version.lngValue, 1234);
  EXPECT_EQ(version.ToText(), u"1234");
  EXPECT_EQ(Read("Seven").ToText(), u"7");
  EXPECT_EQ(Read("AllBits").lngValue, -1);
  EXPECT_EQ(Read("AllBits").ToText(), u"-1");
  EXPECT_EQ(quillvane::basRegistry::lngRegStatus(), 0);
}

TEST_F(RegistryReader, TextEndsAtItsFirstNul) {
  SetRaw("Embedded", quillvane::kRegSz, std::string("AB\0CD\0", 6));
  SetRaw("Empty", quillvane::kRegSz, "");
  SetRaw("OnlyNul", quillvane::kRegSz, std::string("\0", 1));
  sim.Registry().SetString(kDeviceKey, "Unterminated", "whole text", false);
  SetRaw("Latin1", quillvane::kRegSz, std::string("caf\xE9\0", 5));

  EXPECT_EQ(Read("Embedded").strValue, u"AB");
  EXPECT_EQ(Read("Empty").ToText(), u"");
  EXPECT_EQ(Read("OnlyNul").ToText(), u"");
  EXPECT_EQ(Read("Unterminated").strValue, u"whole text");
  EXPECT_EQ(Read("Latin1").strValue, u"caf\u00e9");
}

TEST_F(RegistryReader, OtherTypesAndFailuresReadAsEmptyText) {
  SetRaw("Expand", quillvane::kRegExpandSz, std::string("%PATH%\0", 7));
  SetRaw("Multi", quillvane::kRegMultiSz, std::string("a\0b\0\0", 5));
  SetRaw("Binary", quillvane::kRegBinary, std::string("\x01\x02", 2));

  for (const char* name : {"Expand", "Multi", "Binary", "Missing"}) {
    RegVariant value = Read(name);
    EXPECT_FALSE(value.blnIsLong) << name;
    EXPECT_EQ(value.ToText(), u"") << name;
  }

  EXPECT_EQ(Read("PID", drawer_test::kCategoryKey + "NoSuchDevice").ToText(), u"");
  ++failedOpens;
  EXPECT_NE(quillvane::basRegistry::lngRegStatus(), 0);
}

TEST_F(RegistryReader, HugeTextReadsWholeAndANulPastPosition32767Overflows) {
  sim.Registry().SetString(kDeviceKey, "Huge", std::string(100000, 'x'), false);
  EXPECT_EQ(Read("Huge").strValue.size(), 100000u);

  sim.Registry().SetString(kDeviceKey, "NulAt32767", std::string(32766, 'y'));
  EXPECT_EQ(Read("NulAt32767").strValue.size(), 32766u);

  sim.Registry().SetString(kDeviceKey, "NulAt32768", std::string(32767, 'z'));
  EXPECT_EQ(ErrorNumberOf([&] { Read("NulAt32768"); }), quillvane::kErrOverflow);
  // The key of the failed read is closed all the same (checked in TearDown).
}

TEST_F(RegistryReader, ANameHoldingANulNamesNoKeyAndCallsNoPlatform) {
  // Cut at the NUL, either name would read the device's "PID".
  sim.Registry().SetString(kDeviceKey, "PID", "1234");
  const std::u16string key = drawer_test::Text(kDeviceKey);
  EXPECT_EQ(GetRegValue(sim, quillvane::kHkeyLocalMachine, key + u'\0' + u"x", u"PID").ToText(),
            u"");
  EXPECT_EQ(
      GetRegValue(sim, quillvane::kHkeyLocalMachine, key, std::u16string(u"PID\0x", 5)).ToText(),
      u"");
  EXPECT_EQ(sim.CountCalls("RegOpenKeyA"), 0u);
}

TEST_F(RegistryReader, MissingAdvapiRaisesTheBindingErrors) {
  sim.SetMissingLibrary("advapi32.dll");
  EXPECT_EQ(ErrorNumberOf([&] { Read("PID"); }), quillvane::kErrDllLoad);
  sim.SetMissingLibrary("advapi32.dll", false);
  sim.Registry().SetString(kDeviceKey, "PID", "1");
  sim.SetMissingFunction("RegQueryValueExA");
  EXPECT_EQ(ErrorNumberOf([&] { Read("PID"); }), quillvane::kErrEntryPoint);
  failedOpens = sim.CountCalls("RegOpenKeyA") - sim.CountCalls("RegCloseKey");
  EXPECT_TRUE(sim.LeakedHandles().empty());
}

}  // namespace
