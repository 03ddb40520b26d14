#pragma once
// The object behind "tandrel/automation": clipboard reads, writes and snapshots, synthetic
// keystrokes, the focused text field and the running layout switchers. Every call is carried out
// at once, on the calling (main) thread, and answered once when the work is done.
//
// The operations live in one file per concern: clipboard.cc, synthetic_keys.cc, focused_text.cc,
// layout_switchers.cc; automation_handler.cc decodes the calls.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "channel/method_channel.h"
#include "channel/standard_codec.h"
#include "platform/platform.h"
#include "runner/automation/manual_accessibility.h"

namespace tandrel {

// The user data of the host's event source, 'TDRL' read as a big-endian code. Every event posted
// from that source carries it in kCGEventSourceUserData, so the key tap can skip the host's own
// typing.
inline constexpr int64_t kOwnEventMarker = 0x5444524C;

// The most work one call may ask for. Synthetic keys are paced on the main thread (3 ms per
// Backspace, 5 ms per 20 UTF-16 units of text), so beyond these the host, and with it every key
// of the session, would be held for more than about 30 seconds. Such a call is refused with
// kInvalidArgumentCode and does nothing at all.
inline constexpr int64_t kMaxBackspaceCount = 10000;
inline constexpr size_t kMaxTypeTextUnits = 100000;
inline constexpr std::string_view kInvalidArgumentCode = "invalid_argument";

// What "axFocusedText" reads: the field's text and its selection, in UTF-16 code units.
struct FocusedText {
  std::u16string text;
  int64_t selStart = -1;  // -1: the selection could not be read
  int64_t selLen = 0;
  friend bool operator==(const FocusedText&, const FocusedText&) = default;
};

class AutomationHandler {
 public:
  // One pasteboard item of a snapshot: each type it offered with that type's bytes (the
  // pasteboard's own buffer, shared), in the order the item listed them.
  using SavedItem = std::vector<std::pair<std::string, platform::SharedBytes>>;

  explicit AutomationHandler(platform::Platform& platform);
  AutomationHandler(const AutomationHandler&) = delete;
  AutomationHandler& operator=(const AutomationHandler&) = delete;

  // The process's instance, built on first use from the process's platform.
  static const std::shared_ptr<AutomationHandler>& shared();

  // Answers `result` exactly once, after all the work (and every pause) is done.
  void handle(const channel::MethodCall& call, std::unique_ptr<channel::MethodResult> result);

  platform::Platform& platform() const { return platform_; }

  // -- clipboard (the general pasteboard)
  int64_t clipboardChangeCount();
  std::optional<std::string> readClipboardText();
  // With `transient`, the item also carries the clipboard-manager markers (empty data), so history
  // applications do not record text that is there only to be pasted.
  void writeClipboardText(std::string_view text, bool transient = false);
  // Takes every item with every type whose data can be read into `savedItems`. The read is
  // repeated while another application writes meanwhile; when none of the reads saw a single
  // clipboard, no snapshot is kept.
  void saveClipboard();
  // Puts the pending snapshot back and drops it; without one the clipboard is left alone. When the
  // pasteboard refuses the items, the snapshot stays pending.
  void restoreClipboard();
  // NSPasteboard.accessBehavior by name ("default", "ask", "alwaysAllow", "alwaysDeny"), or
  // "unsupported" before macOS 15.4: why reading the clipboard may ask the user or be refused.
  std::string_view clipboardAccessBehavior();

  // -- synthetic keys, all posted from `eventSource()` at the HID event tap
  void copy();
  void paste();
  void backspace(int64_t count);
  // Types in chunks of at most 20 UTF-16 units, never splitting a surrogate pair. With
  // `mayGoOn`, asked before each chunk, a false answer stops the typing; false then.
  bool typeText(std::u16string_view text, const std::function<bool()>& mayGoOn = {});
  // The marked keyboard event source, created on first use. Null when creation failed; that
  // outcome is kept too, so creation is never retried.
  const platform::EventSource& eventSource();

  // IsSecureEventInputEnabled: while any process has secure keyboard entry on, the key tap hears no
  // keys.
  bool isSecureInputEnabled() { return platform_.events().isSecureEventInputEnabled(); }

  // -- the focused text field of the frontmost application
  std::optional<FocusedText> axFocusedText();
  // Writes `text` and then selects (selStart, selLen) when selStart is 0 or more; true when the
  // field was rewritten. With `expectedText`, a field that no longer holds that text (the user
  // typed meanwhile) is left alone and the answer is false.
  bool axSetFocusedText(std::u16string_view text, int64_t selStart, int64_t selLen,
                        std::optional<std::u16string_view> expectedText = std::nullopt);

  // -- other keyboard-layout switching utilities that are running (display names)
  static std::vector<std::string> runningLayoutSwitchers(platform::Platform& platform);

 private:
  bool postKeyPair(uint16_t keycode, platform::EventFlags flags, std::u16string_view unicode = {});
  // The key that types `character` with Command under the current keyboard layout; `usKeycode`
  // (its key on the US layout) when no key does or the layout cannot be read.
  uint16_t shortcutKeycode(char16_t character, uint16_t usKeycode);

  // The focused text field, or null for none, a password field, or the host's own window in
  // front. Switches the application's accessibility tree on first where it needs that.
  platform::AXElement focusedTextElement();
  std::optional<std::u16string> readValue(const platform::AXElement& element);
  std::optional<platform::AXRange> readSelection(const platform::AXElement& element);
  // Reads the field back after a write, until it no longer shows `before` (at most 50 ms): false
  // only when it still shows exactly that.
  bool verifyWrite(const platform::AXElement& element, std::u16string_view expected,
                   const std::optional<std::u16string>& before);
  // Whether the application of process `pid` has the keyboard focus now, as the accessibility
  // server says (the workspace answers from a snapshot during a call).
  bool hasFocus(int32_t pid);
  // The range of `text` the selection replacement puts in place, or nullopt when the requested
  // one does not fit the text.
  static std::optional<platform::AXRange> replacementRange(std::u16string_view text,
                                                           int64_t selStart, int64_t selLen);
  // What the edit of the changed span left: the requested text; a refusal (the whole value may
  // still be written); no edit that shows as the requested text (typing into Chromium web content
  // that did not land, or the user typed meanwhile: the whole value is not written over it); or
  // typing stopped half-way, which changed the field whatever it still reads.
  enum class RangeEdit { kWritten, kRefused, kFailed, kInterrupted };
  RangeEdit replaceChangedRange(const platform::AXElement& element, std::u16string_view before,
                                std::u16string_view text);
  // Chromium web content answers success to a selected-text write and changes nothing: the span
  // is selected again and the replacement typed, while its application keeps the focus.
  RangeEdit typeReplacement(const platform::AXElement& element, platform::AXRange span,
                            std::u16string_view replacement, std::u16string_view text);
  bool writeWholeValue(const platform::AXElement& element, std::u16string_view text,
                       const std::optional<std::u16string>& before);
  bool replaceSelection(const platform::AXElement& element, std::u16string_view text,
                        int64_t selStart, int64_t selLen,
                        const std::optional<std::u16string>& before);
  void selectAfterWrite(const platform::AXElement& element, int64_t selStart, int64_t selLen);

  platform::Platform& platform_;
  const std::shared_ptr<AccessibilitySwitches> switches_;
  // nullopt: no snapshot pending. An empty list is a snapshot of an empty clipboard.
  std::optional<std::vector<SavedItem>> savedItems;
  // nullopt: not created yet; a null source: creation failed.
  std::optional<platform::EventSource> source;
};

}  // namespace tandrel
