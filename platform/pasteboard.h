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

// NSPasteboardTypeString.
inline constexpr std::string_view kPasteboardTypeString = "public.utf8-plain-text";

class Pasteboard {
 public:
  virtual ~Pasteboard() = default;

  [[nodiscard]] virtual int64_t changeCount() = 0;
  // -clearContents; returns the new change count.
  [[nodiscard]] virtual int64_t clearContents() = 0;
  // -stringForType:; nullopt when it returns nil. Text is UTF-8.
  [[nodiscard]] virtual std::optional<std::string> stringForType(std::string_view type) = 0;
  // -setString:forType:.
  [[nodiscard]] virtual bool setStringForType(std::string_view text, std::string_view type) = 0;
  // -pasteboardItems; nullopt when it returns nil.
  [[nodiscard]] virtual std::optional<std::vector<PasteboardItem>> pasteboardItems() = 0;
  // -writeObjects: with new items, in order.
  [[nodiscard]] virtual bool writeObjects(const std::vector<PasteboardItem>& items) = 0;

  // [[NSPasteboardItem alloc] init].
  [[nodiscard]] virtual PasteboardItem createItem() = 0;
  // NSPasteboardItem -types, -dataForType: (nullopt for nil), -setData:forType:.
  [[nodiscard]] virtual std::vector<std::string> types(const PasteboardItem& item) = 0;
  [[nodiscard]] virtual std::optional<Bytes> dataForType(const PasteboardItem& item,
                                                         std::string_view type) = 0;
  [[nodiscard]] virtual bool setDataForType(const PasteboardItem& item, Bytes data,
                                            std::string_view type) = 0;
};

}  // namespace platform
