#include <random>

#include "runner/automation/automation_test_fixture.h"

namespace tandrel {
namespace {

const std::string kText(platform::kPasteboardTypeString);
const std::string kRtf = "public.rtf";
const std::string kPng = "public.png";

using Items = std::vector<sim::PasteboardItemState>;

// What the clipboard holds, comparable: types and bytes of every item, in order.
std::vector<std::vector<std::pair<std::string, platform::Bytes>>> contents(sim::World& world) {
  std::vector<std::vector<std::pair<std::string, platform::Bytes>>> out;
  for (const sim::PasteboardItemState& item : world.pasteboardItems()) out.push_back(item.types);
  return out;
}

TEST_F(AutomationTest, PlainTextIsReadAndWrittenWithoutTouchingTheSnapshot) {
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success());
  world.pasteboardItems() = Items{{{{kPng, {1, 2}}}, {}}};
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success());  // an image only
  EXPECT_EQ(call("saveClipboard"), MethodReply::Success());

  const int64_t before = world.pasteboardChangeCount();
  EXPECT_EQ(call("clipboardChangeCount"), MethodReply::Success(static_cast<int32_t>(before)));
  EXPECT_EQ(world.pasteboardChangeCount(), before);

  EXPECT_EQ(call("writeClipboardText", ValueMap{{"text", "привет"}}), MethodReply::Success());
  EXPECT_GT(world.pasteboardChangeCount(), before);
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success("привет"));
  EXPECT_EQ(call("writeClipboardText", ValueMap{{"text", ""}}), MethodReply::Success());
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success(""));  // empty, not absent
  EXPECT_EQ(world.pasteboardItems().size(), 1u);

  EXPECT_EQ(call("restoreClipboard"), MethodReply::Success());
  EXPECT_EQ(contents(world), (decltype(contents(world)){{{kPng, {1, 2}}}}));
}

TEST_F(AutomationTest, SaveWriteRestoreGivesBackEveryItemTypeAndByte) {
  std::mt19937 random(20240611);
  const std::string kTypes[] = {kText, kRtf, kPng, "com.example.private", "public.file-url"};
  for (int round = 0; round < 300; ++round) {
    Items items(random() % 5);
    for (sim::PasteboardItemState& item : items) {
      for (const std::string& type : kTypes) {
        if (random() % 2) continue;  // items without any type too
        platform::Bytes bytes(random() % 3 == 0 ? 0 : random() % 300);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
        item.types.emplace_back(type, std::move(bytes));
      }
      std::shuffle(item.types.begin(), item.types.end(), random);
    }
    world.pasteboardItems() = items;
    const auto original = contents(world);
    ASSERT_EQ(call("saveClipboard"), MethodReply::Success());
    ASSERT_EQ(call("writeClipboardText", ValueMap{{"text", "moved text"}}), MethodReply::Success());
    ASSERT_EQ(call("restoreClipboard"), MethodReply::Success());
    ASSERT_EQ(contents(world), original) << "round " << round;
  }
}

TEST_F(AutomationTest, RestoreAnswersOnlyForAPendingSnapshot) {
  const Items user{{{{kText, {'u'}}}, {}}};
  world.pasteboardItems() = user;
  EXPECT_EQ(call("restoreClipboard"), MethodReply::Success());  // nothing saved: left alone
  EXPECT_EQ(contents(world).size(), 1u);

  EXPECT_EQ(call("saveClipboard"), MethodReply::Success());
  EXPECT_EQ(call("writeClipboardText", ValueMap{{"text", "a"}}), MethodReply::Success());
  EXPECT_EQ(call("restoreClipboard"), MethodReply::Success());
  EXPECT_EQ(call("writeClipboardText", ValueMap{{"text", "later"}}), MethodReply::Success());
  EXPECT_EQ(call("restoreClipboard"), MethodReply::Success());  // restored once only
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success("later"));

  // The latest snapshot wins, and a saved empty clipboard is restored as empty.
  EXPECT_EQ(call("saveClipboard"), MethodReply::Success());
  world.pasteboardItems().clear();
  EXPECT_EQ(call("saveClipboard"), MethodReply::Success());
  EXPECT_EQ(call("writeClipboardText", ValueMap{{"text", "b"}}), MethodReply::Success());
  EXPECT_EQ(call("restoreClipboard"), MethodReply::Success());
  EXPECT_TRUE(world.pasteboardItems().empty());

  // No item list at all counts as an empty clipboard.
  world.pasteboardItems() = user;
  world.faults().pasteboardItemsNil = true;
  EXPECT_EQ(call("saveClipboard"), MethodReply::Success());
  world.faults().pasteboardItemsNil = false;
  EXPECT_EQ(call("restoreClipboard"), MethodReply::Success());
  EXPECT_TRUE(world.pasteboardItems().empty());
}

TEST_F(AutomationTest, SnapshotFaultsLoseOnlyWhatCouldNotBeRead) {
  Items items{{{{kText, {'t'}}, {kRtf, {'r'}}}, {kRtf}}, {{{kPng, {}}}, {kPng}}};
  world.pasteboardItems() = items;
  EXPECT_EQ(call("saveClipboard"), MethodReply::Success());
  EXPECT_EQ(call("writeClipboardText", ValueMap{{"text", "a"}}), MethodReply::Success());
  EXPECT_EQ(call("restoreClipboard"), MethodReply::Success());
  // The unreadable types are gone; the item that had no readable type stays, empty.
  EXPECT_EQ(contents(world), (decltype(contents(world)){{{kText, {'t'}}}, {}}));

  // A refused write keeps the snapshot pending, so nothing is lost and a later restore works.
  world.pasteboardItems() = Items{{{{kText, {'1'}}, {kPng, {2, 0, 2}}}, {}}, {{{kRtf, {'3'}}}, {}}};
  const auto original = contents(world);
  EXPECT_EQ(call("saveClipboard"), MethodReply::Success());
  world.faults().pasteboardWriteFails = true;
  EXPECT_EQ(call("restoreClipboard"), MethodReply::Success());
  world.faults().pasteboardWriteFails = false;
  EXPECT_EQ(call("restoreClipboard"), MethodReply::Success());
  EXPECT_EQ(contents(world), original);
}

}  // namespace
}  // namespace tandrel
