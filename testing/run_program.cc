#include "testing/run_program.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace channel_test {

std::pair<int, std::string> runOnScript(const std::string& program, const std::string& script) {
  // Test binaries run in parallel: the process id and a counter keep the files apart.
  static std::atomic<int> runs{0};
  const auto file =
      std::filesystem::temp_directory_path() /
      ("tandrel_script_" + std::to_string(::getpid()) + "_" + std::to_string(runs++) + ".jsonl");
  std::ofstream(file) << script;
  FILE* pipe = ::popen((program + " " + file.string() + " 2>&1").c_str(), "r");
  std::string output;
  if (pipe != nullptr) {
    char buffer[4096];
    while (const size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  }
  const int status = pipe != nullptr ? ::pclose(pipe) : -1;
  std::filesystem::remove(file);
  return {status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

}  // namespace channel_test
