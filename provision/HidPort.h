// The HID device interfaces present on the machine, as the `hid` command
// lists them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvprovision {

struct HidInterface {
  std::u16string path;
  // False when the device could not be opened or gave no attributes; the
  // ids are then unknown.
  bool queried = false;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
};

class HidPort {
 public:
  virtual ~HidPort() = default;
  // Every present HID interface, in the platform's order. A status other
  // than 0 means the list itself could not be obtained.
  virtual std::int32_t ListInterfaces(std::vector<HidInterface>* interfaces) = 0;
};

}  // namespace qvprovision
