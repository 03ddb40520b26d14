#include "runner/keytap/key_event_tap_handler.h"

#include <gtest/gtest.h>

#include "runner/keytap/key_event_test_support.h"
#include "runner/permissions/permission_gate.h"
#include "runner/permissions/recording_sink.h"

namespace tandrel_test {
namespace {

using channel_test::MethodReply;
using tandrel::KeyEventTapHandler;

const std::string kNotification(tandrel::kAccessibilityChanged);
const MethodReply kNotGranted =
    MethodReply::Error("no_permission", "Key listening permission is not granted");
const MethodReply kTapFailed =
    MethodReply::Error("no_permission", "CGEventTap creation failed \u2014 permission missing?");

sim::AppState app(int32_t pid) {
  sim::AppState a;
  a.pid = pid;
  a.bundleIdentifier = "com.example.app" + std::to_string(pid);
  a.focused = sim::ElementState{};
  return a;
}

TEST_F(KeyTapTest, ListenWithoutThePermissionFailsAndLeavesNothing) {
  struct Case {
    bool sandboxed, trusted, listenAccess;
  };
  // Each mode looks only at its own permission.
  for (const Case c : {Case{false, false, true}, Case{true, true, false}}) {
    sim::World w;
    channel_test::ChannelHarness hh;
    w.setTrusted(c.trusted);
    w.setListenAccess(c.listenAccess);
    w.addApplication(app(7));
    w.runPending();
    channel::EventChannel(hh.messenger(), kKeyChannel)
        .setStreamHandler(KeyEventTapHandler::create(w, c.sandboxed));
    EXPECT_EQ(hh.listen(kKeyChannel), kNotGranted) << "sandboxed " << c.sandboxed;
    EXPECT_EQ(w.tapCount(), 0);
    EXPECT_EQ(w.observerCount(), 0);
    EXPECT_EQ(w.postRequests(), 0);
    w.activate(7);
    w.keyDown(5);
    w.advance(1000 * kMs);
    EXPECT_TRUE(hh.eventValues(kKeyChannel).empty()) << "not even appChanged";
    EXPECT_EQ(w.application(7)->manualAccessibilityWrites, 0);
  }
}

TEST_F(KeyTapTest, TapOrSourceCreationFailureReleasesEverything) {
  world.setTrusted(true);
  world.runPending();
  install(false);
  world.faults().tapCreateFails = true;
  EXPECT_EQ(h.listen(kKeyChannel), kTapFailed);
  EXPECT_EQ(world.tapCount(), 0);
  EXPECT_EQ(world.observerCount(), 0);
  h.cancel(kKeyChannel);

  world.faults().tapCreateFails = false;
  world.faults().runLoopSourceFails = true;
  EXPECT_EQ(h.listen(kKeyChannel), kTapFailed);
  EXPECT_EQ(world.tapCount(), 0) << "the tap made before the source failed must be released";
  EXPECT_EQ(world.observerCount(), 0);
  h.cancel(kKeyChannel);

  world.faults().runLoopSourceFails = false;
  EXPECT_EQ(h.listen(kKeyChannel), MethodReply::Success());
  EXPECT_EQ(world.activeTapCount(), 1);
}

TEST_F(KeyTapTest, ListeningOutsideTheSandbox) {
  world.addApplication(app(7));
  world.addApplication(app(8));
  world.setFrontmost(7);
  world.setPostAccess(false);
  startListening(false);
  EXPECT_EQ(world.activeTapCount(), 1);
  EXPECT_EQ(world.observerCount(), 2) << "activation and trust observers";
  EXPECT_EQ(world.postRequests(), 0) << "posting access is asked for only in the sandbox";
  // The application in front at listen time is prepared, silently.
  EXPECT_EQ(world.application(7)->manualAccessibilityWrites, 1);
  world.runPending();
  EXPECT_TRUE(events().empty());

  // Typing reaches the application exactly as typed while it is observed.
  ASSERT_TRUE(world.typeOnKeys(u"hi"));
  world.runPending();
  EXPECT_EQ(world.focusedElement()->value, u"hi");
  EXPECT_EQ(takeEvents(), (std::vector<Value>{keyDownEvent(4, "h"), keyDownEvent(34, "i")}));

  world.activate(8);
  world.activate(7);
  world.runPending();
  EXPECT_EQ(takeEvents(), (std::vector<Value>{typeOnly("appChanged"), typeOnly("appChanged")}));
  EXPECT_EQ(world.application(8)->manualAccessibilityWrites, 1);
  EXPECT_EQ(world.application(7)->manualAccessibilityWrites, 2);

  // An activation that names no application is still reported.
  world.faults().activationWithoutApplication = true;
  world.activate(8);
  world.runPending();
  EXPECT_EQ(takeEvents(), (std::vector<Value>{typeOnly("appChanged")}));
  EXPECT_EQ(world.application(8)->manualAccessibilityWrites, 1);
}

TEST_F(KeyTapTest, ListeningInsideTheSandbox) {
  world.setPostAccess(false);
  startListening(true);
  EXPECT_EQ(world.activeTapCount(), 1);
  EXPECT_EQ(world.observerCount(), 1) << "no trust observer in the sandbox";
  EXPECT_EQ(world.postRequests(), 1);
  h.cancel(kKeyChannel);
  h.listen(kKeyChannel);
  EXPECT_EQ(world.postRequests(), 2) << "asked again at every listen while refused";
  h.cancel(kKeyChannel);
  world.setPostAccess(true);
  h.listen(kKeyChannel);
  EXPECT_EQ(world.postRequests(), 2);

  // Trust notifications mean nothing here.
  world.setTrusted(false);
  world.advance(1000 * kMs);
  world.pressKey(5);
  world.runPending();
  EXPECT_EQ(events(), (std::vector<Value>{keyDownEvent(5, "g")}));
}

TEST_F(KeyTapTest, AppChangedGoesOutBeforeTheApplicationIsPrepared) {
  world.setTrusted(true);
  world.addApplication(app(9));
  world.runPending();
  auto direct = KeyEventTapHandler::create(world, false);
  std::vector<Value> seen;
  bool preparedWhenSent = true;
  ASSERT_EQ(
      direct->onListen(
          Value(),
          recordInto(seen, [&] { preparedWhenSent = world.application(9)->manualAccessibility; })),
      std::nullopt);
  world.activate(9);
  world.runPending();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_FALSE(preparedWhenSent);
  EXPECT_TRUE(world.application(9)->manualAccessibility);
}

TEST_F(KeyTapTest, TrustRevokedLosesTheTapOnceAfterTheDelay) {
  world.addApplication(app(7));
  startListening(false);
  // Several notifications while still trusted change nothing.
  world.postDistributedNotification(kNotification);
  world.advance(100 * kMs);
  world.postDistributedNotification(kNotification);
  world.advance(1000 * kMs);
  EXPECT_TRUE(events().empty());
  EXPECT_EQ(world.activeTapCount(), 1);

  world.setTrusted(false);
  world.advance(100 * kMs);
  world.postDistributedNotification(kNotification);
  world.advance(199 * kMs);
  EXPECT_TRUE(events().empty());
  world.advance(1 * kMs);
  EXPECT_EQ(takeEvents(), (std::vector<Value>{typeOnly("permissionLost")}));
  EXPECT_EQ(world.tapCount(), 0);
  EXPECT_EQ(world.observerCount(), 1) << "only the activation observer stays";

  // Later re-checks and notifications find no tap; activations are still reported.
  world.advance(1000 * kMs);
  world.postDistributedNotification(kNotification);
  world.setTrusted(true);
  world.advance(1000 * kMs);
  world.activate(7);
  world.pressKey(5);
  world.runPending();
  EXPECT_EQ(takeEvents(), (std::vector<Value>{typeOnly("appChanged")}));

  // Only a new listen brings the tap back.
  EXPECT_EQ(h.cancel(kKeyChannel), MethodReply::Success());
  EXPECT_EQ(world.observerCount(), 0);
  EXPECT_EQ(h.listen(kKeyChannel), MethodReply::Success());
  EXPECT_EQ(world.activeTapCount(), 1);
  EXPECT_EQ(world.observerCount(), 2);
  world.pressKey(5);
  world.runPending();
  EXPECT_EQ(takeEvents(), (std::vector<Value>{keyDownEvent(5, "g")}));
}

TEST_F(KeyTapTest, RecheckScheduledBeforeCancelDoesNothingAfterIt) {
  startListening(false);
  world.setTrusted(false);
  world.runPending();  // the re-check is scheduled
  EXPECT_EQ(h.cancel(kKeyChannel), MethodReply::Success());
  EXPECT_EQ(world.tapCount(), 0);
  EXPECT_EQ(world.observerCount(), 0);
  world.advance(1000 * kMs);
  EXPECT_TRUE(events().empty());
}

TEST_F(KeyTapTest, TapSwitchedOffBySystem) {
  startListening(false);
  // Still trusted: switched back on silently, and events keep coming.
  world.disableTapsByTimeout();
  world.runPending();
  EXPECT_EQ(world.activeTapCount(), 1);
  world.pressKey(5);
  world.runPending();
  EXPECT_EQ(takeEvents(), (std::vector<Value>{keyDownEvent(5, "g")}));

  // Trust gone: the tap goes, one "permissionLost", and the re-check that follows the trust
  // notification finds nothing more to do.
  auto* raw = handler.get();
  world.setTrusted(false);
  EXPECT_EQ(KeyEventTapHandler::tapCallback(platform::kCGEventTapDisabledByUserInput, nullptr, raw),
            nullptr);
  EXPECT_EQ(world.tapCount(), 0);
  EXPECT_EQ(KeyEventTapHandler::tapCallback(platform::kCGEventTapDisabledByTimeout, nullptr, raw),
            nullptr);
  world.advance(1000 * kMs);
  EXPECT_EQ(takeEvents(), (std::vector<Value>{typeOnly("permissionLost")}));
}

TEST_F(KeyTapTest, SandboxedTapSwitchedOffWithoutListenAccess) {
  startListening(true);
  world.setListenAccess(false);
  KeyEventTapHandler::tapCallback(platform::kCGEventTapDisabledByTimeout, nullptr, handler.get());
  EXPECT_EQ(world.tapCount(), 0);
  EXPECT_EQ(takeEvents(), (std::vector<Value>{typeOnly("permissionLost")}));
}

TEST(KeyTapDirect, ListenAndCancelInAnyOrder) {
  sim::World world;
  world.setTrusted(true);
  world.runPending();
  auto handler = KeyEventTapHandler::create(world, false);
  EXPECT_EQ(handler->onCancel(Value()), std::nullopt) << "cancel before any listen";
  EXPECT_EQ(handler->onCancel(Value()), std::nullopt);

  std::vector<Value> first, second;
  ASSERT_EQ(handler->onListen(Value(), recordInto(first)), std::nullopt);
  ASSERT_EQ(handler->onListen(Value(), recordInto(second)), std::nullopt);
  EXPECT_EQ(world.tapCount(), 1) << "the earlier tap must be gone";
  EXPECT_EQ(world.observerCount(), 2) << "the earlier observers must be gone";
  world.pressKey(5);
  world.runPending();
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(second, (std::vector<Value>{keyDownEvent(5, "g")}));

  // A second listen that fails still ends the first set-up.
  world.setTrusted(false);
  EXPECT_TRUE(handler->onListen(Value(), recordInto(second)).has_value());
  EXPECT_EQ(world.tapCount(), 0);
  EXPECT_EQ(world.observerCount(), 0);
  EXPECT_EQ(handler->onCancel(Value()), std::nullopt);
}

TEST(KeyTapDirect, CallbacksOutlivingTheHandlerDoNothing) {
  sim::World world;
  world.setTrusted(true);
  world.addApplication(app(7));
  world.runPending();
  std::vector<Value> seen;
  auto handler = KeyEventTapHandler::create(world, false);
  ASSERT_EQ(handler->onListen(Value(), recordInto(seen)), std::nullopt);
  world.setTrusted(false);
  world.runPending();  // a trust re-check is scheduled
  world.activate(7);
  world.keyDown(5);
  handler.reset();
  EXPECT_EQ(world.tapCount(), 0);
  EXPECT_EQ(world.observerCount(), 0);
  world.advance(1000 * kMs);
  world.setTrusted(true);
  world.postDistributedNotification(kNotification);
  world.advance(1000 * kMs);
  EXPECT_TRUE(seen.empty());
}

}  // namespace
}  // namespace tandrel_test
