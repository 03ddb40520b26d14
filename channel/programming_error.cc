#include "channel/programming_error.h"

#include <iostream>
#include <utility>

namespace channel {
namespace {

ProgrammingErrorHandler& installed() {
  static ProgrammingErrorHandler handler;
  return handler;
}

}  // namespace

void reportProgrammingError(std::string_view what) {
  if (const auto& handler = installed()) {
    handler(what);
  } else {
    std::cerr << "channel programming error: " << what << std::endl;
  }
}

ProgrammingErrorHandler setProgrammingErrorHandler(ProgrammingErrorHandler handler) {
  return std::exchange(installed(), std::move(handler));
}

}  // namespace channel
