// Where the commands write: standard output for results, standard error for
// errors, warnings and notes. Each call writes one piece of text that ends a
// line; lines inside it are separated by \n.
#pragma once

#include <string>

namespace qvprovision {

class ConsolePort {
 public:
  virtual ~ConsolePort() = default;
  virtual void Out(const std::u16string& line) = 0;
  virtual void Err(const std::u16string& line) = 0;
};

}  // namespace qvprovision
