// The general pasteboard: plain text, and a snapshot of every item that can be put back later.
// A snapshot may hold many megabytes (images, files), so its bytes are moved, never copied, on
// the way back to the pasteboard.

#include <algorithm>

#include "runner/automation/automation_handler.h"

namespace tandrel {

namespace {

bool holdsType(const AutomationHandler::SavedItem& item, const std::string& type) {
  return std::any_of(item.begin(), item.end(),
                     [&](const auto& entry) { return entry.first == type; });
}

// The data back out of items that the pasteboard refused, so the snapshot survives a failed
// restore. Only this failure path copies.
std::vector<AutomationHandler::SavedItem> readBack(
    platform::Pasteboard& pasteboard, const std::vector<platform::PasteboardItem>& items) {
  std::vector<AutomationHandler::SavedItem> saved;
  saved.reserve(items.size());
  for (const platform::PasteboardItem& item : items) {
    AutomationHandler::SavedItem& entries = saved.emplace_back();
    for (std::string& type : pasteboard.types(item)) {
      if (holdsType(entries, type)) continue;
      if (std::optional<platform::Bytes> data = pasteboard.dataForType(item, type)) {
        entries.emplace_back(std::move(type), std::move(*data));
      }
    }
  }
  return saved;
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
  (void)pasteboard.clearContents();  // the new change count is of no use here
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
      if (std::optional<platform::Bytes> data = pasteboard.dataForType(item, type)) {
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
  (void)pasteboard.clearContents();  // the new change count is of no use here
  std::vector<SavedItem> snapshot = std::move(*savedItems);
  savedItems.reset();
  if (snapshot.empty()) return;

  std::vector<platform::PasteboardItem> items;
  items.reserve(snapshot.size());
  for (SavedItem& entries : snapshot) {
    platform::PasteboardItem item = pasteboard.createItem();
    if (!item) continue;
    for (auto& [type, data] : entries) {
      pasteboard.setDataForType(item, std::move(data), type);
    }
    // Each item's bytes are released as soon as they are handed over.
    SavedItem().swap(entries);
    items.push_back(std::move(item));
  }
  if (!pasteboard.writeObjects(items)) {
    // The user's clipboard would be gone for good; keep it pending so a later restore can retry.
    savedItems = readBack(pasteboard, items);
  }
}

}  // namespace tandrel
