#include <algorithm>
#include <random>

#include "runner/automation/automation_test_fixture.h"

namespace tandrel {
namespace {

const std::string kText(platform::kPasteboardTypeString), kRtf = "public.rtf", kPng = "public.png";
using Items = std::vector<sim::PasteboardItemState>;
using Contents = std::vector<std::vector<std::pair<std::string, platform::Bytes>>>;

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

TEST_F(AutomationTest, ASnapshotNeverMixesTwoClipboards) {
  const Items user{{{{kText, {'u'}}, {kRtf, {'r'}}}, {}}, {{{kPng, {7}}}, {}}};
  // Another application writes in the middle of the first reads; the snapshot is read again until
  // one read saw a single clipboard: the newest one, whole.
  for (size_t writes = 1; writes <= 3; ++writes) {
    SCOPED_TRACE(writes);
    world.pasteboardItems() = user;
    const std::vector<std::string> texts{"w1", "w2", "w3"};
    world.faults().pasteboardWritesDuringRead.assign(texts.begin(), texts.begin() + writes);
    call("saveClipboard");
    EXPECT_TRUE(world.faults().pasteboardWritesDuringRead.empty());
    const Contents seen = contents(world);
    call("writeClipboardText", ValueMap{{"text", "moved text"}});
    call("restoreClipboard");
    EXPECT_EQ(contents(world), seen);
    EXPECT_EQ(seen, (Contents{{{kText, {'w', static_cast<uint8_t>('0' + writes)}}}}));
  }

  // Still moving after the last read: no snapshot is kept (an earlier one is dropped too), so the
  // restore leaves the clipboard as it is instead of putting back a mixture or an old clipboard.
  world.pasteboardItems() = user;
  call("saveClipboard");
  world.faults().pasteboardWritesDuringRead = {"w1", "w2", "w3", "w4", "w5"};
  call("saveClipboard");
  EXPECT_EQ(world.faults().pasteboardWritesDuringRead, std::vector<std::string>{"w5"});
  world.faults().pasteboardWritesDuringRead.clear();
  call("writeClipboardText", ValueMap{{"text", "moved text"}});
  call("restoreClipboard");
  EXPECT_EQ(call("readClipboardText"), MethodReply::Success("moved text"));
}

TEST_F(AutomationTest, TheClipboardAccessBehaviourIsNamedFromMacOS15_4On) {
  const std::pair<int64_t, const char*> names[] = {
      {platform::kNSPasteboardAccessBehaviorDefault, "default"},
      {platform::kNSPasteboardAccessBehaviorAsk, "ask"},
      {platform::kNSPasteboardAccessBehaviorAlwaysAllow, "alwaysAllow"},
      {platform::kNSPasteboardAccessBehaviorAlwaysDeny, "alwaysDeny"},
      {4, "unsupported"},  // a behaviour this build cannot name
  };
  const std::pair<platform::OperatingSystemVersion, bool> versions[] = {
      {{15, 3, 9}, false}, {{14, 9, 0}, false}, {{15, 4, 0}, true}, {{26, 0, 0}, true}};
  for (const auto& [version, supported] : versions) {
    world.setOperatingSystemVersion(version);
    for (const auto& [behaviour, name] : names) {
      world.pasteboardAccessBehavior() = behaviour;
      EXPECT_EQ(call("clipboardAccessBehavior", ValueList{}),
                MethodReply::Success(supported ? name : "unsupported"))
          << version.majorVersion << "." << version.minorVersion << " " << behaviour;
    }
  }
  // Asking reads no contents: the clipboard is untouched.
  EXPECT_EQ(call("clipboardChangeCount"), MethodReply::Success(0));
}

}  // namespace
}  // namespace tandrel
