// Fakes for the tester's command logic: a control object that records every
// call and answers from tables, a window that keeps what it is told, and a
// registry of device names.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tester/ControlObjectPort.h"
#include "tester/DeviceRegistry.h"
#include "tester/FormView.h"

namespace tester_test {

using brindlemark::ControlId;

inline std::string Narrow(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}

class FakeControlObject : public brindlemark::ControlObjectPort {
 public:
  // Calls as "get 12", "put 17 -1", "call 37 (\"Drawer\" val)".
  std::vector<std::string> calls;
  std::map<std::int32_t, std::int32_t> numbers;  // property gets; 0 when absent
  std::map<std::int32_t, std::u16string> texts;
  std::map<std::int32_t, std::int32_t> results;   // method result codes; 0 when absent
  std::map<std::int32_t, std::int32_t> failures;  // member -> status it fails with
  // Runs inside a method call, before it returns (a click handled in a wait).
  std::map<std::int32_t, std::function<void(std::vector<brindlemark::MethodArgument>&)>> during;

  std::int32_t GetNumber(std::int32_t dispid) override {
    Record("get " + std::to_string(dispid), dispid);
    return numbers.count(dispid) ? numbers[dispid] : 0;
  }
  std::u16string GetText(std::int32_t dispid) override {
    Record("get " + std::to_string(dispid), dispid);
    return texts[dispid];
  }
  void PutFlag(std::int32_t dispid, bool value) override {
    Record("put " + std::to_string(dispid) + (value ? " -1" : " 0"), dispid);
  }
  std::int32_t Invoke(std::int32_t dispid,
                      std::vector<brindlemark::MethodArgument>& args) override {
    std::string call = "call " + std::to_string(dispid) + " (";
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (i) call += ", ";
      if (const auto* number = std::get_if<std::int32_t>(&args[i].varValue)) {
        call += std::to_string(*number);
      } else {
        call += "\"" + Narrow(std::get<std::u16string>(args[i].varValue)) + "\"";
      }
      call += args[i].blnByRef ? " ref" : " val";
    }
    Record(call + ")", dispid);
    if (during.count(dispid)) during[dispid](args);
    return results.count(dispid) ? results[dispid] : 0;
  }

 private:
  void Record(const std::string& call, std::int32_t dispid) {
    calls.push_back(call);
    if (failures.count(dispid)) throw brindlemark::AutomationError(failures[dispid]);
  }
};

class FakeView : public brindlemark::FormView {
 public:
  std::map<ControlId, bool> checked;
  std::map<ControlId, std::u16string> texts;
  std::map<ControlId, bool> disabled;
  std::vector<std::u16string> openNameItems;
  std::vector<std::string> log;
  int openNameClears = 0;

  FakeView() {
    checked[ControlId::Internal] = true;
    texts[ControlId::TimeoutValue] = u"10000";
    texts[ControlId::FrequencyValue] = u"500";
    texts[ControlId::DurationValue] = u"1000";
    texts[ControlId::DelayValue] = u"3000";
  }
  // Selects one of the option buttons, clearing the others as the group does.
  void SelectOption(ControlId option) {
    checked[ControlId::Internal] = checked[ControlId::External] = checked[ControlId::Interactive] =
        false;
    checked[option] = true;
  }

  void SetChecked(ControlId id, bool value) override { checked[id] = value; }
  bool IsChecked(ControlId id) const override {
    auto it = checked.find(id);
    return it != checked.end() && it->second;
  }
  void SetText(ControlId id, const std::u16string& text) override { texts[id] = text; }
  std::u16string GetText(ControlId id) const override {
    auto it = texts.find(id);
    return it == texts.end() ? std::u16string() : it->second;
  }
  void EnableControl(ControlId id, bool enabled) override { disabled[id] = !enabled; }
  void ClearOpenName() override {
    ++openNameClears;
    openNameItems.clear();
    texts[ControlId::OpenName].clear();
  }
  void AddOpenNameItem(const std::u16string& name) override { openNameItems.push_back(name); }
  void AppendLogLine(const std::u16string& line) override { log.push_back(Narrow(line)); }
};

class FakeRegistry : public brindlemark::DeviceRegistry {
 public:
  std::vector<std::u16string> subkeys;
  std::int32_t openStatus = 0;
  std::string openedPath;
  std::uint32_t openedAccess = 0;
  std::vector<std::string> enumCalls;  // "index name-chars class-chars"
  int closes = 0;

  std::int32_t OpenLocalMachineKey(const std::u16string& subKey, std::uint32_t access,
                                   brindlemark::RegistryKeyToken* key) override {
    openedPath = Narrow(subKey);
    openedAccess = access;
    if (openStatus != 0) return openStatus;
    *key = kKey;
    return 0;
  }
  std::int32_t EnumKey(brindlemark::RegistryKeyToken key, std::uint32_t index,
                       std::uint32_t nameChars, std::uint32_t classChars,
                       std::u16string* name) override {
    enumCalls.push_back(std::to_string(index) + " " + std::to_string(nameChars) + " " +
                        std::to_string(classChars));
    if (key != kKey || closes != 0) return 6;               // invalid handle
    if (index >= subkeys.size()) return 259;                // no more items
    if (subkeys[index].size() + 1 > nameChars) return 234;  // more data
    *name = subkeys[index];
    return 0;
  }
  void CloseKey(brindlemark::RegistryKeyToken key) override {
    if (key == kKey) ++closes;
  }

  static constexpr brindlemark::RegistryKeyToken kKey = 0x1234;
};

}  // namespace tester_test
