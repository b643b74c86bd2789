// Standard output and error: UTF-16 to a console window, UTF-8 when
// redirected to a file or a pipe. Lines end with CR LF.
#pragma once

#include "provision/ConsolePort.h"

namespace qvprovision::win32 {

class Win32Console : public ConsolePort {
 public:
  void Out(const std::u16string& line) override;
  void Err(const std::u16string& line) override;
};

}  // namespace qvprovision::win32
