#include "runner/permissions/permission_gate.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

extern "C" char** environ;

namespace tandrel {
namespace {

// Set in the copy of this binary that the spawn test starts; the copy's exit status then tells
// that the check ran there and passed.
constexpr const char* kChildMarker = "TANDREL_SANDBOX_CHILD";
constexpr int kChildPassed = 42;
const std::string kVariable(kSandboxContainerVariable);

// Runs here and in a fresh process that starts with the variable present but empty.
TEST(PermissionGateProcess, FlagFollowsStartingEnvironmentAndStaysFixed) {
  const bool expected = std::getenv(kVariable.c_str()) != nullptr;
  EXPECT_EQ(PermissionGate::sandboxed(), expected);
  if (expected) unsetenv(kVariable.c_str());
  if (!expected) setenv(kVariable.c_str(), "", 1);
  EXPECT_EQ(PermissionGate::sandboxed(), expected) << "read once per process";
  if (std::getenv(kChildMarker) && expected && !::testing::Test::HasFailure()) {
    std::_Exit(kChildPassed);
  }
  if (!expected) unsetenv(kVariable.c_str());
}

TEST(PermissionGateSpawn, EmptyVariableCountsAsSandboxed) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!std::string_view(*e).starts_with(kVariable + "=")) env.emplace_back(*e);
  }
  env.push_back(kVariable + "=");
  env.push_back(std::string(kChildMarker) + "=1");
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe", filter = "--gtest_filter=PermissionGateProcess.*";
  char* argv[] = {self.data(), filter.data(), nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kChildPassed) << "see its output above";
}

}  // namespace
}  // namespace tandrel
