// The general pasteboard: plain text, and a snapshot of every item that can be put back later.
// A snapshot may hold many megabytes (images, files), so it holds the pasteboard's own immutable
// buffers and hands the same buffers back: saving and restoring copy no byte.

#include <algorithm>

#include "runner/automation/automation_handler.h"

namespace tandrel {

namespace {

bool holdsType(const AutomationHandler::SavedItem& item, const std::string& type) {
  return std::any_of(item.begin(), item.end(),
                     [&](const auto& entry) { return entry.first == type; });
}

}  // namespace

int64_t AutomationHandler::clipboardChangeCount() {
  return platform_.pasteboard().changeCount();
}

std::optional<std::string> AutomationHandler::readClipboardText() {
  return platform_.pasteboard().stringForType(platform::kPasteboardTypeString);
}

void AutomationHandler::writeClipboardText(std::string_view text) {
  platform::Pasteboard& pasteboard = platform_.pasteboard();
  pasteboard.clearContents();
  pasteboard.setStringForType(text, platform::kPasteboardTypeString);
}

void AutomationHandler::saveClipboard() {
  platform::Pasteboard& pasteboard = platform_.pasteboard();
  std::vector<platform::PasteboardItem> items =
      pasteboard.pasteboardItems().value_or(std::vector<platform::PasteboardItem>());
  std::vector<SavedItem> snapshot;
  snapshot.reserve(items.size());
  for (const platform::PasteboardItem& item : items) {
    SavedItem& entries = snapshot.emplace_back();
    if (!item) continue;
    for (std::string& type : pasteboard.types(item)) {
      // A type listed twice is one type: keep its first data.
      if (holdsType(entries, type)) continue;
      // A type whose data cannot be produced now is left out.
      if (std::optional<platform::SharedBytes> data = pasteboard.dataForType(item, type)) {
        entries.emplace_back(std::move(type), std::move(*data));
      }
    }
  }
  savedItems = std::move(snapshot);
}

void AutomationHandler::restoreClipboard() {
  // Nothing pending: whatever is on the clipboard now is all there is, so keep it.
  if (!savedItems) return;
  platform::Pasteboard& pasteboard = platform_.pasteboard();
  pasteboard.clearContents();
  if (savedItems->empty()) {
    savedItems.reset();
    return;
  }

  std::vector<platform::PasteboardItem> items;
  items.reserve(savedItems->size());
  for (const SavedItem& entries : *savedItems) {
    platform::PasteboardItem item = pasteboard.createItem();
    if (!item) continue;
    // A reference to the saved buffer, not a copy of its bytes.
    for (const auto& [type, data] : entries) pasteboard.setDataForType(item, data, type);
    items.push_back(std::move(item));
  }
  // Refused: the user's clipboard would be gone for good; the snapshot stays pending so a later
  // restore can retry.
  if (pasteboard.writeObjects(items)) savedItems.reset();
}

}  // namespace tandrel
