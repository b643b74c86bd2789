// The provisioning tool's commands against an in-memory registry: what each
// writes, what bad input and failures leave behind, and what it prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "ProvisionFakes.h"
#include "provision/Commands.h"

namespace provision_test {
namespace {

using Args = std::vector<std::u16string>;

const std::u16string kCategory = kCategoryPath;
std::u16string Device(const std::u16string& name) { return kCategory + u"\\" + name; }

class ProvisionTest : public ::testing::Test {
 protected:
  FakeRegistry registry;
  FakeHid hid;
  FakeConsole console;

  int Run(const Args& args) { return RunCommandLine(args, registry, hid, console); }
  // A device as `add` makes it with PID 1234 and the defaults.
  void AddDevice(const std::u16string& name) {
    ASSERT_EQ(Run({u"add", name, u"--pid", u"1234"}), kExitOk) << console.ErrText();
    console.out.clear();
    console.err.clear();
  }
  void TearDown() override { EXPECT_TRUE(registry.open.empty()) << "a key was left open"; }
};

TEST_F(ProvisionTest, AddWritesEveryValueAsTextWithTheDefaults) {
  const std::u16string name = u"Schublade \u00DC\u20AC";
  AddDevice(name);
  const std::u16string key = Device(name);
  ASSERT_EQ(registry.keys.at(Folded(key)).values.size(), 6u);
  for (const RegistryValue& value : registry.keys.at(Folded(key)).values) {
    EXPECT_EQ(value.type, kTypeString);
  }
  EXPECT_EQ(registry.Text(key, u""), "quillvane.CashDrawer");
  EXPECT_EQ(registry.Text(key, u"PID"), "1234");
  EXPECT_EQ(registry.Text(key, u"Service"), "quillvane cash drawer service object");
  EXPECT_EQ(registry.Text(key, u"Description"), "USB cash drawer");
  EXPECT_EQ(DataText(*registry.Find(key, u"Name")), name);
  EXPECT_EQ(registry.Text(key, u"Version"), "1002001");

  ASSERT_EQ(Run({u"add", u"Other", u"--pid", u"-32767", u"--service", u"Acme.Drawer_2",
                 u"--service-description", u"S", u"--description", u"D", u"--device-name", u"N",
                 u"--version", u" 7 "}),
            kExitOk);
  const std::u16string other = Device(u"Other");
  EXPECT_EQ(registry.Text(other, u""), "Acme.Drawer_2");
  EXPECT_EQ(registry.Text(other, u"PID"), "-32767");
  EXPECT_EQ(registry.Text(other, u"Service") + registry.Text(other, u"Description") +
                registry.Text(other, u"Name") + registry.Text(other, u"Version"),
            "SDN7");
}

TEST_F(ProvisionTest, AddRefusesANameThatExistsWhateverItsCase) {
  registry.AddKey(Device(u"DRAWER"), {{u"PID", u"1"}});
  EXPECT_EQ(Run({u"add", u"drawer", u"--pid", u"2"}), kExitNotFound);
  EXPECT_EQ(registry.Text(Device(u"DRAWER"), u"PID"), "1");
  EXPECT_NE(console.ErrText().find("already exists"), std::string::npos);
}

TEST_F(ProvisionTest, BadNamesAreRefusedAndNothingIsTouched) {
  registry.AddKey(Device(u"Other"), {{u"PID", u"1"}});
  registry.AddKey(Device(u"Other\\Sub"));
  registry.AddKey(Device(std::u16string(255, u'y')));  // made elsewhere
  const struct {
    Args args;
    int exit;
    const char* message;
  } cases[] = {
      {{u"add", u"", u"--pid", u"1"}, kExitUsage, "cannot be empty"},
      {{u"add", u"a\\b", u"--pid", u"1"}, kExitUsage, "backslash"},
      {{u"add", std::u16string(255, u'x'), u"--pid", u"1"}, kExitUsage, "at most 254"},
      {{u"add", std::u16string(256, u'x'), u"--pid", u"1"}, kExitUsage, "at most 255"},
      {{u"add", u"tab\there", u"--pid", u"1"}, kExitUsage, "U+0009"},
      {{u"remove", u""}, kExitUsage, "cannot be empty"},
      {{u"remove", u"Other\\Sub"}, kExitUsage, "backslash"},
      {{u"set", u"", u"--pid", u"1"}, kExitUsage, "cannot be empty"},
      {{u"show", std::u16string(256, u'y')}, kExitUsage, "at most 255"},
      {{u"remove", u"Nobody"}, kExitNotFound, "no device named"},
      {{u"set", u"Nobody", u"--pid", u"1"}, kExitNotFound, "no device named"},
      {{u"show", u"Nobody"}, kExitNotFound, "no device named"},
  };
  const auto before = registry.keys.size();
  for (const auto& c : cases) {
    console.err.clear();
    EXPECT_EQ(Run(c.args), c.exit) << Narrow(c.args[0] + u" " + c.args[1].substr(0, 20));
    EXPECT_NE(console.ErrText().find(c.message), std::string::npos) << console.ErrText();
    EXPECT_EQ(registry.keys.size(), before);
  }
  EXPECT_TRUE(registry.Has(Device(u"Other\\Sub")));
  // A name made elsewhere that a new device could not take is still reachable.
  EXPECT_EQ(Run({u"remove", std::u16string(255, u'y')}), kExitOk);
}

TEST_F(ProvisionTest, ProductIdIsCheckedWithTheServiceObjectsRule) {
  const struct {
    const char16_t* text;
    int exit;
    const char* warning;  // expected on stderr, "" for none
    const char* stored;   // "<none>" when nothing is written
  } cases[] = {
      {u"1234", kExitOk, "", "1234"},
      {u"  -32767\t", kExitOk, "", "-32767"},
      {u"&H8001", kExitOk, "", "&H8001"},
      {u"0", kExitOk, "", "0"},
      {u"40000", kExitOk, "needs PID -25536", "40000"},
      {u"12.5", kExitOk, "can never match", "12.5"},
      {u"-40000", kExitOk, "can never match", "-40000"},
      {u"0x4D2", kExitOk, "reads as the number 0:", "0x4D2"},
      {u"12 34", kExitOk, "reads as the number 1234:", "12 34"},
      {u"abc", kExitUsage, "holds no number", "<none>"},
      {u"", kExitUsage, "holds no number", "<none>"},
      {u"&HZ", kExitUsage, "holds no number", "<none>"},
      {u"&H1FFFFFFFF", kExitUsage, "too large", "<none>"},
      {u"1e999", kExitUsage, "too large", "<none>"},
  };
  for (const auto& c : cases) {
    registry.keys.clear();
    console.err.clear();
    const std::string label = Narrow(c.text);
    EXPECT_EQ(Run({u"add", u"D", u"--pid", c.text}), c.exit) << label;
    EXPECT_EQ(registry.Text(Device(u"D"), u"PID"), c.stored) << label;
    if (*c.warning) {
      EXPECT_NE(console.ErrText().find(c.warning), std::string::npos) << console.ErrText();
    } else {
      EXPECT_TRUE(console.err.empty()) << label << ": " << console.ErrText();
    }
  }
}

TEST_F(ProvisionTest, VersionAndProgIdAreCheckedBeforeAnythingIsWritten) {
  const struct {
    const char16_t* option;
    const char16_t* text;
    int exit;
  } cases[] = {
      {u"--version", u"1.5", kExitUsage},
      {u"--version", u"abc", kExitUsage},
      {u"--version", u"99999999999", kExitUsage},
      {u"--version", u"-1", kExitOk},
      {u"--service", u"1Acme.Drawer", kExitUsage},
      {u"--service", u"Acme-Drawer", kExitUsage},
      {u"--service", u"OposCashDrawer_1_8_LibCtl.OPOSCashDrawer", kExitOk},
  };
  for (const auto& c : cases) {
    registry.keys.clear();
    EXPECT_EQ(Run({u"add", u"D", u"--pid", u"1", c.option, c.text}), c.exit) << Narrow(c.text);
    EXPECT_EQ(registry.Has(Device(u"D")), c.exit == kExitOk) << Narrow(c.text);
  }
}

TEST_F(ProvisionTest, AFailedWriteTakesAwayTheKeyAddMade) {
  for (int failing = 0; failing < 6; ++failing) {
    for (std::int32_t status : {1450, kStatusAccessDenied}) {
      registry = FakeRegistry();
      registry.failSetValue[failing] = status;
      console.err.clear();
      EXPECT_EQ(Run({u"add", u"D", u"--pid", u"1"}),
                status == kStatusAccessDenied ? kExitAccessDenied : kExitSystemError);
      EXPECT_FALSE(registry.Has(Device(u"D"))) << "write " << failing << " failed";
      EXPECT_NE(console.ErrText().find("removed again"), std::string::npos);
    }
  }
  registry = FakeRegistry();
  registry.failSetValue[3] = 1450;
  registry.deleteTreeStatus = kStatusAccessDenied;
  console.err.clear();
  EXPECT_EQ(Run({u"add", u"D", u"--pid", u"1"}), kExitSystemError);
  EXPECT_NE(console.ErrText().find("could not be removed"), std::string::npos);
}

TEST_F(ProvisionTest, SetChangesOnlyTheValuesGivenAfterCheckingThemAll) {
  AddDevice(u"D");
  const std::u16string key = Device(u"D");
  EXPECT_EQ(Run({u"set", u"D", u"--description", u"New", u"--pid", u"abc"}), kExitUsage);
  EXPECT_EQ(registry.Text(key, u"Description"), "USB cash drawer");

  EXPECT_EQ(Run({u"set", u"d", u"--description", u"New", u"--pid", u" 77 "}), kExitOk);
  EXPECT_EQ(registry.Text(key, u"Description"), "New");
  EXPECT_EQ(registry.Text(key, u"PID"), "77");
  EXPECT_EQ(registry.Text(key, u"Name"), "D");
  EXPECT_EQ(registry.keys.at(Folded(key)).values.size(), 6u);
}

TEST_F(ProvisionTest, SetPutsBackWhatItWroteWhenAWriteFails) {
  registry.AddKey(Device(u"D"), {{u"Service", u"old"}, {u"Version", u"5"}});
  registry.failSetValue[2] = 1450;  // the third write: "Version"
  EXPECT_EQ(Run({u"set", u"D", u"--service-description", u"S", u"--device-name", u"N", u"--version",
                 u"9"}),
            kExitSystemError);
  EXPECT_EQ(registry.Text(Device(u"D"), u"Service"), "old");
  EXPECT_EQ(registry.Text(Device(u"D"), u"Name"), "<none>");
  EXPECT_EQ(registry.Text(Device(u"D"), u"Version"), "5");
  EXPECT_NE(console.ErrText().find("put back"), std::string::npos);
}

// The trace level and recovery are numbers, written only when given; a bad
// one stops the command before anything is written.
TEST_F(ProvisionTest, TraceLevelAndReconnectAreCheckedNumbersWrittenOnlyWhenGiven) {
  AddDevice(u"D");
  const std::u16string key = Device(u"D");
  EXPECT_EQ(registry.Find(key, u"TraceLevel"), nullptr);
  EXPECT_EQ(registry.Find(key, u"Reconnect"), nullptr);
  for (const Args& bad :
       {Args{u"set", u"D", u"--trace-level", u"5", u"--description", u"X"},
        Args{u"set", u"D", u"--trace-level=-1"}, Args{u"set", u"D", u"--reconnect", u"yes"},
        Args{u"set", u"D", u"--reconnect", u"2"},
        Args{u"add", u"E", u"--pid", u"1", u"--trace-level", u"4x"}}) {
    EXPECT_EQ(Run(bad), kExitUsage) << Narrow(bad[2]);
  }
  EXPECT_EQ(registry.Text(key, u"Description"), "USB cash drawer");
  EXPECT_FALSE(registry.Has(Device(u"E")));

  EXPECT_EQ(Run({u"set", u"D", u"--trace-level", u" 4 ", u"--reconnect=1"}), kExitOk);
  EXPECT_EQ(Run({u"add", u"E", u"--pid", u"1", u"--trace-level", u"0", u"--reconnect", u"0"}),
            kExitOk);
  for (const auto& [device, level, reconnect] : {std::tuple{u"D", 4, 1}, std::tuple{u"E", 0, 0}}) {
    const RegistryValue* traceLevel = registry.Find(Device(device), u"TraceLevel");
    const RegistryValue* recover = registry.Find(Device(device), u"Reconnect");
    ASSERT_TRUE(traceLevel && recover);
    EXPECT_EQ(traceLevel->type, kTypeDword);
    EXPECT_EQ(traceLevel->data,
              (std::vector<std::uint8_t>{static_cast<std::uint8_t>(level), 0, 0, 0}));
    EXPECT_EQ(recover->data,
              (std::vector<std::uint8_t>{static_cast<std::uint8_t>(reconnect), 0, 0, 0}));
  }
  console.out.clear();
  EXPECT_EQ(Run({u"show", u"D"}), kExitOk);
  EXPECT_EQ(std::count(console.out.begin(), console.out.end(), u"TraceLevel\tREG_DWORD\t4"), 1);
  EXPECT_EQ(std::count(console.out.begin(), console.out.end(), u"Reconnect\tREG_DWORD\t1"), 1);
}

TEST_F(ProvisionTest, RemoveDeletesTheDeviceKeyAndNothingElse) {
  AddDevice(u"A");
  AddDevice(u"B");
  registry.AddKey(Device(u"A\\Extra"));
  EXPECT_EQ(Run({u"remove", u"a"}), kExitOk);
  EXPECT_FALSE(registry.Has(Device(u"A")));
  EXPECT_FALSE(registry.Has(Device(u"A\\Extra")));
  EXPECT_TRUE(registry.Has(Device(u"B")));
  EXPECT_TRUE(registry.Has(kCategory));
  EXPECT_EQ(Run({u"remove", u"A"}), kExitNotFound);
}

TEST_F(ProvisionTest, ReadOnlyKeysGiveAccessDeniedWithTheElevationHint) {
  AddDevice(u"D");
  registry.keys.at(Folded(kCategory)).readOnly = true;
  registry.keys.at(Folded(Device(u"D"))).readOnly = true;
  for (const Args& args : {Args{u"add", u"E", u"--pid", u"1"}, Args{u"set", u"D", u"--pid", u"2"},
                           Args{u"remove", u"D"}}) {
    console.err.clear();
    EXPECT_EQ(Run(args), kExitAccessDenied) << Narrow(args[0]);
    EXPECT_NE(console.ErrText().find("Run as administrator"), std::string::npos);
  }
  EXPECT_FALSE(registry.Has(Device(u"E")));
  EXPECT_EQ(registry.Text(Device(u"D"), u"PID"), "1234");
  EXPECT_EQ(Run({u"list"}), kExitOk);
  EXPECT_EQ(Run({u"show", u"D"}), kExitOk);
}

TEST_F(ProvisionTest, ListAndShowPrintOneTabSeparatedLineEach) {
  EXPECT_EQ(Run({u"list"}), kExitOk);  // no category key: no devices
  EXPECT_TRUE(console.out.empty());

  AddDevice(u"A");
  auto& b = registry.AddKey(Device(u"B"));
  b.values.push_back({u"PID", kTypeDword, {0xFF, 0xFF, 0xFF, 0xFF}});
  b.values.push_back({u"Blob", 3, {0x41, 0x00}});
  registry.AddKey(Device(u"C"), {{u"", u"Other.Drawer"}});
  EXPECT_EQ(Run({u"list"}), kExitOk);
  EXPECT_EQ(console.out, (std::vector<std::u16string>{u"A\t1234\tquillvane.CashDrawer", u"B\t-1\t",
                                                      u"C\t\tOther.Drawer"}));

  console.out.clear();
  EXPECT_EQ(Run({u"show", u"B"}), kExitOk);
  EXPECT_EQ(console.out,
            (std::vector<std::u16string>{u"PID\tREG_DWORD\t-1", u"Blob\tREG_BINARY\t41 00"}));
}

TEST_F(ProvisionTest, HidListsTheDrawersWithTheSignedPidThatMatchesThem) {
  hid.interfaces = {{u"\\\\?\\hid#a", true, 0x06E5, 0x04D2},
                    {u"\\\\?\\hid#b", true, 0x1234, 0x04D2},
                    {u"\\\\?\\hid#c", false, 0, 0},
                    {u"\\\\?\\hid#d", true, 0x06E5, 0x8001}};
  EXPECT_EQ(Run({u"hid"}), kExitOk);
  EXPECT_EQ(console.out, (std::vector<std::u16string>{u"0x04D2\t1234\t\\\\?\\hid#a",
                                                      u"0x8001\t-32767\t\\\\?\\hid#d"}));
  EXPECT_NE(console.ErrText().find("1 HID device(s) could not be opened"), std::string::npos);

  hid.interfaces.resize(2);
  hid.interfaces.erase(hid.interfaces.begin());
  console.err.clear();
  EXPECT_EQ(Run({u"hid"}), kExitOk);
  EXPECT_NE(console.ErrText().find("no HID device with vendor id 0x06E5"), std::string::npos);

  hid.status = 13;
  EXPECT_EQ(Run({u"hid"}), kExitSystemError);
}

TEST_F(ProvisionTest, TheCommandLineIsParsedStrictly) {
  const struct {
    Args args;
    int exit;
  } cases[] = {
      {{}, kExitUsage},
      {{u"frob"}, kExitUsage},
      {{u"list", u"--pid", u"1"}, kExitUsage},
      {{u"add", u"X"}, kExitUsage},
      {{u"add", u"X", u"--pid"}, kExitUsage},
      {{u"add", u"X", u"--pid", u"1", u"--pid", u"2"}, kExitUsage},
      {{u"add", u"X", u"Y", u"--pid", u"1"}, kExitUsage},
      {{u"add", u"X", u"--pid", u"1", u"--colour", u"red"}, kExitUsage},
      {{u"set", u"X"}, kExitUsage},
      {{u"--help"}, kExitOk},
      {{u"add", u"X", u"--pid=-5"}, kExitOk},
      {{u"add", u"--pid", u"-6", u"--", u"-dash"}, kExitOk},
  };
  for (const auto& c : cases) {
    registry.keys.clear();
    console.out.clear();
    const int exit = Run(c.args);
    EXPECT_EQ(exit, c.exit) << (c.args.empty() ? "(none)" : Narrow(c.args.back()));
    if (exit == kExitUsage) {
      EXPECT_TRUE(registry.keys.empty());
    }
  }
  EXPECT_EQ(registry.Text(Device(u"-dash"), u"PID"), "-6");
}

TEST_F(ProvisionTest, ViewChoosesTheRegistryViewReadAndWrittenAndSaysWhichItIs) {
  AddDevice(u"Own");  // the program's own view, 64-bit here
  const auto run = [&](const Args& args) {
    registry.view = RegistryView::k64;  // each run is a new process
    console.out.clear();
    console.err.clear();
    return Run(args);
  };
  EXPECT_EQ(run({u"add", u"Other", u"--view", u"32", u"--pid", u"5"}), kExitOk);
  EXPECT_EQ(console.out, std::vector<std::u16string>{u"added Other to the 32-bit view"});
  EXPECT_EQ(registry.keys32.count(Folded(Device(u"Other"))), 1u);
  EXPECT_EQ(registry.keys.count(Folded(Device(u"Other"))), 0u);

  EXPECT_EQ(run({u"list", u"--view=32"}), kExitOk);
  EXPECT_EQ(console.out, std::vector<std::u16string>{u"Other\t5\tquillvane.CashDrawer"});
  EXPECT_NE(console.ErrText().find("32-bit view, which 32-bit POS"), std::string::npos);
  EXPECT_EQ(run({u"show", u"Own"}), kExitOk);
  EXPECT_NE(console.ErrText().find("64-bit view, which 64-bit POS"), std::string::npos);
  EXPECT_EQ(run({u"remove", u"Own", u"--view", u"32"}), kExitNotFound);
  EXPECT_NE(console.ErrText().find("in the 32-bit view"), std::string::npos);
  EXPECT_EQ(registry.keys.count(Folded(Device(u"Own"))), 1u);

  // Bad views, and a view the machine lacks, are refused before anything is written.
  for (const Args& args : {Args{u"add", u"X", u"--pid", u"1", u"--view", u"16"},
                           Args{u"add", u"X", u"--pid", u"1", u"--view"},
                           Args{u"add", u"X", u"--pid", u"1", u"--view", u"32", u"--view=64"},
                           Args{u"hid", u"--view", u"32"}}) {
    EXPECT_EQ(run(args), kExitUsage) << Narrow(args.back());
  }
  registry.view = RegistryView::k32;
  registry.hasOtherView = false;
  console.err.clear();
  EXPECT_EQ(Run({u"add", u"X", u"--pid", u"1", u"--view", u"64"}), kExitUsage);
  EXPECT_NE(console.ErrText().find("no 64-bit view"), std::string::npos);
  EXPECT_EQ(registry.view, RegistryView::k32);
  EXPECT_EQ(registry.keys.count(Folded(Device(u"X"))) + registry.keys32.count(Folded(Device(u"X"))),
            0u);
}

}  // namespace
}  // namespace provision_test
