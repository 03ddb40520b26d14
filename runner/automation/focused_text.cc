// Reading and rewriting the focused text field of the frontmost application through the
// accessibility interface. Nothing is kept between calls: each one finds the focused element anew.
// A password field is never read or written.

#include "runner/automation/automation_handler.h"
#include "runner/automation/manual_accessibility.h"
#include "text/text.h"

namespace tandrel {

namespace {

constexpr std::string_view kFocusedUIElement = "AXFocusedUIElement";
constexpr std::string_view kSubrole = "AXSubrole";
constexpr std::string_view kValue = "AXValue";
constexpr std::string_view kSelectedTextRange = "AXSelectedTextRange";
constexpr std::string_view kSelectedText = "AXSelectedText";
constexpr std::u16string_view kSecureTextField = u"AXSecureTextField";

// The application gets this long to apply a write before it is read back.
constexpr uint32_t kVerifyDelayMicros = 50000;

bool succeeded(platform::AXError error) {
  return error == platform::kAXErrorSuccess;
}

bool settable(platform::Accessibility& ax, const platform::AXElement& element,
              std::string_view attribute) {
  bool flag = false;
  // The call's own error code says nothing more than the flag left false.
  (void)ax.isAttributeSettable(element, attribute, flag);
  return flag;
}

// Sets a range value; false when the value cannot be made or the application refuses it.
bool setRange(platform::Accessibility& ax, const platform::AXElement& element,
              platform::AXRange range) {
  const std::optional<platform::AXValueBox> box = ax.createRangeValue(range);
  return box && succeeded(ax.setAttributeValue(element, kSelectedTextRange, *box));
}

}  // namespace

platform::AXElement AutomationHandler::focusedTextElement(EnhancedUserInterface& enhanced) {
  platform::Accessibility& ax = platform_.accessibility();
  const std::optional<platform::RunningApplication> front =
      platform_.workspace().frontmostApplication();
  // The host's own window in front: every request would wait for this very thread, then fail.
  if (front && front->processIdentifier == platform_.processInfo().processIdentifier()) {
    return nullptr;
  }
  // Applications that build their tree on request only show their fields once asked.
  const bool refused = front && enableManualAccessibility(platform_, front->processIdentifier);
  const platform::AXElement systemWide = ax.createSystemWide();
  if (!systemWide) return nullptr;
  const auto focusedElement = [&]() -> platform::AXElement {
    platform::AXAttributeValue focused;
    if (!succeeded(ax.copyAttributeValue(systemWide, kFocusedUIElement, focused))) return nullptr;
    const platform::AXElement* element = std::get_if<platform::AXElement>(&focused);
    return element ? *element : nullptr;
  };
  platform::AXElement element = focusedElement();
  // A Chrome page shows its fields only for the enhanced interface, which Chrome, refusing the
  // manual switch, answers instead; no other application gets it.
  if (!element && refused && enhanced.enable(front->processIdentifier)) element = focusedElement();
  if (!element) return nullptr;

  // An unreadable subrole is an ordinary field; only a field that says it is secure is refused.
  platform::AXAttributeValue subrole;
  if (succeeded(ax.copyAttributeValue(element, kSubrole, subrole))) {
    const std::u16string* name = std::get_if<std::u16string>(&subrole);
    if (name && *name == kSecureTextField) return nullptr;
  }
  return element;
}

std::optional<std::u16string> AutomationHandler::readValue(const platform::AXElement& element) {
  platform::AXAttributeValue value;
  if (!succeeded(platform_.accessibility().copyAttributeValue(element, kValue, value))) {
    return std::nullopt;
  }
  if (std::u16string* text = std::get_if<std::u16string>(&value)) return std::move(*text);
  return std::nullopt;
}

std::optional<FocusedText> AutomationHandler::axFocusedText() {
  EnhancedUserInterface enhanced(platform_.accessibility());
  const platform::AXElement element = focusedTextElement(enhanced);
  if (!element) return std::nullopt;
  std::optional<std::u16string> value = readValue(element);
  if (!value) return std::nullopt;

  FocusedText focused{std::move(*value)};
  if (const std::optional<platform::AXRange> selection = readSelection(element)) {
    focused.selStart = selection->location;
    focused.selLen = selection->length;
  }
  return focused;
}

std::optional<platform::AXRange> AutomationHandler::readSelection(
    const platform::AXElement& element) {
  platform::AXAttributeValue selection;
  if (!succeeded(
          platform_.accessibility().copyAttributeValue(element, kSelectedTextRange, selection))) {
    return std::nullopt;
  }
  const platform::AXValueBox* box = std::get_if<platform::AXValueBox>(&selection);
  if (!box || box->type != platform::kAXValueTypeCFRange) return std::nullopt;
  return box->range;
}

// After a write, the field counts as rewritten unless it still shows exactly the old text: an
// application may reformat what it was given, or stop exposing its value.
bool AutomationHandler::verifyWrite(const platform::AXElement& element,
                                    std::u16string_view expected,
                                    const std::optional<std::u16string>& before) {
  platform_.mainLoop().sleepMicroseconds(kVerifyDelayMicros);
  const std::optional<std::u16string> after = readValue(element);
  if (!after) return true;
  if (text::canonicallyEqual(*after, expected)) return true;
  return !(before && text::canonicallyEqual(*after, *before));
}

void AutomationHandler::selectAfterWrite(const platform::AXElement& element, int64_t selStart,
                                         int64_t selLen) {
  // No requested selection leaves the application's own; a failure here does not undo the write.
  if (selStart >= 0) setRange(platform_.accessibility(), element, {selStart, selLen});
}

bool AutomationHandler::axSetFocusedText(std::u16string_view text, int64_t selStart, int64_t selLen,
                                         std::optional<std::u16string_view> expectedText) {
  EnhancedUserInterface enhanced(platform_.accessibility());
  const platform::AXElement element = focusedTextElement(enhanced);
  if (!element) return false;
  const std::optional<std::u16string> before = readValue(element);
  // The edit was made on `expectedText`; anything the user typed since must not be overwritten.
  if (expectedText && !(before && text::canonicallyEqual(*before, *expectedText))) return false;
  const std::optional<platform::AXRange> selectionBefore = readSelection(element);

  platform::Accessibility& ax = platform_.accessibility();
  bool written = false;
  if (before && settable(ax, element, kSelectedTextRange) && settable(ax, element, kSelectedText)) {
    // Editing only what changed keeps a rich view's formatting, links and attachments, and goes
    // through the application's own editing path (a web page hears of it). The whole value is
    // written only when the application refuses or ignores that edit, and no typing got through
    // either. A requested selection that does not fit the text is refused here as the selection
    // replacement refuses it, so the answer stays what it always was.
    const RangeEdit edit = replacementRange(text, selStart, selLen)
                               ? replaceChangedRange(element, *before, text)
                               : RangeEdit::kUnchanged;
    written = edit == RangeEdit::kWritten ||
              (edit == RangeEdit::kUnchanged && writeWholeValue(element, text, before));
  } else {
    written = writeWholeValue(element, text, before) ||
              replaceSelection(element, text, selStart, selLen, before);
  }
  if (written) {
    selectAfterWrite(element, selStart, selLen);
    return true;
  }
  // Whatever was tried may have moved the selection (to the whole text, at worst); the user's
  // next Backspace must delete what the user had selected.
  if (selectionBefore && readSelection(element) != selectionBefore) {
    setRange(ax, element, *selectionBefore);
  }
  return false;
}

std::optional<platform::AXRange> AutomationHandler::replacementRange(std::u16string_view text,
                                                                     int64_t selStart,
                                                                     int64_t selLen) {
  const int64_t length = static_cast<int64_t>(text.size());
  platform::AXRange range{0, length};
  if (selStart >= 0 && selLen > 0) range = {selStart, selLen};
  // Written without the sum, which could overflow for hostile positions.
  if (range.location > length || range.length > length - range.location) return std::nullopt;
  return range;
}

AutomationHandler::RangeEdit AutomationHandler::replaceChangedRange(
    const platform::AXElement& element, std::u16string_view before, std::u16string_view text) {
  platform::Accessibility& ax = platform_.accessibility();
  const std::optional<platform::RunningApplication> front =
      platform_.workspace().frontmostApplication();
  const text::ChangedSpan span = text::changedSpan(before, text);
  const platform::AXRange range{static_cast<int64_t>(span.location),
                                static_cast<int64_t>(span.beforeLength)};
  if (!setRange(ax, element, range)) return RangeEdit::kUnchanged;
  const std::u16string_view replacement = text.substr(span.location, span.afterLength);
  if (!succeeded(ax.setAttributeValue(element, kSelectedText, std::u16string(replacement)))) {
    return RangeEdit::kUnchanged;
  }
  const std::optional<std::u16string> beforeText{std::u16string(before)};
  if (verifyWrite(element, text, beforeText)) return RangeEdit::kWritten;

  // Chromium web content answers success and changes nothing; typed keys go through the page's
  // own input events, so its model follows. Typed as "typeText" types, within its bound (one
  // Backspace deletes), and counted only when the field then reads as asked. Keys go wherever
  // the focus is, so only while the same application is in front.
  if (replacement.size() > kMaxTypeTextUnits ||
      platform_.workspace().frontmostApplication() != front || !setRange(ax, element, range)) {
    return RangeEdit::kUnchanged;
  }
  if (replacement.empty()) {
    backspace(1);
  } else {
    typeText(replacement);
  }
  platform_.mainLoop().sleepMicroseconds(kVerifyDelayMicros);
  const std::optional<std::u16string> after = readValue(element);
  if (after && text::canonicallyEqual(*after, text)) return RangeEdit::kWritten;
  // Typing that changed something else (or hid the value) is not overwritten with the whole text.
  return after && text::canonicallyEqual(*after, before) ? RangeEdit::kUnchanged
                                                         : RangeEdit::kOther;
}

bool AutomationHandler::writeWholeValue(const platform::AXElement& element,
                                        std::u16string_view text,
                                        const std::optional<std::u16string>& before) {
  platform::Accessibility& ax = platform_.accessibility();
  return settable(ax, element, kValue) &&
         succeeded(ax.setAttributeValue(element, kValue, std::u16string(text))) &&
         verifyWrite(element, text, before);
}

bool AutomationHandler::replaceSelection(const platform::AXElement& element,
                                         std::u16string_view text, int64_t selStart, int64_t selLen,
                                         const std::optional<std::u16string>& before) {
  platform::Accessibility& ax = platform_.accessibility();
  const bool rangeSettable = settable(ax, element, kSelectedTextRange);
  const bool textSettable = settable(ax, element, kSelectedText);
  if (!rangeSettable || !textSettable) return false;

  const std::optional<platform::AXRange> chosen = replacementRange(text, selStart, selLen);
  if (!chosen) return false;
  const platform::AXRange range = *chosen;

  if (!setRange(ax, element, range)) return false;
  const std::u16string replacement(
      text.substr(static_cast<size_t>(range.location), static_cast<size_t>(range.length)));
  if (!succeeded(ax.setAttributeValue(element, kSelectedText, replacement))) return false;
  return verifyWrite(element, text, before);
}

}  // namespace tandrel
