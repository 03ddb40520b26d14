// Arbitrary traffic on "tandrel/permissions", "tandrel/key_events" and "tandrel/permission_events",
// interleaved with user actions, permission changes, faults and the passing of time, all drawn
// from the input. Every call must be answered exactly once, before delivery returns, with a
// well-formed reply; every event must be one the Flutter side knows; and once the handlers are
// gone, no tap or observer may remain.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "channel/event_channel.h"
#include "channel/local_messenger.h"
#include "channel/method_channel.h"
#include "channel/programming_error.h"
#include "channel/standard_codec.h"
#include "runner/automation/automation_handler.h"
#include "runner/keytap/key_event_tap_handler.h"
#include "runner/permissions/handle_permissions.h"
#include "runner/permissions/permission_gate.h"
#include "runner/permissions/permission_watch_handler.h"
#include "sim/world.h"

namespace {

const std::string kPermissions(tandrel::kPermissionsChannel);
const std::string kKeyEvents(tandrel::kKeyEventsChannel);
const std::string kPermissionEvents(tandrel::kPermissionEventsChannel);

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "host_channels_fuzz: %s\n", what);
  std::abort();
}

void checkEvent(const std::string& channelName, std::span<const uint8_t> bytes) {
  const auto envelope = channel::decodeEnvelope(bytes);
  if (!envelope || !std::holds_alternative<channel::Value>(*envelope)) {
    fail("an event that is not a success envelope");
  }
  const channel::Value& value = std::get<channel::Value>(*envelope);
  if (channelName == kPermissionEvents) {
    if (!value.is<bool>()) fail("a permission event that is not a bool");
  } else if (channelName == kKeyEvents) {
    const auto* map = value.get_if<channel::ValueMap>();
    const channel::Value* type = map ? map->find("type") : nullptr;
    if (!type || !type->is<std::string>()) fail("a key event without a type");
  } else {
    fail("an event on a channel nobody listens to");
  }
}

channel::Value drawValue(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0:
      return channel::Value();
    case 1:
      return channel::Value(in.ConsumeIntegral<int32_t>());
    case 2:
      return channel::Value(in.ConsumeRandomLengthString(16));
    case 3:
      return channel::ValueList{channel::Value(in.ConsumeBool()), channel::Value("x")};
    case 4:
      return channel::ValueMap{{in.ConsumeRandomLengthString(8), channel::Value(in.ConsumeBool())}};
    default: {
      const auto bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 32));
      return channel::decodeMessage(bytes).value_or(channel::Value());
    }
  }
}

std::string drawMethod(FuzzedDataProvider& in) {
  static constexpr const char* kKnown[] = {"check",  "prompt", "openSettings", "isSandboxed",
                                           "listen", "cancel", "Check",        ""};
  const size_t choice = in.ConsumeIntegralInRange<size_t>(0, std::size(kKnown));
  if (choice < std::size(kKnown)) return kKnown[choice];
  return in.ConsumeRandomLengthString(16);
}

const std::string& drawChannel(FuzzedDataProvider& in) {
  static const std::string kOther = "tandrel/unknown";
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return kPermissions;
    case 1:
      return kKeyEvents;
    case 2:
      return kPermissionEvents;
    default:
      return kOther;
  }
}

struct Host {
  Host(sim::World& w, bool sandbox) : world(w), sandboxed(sandbox) {
    messenger.setOutgoing(checkEvent);
    channel::MethodChannel(messenger, kPermissions)
        .setMethodCallHandler([this](const channel::MethodCall& call, auto result) {
          tandrel::TandrelPlugin::handlePermissions(world, sandboxed, call, std::move(result));
        });
    installHandlers();
  }

  // Replaces the stream handlers; the old ones go with whatever callbacks still point at them.
  void installHandlers() {
    keyHandler = tandrel::KeyEventTapHandler::create(world, sandboxed);
    watchHandler = tandrel::PermissionWatchHandler::create(world, sandboxed);
    channel::EventChannel(messenger, kKeyEvents).setStreamHandler(keyHandler);
    channel::EventChannel(messenger, kPermissionEvents).setStreamHandler(watchHandler);
  }

  void deliver(const std::string& channelName, std::span<const uint8_t> bytes) {
    const auto reply = messenger.deliver(channelName, bytes);
    if (!reply) fail("a call left unanswered");
    if (!reply->empty() && !channel::decodeEnvelope(*reply)) fail("a malformed reply");
  }

  void removeAll() {
    keyHandler.reset();
    watchHandler.reset();
    messenger.setMessageHandler(kKeyEvents, nullptr);
    messenger.setMessageHandler(kPermissionEvents, nullptr);
    messenger.setMessageHandler(kPermissions, nullptr);
  }

  sim::World& world;
  const bool sandboxed;
  channel::LocalMessenger messenger;
  std::shared_ptr<tandrel::KeyEventTapHandler> keyHandler;
  std::shared_ptr<tandrel::PermissionWatchHandler> watchHandler;
};

void userAction(FuzzedDataProvider& in, sim::World& world) {
  switch (in.ConsumeIntegralInRange(0, 8)) {
    case 0:
      world.keyDown(in.ConsumeIntegralInRange<uint16_t>(0, 127), in.ConsumeBool());
      break;
    case 1:
      world.keyUp(in.ConsumeIntegralInRange<uint16_t>(0, 127));
      break;
    case 2: {
      static constexpr platform::EventType kDowns[] = {platform::kCGEventLeftMouseDown,
                                                       platform::kCGEventRightMouseDown,
                                                       platform::kCGEventOtherMouseDown};
      world.click(kDowns[in.ConsumeIntegralInRange<size_t>(0, 2)]);
      break;
    }
    case 3:
      world.activate(in.ConsumeIntegralInRange(1, 3));
      break;
    case 4:
      world.disableTapsByTimeout();
      break;
    case 5:
      world.postDistributedNotification(in.ConsumeBool()
                                            ? std::string(tandrel::kAccessibilityChanged)
                                            : in.ConsumeRandomLengthString(8));
      break;
    case 6: {
      // A synthetic event, marked or not, with any characters and flags.
      platform::EventSource source;
      if (in.ConsumeBool()) {
        source = world.events().createSource(platform::kCGEventSourceStateHIDSystemState);
        world.events().sourceSetUserData(
            source, in.ConsumeBool() ? tandrel::kOwnEventMarker : in.ConsumeIntegral<int64_t>());
      }
      auto event = world.events().createKeyboardEvent(
          source, in.ConsumeIntegralInRange<uint16_t>(0, 127), in.ConsumeBool());
      if (!event) break;
      const std::u16string units = [&] {
        std::u16string s;
        const size_t n = in.ConsumeIntegralInRange<size_t>(0, 24);
        for (size_t i = 0; i < n; ++i) s.push_back(in.ConsumeIntegral<char16_t>());
        return s;
      }();
      world.events().keyboardSetUnicodeString(event, units.size(), units.data());
      world.events().setFlags(event, in.ConsumeIntegral<uint64_t>());
      world.events().post(platform::kCGSessionEventTap, event);
      break;
    }
    case 7:
      world.typeOnKeys(u"ab");
      break;
    default:
      world.runPending();
      break;
  }
}

void worldChange(FuzzedDataProvider& in, sim::World& world) {
  switch (in.ConsumeIntegralInRange(0, 6)) {
    case 0:
      world.setTrusted(in.ConsumeBool());
      break;
    case 1:
      world.setListenAccess(in.ConsumeBool());
      break;
    case 2:
      world.setPostAccess(in.ConsumeBool());
      break;
    case 3:
      world.faults().tapCreateFails = in.ConsumeBool();
      break;
    case 4:
      world.faults().runLoopSourceFails = in.ConsumeBool();
      break;
    case 5:
      world.faults().activationWithoutApplication = in.ConsumeBool();
      break;
    default:
      world.setFrontmost(in.ConsumeBool() ? std::optional<int32_t>(in.ConsumeIntegralInRange(1, 3))
                                          : std::nullopt);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool hooked = [] {
    channel::setProgrammingErrorHandler([](std::string_view what) {
      std::fprintf(stderr, "%.*s\n", static_cast<int>(what.size()), what.data());
      fail("a programming error reported by the channel layer");
    });
    return true;
  }();
  (void)hooked;

  FuzzedDataProvider in(data, size);
  sim::World world;
  for (int32_t pid = 1; pid <= 3; ++pid) {
    sim::AppState app;
    app.pid = pid;
    app.focused = sim::ElementState{};
    app.chromium = static_cast<sim::Chromium>(in.ConsumeIntegralInRange(0, 5));
    world.addApplication(app);
  }
  world.setFrontmost(in.ConsumeIntegralInRange(1, 3));
  world.setTrusted(in.ConsumeBool());
  world.setListenAccess(in.ConsumeBool());
  world.setPostAccess(in.ConsumeBool());
  world.runPending();

  {
    Host host(world, in.ConsumeBool());
    int steps = 0;
    while (in.remaining_bytes() > 0 && ++steps < 400) {
      switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0: {
          const std::string& target = drawChannel(in);
          const auto bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 64));
          host.deliver(target, bytes);
          break;
        }
        case 1: {
          const std::string& target = drawChannel(in);
          const channel::MethodCall call{drawMethod(in), drawValue(in)};
          host.deliver(target, channel::encodeMethodCall(call));
          break;
        }
        case 2:
          host.deliver(in.ConsumeBool() ? kKeyEvents : kPermissionEvents,
                       channel::encodeMethodCall({in.ConsumeBool() ? "listen" : "cancel", {}}));
          break;
        case 3:
          userAction(in, world);
          break;
        case 4:
          worldChange(in, world);
          break;
        case 5:
          world.advance(in.ConsumeIntegralInRange<sim::Micros>(0, 3'000'000));
          break;
        case 6:
          if (in.ConsumeIntegralInRange(0, 7) == 0) host.installHandlers();
          break;
        default:
          world.runPending();
          break;
      }
    }
    host.removeAll();
    // Callbacks queued or scheduled before the handlers went must find them gone.
    world.advance(5'000'000);
    if (world.tapCount() != 0) fail("a tap outlived its handler");
    if (world.observerCount() != 0) fail("an observer outlived its handler");
  }
  return 0;
}
