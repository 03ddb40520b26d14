#pragma once
// Runs one of the project's programs on a script, as a user would from the shell.

#include <string>
#include <utility>

namespace channel_test {

// Writes `script` to a file of its own, runs `program FILE` with standard error merged into
// standard output, and answers the exit status (-1 when it did not exit normally) and the output.
std::pair<int, std::string> runOnScript(const std::string& program, const std::string& script);

}  // namespace channel_test
