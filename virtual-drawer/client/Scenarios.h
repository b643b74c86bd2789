// The scenarios of vd-client. Each expects the simulator started as
// tests/run-wine-test starts it for that test and gives the number of failed
// checks.
#pragma once

#include <string>

namespace vdrawer {

// EndToEnd.cpp: the service object's ordinary life.
int Lifecycle();
int NoMatch();
int Wait(const std::string& relayLog);
int Unplug();
// One of two applications of different bitness on one drawer (role lead or
// follow): both see the status changes the lead's pulse causes.
int Shared(const std::string& role);

// Faults.cpp: the drawer goes away (`fault` unplug, silence or kill) while the
// poll runs or while WaitForDrawerClose waits (`phase` poll or wait), and the
// ways a wait or a close can go wrong.
int Fault(const std::string& fault, const std::string& phase);
int WaitAfterPulse();
int WaitWhileQuitting();
int Inherit();
int Reopen();

// Reconnect.cpp: a drawer with "Reconnect" and a level-4 trace unplugged,
// opened while away and plugged back.
int Reconnect();

// Cycles.cpp: open, claim, enable, pulse, shut, close, `count` times.
int Cycles(int count);

}  // namespace vdrawer
