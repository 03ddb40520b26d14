#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/world.h"

namespace sim {
namespace {

using platform::Bytes;

Bytes bytes(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

TEST(SimPasteboard, PlainTextLivesOnTheFirstItemOfferingIt) {
  World world;
  platform::Pasteboard& pb = world.pasteboard();
  std::vector<PasteboardItemState>& items = world.pasteboardItems();
  items.push_back({{{"public.png", bytes("PNG")}}, {}});
  items.push_back({{{"public.utf8-plain-text", bytes("second")}}, {}});
  EXPECT_EQ(pb.stringForType(platform::kPasteboardTypeString), "second");

  // Setting a string adds the type to the first item.
  EXPECT_TRUE(pb.setStringForType("first", platform::kPasteboardTypeString));
  EXPECT_EQ(items[0].types.size(), 2u);
  EXPECT_EQ(pb.stringForType(platform::kPasteboardTypeString), "first");
  EXPECT_TRUE(pb.setStringForType("again", platform::kPasteboardTypeString));
  EXPECT_EQ(items[0].types.size(), 2u) << "replaced, not added twice";

  // Data that cannot be read, or is not UTF-8, gives no string.
  items[0].unreadableTypes.insert("public.utf8-plain-text");
  EXPECT_EQ(pb.stringForType(platform::kPasteboardTypeString), std::nullopt);
  items[0].unreadableTypes.clear();
  items[0].types[1].second = {'a', 0xC3};
  EXPECT_EQ(pb.stringForType(platform::kPasteboardTypeString), std::nullopt);
}

// (That an item handed out before a clear reads as empty is the seam's contract, run here too.)
TEST(SimPasteboard, UnreadableTypesGiveNoDataAndListedItemsAreReadOnly) {
  World world;
  platform::Pasteboard& pb = world.pasteboard();
  world.pasteboardItems().push_back(
      {{{"public.rtf", bytes("{rtf}")}, {"com.example.lazy", bytes("?")}}, {"com.example.lazy"}});
  const auto items = pb.pasteboardItems();
  ASSERT_EQ(items->size(), 1u);
  const platform::PasteboardItem item = (*items)[0];
  EXPECT_EQ(pb.types(item), (std::vector<std::string>{"public.rtf", "com.example.lazy"}));
  EXPECT_EQ(pb.dataForType(item, "public.rtf"), bytes("{rtf}"));
  EXPECT_EQ(pb.dataForType(item, "com.example.lazy"), std::nullopt);
  EXPECT_FALSE(pb.setDataForType(item, bytes("x"), "public.rtf")) << "read-only once written";
}

TEST(SimPasteboard, WritingAppendsNewItemsOnceAndKeepsTheChangeCount) {
  World world;
  platform::Pasteboard& pb = world.pasteboard();
  (void)pb.clearContents();
  const int64_t count = pb.changeCount();
  platform::PasteboardItem a = pb.createItem();
  ASSERT_TRUE(pb.setDataForType(a, bytes("one"), "public.utf8-plain-text"));
  ASSERT_TRUE(
      pb.setDataForType(a, bytes("uno"), "public.utf8-plain-text"));  // the same type: replaced
  platform::PasteboardItem b = pb.createItem();
  EXPECT_FALSE(pb.writeObjects({a, b, a})) << "an item can be written once";
  EXPECT_FALSE(pb.writeObjects({a, nullptr}));
  EXPECT_TRUE(world.pasteboardItems().empty()) << "a refused write writes nothing";
  EXPECT_TRUE(pb.writeObjects({a, b}));
  EXPECT_FALSE(pb.writeObjects({a}));
  EXPECT_EQ(pb.changeCount(), count);
  ASSERT_EQ(world.pasteboardItems().size(), 2u);
  EXPECT_EQ(world.pasteboardItems()[0].types,
            (std::vector<std::pair<std::string, platform::SharedBytes>>{
                {"public.utf8-plain-text", bytes("uno")}}));
  EXPECT_EQ(pb.dataForType(a, "public.utf8-plain-text"), bytes("uno")) << "now the pasteboard's";
}

// Data is shared as NSData is: a reader holds the stored buffer itself, which outlives the
// pasteboard's contents, and written data is stored without a copy.
TEST(SimPasteboard, DataIsSharedNotCopiedAndOutlivesTheContents) {
  World world;
  platform::Pasteboard& pb = world.pasteboard();
  world.pasteboardItems().push_back({{{"public.png", bytes("PNG")}}, {}});
  const auto items = pb.pasteboardItems();
  const std::optional<platform::SharedBytes> read = pb.dataForType((*items)[0], "public.png");
  ASSERT_TRUE(read.has_value());
  EXPECT_TRUE(read->sharesBufferWith(world.pasteboardItems()[0].types[0].second));

  (void)pb.clearContents();
  platform::PasteboardItem item = pb.createItem();
  ASSERT_TRUE(pb.setDataForType(item, *read, "public.tiff"));
  ASSERT_TRUE(pb.writeObjects({item}));
  EXPECT_EQ(*read, bytes("PNG")) << "a buffer read earlier keeps its bytes";
  EXPECT_TRUE(world.pasteboardItems()[0].types[0].second.sharesBufferWith(*read));
}

}  // namespace
}  // namespace sim
