// Checks for the virtual drawer's Wine test programs: each failed check
// prints one line and counts; the program's exit status is the count.
#pragma once

#include <cstdio>
#include <string>

#include "virtual-drawer/win/ControlClient.h"

namespace vdrawer {

class Checks {
 public:
  explicit Checks(std::string scenario) : mScenario(std::move(scenario)) {}

  bool Expect(bool condition, const std::string& what) {
    if (!condition) {
      std::printf("FAIL [%s] %s\n", mScenario.c_str(), what.c_str());
      std::fflush(stdout);
      ++mFailures;
    }
    return condition;
  }
  template <typename A, typename B>
  bool ExpectEq(const A& actual, const B& expected, const std::string& what) {
    return Expect(actual == expected,
                  what + ": got " + Text(actual) + ", expected " + Text(expected));
  }
  void Note(const std::string& line) {
    std::printf("[%s] %s\n", mScenario.c_str(), line.c_str());
    std::fflush(stdout);
  }
  int Finish() {
    std::printf("%s [%s] %d failed check(s)\n", mFailures ? "FAILED" : "PASSED", mScenario.c_str(),
                mFailures);
    return mFailures;
  }

 private:
  static std::string Text(const std::string& value) { return "'" + value + "'"; }
  template <typename T>
  static std::string Text(const T& value) {
    return std::to_string(value);
  }

  std::string mScenario;
  int mFailures = 0;
};

// Sends a command to the simulator; a refusal or no answer is a failed check.
inline std::string Control(Checks& checks, const std::string& command) {
  std::string error;
  const auto answer = SendControl(command, 3000, &error);
  checks.Expect(answer && answer->compare(0, 2, "ok") == 0,
                "control '" + command + "': " + (answer ? *answer : error));
  return answer.value_or("");
}

// One field of the simulator's status line for device `serial`.
inline std::string DeviceField(Checks& checks, const std::string& serial, const std::string& key) {
  return StatusField(Control(checks, "status " + serial), serial, key);
}

}  // namespace vdrawer
