#include "runner/permissions/permission_gate.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "channel/method_channel.h"
#include "runner/permissions/handle_permissions.h"
#include "sim/world.h"
#include "testing/channel_harness.h"

extern "C" char** environ;

namespace tandrel {
namespace {

// Set in the copy of this binary that the spawn test starts; its exit status then tells the
// parent that the check ran and passed.
constexpr const char* kChildMarker = "TANDREL_SANDBOX_CHILD";
constexpr int kChildPassed = 42;

using channel_test::MethodReply;

// Runs both in the test process and, through the test below, in a fresh copy of it that starts
// with the variable present but empty: each must see the flag follow the environment it started
// with, and never change afterwards.
TEST(PermissionGateProcess, FlagFollowsStartingEnvironmentAndStaysFixed) {
  const std::string name(kSandboxContainerVariable);
  const char* original = std::getenv(name.c_str());
  const bool expected = original != nullptr;
  const std::string saved = original ? original : "";

  EXPECT_EQ(PermissionGate::sandboxed(), expected);
  if (expected) {
    unsetenv(name.c_str());
  } else {
    setenv(name.c_str(), "", 1);
  }
  EXPECT_EQ(PermissionGate::sandboxed(), expected) << "the flag must be read once";
  if (expected) {
    setenv(name.c_str(), saved.c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }

  // The process's own channel answers from the same flag and opens the matching page.
  channel_test::ChannelHarness h;
  channel::MethodChannel(h.messenger(), std::string(kPermissionsChannel))
      .setMethodCallHandler([](const channel::MethodCall& call, auto result) {
        TandrelPlugin::handlePermissions(platform::processPlatform(), PermissionGate::sandboxed(),
                                         call, std::move(result));
      });
  EXPECT_EQ(h.call(std::string(kPermissionsChannel), "isSandboxed"),
            MethodReply::Success(expected));
  sim::processWorld().takeOpenedURLs();
  EXPECT_EQ(h.call(std::string(kPermissionsChannel), "openSettings"), MethodReply::Success());
  const auto urls = sim::processWorld().takeOpenedURLs();
  ASSERT_EQ(urls.size(), 1u);
  EXPECT_TRUE(urls[0].ends_with(expected ? "Privacy_ListenEvent" : "Privacy_Accessibility"))
      << urls[0];

  if (std::getenv(kChildMarker) != nullptr && expected && !::testing::Test::HasFailure()) {
    std::_Exit(kChildPassed);
  }
}

// The flag is fixed per process, so the other environment needs another process.
TEST(PermissionGateSpawn, EmptyVariableCountsAsSandboxed) {
  const std::string name(kSandboxContainerVariable);
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!std::string_view(*e).starts_with(name + "=")) env.emplace_back(*e);
  }
  env.push_back(name + "=");
  env.push_back(std::string(kChildMarker) + "=1");
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::string self = "/proc/self/exe";
  std::string filter = "--gtest_filter=PermissionGateProcess.*";
  char* argv[] = {self.data(), filter.data(), nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kChildPassed) << "the sandboxed run failed; its output is above";
}

TEST(PermissionGate, RequiredPermissionDependsOnSandbox) {
  sim::World world;
  world.setTrusted(true);
  world.setListenAccess(false);
  EXPECT_TRUE(PermissionGate::requiredPermissionGranted(world, false));
  EXPECT_FALSE(PermissionGate::requiredPermissionGranted(world, true));

  world.setTrusted(false);
  world.setListenAccess(true);
  EXPECT_FALSE(PermissionGate::requiredPermissionGranted(world, false));
  EXPECT_TRUE(PermissionGate::requiredPermissionGranted(world, true));
}

}  // namespace
}  // namespace tandrel
