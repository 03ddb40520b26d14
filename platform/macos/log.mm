#include "platform/log.h"

#import <Foundation/Foundation.h>

#include "platform/macos/conversions.h"
#include "platform/macos/services.h"

namespace platform::macos {
namespace {

class MacLog final : public Log {
 public:
  // The line is the argument, never the format: a '%' in it is printed as it stands.
  void write(std::string_view line) override { NSLog(@"%@", toNSString(line)); }
};

}  // namespace

std::unique_ptr<Log> makeLog() {
  return std::make_unique<MacLog>();
}

}  // namespace platform::macos
