// Mistakes of handler code that the channel layer can detect but must survive, such as a
// method result answered twice. They are reported through one process-wide hook; tests
// turn them into failures.
#pragma once

#include <functional>
#include <string_view>

namespace channel {

using ProgrammingErrorHandler = std::function<void(std::string_view what)>;

// Calls the installed handler; the default prints one line to stderr. Never aborts.
void reportProgrammingError(std::string_view what);

// Installs `handler` (nullptr restores the default) and returns the previous one.
ProgrammingErrorHandler setProgrammingErrorHandler(ProgrammingErrorHandler handler);

}  // namespace channel
