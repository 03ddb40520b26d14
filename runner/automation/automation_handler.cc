#include "runner/automation/automation_handler.h"

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "channel/arguments.h"
#include "text/text.h"

namespace tandrel {

namespace {

using channel::Value;
using channel::ValueMap;

// Dart has one integer type; the small encoding is enough whenever the number fits.
Value integerValue(int64_t n) {
  if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max()) {
    return Value(static_cast<int32_t>(n));
  }
  return Value(n);
}

std::u16string textArg(const ValueMap& args) {
  return text::utf8ToUtf16(channel::stringArg(args, "text").value_or(std::string_view()));
}

// Each method reads its own keys (a missing or mistyped key takes the default), does its work
// and gives the reply. Commands reply null whatever happened.
using Operation = Value (*)(AutomationHandler&, const ValueMap&);

struct Method {
  std::string_view name;
  Operation operation;
};

constexpr std::array<Method, 14> kMethods{{
    {"clipboardChangeCount",
     [](AutomationHandler& h, const ValueMap&) { return integerValue(h.clipboardChangeCount()); }},
    {"readClipboardText",
     [](AutomationHandler& h, const ValueMap&) {
       std::optional<std::string> text = h.readClipboardText();
       return text ? Value(std::move(*text)) : Value();
     }},
    {"writeClipboardText",
     [](AutomationHandler& h, const ValueMap& args) {
       h.writeClipboardText(channel::stringArg(args, "text").value_or(std::string_view()),
                            channel::boolArg(args, "transient").value_or(false));
       return Value();
     }},
    {"saveClipboard",
     [](AutomationHandler& h, const ValueMap&) {
       h.saveClipboard();
       return Value();
     }},
    {"restoreClipboard",
     [](AutomationHandler& h, const ValueMap&) {
       h.restoreClipboard();
       return Value();
     }},
    {"clipboardAccessBehavior",
     [](AutomationHandler& h, const ValueMap&) {
       return Value(std::string(h.clipboardAccessBehavior()));
     }},
    {"copy",
     [](AutomationHandler& h, const ValueMap&) {
       h.copy();
       return Value();
     }},
    {"paste",
     [](AutomationHandler& h, const ValueMap&) {
       h.paste();
       return Value();
     }},
    {"backspace",
     [](AutomationHandler& h, const ValueMap& args) {
       // No count, no keystroke.
       h.backspace(channel::intArg(args, "count").value_or(0));
       return Value();
     }},
    {"typeText",
     [](AutomationHandler& h, const ValueMap& args) {
       h.typeText(textArg(args));
       return Value();
     }},
    {"axFocusedText",
     [](AutomationHandler& h, const ValueMap&) {
       std::optional<FocusedText> focused = h.axFocusedText();
       if (!focused) return Value();
       return Value(ValueMap{{"text", text::utf16ToUtf8(focused->text)},
                             {"selStart", integerValue(focused->selStart)},
                             {"selLen", integerValue(focused->selLen)}});
     }},
    {"runningLayoutSwitchers",
     [](AutomationHandler& h, const ValueMap&) {
       channel::ValueList names;
       for (std::string& name : AutomationHandler::runningLayoutSwitchers(h.platform())) {
         names.emplace_back(std::move(name));
       }
       return Value(std::move(names));
     }},
    {"isSecureInputEnabled",
     [](AutomationHandler& h, const ValueMap&) { return Value(h.isSecureInputEnabled()); }},
    {"axSetFocusedText",
     [](AutomationHandler& h, const ValueMap& args) {
       // Only a string is an expectation; anything else is as if none was given.
       std::optional<std::u16string> expected;
       if (const auto given = channel::stringArg(args, "expectedText")) {
         expected = text::utf8ToUtf16(*given);
       }
       return Value(h.axSetFocusedText(textArg(args),
                                       channel::intArg(args, "selStart").value_or(-1),
                                       channel::intArg(args, "selLen").value_or(0), expected));
     }},
}};

// Calls that would hold the main thread beyond a bound are refused before any work is done, so
// no partial edit is left behind. Each answers the reason, naming the limit, or nullopt.
struct Bound {
  std::string_view method;
  std::optional<std::string> (*refusal)(const ValueMap&);
};

constexpr std::array<Bound, 2> kBounds{{
    {"backspace",
     [](const ValueMap& args) -> std::optional<std::string> {
       if (channel::intArg(args, "count").value_or(0) <= kMaxBackspaceCount) return std::nullopt;
       return "\"count\" is above the limit of " + std::to_string(kMaxBackspaceCount) +
              " Backspace presses per call";
     }},
    {"typeText",
     [](const ValueMap& args) -> std::optional<std::string> {
       const std::optional<std::string_view> text = channel::stringArg(args, "text");
       // UTF-8 never takes fewer bytes than UTF-16 units, so a short text needs no conversion.
       if (!text || text->size() <= kMaxTypeTextUnits ||
           text::utf8ToUtf16(*text).size() <= kMaxTypeTextUnits) {
         return std::nullopt;
       }
       return "\"text\" is longer than the limit of " + std::to_string(kMaxTypeTextUnits) +
              " UTF-16 units per call";
     }},
}};

std::optional<std::string> refusal(std::string_view method, const ValueMap& args) {
  for (const Bound& bound : kBounds) {
    if (bound.method == method) return bound.refusal(args);
  }
  return std::nullopt;
}

}  // namespace

AutomationHandler::AutomationHandler(platform::Platform& platform)
    : platform_(platform), switches_(AccessibilitySwitches::of(platform)) {}

const std::shared_ptr<AutomationHandler>& AutomationHandler::shared() {
  static const std::shared_ptr<AutomationHandler> instance =
      std::make_shared<AutomationHandler>(platform::processPlatform());
  return instance;
}

void AutomationHandler::handle(const channel::MethodCall& call,
                               std::unique_ptr<channel::MethodResult> result) {
  const ValueMap& args = channel::argumentsMap(call.arguments);
  for (const Method& method : kMethods) {
    if (method.name == call.method) {
      if (std::optional<std::string> reason = refusal(method.name, args)) {
        result->error(std::string(kInvalidArgumentCode), std::move(*reason));
        return;
      }
      result->success(method.operation(*this, args));
      return;
    }
  }
  result->notImplemented();
}

}  // namespace tandrel
