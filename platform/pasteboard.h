#pragma once
// The general pasteboard (NSPasteboard.generalPasteboard) and its items (NSPasteboardItem).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct PasteboardItemObject;  // NSPasteboardItem
using PasteboardItem = std::shared_ptr<PasteboardItemObject>;
using Bytes = std::vector<uint8_t>;

// NSPasteboardAccessBehavior (macOS 15.4 and later).
inline constexpr int64_t kNSPasteboardAccessBehaviorDefault = 0;
inline constexpr int64_t kNSPasteboardAccessBehaviorAsk = 1;
inline constexpr int64_t kNSPasteboardAccessBehaviorAlwaysAllow = 2;
inline constexpr int64_t kNSPasteboardAccessBehaviorAlwaysDeny = 3;

// NSPasteboardTypeString.
inline constexpr std::string_view kPasteboardTypeString = "public.utf8-plain-text";

class Pasteboard {
 public:
  virtual ~Pasteboard() = default;

  virtual int64_t changeCount() = 0;
  // -accessBehavior; exists from macOS 15.4 on, so callers check the system version first.
  virtual int64_t accessBehavior() = 0;
  // -clearContents; returns the new change count.
  virtual int64_t clearContents() = 0;
  // -stringForType:; nullopt when it returns nil. Text is UTF-8.
  virtual std::optional<std::string> stringForType(std::string_view type) = 0;
  // -setString:forType:.
  virtual bool setStringForType(std::string_view text, std::string_view type) = 0;
  // -pasteboardItems; nullopt when it returns nil.
  virtual std::optional<std::vector<PasteboardItem>> pasteboardItems() = 0;
  // -writeObjects: with new items, in order.
  virtual bool writeObjects(const std::vector<PasteboardItem>& items) = 0;

  // [[NSPasteboardItem alloc] init].
  virtual PasteboardItem createItem() = 0;
  // NSPasteboardItem -types, -dataForType: (nullopt for nil), -setData:forType:.
  virtual std::vector<std::string> types(const PasteboardItem& item) = 0;
  virtual std::optional<Bytes> dataForType(const PasteboardItem& item, std::string_view type) = 0;
  virtual bool setDataForType(const PasteboardItem& item, Bytes data, std::string_view type) = 0;
};

}  // namespace platform
