// The general pasteboard: plain text, and a snapshot of every item that can be put back later.
// A snapshot may hold many megabytes (images, files), so its bytes are moved, never copied, on
// the way back to the pasteboard.

#include <algorithm>
#include <tuple>

#include "runner/automation/automation_handler.h"

namespace tandrel {

namespace {

// One read and up to three more while other applications keep writing.
constexpr int kSnapshotAttempts = 4;
// NSPasteboard.accessBehavior exists from this version on.
constexpr platform::OperatingSystemVersion kAccessBehaviorVersion{15, 4, 0};

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

// Every item with every type whose data can be read now, in the pasteboard's order.
std::vector<AutomationHandler::SavedItem> readSnapshot(platform::Pasteboard& pasteboard) {
  std::vector<platform::PasteboardItem> items =
      pasteboard.pasteboardItems().value_or(std::vector<platform::PasteboardItem>());
  std::vector<AutomationHandler::SavedItem> snapshot;
  snapshot.reserve(items.size());
  for (const platform::PasteboardItem& item : items) {
    AutomationHandler::SavedItem& entries = snapshot.emplace_back();
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
  return snapshot;
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
  for (int attempt = 0; attempt < kSnapshotAttempts; ++attempt) {
    const int64_t changeCount = pasteboard.changeCount();
    std::vector<SavedItem> snapshot = readSnapshot(pasteboard);
    // Another application wrote while the items were read, so they may come from two clipboards.
    if (pasteboard.changeCount() == changeCount) {
      savedItems = std::move(snapshot);
      return;
    }
  }
  // No read saw one clipboard: keep no snapshot at all (an earlier one would be older still), so
  // the next restore leaves the clipboard to whoever keeps writing it.
  savedItems.reset();
}

std::string_view AutomationHandler::clipboardAccessBehavior() {
  const platform::OperatingSystemVersion v = platform_.processInfo().operatingSystemVersion();
  if (std::tie(v.majorVersion, v.minorVersion, v.patchVersion) <
      std::tie(kAccessBehaviorVersion.majorVersion, kAccessBehaviorVersion.minorVersion,
               kAccessBehaviorVersion.patchVersion)) {
    return "unsupported";
  }
  switch (platform_.pasteboard().accessBehavior()) {
    case platform::kNSPasteboardAccessBehaviorDefault:
      return "default";
    case platform::kNSPasteboardAccessBehaviorAsk:
      return "ask";
    case platform::kNSPasteboardAccessBehaviorAlwaysAllow:
      return "alwaysAllow";
    case platform::kNSPasteboardAccessBehaviorAlwaysDeny:
      return "alwaysDeny";
    default:
      return "unsupported";  // a behaviour added after this build: nothing to explain it with
  }
}

void AutomationHandler::restoreClipboard() {
  // Nothing pending: whatever is on the clipboard now is all there is, so keep it.
  if (!savedItems) return;
  platform::Pasteboard& pasteboard = platform_.pasteboard();
  pasteboard.clearContents();
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
