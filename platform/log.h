#pragma once
// NSLog.

#include <string_view>

namespace platform {

class Log {
 public:
  virtual ~Log() = default;
  // One log line, already formatted.
  virtual void write(std::string_view line) = 0;
};

}  // namespace platform
