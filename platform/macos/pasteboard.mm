#include "platform/pasteboard.h"

#import <AppKit/AppKit.h>

#include "platform/macos/conversions.h"
#include "platform/macos/guard.h"
#include "platform/macos/services.h"

namespace platform {

struct PasteboardItemObject {
  NSPasteboardItem* item;
};

}  // namespace platform

namespace platform::macos {
namespace {

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
  explicit MacPasteboard(NSPasteboard* board) : board_(board) {}

  int64_t changeCount() override {
    assertMainThread();
    return orOnException<int64_t>(0, [&] { return static_cast<int64_t>(board_.changeCount); });
  }

  int64_t accessBehavior() override {
    assertMainThread();
    // Declared only from the macOS 15.4 SDK, and the build allows older ones: reached by name,
    // and only where the system has it (the core asks from macOS 15.4 on).
    return orOnException<int64_t>(0, [&] {
      NSString* const key = @"accessBehavior";
      if (![board_ respondsToSelector:NSSelectorFromString(key)]) return int64_t{0};
      return static_cast<int64_t>([[board_ valueForKey:key] integerValue]);
    });
  }

  int64_t clearContents() override {
    assertMainThread();
    return orOnException<int64_t>(0, [&] { return static_cast<int64_t>([board_ clearContents]); });
  }

  std::optional<std::string> stringForType(std::string_view type) override {
    assertMainThread();
    return orOnException<std::optional<std::string>>(
        std::nullopt, [&] { return toOptionalUtf8([board_ stringForType:toNSString(type)]); });
  }

  bool setStringForType(std::string_view text, std::string_view type) override {
    assertMainThread();
    return orOnException(false, [&] {
      return static_cast<bool>([board_ setString:toNSString(text) forType:toNSString(type)]);
    });
  }

  std::optional<std::vector<PasteboardItem>> pasteboardItems() override {
    assertMainThread();
    return orOnException<std::optional<std::vector<PasteboardItem>>>(
        std::nullopt, [&]() -> std::optional<std::vector<PasteboardItem>> {
          NSArray<NSPasteboardItem*>* items = board_.pasteboardItems;
          if (items == nil) return std::nullopt;
          std::vector<PasteboardItem> handles;
          handles.reserve(items.count);
          for (NSPasteboardItem* item in items) {
            handles.push_back(std::make_shared<PasteboardItemObject>(PasteboardItemObject{item}));
          }
          return handles;
        });
  }

  // An empty handle cannot go into an NSArray; such a list is refused as a failed write. AppKit
  // raises for an item that already belongs to a pasteboard: that is a refusal too.
  bool writeObjects(const std::vector<PasteboardItem>& items) override {
    assertMainThread();
    return orOnException(false, [&] {
      NSMutableArray<NSPasteboardItem*>* objects = [NSMutableArray arrayWithCapacity:items.size()];
      for (const PasteboardItem& item : items) {
        if (!item) return false;
        [objects addObject:item->item];
      }
      return static_cast<bool>([board_ writeObjects:objects]);
    });
  }

  PasteboardItem createItem() override {
    assertMainThread();
    return orOnException<PasteboardItem>(nullptr, [] {
      return std::make_shared<PasteboardItemObject>(
          PasteboardItemObject{[[NSPasteboardItem alloc] init]});
    });
  }

  std::vector<std::string> types(const PasteboardItem& item) override {
    assertMainThread();
    return orOnException<std::vector<std::string>>({}, [&] {
      std::vector<std::string> names;
      if (!item) return names;
      for (NSString* type in item->item.types) names.push_back(toUtf8(type));
      return names;
    });
  }

  std::optional<SharedBytes> dataForType(const PasteboardItem& item,
                                         std::string_view type) override {
    assertMainThread();
    return orOnException<std::optional<SharedBytes>>(
        std::nullopt, [&]() -> std::optional<SharedBytes> {
          if (!item) return std::nullopt;
          NSData* data = [item->item dataForType:toNSString(type)];
          if (data == nil) return std::nullopt;
          return toSharedBytes(data);
        });
  }

  bool setDataForType(const PasteboardItem& item, SharedBytes data,
                      std::string_view type) override {
    assertMainThread();
    return orOnException(false, [&] {
      if (!item) return false;
      return static_cast<bool>([item->item setData:toNSData(data) forType:toNSString(type)]);
    });
  }

 private:
  NSPasteboard* board_;
};

}  // namespace

std::unique_ptr<Pasteboard> makePasteboard() {
  return makePasteboard([NSPasteboard generalPasteboard]);
}

std::unique_ptr<Pasteboard> makePasteboard(NSPasteboard* pasteboard) {
  return std::make_unique<MacPasteboard>(pasteboard);
}

}  // namespace platform::macos
