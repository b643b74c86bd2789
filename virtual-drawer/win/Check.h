// Checks for the virtual drawer's Wine test programs: each failed check
// prints one line and counts; the program's exit status is the count.
#pragma once

#include <cstdio>
#include <string>

#include "virtual-drawer/win/ControlClient.h"

namespace vdrawer {

class Checks {
 public:
  // Past `printLimit` failures, further ones are counted but not printed.
  explicit Checks(std::string scenario, int printLimit = 1000)
      : mScenario(std::move(scenario)), mPrintLimit(printLimit) {}

  bool Expect(bool condition, const std::string& what) {
    if (!condition) {
      if (mFailures < mPrintLimit) {
        std::printf("FAIL [%s] %s\n", mScenario.c_str(), what.c_str());
        std::fflush(stdout);
      }
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
  // The program's exit status: the failed checks, at most 99 (100 and above
  // say that a scenario could not run, and the status is taken modulo 256).
  int Finish() {
    std::printf("%s [%s] %d failed check(s)\n", mFailures ? "FAILED" : "PASSED", mScenario.c_str(),
                mFailures);
    return mFailures < 99 ? mFailures : 99;
  }

 private:
  static std::string Text(const std::string& value) { return "'" + value + "'"; }
  template <typename T>
  static std::string Text(const T& value) {
    return std::to_string(value);
  }

  std::string mScenario;
  int mPrintLimit;
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
