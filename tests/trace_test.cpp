// The field trace on the simulated platform: what each level writes, where
// its settings come from, daily files and the 14 days kept, the size cap,
// and a trace that cannot be written, which must cost nothing but itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "contract/AutomationBoundary.h"
#include "service/CashDrawer.h"
#include "service/MLiteTimer.h"
#include "sim/ForwardingPlatform.h"
#include "sim/RecordingControlObject.h"
#include "sim/SimPlatform.h"
#include "tests/DrawerTestSupport.h"

namespace {

using namespace quillvane;

const std::u16string kLogs = u"C:\\ProgramData\\quillvane\\logs";
const std::u16string kLogOf15th = kLogs + u"\\TestDrawer-20240115.log";
const std::u16string kLogOf16th = kLogs + u"\\TestDrawer-20240116.log";
const std::string kMachineKey = "SOFTWARE\\quillvane";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(text.substr(at, end - at));
  }
  return lines;
}

// A line without its time and thread fields.
std::string Record(const std::string& line) {
  return line.substr(line.find('\t', line.find('\t') + 1) + 1);
}

std::vector<std::string> Records(const std::string& text) {
  std::vector<std::string> records;
  for (const std::string& line : Lines(text)) records.push_back(Record(line));
  return records;
}

// What a method gave: its result, or the run-time error it raised.
struct Outcome {
  std::int32_t result = 0;
  std::int32_t error = 0;
  bool operator==(const Outcome& other) const {
    return result == other.result && error == other.error;
  }
};

// One application session against one drawer, on a platform of its own
// (optionally seen through a wrapper that injects faults).
struct Session {
  explicit Session(std::uint32_t level, std::optional<std::uint32_t> maxKB = std::nullopt) {
    sim.Registry().SetString(drawer_test::kDeviceKey, "PID", "1234");
    sim.Registry().SetDword(drawer_test::kDeviceKey, "TraceLevel", level);
    if (maxKB) sim.Registry().SetDword(drawer_test::kDeviceKey, "TraceMaxKB", *maxKB);
    sim::HidDeviceConfig config;
    config.productId = 1234;
    device = &sim.AddHidDevice(config);
  }

  void Use(ApiDeclarations& api) { drawer = CashDrawer::Create(api); }

  Outcome Call(const std::function<std::int32_t()>& method) {
    const MethodOutcome<std::int32_t> outcome = CallMethod(method);
    return Outcome{outcome.value, outcome.hresult == 0 ? 0 : outcome.hresult & 0xFFFF};
  }

  void RunFor(std::uint64_t ms) {
    for (std::uint64_t i = 0; i < ms; ++i) {
      sim.Clock().AdvanceBy(1);
      sim.PumpMessages();
    }
  }

  // Open, claim, enable, a property that raises, a pulse the poll reports,
  // the operator shutting the drawer, close; with `idleMs` of polling
  // before the close.
  std::vector<Outcome> Run(std::uint64_t idleMs = 0) {
    if (!drawer) drawer = CashDrawer::Create(sim);
    std::vector<Outcome> outcomes;
    outcomes.push_back(
        Call([&] { return drawer->OpenService(u"CashDrawer", u"TestDrawer", control); }));
    outcomes.push_back(Call([&] { return drawer->ClaimDevice(1000); }));
    outcomes.push_back(Call([&] {
      drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
      return drawer->GetPropertyNumber(PIDX_DeviceEnabled);
    }));
    outcomes.push_back(Call([&] { return drawer->GetPropertyNumber(PIDX_ServiceObjectVersion); }));
    outcomes.push_back(Call([&] { return drawer->OpenDrawer(); }));
    RunFor(200);
    device->Drawer().SetOpen(false, sim.Clock().Now());
    RunFor(100 + idleMs);
    outcomes.push_back(Call([&] { return drawer->CloseService(); }));
    drawer.reset();
    return outcomes;
  }

  void ExpectNothingLeft() {
    EXPECT_TRUE(sim.Violations().empty()) << ::testing::PrintToString(sim.Violations());
    EXPECT_TRUE(sim.LeakedHandles().empty()) << ::testing::PrintToString(sim.LeakedHandles());
    EXPECT_FALSE(MLiteTimer::HasTable());
  }

  sim::SimPlatform sim;
  sim::SimHidDevice* device = nullptr;
  std::shared_ptr<sim::RecordingControlObject> control =
      std::make_shared<sim::RecordingControlObject>(sim.Clock());
  std::shared_ptr<CashDrawer> drawer;
};

// Each level writes its own records and those below it, nothing above.
TEST(TraceLevels, OneSessionAtEachLevel) {
  const std::map<std::string, std::uint32_t> kLevelOfWord = {
      {"INFO", 1}, {"ERROR", 1}, {"CALL", 2}, {"EVENT", 3}, {"REPORT", 4}};
  struct Case {
    std::uint32_t level;
    std::string firstAt;               // milliseconds of the first line's time
    std::vector<std::string> records;  // some of the records, in this order
  };
  const std::vector<Case> cases = {
      {0, "", {}},
      {1,
       "030",
       {"INFO\ttrace\tdevice=\"TestDrawer\"\tlevel=1\tcap_kb=16384",
        "ERROR\tGetPropertyNumber(8)\terror=13"}},
      {2,
       "010",
       {"CALL\tOpenService(\"CashDrawer\", \"TestDrawer\", <object>)\tresult=0\tms=10",
        "CALL\tSetPropertyNumber(3, 1)\tdone\tms=10", "ERROR\tGetPropertyNumber(8)\terror=13\tms=0",
        "CALL\tOpenDrawer()\tresult=0\tms=0", "CALL\tCloseService()\tresult=0\tms=0"}},
      {3,
       "000",
       {"EVENT\tqueued\t1\tCASH_SUE_DRAWEROPEN", "EVENT\tdelivered\t1\tCASH_SUE_DRAWEROPEN",
        "EVENT\tdelivered\t0\tCASH_SUE_DRAWERCLOSED"}},
      {4,
       "000",
       {"REPORT\tout\t00 00 00 00 00 00 00 00", "REPORT\tout\t00 FF 00 00 00 00 00 00",
        "REPORT\tin\t00 80 00 00 00 00 00 00", "EVENT\tqueued\t1\tCASH_SUE_DRAWEROPEN"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("level " + std::to_string(c.level));
    Session session(c.level);
    session.Run();
    session.ExpectNothingLeft();
    const std::string log = session.sim.Files().Contents(kLogOf15th);
    if (c.level == 0) {
      EXPECT_FALSE(session.sim.Files().IsFolder(kLogs)) << "level 0 makes no folder";
      continue;
    }
    const std::vector<std::string> lines = Lines(log);
    ASSERT_FALSE(lines.empty());
    // The first line, whole: local time, thread, word, the header's fields.
    const std::string first = "2024-01-15 10:00:00." + c.firstAt + "\t2700\tINFO\ttrace\t";
    EXPECT_EQ(lines[0].substr(0, first.size()), first);
    if (c.level == 1) {
      EXPECT_EQ(Records(log), c.records);
    }
    std::size_t next = 0;
    for (const std::string& record : Records(log)) {
      EXPECT_LE(kLevelOfWord.at(record.substr(0, record.find('\t'))), c.level) << record;
      if (next < c.records.size() && record == c.records[next]) ++next;
    }
    EXPECT_EQ(next, c.records.size()) << "missing or out of order: " << c.records[next] << "\n"
                                      << log;
  }
}

// The device's value wins over the machine-wide one, which wins over the
// default; a value out of range or not a number counts as absent.
TEST(TraceSettings, DeviceValueThenMachineValueThenDefault) {
  // A registry value: absent, a REG_DWORD, or REG_SZ text.
  struct Value {
    char kind = 0;  // 0 absent, 'd' number, 't' text
    std::uint32_t number = 0;
    const char* text = "";
  };
  auto dword = [](std::uint32_t number) { return Value{'d', number, ""}; };
  auto text = [](const char* value) { return Value{'t', 0, value}; };
  const Value none;
  struct Case {
    Value deviceLevel, machineLevel, deviceMaxKB, machineMaxKB;
    std::string header;  // "" when no file is written
  };
  const std::vector<Case> cases = {
      {none, none, none, none, "level=1\tcap_kb=16384"},
      {none, dword(3), none, dword(64), "level=3\tcap_kb=64"},
      {dword(2), dword(4), dword(32), dword(64), "level=2\tcap_kb=32"},
      {dword(7), dword(3), dword(0), none, "level=3\tcap_kb=16384"},
      {text(" 4 "), none, text("8 KB"), none, "level=4\tcap_kb=16384"},
      {text("high"), dword(0), none, none, ""},
      {dword(0), dword(4), none, none, ""},
  };
  auto set = [](sim::SimRegistry& registry, const std::string& key, const char* name,
                const Value& value) {
    if (value.kind == 'd') registry.SetDword(key, name, value.number);
    if (value.kind == 't') registry.SetString(key, name, value.text);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("expecting " + (c.header.empty() ? "no trace" : c.header));
    Session session(0);
    sim::SimRegistry& registry = session.sim.Registry();
    registry.DeleteValue(drawer_test::kDeviceKey, "TraceLevel");
    set(registry, drawer_test::kDeviceKey, "TraceLevel", c.deviceLevel);
    set(registry, kMachineKey, "TraceLevel", c.machineLevel);
    set(registry, drawer_test::kDeviceKey, "TraceMaxKB", c.deviceMaxKB);
    set(registry, kMachineKey, "TraceMaxKB", c.machineMaxKB);
    session.Run();
    const std::vector<std::string> records = Records(session.sim.Files().Contents(kLogOf15th));
    if (c.header.empty()) {
      EXPECT_TRUE(records.empty());
    } else {
      ASSERT_FALSE(records.empty());
      EXPECT_EQ(records[0], "INFO\ttrace\tdevice=\"TestDrawer\"\t" + c.header);
    }
  }
}

// The first record of a day opens that day's file and deletes this device's
// files of 14 days ago and older: nothing else, whatever its name looks like.
TEST(TraceFiles, EachDayItsFileAndOnlyThisDevicesOldFilesGo) {
  Session session(2);
  sim::SimFileSystem& files = session.sim.Files();
  session.sim.SetLocalTimeAtStart(2024, 1, 15, 23, 59, 59);
  files.CreateFolder(kLogs);
  const std::vector<std::u16string> kept = {
      u"TestDrawer-20240102.log",  // 13 days before the 15th: kept that day
      u"TestDrawer-20231301.log",  // no such date
      u"TestDrawer-2023010.log",  u"TestDrawer-20230101.txt", u"TestDrawer-X-20230101.log",
      u"Other-20230101.log",      u"TestDrawer-20240201.log",  // a future day
  };
  for (const std::u16string& name : kept) files.PutFile(kLogs + u"\\" + name, "theirs\r\n");
  files.PutFile(kLogs + u"\\TestDrawer-20240101.log", "old\r\n");
  files.PutFile(kLogs + u"\\testdrawer-20231201.log", "old\r\n");
  files.CreateFolder(kLogs + u"\\TestDrawer-20230101.log");

  auto& drawer = session.drawer = CashDrawer::Create(session.sim);
  EXPECT_EQ(drawer->OpenService(u"CashDrawer", u"TestDrawer", session.control), OPOS_SUCCESS);
  std::set<std::u16string> expected(kept.begin(), kept.end());
  expected.insert({u"TestDrawer-20230101.log", u"TestDrawer-20240115.log"});
  std::vector<std::u16string> names = files.Names(kLogs);
  EXPECT_EQ(std::set<std::u16string>(names.begin(), names.end()), expected);

  session.RunFor(1500);  // past midnight
  EXPECT_EQ(drawer->GetOpenResult(), OPOS_ORS_SPECIFIC);
  drawer->CloseService();
  expected.erase(u"TestDrawer-20240102.log");
  expected.insert(u"TestDrawer-20240116.log");
  names = files.Names(kLogs);
  EXPECT_EQ(std::set<std::u16string>(names.begin(), names.end()), expected);
  EXPECT_EQ(files.Contents(kLogs + u"\\Other-20230101.log"), "theirs\r\n");

  const std::vector<std::string> first = Records(files.Contents(kLogOf15th));
  const std::vector<std::string> second = Records(files.Contents(kLogOf16th));
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[1].substr(0, 12), "CALL\tOpenSer");
  ASSERT_EQ(second.size(), 3u);
  EXPECT_EQ(second[0].substr(0, 10), "INFO\ttrace");
  EXPECT_EQ(second[1], "CALL\tGetOpenResult()\tresult=450\tms=0");
  session.drawer.reset();
  session.ExpectNothingLeft();
}

// At the cap one line says so and the rest of the day's records are
// counted, not written; the count closes the day, and the next day's file
// starts afresh. The count is exact: a session without the cap writes
// exactly that many records more that day.
TEST(TraceFiles, SizeCapThenOneLineThenTheDroppedCountAtTheDaysEnd) {
  auto run = [](std::optional<std::uint32_t> maxKB, sim::SimFileSystem** files) {
    auto session = std::make_unique<Session>(4, maxKB);
    session->sim.SetLocalTimeAtStart(2024, 1, 15, 23, 59, 55);
    session->Run(6000);
    session->ExpectNothingLeft();
    *files = &session->sim.Files();
    return session;
  };
  sim::SimFileSystem* capped = nullptr;
  sim::SimFileSystem* whole = nullptr;
  const auto cappedSession = run(1, &capped);
  const auto wholeSession = run(std::nullopt, &whole);

  const std::string log = capped->Contents(kLogOf15th);
  const std::vector<std::string> records = Records(log);
  ASSERT_GE(records.size(), 3u);
  const std::string capLine =
      "INFO\tsize cap of 1 KiB reached: the records of the rest of the "
      "day are dropped and counted";
  EXPECT_EQ(std::count(records.begin(), records.end(), capLine), 1);
  const std::size_t written =
      log.size() - Lines(log).back().size() - 2 - (Lines(log)[records.size() - 2].size() + 2);
  EXPECT_LE(written, 1024u);

  const std::string& last = records.back();
  const std::size_t dropped = std::stoul(last.substr(5));
  EXPECT_EQ(last,
            "INFO\t" + std::to_string(dropped) + " records dropped after the size cap of 1 KiB");
  const std::size_t wholeRecords = Records(whole->Contents(kLogOf15th)).size();
  EXPECT_EQ(records.size() - 2 + dropped, wholeRecords);

  // The next day is written again, from its header on.
  const std::vector<std::string> next = Records(capped->Contents(kLogOf16th));
  ASSERT_GE(next.size(), 2u);
  EXPECT_EQ(next[0], "INFO\ttrace\tdevice=\"TestDrawer\"\tlevel=4\tcap_kb=1");
}

// A day that ends while the object holds no drawer (its file closed
// between records) still gets its dropped count.
TEST(TraceFiles, TheDroppedCountReachesItsDayAlsoWithoutADrawer) {
  Session session(4, 1);
  session.sim.Registry().SetDword(drawer_test::kDeviceKey, "Reconnect", 1);
  session.sim.SetLocalTimeAtStart(2024, 1, 15, 23, 59, 50);
  auto drawer = session.drawer = CashDrawer::Create(session.sim);
  ASSERT_EQ(drawer->OpenService(u"CashDrawer", u"TestDrawer", session.control), OPOS_SUCCESS);
  drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
  session.RunFor(2000);  // past the cap
  session.device->Faults().unplugged = true;
  session.RunFor(12000);  // searched for, once a second, into the next day
  for (const std::string& open : session.sim.LeakedHandles()) {
    EXPECT_EQ(open.find("disk file"), std::string::npos) << "no file held without a drawer";
  }
  drawer->CloseService();
  const std::vector<std::string> records = Records(session.sim.Files().Contents(kLogOf15th));
  ASSERT_FALSE(records.empty());
  EXPECT_NE(records.back().find(" records dropped after the size cap of 1 KiB"), std::string::npos)
      << records.back();
  EXPECT_FALSE(Records(session.sim.Files().Contents(kLogOf16th)).empty());
  session.drawer.reset();
  session.ExpectNothingLeft();
}

enum class TraceFault { kNone, kNoProgramData, kNoShell32, kFolderDenied, kFileDenied, kDiskFull };

// Fails the trace's own platform calls until a virtual time; the drawer's
// calls pass.
class TraceFaults final : public sim::ForwardingPlatform {
 public:
  TraceFaults(sim::SimPlatform& platform, TraceFault fault, std::uint64_t untilMs)
      : ForwardingPlatform(platform), mSim(platform), mFault(fault), mUntilMs(untilMs) {}

  int failedCalls = 0;

  // The injected error is read once, right after the call that failed.
  std::uint32_t GetLastError() override {
    if (!mError) return ForwardingPlatform::GetLastError();
    return std::exchange(mError, std::nullopt).value();
  }
  std::int32_t SHGetFolderPathW(Handle hwnd, std::int32_t csidl, Handle token, std::uint32_t flags,
                                char16_t* path) override {
    if (Fails(TraceFault::kNoShell32, 0)) {
      throw RuntimeError(kErrDllLoad, std::string("File not found: shell32.dll"));
    }
    if (Fails(TraceFault::kNoProgramData, 0)) return static_cast<std::int32_t>(0x80004005u);
    return ForwardingPlatform::SHGetFolderPathW(hwnd, csidl, token, flags, path);
  }
  std::int32_t CreateDirectoryW(const char16_t* path, SECURITY_ATTRIBUTES* security) override {
    if (Fails(TraceFault::kFolderDenied, 5)) return 0;
    return ForwardingPlatform::CreateDirectoryW(path, security);
  }
  Handle CreateFileW(const char16_t* path, std::uint32_t access, std::uint32_t share,
                     SECURITY_ATTRIBUTES* security, std::uint32_t disposition, std::uint32_t flags,
                     Handle templateFile) override {
    if (Fails(TraceFault::kFileDenied, 5)) return kInvalidHandleValue;
    const Handle file = ForwardingPlatform::CreateFileW(path, access, share, security, disposition,
                                                        flags, templateFile);
    mLogFiles.insert(file);
    return file;
  }
  std::int32_t WriteFile(Handle file, const void* buffer, std::uint32_t length,
                         std::uint32_t* written, OVERLAPPED* overlapped) override {
    if (mLogFiles.count(file) && Fails(TraceFault::kDiskFull, 112)) return 0;
    mError.reset();
    return ForwardingPlatform::WriteFile(file, buffer, length, written, overlapped);
  }

 private:
  bool Fails(TraceFault fault, std::uint32_t error) {
    mError.reset();
    if (fault != mFault || mSim.Clock().Now() >= mUntilMs) return false;
    ++failedCalls;
    mError = error;
    return true;
  }

  sim::SimPlatform& mSim;
  TraceFault mFault;
  std::uint64_t mUntilMs;
  std::optional<std::uint32_t> mError;
  std::set<Handle> mLogFiles;
};

// Whatever keeps the trace from writing, every method gives what it gives
// without a trace, the events arrive as they do without one, and nothing is
// left open. The failure is tried again once a minute at most; once writing
// works, the file says how many records were lost and why, and that many
// are missing from what an untroubled trace writes.
TEST(TraceFaults, AnUnwritableTraceChangesNoResultAndIsToldLater) {
  constexpr std::uint64_t kFaultMs = 30000;
  const std::map<TraceFault, std::string> kFailures = {
      {TraceFault::kNone, ""},
      {TraceFault::kNoProgramData, "SHGetFolderPathW failed with error 0x80004005"},
      {TraceFault::kNoShell32, "File not found: shell32.dll (run-time error 48)"},
      {TraceFault::kFolderDenied, "CreateDirectoryW failed with error 5"},
      {TraceFault::kFileDenied, "CreateFileW failed with error 5"},
      {TraceFault::kDiskFull, "WriteFile failed with error 112"},
  };
  // Polling 100 s: told at the retry a minute later; 40 s: told at the close.
  for (const std::uint64_t pollMs : {100000, 40000}) {
    SCOPED_TRACE("polling " + std::to_string(pollMs) + " ms");
    Session untraced(0);
    const std::vector<Outcome> expected = untraced.Run(pollMs);
    ASSERT_EQ(untraced.control->DeliveredCodes(), (std::vector<std::int32_t>{1, 0}));
    ASSERT_EQ(expected[3].error, kErrTypeMismatch);
    std::size_t untroubledRecords = 0;
    for (const auto& [fault, failure] : kFailures) {
      SCOPED_TRACE(failure);
      Session session(4);
      TraceFaults api(session.sim, fault, kFaultMs);
      session.Use(api);
      EXPECT_TRUE(session.Run(pollMs) == expected);
      EXPECT_EQ(session.control->DeliveredCodes(), untraced.control->DeliveredCodes());
      session.ExpectNothingLeft();

      const std::vector<std::string> records = Records(session.sim.Files().Contents(kLogOf15th));
      if (fault == TraceFault::kNone) {
        untroubledRecords = records.size();
        continue;
      }
      EXPECT_EQ(api.failedCalls, 1);
      std::size_t lost = 0;
      std::size_t lostLines = 0;
      for (const std::string& record : records) {
        const std::size_t at = record.find(" records lost: ");
        if (at == std::string::npos) continue;
        ++lostLines;
        lost = std::stoul(record.substr(5, at - 5));
        EXPECT_EQ(record.substr(at + 15), failure);
      }
      EXPECT_EQ(lostLines, 1u);
      EXPECT_GT(lost, 0u);
      EXPECT_EQ(records.size() - 1 + lost, untroubledRecords);
    }
  }
}

}  // namespace
