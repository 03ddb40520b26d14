// Reading and rewriting the focused text field of the frontmost application through the
// accessibility interface. Nothing is kept between calls: each one finds the focused element anew.
// A password field is never read or written.

#include <array>

#include "runner/automation/automation_handler.h"
#include "runner/automation/manual_accessibility.h"
#include "text/text.h"

namespace tandrel {

namespace {

constexpr std::string_view kFocusedUIElement = "AXFocusedUIElement";
constexpr std::string_view kFocusedApplication = "AXFocusedApplication";
constexpr std::string_view kSubrole = "AXSubrole";
constexpr std::string_view kValue = "AXValue";
constexpr std::string_view kSelectedTextRange = "AXSelectedTextRange";
constexpr std::string_view kSelectedText = "AXSelectedText";
constexpr std::u16string_view kSecureTextField = u"AXSecureTextField";

// After a write the field is read back 5, 10, 20 and 50 ms later, until it no longer shows its old
// text: one that applies the edit at once answers after the first pause, and one that still shows
// the old text after 50 ms counts as unchanged.
constexpr std::array<uint32_t, 4> kReadBackPauses{5000, 5000, 10000, 30000};
// Chromium shows typed text to accessibility a frame later, or 150 ms later after a page load:
// typed text is read back every 25 ms, for up to 300 ms, until the field shows it.
constexpr uint32_t kTypedReadBackPause = 25000;
constexpr int kTypedReadBacks = 12;

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

platform::AXElement AutomationHandler::focusedTextElement() {
  platform::Accessibility& ax = platform_.accessibility();
  const std::optional<platform::RunningApplication> front =
      platform_.workspace().frontmostApplication();
  // The host's own window in front: every request would wait for this very thread, then fail.
  if (front && front->processIdentifier == platform_.processInfo().processIdentifier()) {
    return nullptr;
  }
  // Applications that build their tree on request only show their fields once asked.
  if (front) switches_->prepare(front->processIdentifier);
  const platform::AXElement systemWide = ax.createSystemWide();
  if (!systemWide) return nullptr;
  platform::AXAttributeValue focused;
  const platform::AXElement* found = nullptr;
  if (succeeded(ax.copyAttributeValue(systemWide, kFocusedUIElement, focused))) {
    found = std::get_if<platform::AXElement>(&focused);
  }
  // Its tree, switched on now, comes later: this call finds nothing, a later one the field.
  if (!found && front) switches_->focusedElementMissing(front->processIdentifier);
  if (!found || !*found) return nullptr;
  const platform::AXElement element = *found;

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
  const platform::AXElement element = focusedTextElement();
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
  std::optional<std::u16string> after;
  for (const uint32_t pause : kReadBackPauses) {
    platform_.mainLoop().sleepMicroseconds(pause);
    after = readValue(element);
    if (!after || !before || !text::canonicallyEqual(*after, *before)) break;
  }
  if (!after) return true;
  if (text::canonicallyEqual(*after, expected)) return true;
  return !(before && text::canonicallyEqual(*after, *before));
}

void AutomationHandler::selectAfterWrite(const platform::AXElement& element, int64_t selStart,
                                         int64_t selLen) {
  // No requested selection leaves the application's own; a failure here does not undo the write.
  if (selStart >= 0) setRange(platform_.accessibility(), element, {selStart, selLen});
}

bool AutomationHandler::hasFocus(int32_t pid) {
  platform::Accessibility& ax = platform_.accessibility();
  const platform::AXElement systemWide = ax.createSystemWide();
  platform::AXAttributeValue focused;
  if (!systemWide || !succeeded(ax.copyAttributeValue(systemWide, kFocusedApplication, focused))) {
    return false;
  }
  const platform::AXElement* app = std::get_if<platform::AXElement>(&focused);
  int32_t owner = 0;
  return app && *app && succeeded(ax.getPid(*app, owner)) && owner == pid;
}

bool AutomationHandler::axSetFocusedText(std::u16string_view text, int64_t selStart, int64_t selLen,
                                         std::optional<std::u16string_view> expectedText) {
  const platform::AXElement element = focusedTextElement();
  if (!element) return false;
  const std::optional<std::u16string> before = readValue(element);
  // The edit was made on `expectedText`; anything the user typed since must not be overwritten.
  if (expectedText && !(before && text::canonicallyEqual(*before, *expectedText))) return false;
  const std::optional<platform::AXRange> selectionBefore = readSelection(element);

  platform::Accessibility& ax = platform_.accessibility();
  bool written = false;
  RangeEdit edit = RangeEdit::kRefused;
  if (before && settable(ax, element, kSelectedTextRange) && settable(ax, element, kSelectedText)) {
    // Editing only what changed keeps a rich view's formatting, links and attachments, and goes
    // through the application's own editing path (a web page hears of it). The whole value is
    // written only when the application refuses that edit. A requested selection that does not
    // fit the text is refused here as the selection replacement refuses it, so the answer stays
    // what it always was.
    if (replacementRange(text, selStart, selLen)) {
      edit = replaceChangedRange(element, *before, text);
    }
    written = edit == RangeEdit::kWritten ||
              (edit == RangeEdit::kRefused && writeWholeValue(element, text, before));
  } else {
    written = writeWholeValue(element, text, before) ||
              replaceSelection(element, text, selStart, selLen, before);
  }
  if (written) {
    selectAfterWrite(element, selStart, selLen);
    return true;
  }
  // Whatever was tried may have moved the selection (to the whole text, at worst); the user's
  // next Backspace must delete what the user had selected. Once the user typed, the caret is
  // where their typing left it.
  if (selectionBefore && edit != RangeEdit::kInterrupted && readValue(element) == before &&
      readSelection(element) != selectionBefore) {
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
  const text::ChangedSpan span = text::changedSpan(before, text);
  const platform::AXRange range{static_cast<int64_t>(span.location),
                                static_cast<int64_t>(span.beforeLength)};
  if (!setRange(ax, element, range)) return RangeEdit::kRefused;
  const std::u16string_view replacement = text.substr(span.location, span.afterLength);
  if (!succeeded(ax.setAttributeValue(element, kSelectedText, std::u16string(replacement)))) {
    return RangeEdit::kRefused;
  }
  const std::optional<std::u16string> beforeText{std::u16string(before)};
  if (verifyWrite(element, text, beforeText)) return RangeEdit::kWritten;
  // Success, and the field still shows its old text: Chromium's signature. A whole-value write
  // there would change what accessibility shows while the page keeps (and sends) the old text.
  return typeReplacement(element, range, replacement, text);
}

AutomationHandler::RangeEdit AutomationHandler::typeReplacement(const platform::AXElement& element,
                                                                platform::AXRange span,
                                                                std::u16string_view replacement,
                                                                std::u16string_view text) {
  // Typed keys go through the page's own input events, so its model follows. Typed as "typeText"
  // types, within its bound (one Backspace deletes). The span is selected again first: the user
  // may have moved the caret during the read-back.
  platform::Accessibility& ax = platform_.accessibility();
  int32_t pid = 0;
  if (replacement.size() > kMaxTypeTextUnits || !succeeded(ax.getPid(element, pid)) ||
      !setRange(ax, element, span)) {
    return RangeEdit::kFailed;
  }
  // Keys go to whichever application has the focus when they arrive: none goes on once the
  // field's own application lost it.
  int chunks = 0;  // let go by the check, so typed
  const auto stillFocused = [this, pid, &chunks] {
    if (!hasFocus(pid)) return false;
    ++chunks;
    return true;
  };
  if (replacement.empty()) {
    if (!stillFocused()) return RangeEdit::kFailed;
    backspace(1);
  } else if (!typeText(replacement, stillFocused)) {
    // What was typed before the focus went is in the field, though accessibility may not show it
    // yet.
    return chunks > 0 ? RangeEdit::kInterrupted : RangeEdit::kFailed;
  }
  for (int read = 0; read < kTypedReadBacks; ++read) {
    platform_.mainLoop().sleepMicroseconds(kTypedReadBackPause);
    const std::optional<std::u16string> after = readValue(element);
    if (after && text::canonicallyEqual(*after, text)) return RangeEdit::kWritten;
  }
  return RangeEdit::kFailed;
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
