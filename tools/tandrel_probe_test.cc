#include "tools/tandrel_probe.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/world.h"
#include "testing/run_program.h"
#include "tools/tandrel_sim.h"

namespace probe {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream split(text);
  for (std::string line; std::getline(split, line);) out.push_back(line);
  return out;
}

// The probe's backend on a world of the test's own, whose loop the hooks run.
sim::World* hookWorld = nullptr;
void runHookWorld(double seconds) {
  if (seconds > 0) hookWorld->advance(static_cast<sim::Micros>(std::llround(seconds * 1e6)));
  hookWorld->runPending();
}
std::optional<std::string> hookSource() {
  return hookWorld->selectedInputSource();
}

class ProbeBackendTest : public ::testing::Test {
 protected:
  ProbeBackendTest() { hookWorld = &world_; }
  ~ProbeBackendTest() override { hookWorld = nullptr; }

  std::vector<std::string> run(const std::string& script) {
    std::ostringstream out;
    ProbeBackend backend(world_, {runHookWorld, hookSource});
    simhost::ScriptPlayer player(messenger_, backend, out);
    std::istringstream in(script);
    status_ = player.run(in);
    return lines(out.str());
  }

  sim::World world_;
  channel::LocalMessenger messenger_;
  int status_ = -1;
};

TEST_F(ProbeBackendTest, WorldSetUpAndUserActionsAreRefusedAndChangeNothing) {
  std::vector<std::string> out = run(R"({"world": {"trusted": true}}
# a comment
{"user": {"press": 0}}
{"user": {"nonsense": 1}}
{"show": "field"}
{"show": "time"}
{"advance": -1})");
  EXPECT_EQ(status_, 1);
  ASSERT_EQ(out.size(), 6u);
  const int64_t expectedLines[] = {1, 3, 4, 5, 6, 7};
  for (size_t i = 0; i < out.size(); ++i) {
    simhost::Json line = simhost::Json::parse(out[i]);
    EXPECT_EQ(line["line"], expectedLines[i]) << out[i];
    if (i < 5) {
      EXPECT_THAT(line["scriptError"].get<std::string>(), HasSubstr(kNotOnRealSystem));
    }
  }
  EXPECT_FALSE(world_.accessibility().isProcessTrusted());
}

TEST_F(ProbeBackendTest, AdvanceRunsTheLoopForThatLong) {
  bool fired = false;
  world_.mainLoop().dispatchAfter(1.5, [&] { fired = true; });
  run("{\"advance\": 1}\n");
  EXPECT_FALSE(fired);
  run("{\"advance\": 0.5}\n");
  EXPECT_TRUE(fired);
  EXPECT_EQ(status_, 0);
}

TEST_F(ProbeBackendTest, ViewsComeFromTheSystemThroughTheSeam) {
  simhost::SimContext context{world_, messenger_};
  simhost::applyWorld(world_, simhost::Json::parse(R"({"pasteboard": [
        "plain",
        {"types": [["public.rtf", "{\\rtf1 x}"], ["public.png", {"$bytes": "89504e47ff"}]]},
        {"types": {"z.type": "Z", "a.type": "A"}}],
      "selectedInputSource": "com.apple.keylayout.Russian", "osVersion": "13.1",
      "loginItem": {"status": 2}})"));
  std::vector<std::string> out =
      run("{\"show\": \"pasteboard\"}\n{\"show\": \"inputSource\"}\n{\"show\": \"loginItem\"}\n");
  ASSERT_EQ(out.size(), 3u);
  // Byte for byte what tandrel-sim prints for the same pasteboard.
  const simhost::Json simView{{"show", "pasteboard"},
                              {"value", simhost::showWhat(context, "pasteboard")}};
  EXPECT_EQ(out[0], simView.dump());
  EXPECT_THAT(out[0], HasSubstr(R"("types":{"z.type":"Z","a.type":"A"})"));
  EXPECT_EQ(out[1], R"({"show":"inputSource","value":{"id":"com.apple.keylayout.Russian"}})");
  EXPECT_EQ(out[2], R"({"show":"loginItem","value":{"status":2}})");

  // A type whose data cannot be read is listed as unreadable, without data.
  simhost::applyWorld(world_, simhost::Json::parse(R"({"pasteboard": [
        {"types": {"m.type": "M", "z.type": "Z", "a.type": "A"}, "unreadable": ["z.type", "a.type"]}]})"));
  EXPECT_THAT(
      run("{\"show\": \"pasteboard\"}\n"),
      ElementsAre(
          R"({"show":"pasteboard","value":{"changeCount":2,"items":[{"types":{"m.type":"M"},"unreadable":["a.type","z.type"]}]}})"));

  // Before macOS 13 the login-item service is not touched.
  simhost::applyWorld(world_, simhost::Json::parse(R"({"osVersion": "12.6"})"));
  EXPECT_THAT(run("{\"show\": \"loginItem\"}\n"),
              ElementsAre(R"({"show":"loginItem","value":null})"));
}

// The probe and the simulated host answer the Flutter side the same way, whatever the backend.
TEST(TandrelProbeToolTest, ChannelTrafficPrintsExactlyAsInTandrelSim) {
  const std::string script = R"({"call": "tandrel/permissions", "method": "isSandboxed"}
{"call": "tandrel/permissions", "method": "check"}
{"listen": "tandrel/key_events"}
{"listen": "tandrel/permission_events"}
{"advance": 2.5}
{"call": "tandrel/automation", "method": "writeClipboardText", "args": {"text": "при"}}
{"call": "tandrel/automation", "method": "readClipboardText"}
{"show": "pasteboard"}
{"call": "tandrel/automation", "method": "axFocusedText"}
{"call": "tandrel/autostart", "method": "isEnabled"}
{"call": "velloc/input_source", "method": "select", "args": {"lang": "ru"}}
{"call": "velloc/input_source", "method": "select", "args": {"lang": "de"}}
{"send": "tandrel/permissions", "hex": "070b 697353616e64626f786564 00"}
{"call": "nobody/here", "method": "x"}
{"cancel": "tandrel/key_events"})";
  auto [simStatus, simOutput] = channel_test::runOnScript(TANDREL_SIM_PATH, script);
  auto [probeStatus, probeOutput] = channel_test::runOnScript(TANDREL_PROBE_PATH, script);
  EXPECT_EQ(simStatus, 0);
  EXPECT_EQ(probeStatus, 0);
  EXPECT_EQ(lines(probeOutput).size(), 14u) << probeOutput;
  EXPECT_EQ(probeOutput, simOutput);
}

// The scenarios that scripts/mac-acceptance plays on a Mac use only what the probe understands.
TEST(TandrelProbeToolTest, AcceptanceScenariosHaveNoScriptErrors) {
  int scenarios = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TANDREL_ACCEPTANCE_DIR)) {
    if (entry.path().extension() != ".jsonl") continue;
    ++scenarios;
    std::ifstream in(entry.path());
    std::stringstream script;
    script << in.rdbuf();
    auto [status, output] = channel_test::runOnScript(TANDREL_PROBE_PATH, script.str());
    EXPECT_EQ(status, 0) << entry.path() << "\n" << output;
    EXPECT_THAT(output, ::testing::Not(HasSubstr("scriptError"))) << entry.path();
  }
  EXPECT_GE(scenarios, 5);
}

}  // namespace
}  // namespace probe
