// The HID device interfaces present, through setupapi and hid.dll, bound
// through their import libraries.
#pragma once

#include "provision/HidPort.h"

namespace qvprovision::win32 {

class Win32HidList : public HidPort {
 public:
  std::int32_t ListInterfaces(std::vector<HidInterface>* interfaces) override;
};

}  // namespace qvprovision::win32
