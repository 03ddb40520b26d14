// Arbitrary traffic on "tandrel/automation" against a simulated system whose applications,
// focused field, pasteboard and faults are all drawn from the input, interleaved with the loop
// delivering the posted keys. Every call must be answered exactly once, before delivery returns,
// with a reply of the method's shape; a password field must never change through the
// accessibility methods.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "channel/arguments.h"
#include "channel/local_messenger.h"
#include "channel/method_channel.h"
#include "channel/programming_error.h"
#include "channel/standard_codec.h"
#include "runner/automation/automation_handler.h"
#include "sim/world.h"
#include "text/text.h"

namespace {

using channel::Value;
using channel::ValueMap;

const std::string kChannel = "tandrel/automation";

// Pacing is linear in the count, by contract; beyond this a run only measures the loop.
constexpr int64_t kMaxBackspaces = 2000;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "automation_fuzz: %s\n", what);
  std::abort();
}

std::u16string drawText(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return text::utf8ToUtf16(in.ConsumeRandomLengthString(48));
  std::u16string units;  // raw units, lone surrogates included
  for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 24); n > 0; --n) {
    units.push_back(in.ConsumeIntegral<char16_t>());
  }
  return units;
}

std::optional<platform::AXRange> drawRange(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange(0, 5) == 0) return std::nullopt;
  if (in.ConsumeBool())
    return platform::AXRange{in.ConsumeIntegral<int64_t>(), in.ConsumeIntegral<int64_t>()};
  return platform::AXRange{in.ConsumeIntegralInRange<int64_t>(0, 30),
                           in.ConsumeIntegralInRange<int64_t>(0, 30)};
}

sim::ElementState drawElement(FuzzedDataProvider& in) {
  sim::ElementState e;
  if (in.ConsumeIntegralInRange(0, 7) == 0) {
    e.value.reset();
  } else {
    e.value = drawText(in);
  }
  e.valueIsNumber = in.ConsumeIntegralInRange(0, 7) == 0;
  e.selection = drawRange(in);
  e.selectionIsNotRange = in.ConsumeIntegralInRange(0, 7) == 0;
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      e.subrole = u"AXSecureTextField";
      break;
    case 1:
      e.subrole = u"AXSearchField";
      break;
    default:
      break;
  }
  e.valueSettable = in.ConsumeBool();
  e.selectionSettable = in.ConsumeBool();
  e.selectedTextSettable = in.ConsumeBool();
  e.valueWrite = static_cast<sim::WriteBehaviour>(in.ConsumeIntegralInRange(0, 3));
  if (in.ConsumeBool()) e.reformatTo = drawText(in);
  e.refuseSelectedTextWrite = in.ConsumeIntegralInRange(0, 3) == 0;
  e.refuseSelectionWrite = in.ConsumeIntegralInRange(0, 3) == 0;
  e.kind = static_cast<sim::ElementKind>(in.ConsumeIntegralInRange(0, 3));
  e.ignoreTyping = in.ConsumeIntegralInRange(0, 3) == 0;
  if (in.ConsumeBool()) e.axLag = in.ConsumeBool() ? sim::kPageLoadLag : 0;
  for (const char* attribute : {"AXValue", "AXSelectedTextRange", "AXSubrole"}) {
    if (in.ConsumeIntegralInRange(0, 5) == 0) e.copyErrors[attribute] = platform::kAXErrorFailure;
  }
  return e;
}

void drawWorld(FuzzedDataProvider& in, sim::World& world) {
  world.setTrusted(in.ConsumeIntegralInRange(0, 7) != 0);
  world.setPostAccess(in.ConsumeBool());
  sim::Faults& f = world.faults();
  f.eventSourceFails = in.ConsumeIntegralInRange(0, 7) == 0;
  f.allKeyboardEventsFail = in.ConsumeIntegralInRange(0, 15) == 0;
  for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 3); n > 0; --n) {
    f.keyboardEventFailures.insert(in.ConsumeIntegralInRange<int64_t>(0, 40));
  }
  f.rangeValueCreateFails = in.ConsumeIntegralInRange(0, 7) == 0;
  f.pasteboardItemsNil = in.ConsumeIntegralInRange(0, 7) == 0;
  f.pasteboardWriteFails = in.ConsumeIntegralInRange(0, 7) == 0;
  f.systemWideFocusFails = in.ConsumeIntegralInRange(0, 7) == 0;
  world.setSecureInput(in.ConsumeIntegralInRange(0, 7) == 0);

  world.setHostPid(in.ConsumeIntegralInRange<int32_t>(1, 4));
  for (int32_t pid = 1, apps = in.ConsumeIntegralInRange(0, 4); pid <= apps; ++pid) {
    sim::AppState app;
    app.pid = pid;
    if (in.ConsumeBool()) app.bundleIdentifier = in.ConsumeRandomLengthString(24);
    if (in.ConsumeBool()) app.localizedName = in.ConsumeRandomLengthString(24);
    app.chromium = static_cast<sim::Chromium>(in.ConsumeIntegralInRange(0, 5));
    app.treeBuildDelay = in.ConsumeIntegralInRange(0, 3) == 0 ? 0 : sim::kDefaultTreeBuildDelay;
    app.callDelay = in.ConsumeIntegralInRange(0, 3) == 0 ? 100000 : 0;
    if (in.ConsumeIntegralInRange(0, 3) != 0) app.focused = drawElement(in);
    world.addApplication(std::move(app));
    if (in.ConsumeBool()) world.setFrontmost(pid);
  }

  static const char* kTypes[] = {"public.utf8-plain-text", "public.rtf", "public.png", ""};
  for (size_t items = in.ConsumeIntegralInRange<size_t>(0, 4); items > 0; --items) {
    sim::PasteboardItemState item;
    for (size_t types = in.ConsumeIntegralInRange<size_t>(0, 3); types > 0; --types) {
      std::string type = in.ConsumeBool() ? kTypes[in.ConsumeIntegralInRange(0, 3)]
                                          : in.ConsumeRandomLengthString(12);
      if (in.ConsumeIntegralInRange(0, 3) == 0) item.unreadableTypes.insert(type);
      const std::string bytes = in.ConsumeRandomLengthString(64);
      item.types.emplace_back(std::move(type), platform::Bytes(bytes.begin(), bytes.end()));
    }
    world.pasteboardItems().push_back(std::move(item));
  }
}

Value drawValue(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 6)) {
    case 0:
      return Value();
    case 1:
      return Value(in.ConsumeIntegralInRange<int32_t>(-3, 45));
    case 2:
      return Value(in.ConsumeIntegral<int64_t>());
    case 3:
      return Value(in.ConsumeRandomLengthString(48));
    case 4:
      return Value(in.ConsumeFloatingPoint<double>());
    case 5:
      return Value(in.ConsumeBool());
    default: {
      const auto bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 24));
      return channel::decodeMessage(bytes).value_or(Value());
    }
  }
}

// The channel's methods, then near misses that must be answered "not implemented".
constexpr const char* kMethods[] = {"clipboardChangeCount",
                                    "readClipboardText",
                                    "writeClipboardText",
                                    "saveClipboard",
                                    "restoreClipboard",
                                    "copy",
                                    "paste",
                                    "backspace",
                                    "typeText",
                                    "axFocusedText",
                                    "runningLayoutSwitchers",
                                    "axSetFocusedText",
                                    "isSecureInputEnabled",
                                    "clipboardAccessBehavior",
                                    "TypeText",
                                    ""};
constexpr size_t kKnownMethods = 13;

std::vector<uint8_t> drawCall(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange(0, 15) == 0) {
    return in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 64));
  }
  channel::MethodCall call;
  call.method = kMethods[in.ConsumeIntegralInRange<size_t>(0, std::size(kMethods) - 1)];
  if (in.ConsumeIntegralInRange(0, 5) == 0) {
    call.arguments = drawValue(in);
  } else {
    ValueMap args;
    for (const char* key : {"text", "count", "selStart", "selLen", "transient", "expectedText"}) {
      if (in.ConsumeBool()) args.set(key, drawValue(in));
    }
    call.arguments = std::move(args);
  }
  return channel::encodeMethodCall(call);
}

// The reply's shape for each method; unknown methods get the zero-byte reply.
void checkReply(const std::optional<channel::MethodCall>& call, const std::vector<uint8_t>& bytes) {
  if (!call) {
    if (!bytes.empty()) fail("an undecodable call was answered");
    return;
  }
  if (bytes.empty()) {
    for (const std::string_view name : std::span(kMethods, kKnownMethods)) {
      if (name == call->method) fail("a known method was not implemented");
    }
    return;
  }
  const auto envelope = channel::decodeEnvelope(bytes);
  if (!envelope || !std::holds_alternative<Value>(*envelope)) fail("a reply that is not success");
  const Value& value = std::get<Value>(*envelope);
  const std::string& m = call->method;
  bool ok = true;
  if (m == "clipboardChangeCount") {
    ok = value.is<int32_t>() || value.is<int64_t>();
  } else if (m == "readClipboardText") {
    ok = value.isNull() || value.is<std::string>();
  } else if (m == "clipboardAccessBehavior") {
    ok = value.is<std::string>();
  } else if (m == "axSetFocusedText" || m == "isSecureInputEnabled") {
    ok = value.is<bool>();
  } else if (m == "runningLayoutSwitchers") {
    ok = value.is<channel::ValueList>();
  } else if (m == "axFocusedText") {
    const auto* map = value.get_if<ValueMap>();
    ok = value.isNull() || (map && map->size() == 3 && channel::stringArg(*map, "text") &&
                            channel::intArg(*map, "selStart") && channel::intArg(*map, "selLen"));
  } else {
    ok = value.isNull();
  }
  if (!ok) fail("a reply of the wrong shape");
}

bool tooLong(const std::optional<channel::MethodCall>& call) {
  if (!call || call->method != "backspace") return false;
  const auto count = channel::intArg(channel::argumentsMap(call->arguments), "count");
  return count && *count > kMaxBackspaces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  channel::setProgrammingErrorHandler(
      [](std::string_view) { fail("a call answered twice or never"); });
  FuzzedDataProvider in(data, size);
  sim::World world;
  drawWorld(in, world);
  tandrel::AutomationHandler handler(world);
  channel::LocalMessenger messenger;
  channel::MethodChannel(messenger, kChannel)
      .setMethodCallHandler(
          [&](const channel::MethodCall& c, std::unique_ptr<channel::MethodResult> r) {
            handler.handle(c, std::move(r));
          });

  while (in.remaining_bytes() > 0) {
    if (in.ConsumeIntegralInRange(0, 4) == 0) {
      world.runPending();
      continue;
    }
    const std::vector<uint8_t> message = drawCall(in);
    const auto call = channel::decodeMethodCall(message);
    if (tooLong(call)) continue;

    const sim::ElementState* focused = world.focusedElement();
    const bool secure = focused && focused->subrole == u"AXSecureTextField" &&
                        !focused->copyErrors.contains("AXSubrole");
    const auto valueBefore = focused ? focused->value : std::nullopt;
    const auto reply = messenger.deliver(kChannel, message);
    if (!reply) fail("a call was not answered before delivery returned");
    checkReply(call, *reply);
    if (secure && call && call->method.starts_with("ax") && focused->value != valueBefore) {
      fail("a password field was written");
    }
  }
  world.runPending();
  return 0;
}
