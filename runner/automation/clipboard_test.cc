#include <algorithm>
#include <random>

#include "runner/automation/automation_test_fixture.h"

namespace tandrel {
namespace {

const std::string kText(platform::kPasteboardTypeString), kRtf = "public.rtf", kPng = "public.png";
using Items = std::vector<sim::PasteboardItemState>;
using Contents = std::vector<std::vector<std::pair<std::string, platform::SharedBytes>>>;

Contents contents(sim::World& world) {
  Contents out;
  for (const sim::PasteboardItemState& item : world.pasteboardItems()) out.push_back(item.types);
  return out;
}

TEST_F(AutomationTest, PlainTextIsReadAndWritten) {
  world.pasteboardItems() = Items{{{{kPng, {1, 2}}}, {}}};
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success());  // an image only
  EXPECT_EQ(call("writeClipboardText", ValueMap{{"text", "привет"}}), MethodReply::Success());
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success("привет"));
  EXPECT_EQ(call("clipboardChangeCount"), MethodReply::Success(1));
  EXPECT_EQ(call("writeClipboardText", ValueMap{{"text", ""}}), MethodReply::Success());
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success(""));  // empty, not absent
  EXPECT_EQ(contents(world), (Contents{{{kText, {}}}}));
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
    const Contents original = contents(world);
    call("saveClipboard");
    call("writeClipboardText", ValueMap{{"text", "moved text"}});
    ASSERT_EQ(call("restoreClipboard"), MethodReply::Success());
    ASSERT_EQ(contents(world), original) << "round " << round;
  }
}

TEST_F(AutomationTest, OnlyAPendingSnapshotIsRestoredAndOnlyOnce) {
  world.pasteboardItems() = Items{{{{kText, {'u'}}}, {}}};
  EXPECT_EQ(call("restoreClipboard"), MethodReply::Success());  // nothing saved: left alone
  EXPECT_EQ(call("saveClipboard"), MethodReply::Success());
  call("restoreClipboard");
  call("writeClipboardText", ValueMap{{"text", "later"}});
  call("restoreClipboard");
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success("later"));

  // The latest snapshot wins, and a saved empty clipboard is restored as empty; so is one whose
  // item list could not be read.
  for (bool nil : {false, true}) {
    call("saveClipboard");
    world.faults().pasteboardItemsNil = nil;
    if (!nil) world.pasteboardItems().clear();
    call("saveClipboard");
    world.faults().pasteboardItemsNil = false;
    call("writeClipboardText", ValueMap{{"text", "b"}});
    call("restoreClipboard");
    EXPECT_TRUE(world.pasteboardItems().empty());
  }
}

TEST_F(AutomationTest, SnapshotFaultsLoseOnlyWhatCouldNotBeRead) {
  world.pasteboardItems() =
      Items{{{{kText, {'t'}}, {kRtf, {'r'}}}, {kRtf}}, {{{kPng, {}}}, {kPng}}};
  call("saveClipboard");
  call("writeClipboardText", ValueMap{{"text", "a"}});
  call("restoreClipboard");
  // The unreadable types are gone; the item that had no readable type stays, empty.
  EXPECT_EQ(contents(world), (Contents{{{kText, {'t'}}}, {}}));

  // A refused write keeps the snapshot pending, so nothing is lost and a later restore works.
  world.pasteboardItems() = Items{{{{kText, {'1'}}, {kPng, {2, 0, 2}}}, {}}, {{{kRtf, {'3'}}}, {}}};
  const Contents original = contents(world);
  call("saveClipboard");
  world.faults().pasteboardWriteFails = true;
  EXPECT_EQ(call("restoreClipboard"), MethodReply::Success());
  world.faults().pasteboardWriteFails = false;
  call("restoreClipboard");
  EXPECT_EQ(contents(world), original);
}

// The snapshot holds the pasteboard's own buffers, and restore hands those very buffers back: no
// byte is copied on either way, also when a refused restore is tried again.
TEST_F(AutomationTest, SaveAndRestoreHandBackTheSameBuffers) {
  world.pasteboardItems() =
      Items{{{{kPng, platform::Bytes(4096, 7)}, {kText, {'t'}}}, {}}, {{{kRtf, {'r'}}}, {}}};
  const Contents original = contents(world);
  auto expectSameBuffers = [&](const char* when) {
    const Contents now = contents(world);
    ASSERT_EQ(now, original) << when;
    for (size_t i = 0; i < now.size(); ++i) {
      for (size_t t = 0; t < now[i].size(); ++t) {
        EXPECT_TRUE(now[i][t].second.sharesBufferWith(original[i][t].second))
            << when << ": item " << i << " type " << now[i][t].first;
      }
    }
  };
  call("saveClipboard");
  call("writeClipboardText", ValueMap{{"text", "x"}});
  call("restoreClipboard");
  expectSameBuffers("restored");

  call("saveClipboard");
  world.faults().pasteboardWriteFails = true;
  call("restoreClipboard");
  EXPECT_TRUE(world.pasteboardItems().empty());
  world.faults().pasteboardWriteFails = false;
  call("restoreClipboard");
  expectSameBuffers("restored after a refusal");
}

}  // namespace
}  // namespace tandrel
