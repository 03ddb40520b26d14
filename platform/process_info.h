#pragma once
// NSProcessInfo.processInfo.

#include <cstdint>
#include <string_view>

namespace platform {

struct OperatingSystemVersion {
  int64_t majorVersion = 0;
  int64_t minorVersion = 0;
  int64_t patchVersion = 0;
  friend bool operator==(const OperatingSystemVersion&, const OperatingSystemVersion&) = default;
};

class ProcessInfo {
 public:
  virtual ~ProcessInfo() = default;
  // Whether `environment` holds the name (its value, even empty, is not looked at).
  [[nodiscard]] virtual bool environmentContains(std::string_view name) = 0;
  [[nodiscard]] virtual int32_t processIdentifier() = 0;
  [[nodiscard]] virtual OperatingSystemVersion operatingSystemVersion() = 0;
};

}  // namespace platform
