#pragma once
// The general pasteboard (NSPasteboard.generalPasteboard) and its items (NSPasteboardItem).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

struct PasteboardItemObject;  // NSPasteboardItem
using PasteboardItem = std::shared_ptr<PasteboardItemObject>;
using Bytes = std::vector<uint8_t>;

// NSData: an immutable, reference-counted run of bytes. Copies share the bytes, and nothing changes
// them once made, so a clipboard snapshot holds references, never copies; a buffer lives as long as
// its last copy.
class SharedBytes {
 public:
  using value_type = uint8_t;
  using const_iterator = const uint8_t*;
  using iterator = const_iterator;

  SharedBytes() = default;
  // Takes over the vector's buffer: the bytes are not copied.
  SharedBytes(Bytes bytes)  // NOLINT(google-explicit-constructor): data converts naturally
      : SharedBytes(std::make_shared<const Bytes>(std::move(bytes))) {}
  SharedBytes(std::initializer_list<uint8_t> bytes)
      : SharedBytes(std::make_shared<const Bytes>(bytes)) {}
  // Bytes that `owner` keeps alive and unchanged for as long as it lives (an adapter's NSData).
  SharedBytes(const uint8_t* data, size_t size, std::shared_ptr<const void> owner)
      : data_(size ? data : nullptr), size_(data ? size : 0), owner_(std::move(owner)) {}

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const_iterator begin() const { return data_; }
  const_iterator end() const { return data_ + size_; }
  // What keeps the bytes alive; an adapter finds its own object through it.
  const std::shared_ptr<const void>& owner() const { return owner_; }
  // True when both are the same bytes in memory, not merely equal ones.
  bool sharesBufferWith(const SharedBytes& other) const {
    return data_ != nullptr && data_ == other.data_ && size_ == other.size_;
  }

  friend bool operator==(const SharedBytes& a, const SharedBytes& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  explicit SharedBytes(std::shared_ptr<const Bytes> owned)
      : data_(owned->empty() ? nullptr : owned->data()), size_(owned->size()) {
    if (size_) owner_ = std::move(owned);
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  std::shared_ptr<const void> owner_;
};

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

  [[nodiscard]] virtual int64_t changeCount() = 0;
  // -accessBehavior; exists from macOS 15.4 on, so callers check the system version first.
  [[nodiscard]] virtual int64_t accessBehavior() = 0;
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
  // NSPasteboardItem -types, -dataForType: (nullopt for nil), -setData:forType:. The data is the
  // NSData itself, shared both ways: reading and writing back copy no byte.
  [[nodiscard]] virtual std::vector<std::string> types(const PasteboardItem& item) = 0;
  [[nodiscard]] virtual std::optional<SharedBytes> dataForType(const PasteboardItem& item,
                                                               std::string_view type) = 0;
  [[nodiscard]] virtual bool setDataForType(const PasteboardItem& item, SharedBytes data,
                                            std::string_view type) = 0;
};

}  // namespace platform
