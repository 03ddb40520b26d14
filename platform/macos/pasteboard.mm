#include "platform/pasteboard.h"

#import <AppKit/AppKit.h>

#include "platform/macos/conversions.h"
#include "platform/macos/services.h"

namespace platform {

struct PasteboardItemObject {
  NSPasteboardItem* item;
};

}  // namespace platform

namespace platform::macos {
namespace {

NSPasteboard* general() {
  return [NSPasteboard generalPasteboard];
}

// Holds the NSData behind a SharedBytes made from it; the last copy of the SharedBytes releases it.
struct NSDataKeeper {
  NSData* data;
  void operator()(const void*) { data = nil; }
};

// The NSData's own bytes, shared. Copying an immutable NSData only retains it; a mutable one is
// copied, so the bytes cannot change under the core.
SharedBytes toSharedBytes(NSData* data) {
  NSData* frozen = [data copy];
  const auto* bytes = static_cast<const uint8_t*>(frozen.bytes);
  return SharedBytes(bytes, frozen.length,
                     std::shared_ptr<const void>(bytes, NSDataKeeper{frozen}));
}

// The NSData the bytes came from, when they came from one; other bytes are handed to Foundation
// without copying them, and stay alive until Foundation lets go.
NSData* toNSData(const SharedBytes& bytes) {
  if (const NSDataKeeper* keeper = std::get_deleter<NSDataKeeper>(bytes.owner())) {
    return keeper->data;
  }
  if (bytes.empty()) return [NSData data];
  auto* held = new SharedBytes(bytes);
  return [[NSData alloc] initWithBytesNoCopy:const_cast<uint8_t*>(held->data())
                                      length:held->size()
                                 deallocator:^(void*, NSUInteger) {
                                   delete held;
                                 }];
}

class MacPasteboard final : public Pasteboard {
 public:
  int64_t changeCount() override { return static_cast<int64_t>(general().changeCount); }

  API_AVAILABLE(macos(15.4)) int64_t accessBehavior() override {
    return static_cast<int64_t>(general().accessBehavior);
  }

  int64_t clearContents() override { return static_cast<int64_t>([general() clearContents]); }

  std::optional<std::string> stringForType(std::string_view type) override {
    return toOptionalUtf8([general() stringForType:toNSString(type)]);
  }

  bool setStringForType(std::string_view text, std::string_view type) override {
    return [general() setString:toNSString(text) forType:toNSString(type)];
  }

  std::optional<std::vector<PasteboardItem>> pasteboardItems() override {
    NSArray<NSPasteboardItem*>* items = general().pasteboardItems;
    if (items == nil) return std::nullopt;
    std::vector<PasteboardItem> handles;
    handles.reserve(items.count);
    for (NSPasteboardItem* item in items) {
      handles.push_back(std::make_shared<PasteboardItemObject>(PasteboardItemObject{item}));
    }
    return handles;
  }

  // An empty handle cannot go into an NSArray; such a list is refused as a failed write.
  bool writeObjects(const std::vector<PasteboardItem>& items) override {
    NSMutableArray<NSPasteboardItem*>* objects = [NSMutableArray arrayWithCapacity:items.size()];
    for (const PasteboardItem& item : items) {
      if (!item) return false;
      [objects addObject:item->item];
    }
    return [general() writeObjects:objects];
  }

  PasteboardItem createItem() override {
    return std::make_shared<PasteboardItemObject>(
        PasteboardItemObject{[[NSPasteboardItem alloc] init]});
  }

  std::vector<std::string> types(const PasteboardItem& item) override {
    std::vector<std::string> names;
    if (!item) return names;
    for (NSString* type in item->item.types) names.push_back(toUtf8(type));
    return names;
  }

  std::optional<SharedBytes> dataForType(const PasteboardItem& item,
                                         std::string_view type) override {
    if (!item) return std::nullopt;
    NSData* data = [item->item dataForType:toNSString(type)];
    if (data == nil) return std::nullopt;
    return toSharedBytes(data);
  }

  bool setDataForType(const PasteboardItem& item, SharedBytes data,
                      std::string_view type) override {
    if (!item) return false;
    return [item->item setData:toNSData(data) forType:toNSString(type)];
  }
};

}  // namespace

std::unique_ptr<Pasteboard> makePasteboard() {
  return std::make_unique<MacPasteboard>();
}

}  // namespace platform::macos
