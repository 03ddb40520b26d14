// The general pasteboard: ordered items, each offering typed data.

#include "sim/pasteboard.h"

#include <algorithm>
#include <unordered_set>

#include "sim/world_impl.h"
#include "text/text.h"

namespace sim {

using platform::Bytes;
using platform::PasteboardItem;
using platform::SharedBytes;

namespace {

using TypedData = std::pair<std::string, SharedBytes>;

TypedData* findType(PasteboardItemState& item, std::string_view type) {
  const auto it = std::find_if(item.types.begin(), item.types.end(),
                               [&](const TypedData& t) { return t.first == type; });
  return it == item.types.end() ? nullptr : &*it;
}

void putType(PasteboardItemState& item, std::string_view type, SharedBytes data) {
  if (TypedData* existing = findType(item, type)) {
    existing->second = std::move(data);
  } else {
    item.types.emplace_back(std::string(type), std::move(data));
  }
}

}  // namespace

PasteboardItemState* SimPasteboard::resolve(const PasteboardItem& item) {
  if (!item) return nullptr;
  if (item->detached) return &item->state;
  // Items read from the pasteboard go stale once its contents change.
  if (item->generation != w_.changeCount || item->index >= w_.pasteboardItems.size()) {
    return nullptr;
  }
  return &w_.pasteboardItems[item->index];
}

int64_t SimPasteboard::changeCount() {
  w_.requireMainThread("changeCount");
  return w_.changeCount;
}

int64_t SimPasteboard::accessBehavior() {
  w_.requireMainThread("accessBehavior");
  return w_.pasteboardAccessBehavior;
}

int64_t SimPasteboard::clearContents() {
  w_.requireMainThread("clearContents");
  w_.pasteboardItems.clear();
  return ++w_.changeCount;
}

std::optional<std::string> SimPasteboard::stringForType(std::string_view type) {
  w_.requireMainThread("stringForType");
  for (PasteboardItemState& item : w_.pasteboardItems) {
    const TypedData* data = findType(item, type);
    if (!data) continue;
    if (item.unreadableTypes.contains(data->first)) return std::nullopt;
    std::string text(data->second.begin(), data->second.end());
    // Bytes that are not UTF-8 cannot become a string.
    if (!text::isValidUtf8(text)) return std::nullopt;
    return text;
  }
  return std::nullopt;
}

bool SimPasteboard::setStringForType(std::string_view text, std::string_view type) {
  w_.requireMainThread("setStringForType");
  if (w_.faults.pasteboardWriteFails) return false;
  if (w_.pasteboardItems.empty()) w_.pasteboardItems.emplace_back();
  putType(w_.pasteboardItems.front(), type, Bytes(text.begin(), text.end()));
  return true;
}

std::optional<std::vector<PasteboardItem>> SimPasteboard::pasteboardItems() {
  w_.requireMainThread("pasteboardItems");
  if (w_.faults.pasteboardItemsNil) return std::nullopt;
  std::vector<PasteboardItem> out;
  out.reserve(w_.pasteboardItems.size());
  for (size_t i = 0; i < w_.pasteboardItems.size(); ++i) {
    auto item = std::make_shared<platform::PasteboardItemObject>();
    item->detached = false;
    item->generation = w_.changeCount;
    item->index = i;
    out.push_back(std::move(item));
  }
  writeByAnotherApplication(w_.faults.pasteboardWritesDuringRead);
  return out;
}

bool SimPasteboard::writeObjects(const std::vector<PasteboardItem>& items) {
  w_.requireMainThread("writeObjects");
  ++w_.calls.writeObjects;
  if (w_.faults.pasteboardWriteFails) return false;
  // Only new items can be written, each once; otherwise nothing is written.
  std::unordered_set<const platform::PasteboardItemObject*> seen;
  for (const PasteboardItem& item : items) {
    if (!item || !item->detached || !seen.insert(item.get()).second) return false;
  }
  for (const PasteboardItem& item : items) {
    item->index = w_.pasteboardItems.size();
    item->generation = w_.changeCount;
    item->detached = false;
    w_.pasteboardItems.push_back(std::move(item->state));  // the buffers go on shared
    item->state = {};
  }
  return true;
}

PasteboardItem SimPasteboard::createItem() {
  w_.requireMainThread("createItem");
  return std::make_shared<platform::PasteboardItemObject>();
}

std::vector<std::string> SimPasteboard::types(const PasteboardItem& item) {
  w_.requireMainThread("types");
  std::vector<std::string> out;
  if (w_.faults.pasteboardTypesFail) return out;  // nil reads as no types
  // The host moves on to a later item of the current pasteboard: the earlier ones were read.
  if (item && !item->detached && item->index > 0 && item->generation == w_.changeCount) {
    writeByAnotherApplication(w_.faults.pasteboardWritesBetweenItems);
  }
  if (const PasteboardItemState* state = resolve(item)) {
    for (const TypedData& t : state->types) out.push_back(t.first);
  }
  return out;
}

void SimPasteboard::writeByAnotherApplication(std::vector<std::string>& pending) {
  if (pending.empty()) return;
  const std::string text = std::move(pending.front());
  pending.erase(pending.begin());
  clearContents();
  PasteboardItemState item;
  item.types.emplace_back(std::string(platform::kPasteboardTypeString),
                          SharedBytes(Bytes(text.begin(), text.end())));
  w_.pasteboardItems.push_back(std::move(item));
}

// The stored buffer itself, shared: the bytes are not copied.
std::optional<SharedBytes> SimPasteboard::dataForType(const PasteboardItem& item,
                                                      std::string_view type) {
  w_.requireMainThread("dataForType");
  PasteboardItemState* state = resolve(item);
  if (!state) return std::nullopt;
  const TypedData* data = findType(*state, type);
  if (!data || state->unreadableTypes.contains(data->first)) return std::nullopt;
  return data->second;
}

bool SimPasteboard::setDataForType(const PasteboardItem& item, SharedBytes data,
                                   std::string_view type) {
  w_.requireMainThread("setDataForType");
  const int64_t index = w_.calls.setData++;
  if (w_.faults.setDataFailures.contains(index)) return false;
  // Items already on the pasteboard are read-only.
  if (!item || !item->detached) return false;
  putType(item->state, type, std::move(data));
  return true;
}

}  // namespace sim
