// The trace: one timeline of what the host did to the simulated macOS and what came of it. The
// services the host reaches through World note their calls here on the way to the simulated ones.

#include "sim/trace.h"

#include <charconv>
#include <cmath>
#include <string>

#include "sim/world_impl.h"
#include "text/text.h"

namespace sim {

using platform::AXAttributeValue;
using platform::AXElement;
using platform::AXError;

namespace {

// Long texts are cut: the trace is read by a person, and its window must stay small.
constexpr size_t kMaxTracedUnits = 64;

std::string quoted(std::u16string_view units) {
  const bool cut = units.size() > kMaxTracedUnits;
  std::string out = "\"" + text::utf16ToUtf8(units.substr(0, kMaxTracedUnits)) + "\"";
  if (cut) out += "... (" + std::to_string(units.size()) + " units)";
  return out;
}

std::string quoted(std::string_view utf8) {
  return quoted(std::u16string_view(text::utf8ToUtf16(utf8)));
}

std::string number(double d) {
  if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15) {
    return std::to_string(static_cast<int64_t>(d));
  }
  return std::to_string(d);
}

std::string describe(const AXElement& element) {
  if (!element) return "null";
  switch (element->kind) {
    case platform::AXElementObject::Kind::kSystemWide:
      return "system-wide";
    case platform::AXElementObject::Kind::kApplication:
      return "app " + std::to_string(element->pid);
    case platform::AXElementObject::Kind::kFocused:
      return "focused element of " + std::to_string(element->pid);
  }
  return "?";
}

std::string describe(const AXAttributeValue& value) {
  struct Visitor {
    std::string operator()(std::monostate) const { return "null"; }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(double d) const { return number(d); }
    std::string operator()(const std::u16string& s) const { return quoted(std::u16string_view(s)); }
    std::string operator()(const AXElement& e) const { return describe(e); }
    std::string operator()(const platform::AXValueBox& box) const {
      if (box.type != platform::kAXValueTypeCFRange) return "AXValue of type " + number(box.type);
      return "range " + std::to_string(box.range.location) + "+" + std::to_string(box.range.length);
    }
    std::string operator()(const platform::AXOtherValue& other) const { return other.typeName; }
  };
  return std::visit(Visitor{}, value);
}

std::string status(AXError error) {
  return error == platform::kAXErrorSuccess ? "ok" : "error " + std::to_string(error);
}

std::string eventName(platform::EventType type) {
  switch (type) {
    case platform::kCGEventKeyDown:
      return "keyDown";
    case platform::kCGEventKeyUp:
      return "keyUp";
    case platform::kCGEventFlagsChanged:
      return "flagsChanged";
    default:
      return "type " + std::to_string(type);
  }
}

}  // namespace

void World::Impl::note(std::string kind, std::string detail) {
  trace.push(TraceEntry{now, std::move(kind), std::move(detail)});
}

std::string describeUserKey(const platform::EventObject& event, std::optional<int32_t> pid) {
  std::string out =
      "keyDown " + std::to_string(event.keycode) + " " + quoted(std::u16string_view(event.unicode));
  if (event.userData != 0) out += " userData " + std::to_string(event.userData);
  return out + (pid ? " reached pid " + std::to_string(*pid) : " reached no application");
}

std::string describePosted(platform::TapLocation location, const platform::EventObject& event) {
  // On the path of every synthetic key: built in one buffer.
  std::string out;
  out.reserve(64);
  const auto append = [&out](uint64_t n) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, end);
  };
  switch (event.type) {
    case platform::kCGEventKeyDown:
      out += "keyDown ";
      break;
    case platform::kCGEventKeyUp:
      out += "keyUp ";
      break;
    default:
      out += eventName(event.type) + " ";
  }
  append(event.keycode);
  if (event.flags) {
    out += " flags ";
    append(event.flags);
  }
  if (event.unicodeSet) out += " " + quoted(std::u16string_view(event.unicode));
  out += " userData ";
  if (event.userData < 0) out += '-';
  append(event.userData < 0 ? 0 - static_cast<uint64_t>(event.userData)
                            : static_cast<uint64_t>(event.userData));
  switch (location) {
    case platform::kCGHIDEventTap:
      out += " at HID";
      break;
    case platform::kCGSessionEventTap:
      out += " at session";
      break;
    default:
      out += " at ";
      append(location);
  }
  if (!event.hadSource) out += " (no source)";
  return out;
}

// ---- accessibility --------------------------------------------------------------------------

bool TracingAccessibility::isProcessTrusted() {
  return inner_.isProcessTrusted();
}

bool TracingAccessibility::isProcessTrustedWithOptions(bool prompt) {
  const bool trusted = inner_.isProcessTrustedWithOptions(prompt);
  if (prompt) w_.note("ax.prompt", trusted ? "trusted" : "not trusted");
  return trusted;
}

AXElement TracingAccessibility::createApplication(int32_t pid) {
  return inner_.createApplication(pid);
}

AXElement TracingAccessibility::createSystemWide() {
  return inner_.createSystemWide();
}

AXError TracingAccessibility::copyAttributeValue(const AXElement& element,
                                                 std::string_view attribute,
                                                 AXAttributeValue& value) {
  const AXError error = inner_.copyAttributeValue(element, attribute, value);
  std::string detail = std::string(attribute) + " of " + describe(element) + ": " + status(error);
  if (error == platform::kAXErrorSuccess) detail += " " + describe(value);
  w_.note("ax.read", std::move(detail));
  return error;
}

AXError TracingAccessibility::setAttributeValue(const AXElement& element,
                                                std::string_view attribute,
                                                const AXAttributeValue& value) {
  const AXError error = inner_.setAttributeValue(element, attribute, value);
  w_.note("ax.write", std::string(attribute) + " of " + describe(element) + " = " +
                          describe(value) + ": " + status(error));
  return error;
}

AXError TracingAccessibility::isAttributeSettable(const AXElement& element,
                                                  std::string_view attribute, bool& settable) {
  const AXError error = inner_.isAttributeSettable(element, attribute, settable);
  std::string detail = std::string(attribute) + " of " + describe(element) + ": " + status(error);
  if (error == platform::kAXErrorSuccess) detail += settable ? " settable" : " not settable";
  w_.note("ax.settable", std::move(detail));
  return error;
}

std::optional<platform::AXValueBox> TracingAccessibility::createRangeValue(
    platform::AXRange range) {
  return inner_.createRangeValue(range);
}

// ---- pasteboard -----------------------------------------------------------------------------

int64_t TracingPasteboard::changeCount() {
  return inner_.changeCount();
}

int64_t TracingPasteboard::clearContents() {
  const int64_t count = inner_.clearContents();
  w_.note("pasteboard", "clearContents: change count " + std::to_string(count));
  return count;
}

std::optional<std::string> TracingPasteboard::stringForType(std::string_view type) {
  return inner_.stringForType(type);
}

bool TracingPasteboard::setStringForType(std::string_view text, std::string_view type) {
  const bool ok = inner_.setStringForType(text, type);
  w_.note("pasteboard",
          "setString " + quoted(text) + " forType " + std::string(type) + (ok ? ": ok" : ": NO"));
  return ok;
}

std::optional<std::vector<platform::PasteboardItem>> TracingPasteboard::pasteboardItems() {
  return inner_.pasteboardItems();
}

bool TracingPasteboard::writeObjects(const std::vector<platform::PasteboardItem>& items) {
  const bool ok = inner_.writeObjects(items);
  w_.note("pasteboard",
          "writeObjects " + std::to_string(items.size()) + " item(s)" + (ok ? ": ok" : ": NO"));
  return ok;
}

platform::PasteboardItem TracingPasteboard::createItem() {
  return inner_.createItem();
}

std::vector<std::string> TracingPasteboard::types(const platform::PasteboardItem& item) {
  return inner_.types(item);
}

std::optional<platform::SharedBytes> TracingPasteboard::dataForType(
    const platform::PasteboardItem& item, std::string_view type) {
  return inner_.dataForType(item, type);
}

bool TracingPasteboard::setDataForType(const platform::PasteboardItem& item,
                                       platform::SharedBytes data, std::string_view type) {
  return inner_.setDataForType(item, std::move(data), type);
}

// ---- input sources --------------------------------------------------------------------------

std::optional<std::vector<platform::InputSource>> TracingInputSources::createInputSourceList(
    const platform::InputSourceFilter& filter, bool includeAllInstalled) {
  return inner_.createInputSourceList(filter, includeAllInstalled);
}

std::optional<std::vector<std::optional<std::string>>> TracingInputSources::languages(
    const platform::InputSource& source) {
  return inner_.languages(source);
}

std::optional<std::string> TracingInputSources::sourceID(const platform::InputSource& source) {
  return inner_.sourceID(source);
}

int32_t TracingInputSources::select(const platform::InputSource& source) {
  const int32_t result = inner_.select(source);
  w_.note("inputSource", "select " + (source ? source->id : std::string("null")) + ": " +
                             (result == 0 ? "ok" : "status " + std::to_string(result)));
  return result;
}

}  // namespace sim
