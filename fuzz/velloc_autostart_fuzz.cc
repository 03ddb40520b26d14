// Arbitrary traffic on "tandrel/autostart" and "velloc/input_source", against a simulated system
// whose version, login-item service and input sources (and the user's selections among them) are
// drawn from the input. Every call must
// be answered exactly once, before delivery returns, with a well-formed reply.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "channel/local_messenger.h"
#include "channel/method_channel.h"
#include "channel/plugin_registrar.h"
#include "channel/programming_error.h"
#include "channel/standard_codec.h"
#include "runner/autostart/handle_autostart.h"
#include "sim/world.h"
#include "velloc/velloc_plugin.h"

namespace {

constexpr char kAutostart[] = "tandrel/autostart";
constexpr char kInputSource[] = "velloc/input_source";

std::string pickText(FuzzedDataProvider& in, std::initializer_list<const char*> known) {
  const size_t choice = in.ConsumeIntegralInRange<size_t>(0, known.size());
  if (choice < known.size()) return known.begin()[choice];
  return in.ConsumeRandomLengthString(12);
}

void buildWorld(FuzzedDataProvider& in, sim::World& world) {
  world.setOperatingSystemVersion({in.ConsumeIntegralInRange<int64_t>(10, 27),
                                   in.ConsumeIntegralInRange<int64_t>(-1, 3),
                                   in.ConsumeIntegralInRange<int64_t>(-1, 3)});
  sim::LoginItemState& login = world.loginItem();
  login.status = in.ConsumeIntegralInRange<int64_t>(-1, 4);
  login.refuse = in.ConsumeBool();
  login.requiresApproval = in.ConsumeBool();
  login.switchedOff = in.ConsumeBool();
  login.signatureRejected = in.ConsumeIntegralInRange(0, 3) == 0;
  world.setTranslocated(in.ConsumeIntegralInRange(0, 3) == 0);
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      login.refusalDescription = std::nullopt;
      break;
    case 1:
      login.refusalDescription = "";
      break;
    default:
      login.refusalDescription = in.ConsumeRandomLengthString(24);
      break;
  }
  world.faults().inputSourceListNil = in.ConsumeIntegralInRange(0, 7) == 0;

  std::vector<sim::InputSourceState>& sources = world.inputSourceList();
  sources.clear();
  const int count = in.ConsumeIntegralInRange(0, 6);
  for (int i = 0; i < count; ++i) {
    sim::InputSourceState s;
    s.id = "source" + std::to_string(i);
    if (in.ConsumeIntegralInRange(0, 5) == 0) s.category = "TISCategoryPaletteInputSource";
    s.enabled = in.ConsumeIntegralInRange(0, 5) != 0;
    s.selectCapable = in.ConsumeIntegralInRange(0, 5) != 0;
    if (in.ConsumeIntegralInRange(0, 4) != 0) {
      std::vector<std::optional<std::string>> languages;
      const int n = in.ConsumeIntegralInRange(0, 4);
      for (int j = 0; j < n; ++j) {
        if (in.ConsumeIntegralInRange(0, 5) == 0) {
          languages.emplace_back(std::nullopt);
        } else {
          languages.emplace_back(pickText(in, {"en", "ru", "de", "en-GB", "RU", ""}));
        }
      }
      s.languages = std::move(languages);
    }
    s.layout = in.ConsumeBool() ? "us" : "ru";
    s.type = pickText(in, {"TISTypeKeyboardLayout", "TISTypeKeyboardInputMode",
                           "TISTypeKeyboardInputMethodWithoutModes"});
    s.selectStatus = in.ConsumeBool() ? 0 : in.ConsumeIntegral<int32_t>();
    sources.push_back(std::move(s));
  }
  std::vector<std::string> order;
  for (int i = in.ConsumeIntegralInRange(0, count); i > 0; --i) {
    order.push_back("source" + std::to_string(in.ConsumeIntegralInRange(0, count)));
  }
  world.setInputSourceListOrder(std::move(order));
}

channel::Value pickArguments(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0:
      return channel::Value();
    case 1: {
      channel::ValueMap args{{"enabled", in.ConsumeBool()}};
      return args;
    }
    case 2: {
      channel::ValueMap args{{"lang", pickText(in, {"ru", "en", "RU", "En", " ru", "de", ""})}};
      return args;
    }
    default: {
      // Whatever value the remaining bytes spell, when they spell one.
      const std::vector<uint8_t> bytes =
          in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 64));
      return channel::decodeMessage(bytes).value_or(channel::Value());
    }
  }
}

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "velloc_autostart_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool hookInstalled = [] {
    channel::setProgrammingErrorHandler([](std::string_view what) {
      std::fprintf(stderr, "programming error: %.*s\n", static_cast<int>(what.size()), what.data());
      std::abort();
    });
    return true;
  }();
  (void)hookInstalled;

  FuzzedDataProvider in(data, size);
  sim::World world;
  buildWorld(in, world);

  channel::LocalMessenger messenger;
  channel::MethodChannel autostart(messenger, kAutostart);
  autostart.setMethodCallHandler(
      [&world](const channel::MethodCall& call, std::unique_ptr<channel::MethodResult> result) {
        tandrel::TandrelPlugin::handleAutostart(world, call, std::move(result));
      });
  channel::PluginRegistrar registrar(messenger);
  velloc::VellocPlugin::registerWithRegistrar(registrar, world);

  int budget = 32;
  while (in.remaining_bytes() > 0 && budget-- > 0) {
    if (in.ConsumeIntegralInRange(0, 3) == 0) {  // the user picks a source the plug-in hears of
      world.userSelectInputSource("source" + std::to_string(in.ConsumeIntegralInRange(0, 6)));
      world.runPending();
    }
    const std::string channelName = in.ConsumeBool() ? kAutostart : kInputSource;
    std::vector<uint8_t> message;
    if (in.ConsumeBool()) {
      channel::MethodCall call;
      call.method = pickText(in, {"isEnabled", "setEnabled", "status", "openLoginItemsSettings",
                                  "select", "listen", "cancel"});
      call.arguments = pickArguments(in);
      message = channel::encodeMethodCall(call);
    } else {
      message = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 256));
    }
    const std::optional<std::vector<uint8_t>> reply = messenger.deliver(channelName, message);
    check(reply.has_value(), "a call was left unanswered");
    check(reply->empty() || channel::decodeEnvelope(*reply).has_value(), "malformed reply");
  }
  return 0;
}
