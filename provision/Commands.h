// The provisioning tool's commands: the command line parsed, every input
// checked before the registry is touched, a device written all or nothing,
// results on standard output and everything else on standard error.
#pragma once

#include <string>
#include <vector>

#include "provision/ConsolePort.h"
#include "provision/HidPort.h"
#include "provision/RegistryPort.h"

namespace qvprovision {

enum ExitCode : int {
  kExitOk = 0,            // done; warnings, if any, on standard error
  kExitUsage = 1,         // a usage error or bad input: nothing was written
  kExitNotFound = 2,      // no such device, or the device already exists
  kExitAccessDenied = 3,  // the registry refused access: run elevated
  kExitSystemError = 4,   // any other failure of the system
};

// Runs one command line, the program's name left out, and gives its exit
// code. Nothing escapes: a failure inside the tool itself gives 4.
int RunCommandLine(const std::vector<std::u16string>& args, RegistryPort& registry, HidPort& hid,
                   ConsolePort& console);

}  // namespace qvprovision
