#include "tools/tandrel_sim.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "runner/automation/automation_handler.h"
#include "runner/tandrel_plugin.h"
#include "testing/run_program.h"
#include "velloc/velloc_plugin.h"

namespace simhost {
namespace {

using ::testing::ElementsAre;

// The player on a world of its own, with the host channels and the input-source plug-in.
struct Player {
  Player() {
    tandrel::TandrelPlugin::installChannels(messenger_, world_, false);
    velloc::VellocPlugin::registerWithRegistrar(registry_.registrarForPlugin("VellocPlugin"),
                                                world_);
  }

  // The output lines of `script`; the exit status goes to `status_`.
  std::vector<std::string> run(const std::string& script) {
    std::vector<std::string> lines;
    std::istringstream split(output(script));
    for (std::string line; std::getline(split, line);) lines.push_back(line);
    return lines;
  }

  std::string output(const std::string& script) {
    std::ostringstream out;
    ScriptRunner runner({world_, messenger_, &registry_, nullptr}, out);
    std::istringstream in(script);
    status_ = runner.run(in);
    return out.str();
  }

  // Runs `script`, then expects its exit status and every line it prints.
  void expectRun(const std::string& script, int status, const std::string& expected) {
    EXPECT_EQ(output(script), expected + "\n");
    EXPECT_EQ(status_, status);
  }

  sim::World world_;
  channel::LocalMessenger messenger_;
  channel::PluginRegistry registry_{messenger_};
  int status_ = -1;
};

class SimScriptTest : public ::testing::Test, public Player {};

TEST_F(SimScriptTest, LinesThatCannotBeUnderstoodAreReportedAndTheRunGoesOn) {
  std::vector<std::string> out = run(R"(# a comment counts as a line

not json
[1, 2]
{"jump": 1}
{"call": "tandrel/automation"}
{"call": "tandrel/automation", "method": "copy", "args": {"$bytes": "zz"}}
{"advance": -1}
{"advance": 1e300}
{"user": {"keyDown": 99999999999999999999999}}
{"user": {"activate": 77}}
{"user": {"press": 5, "extra": true}}
{"show": "everything"}
{"send": "tandrel/automation", "hex": "070"}
{"show": "time"}
)");
  EXPECT_EQ(status_, 1);
  ASSERT_EQ(out.size(), 13u);
  for (size_t i = 0; i < 12; ++i) {
    Json line = Json::parse(out[i]);
    EXPECT_TRUE(line.contains("scriptError")) << out[i];
    EXPECT_EQ(line["line"], i + 3) << out[i];
  }
  EXPECT_EQ(out[12], R"({"show":"time","value":0})");
}

// What the player prints for each kind of line, and when.
TEST_F(SimScriptTest, EachLinePrintsItsOutcomeInTheOrderThingsHappen) {
  const struct {
    const char* name;
    const char* script;
    int status;
    const char* output;
  } scenarios[] = {
      {"replies, listen, cancel and events in the order they happen",
       R"({"world": {"trusted": true}}
{"cancel": "tandrel/key_events"}
{"listen": "tandrel/key_events", "args": [1]}
{"user": {"press": 0}}
{"call": "tandrel/permissions", "method": "check"}
{"call": "tandrel/permissions", "method": "Check"}
{"call": "velloc/input_source", "method": "select", "args": {"lang": 5}}
{"call": "nobody/here", "method": "x"})",
       0,
       R"({"cancel":"tandrel/key_events","error":{"code":"error","message":"No active stream to cancel","details":null}}
{"listen":"tandrel/key_events","ok":true}
{"event":"tandrel/key_events","value":{"type":"keyDown","keycode":0,"repeat":false,"chars":"a","control":false,"shift":false,"alt":false,"meta":false}}
{"reply":true}
{"notImplemented":true}
{"error":{"code":"bad_lang","message":"Expected lang=ru|en, got ''","details":null}}
{"notImplemented":true})"},
      // "listen" with null arguments, then "cancel", on an event channel; "isSandboxed" on the
      // permission channel; a truncated call, an empty message, a channel without a handler.
      {"raw bytes get their raw reply",
       R"({"send": "tandrel/permission_events", "hex": "07 06 6c697374656e 00"}
{"send": "tandrel/permission_events", "hex": "0706 63616e63656c 00"}
{"send": "tandrel/permissions", "hex": "070b 697353616e64626f786564 00"}
{"send": "tandrel/automation", "hex": "0709 6973"}
{"send": "tandrel/automation", "hex": ""}
{"send": "nobody/here", "hex": "07016100"})",
       0,
       R"({"replyHex":"0000"}
{"replyHex":"0000"}
{"replyHex":"0002"}
{"replyHex":""}
{"replyHex":""}
{"replyHex":""})"},
      // Secure input (world or user) silences keys but not clicks; "isSecureInputEnabled" says so.
      {"secure input",
       R"({"world": {"trusted": true, "secureInput": true}}
{"listen": "tandrel/key_events"}
{"user": {"press": 0}}
{"user": {"click": "left"}}
{"call": "tandrel/automation", "method": "isSecureInputEnabled"}
{"user": {"secureInput": false}}
{"call": "tandrel/automation", "method": "isSecureInputEnabled"}
{"user": {"press": 0}}
{"user": {"secureInput": 1}})",
       1,
       R"({"listen":"tandrel/key_events","ok":true}
{"event":"tandrel/key_events","value":{"type":"click"}}
{"reply":true}
{"reply":false}
{"event":"tandrel/key_events","value":{"type":"keyDown","keycode":0,"repeat":false,"chars":"a","control":false,"shift":false,"alt":false,"meta":false}}
{"scriptError":"\"secureInput\" must be true or false","line":9})"},
      // The permission change is reported on time.
      {"App Nap and the listening activity",
       R"({"world": {"appNap": 10, "window": {"visible": false}, "trusted": true}}
{"listen": "tandrel/permission_events"}
{"show": "activities"}
{"world": {"trusted": false}}
{"advance": 0.3}
{"cancel": "tandrel/permission_events"}
{"show": "activities"}
{"world": {"appNap": -1}})",
       1,
       R"({"listen":"tandrel/permission_events","ok":true}
{"show":"activities","value":{"napped":false,"activities":[{"options":15679487,"preventsIdleSleep":false,"holdsUpLogout":false,"reason":"Watching the keyboard and the permission it needs","since":0}]}}
{"event":"tandrel/permission_events","value":false}
{"cancel":"tandrel/permission_events","ok":true}
{"show":"activities","value":{"napped":true,"activities":[]}}
{"scriptError":"\"appNap\" takes 0 to 86400","line":8})"},
      // A scheduled mistake shows at once; line 2 lands between the 2nd and 3rd Backspace.
      {"scheduled lines",
       R"({"world": {"trusted": true, "apps": [{"pid": 3, "frontmost": true, "focused": {"value": "abcdef", "selection": [6, 0]}}]}}
{"after": 0.004, "world": {"apps": [{"pid": 3, "focused": {"value": "xyz", "selection": [3, 0]}}]}}
{"at": 0.5, "user": {"quit": 3}}
{"at": 0.6, "user": {"quit": 3}}
{"at": 1, "world": {"oops": 1}}
{"after": 1, "user": {"press": 0}, "world": {}}
{"call": "tandrel/automation", "method": "backspace", "args": {"count": 3}}
{"show": "field"}
{"advance": 1}
{"show": "apps"})",
       1,
       R"({"scriptError":"unknown world key \"oops\"","line":5}
{"scriptError":"\"after\" needs one \"world\" or \"user\" line to schedule","line":6}
{"reply":null}
{"show":"field","value":{"pid":3,"text":"xy","selection":{"start":2,"length":0},"subrole":null}}
{"scriptError":"no application with pid 3","line":4,"time":600000}
{"show":"apps","value":[]})"},
      // The trace is one timeline; the records say what fell out of the window.
      {"the trace and the records",
       R"({"world": {"trusted": true, "recordWindow": 3, "apps": [{"pid": 3, "frontmost": true, "focused": {"value": "ab"}}]}}
{"call": "tandrel/automation", "method": "backspace", "args": {"count": 2}}
{"show": "trace"}
{"show": "records"}
{"listen": "tandrel/permission_events"}
{"user": {"revoke": "accessibility"}}
{"show": "timers"})",
       0,
       R"({"reply":null}
{"show":"trace","value":[{"time":3000,"kind":"post","detail":"keyUp 51 userData 1413763660 at HID"},{"time":3000,"kind":"sleep","detail":"3000 us"},{"time":6000,"kind":"answer","detail":{"reply":null}}]}
{"show":"records","value":{"window":3,"pauses":{"total":2,"dropped":0,"micros":6000},"log":{"total":0,"dropped":0},"urls":{"total":0,"dropped":0},"trace":{"total":10,"dropped":0}}}
{"listen":"tandrel/permission_events","ok":true}
{"show":"timers","value":[{"kind":"block","id":1,"scheduledAt":6000,"due":306000}]})"},
      // Text from outside comes without formatting; a web field's value write misses its model.
      {"rich and web fields",
       R"({"world": {"trusted": true, "apps": [{"pid": 3, "frontmost": true, "focused": {"kind": "rich", "value": "ab cd", "runs": [[0, 2, "bold"], {"start": 3, "length": 9, "style": "link"}]}}]}}
{"show": "field"}
{"world": {"apps": [{"pid": 3, "focused": {"value": "xy"}}]}}
{"show": "field"}
{"user": {"focus": {"kind": "webEditable", "value": "old", "selectedTextSettable": false}}}
{"call": "tandrel/automation", "method": "axSetFocusedText", "args": {"text": "new"}}
{"show": "field"}
{"user": {"focus": {"kind": "fancy"}}}
{"user": {"focus": {"runs": [[0, 1]]}}})",
       1,
       R"({"show":"field","value":{"pid":3,"text":"ab cd","selection":{"start":0,"length":0},"subrole":null,"kind":"rich","runs":[{"start":0,"length":2,"style":"bold"},{"start":3,"length":2,"style":"link"}]}}
{"show":"field","value":{"pid":3,"text":"xy","selection":{"start":0,"length":0},"subrole":null,"kind":"rich","runs":[]}}
{"reply":true}
{"show":"field","value":{"pid":3,"text":"new","selection":{"start":3,"length":0},"subrole":null,"kind":"webEditable","model":"old"}}
{"scriptError":"\"kind\" must be \"plain\", \"rich\", \"webEditable\" or \"chromium\"","line":8}
{"scriptError":"\"runs\" entries must be [start, length, style]","line":9})"},
      // A re-signed build's stale grant; the host's row deleted while both streams listen.
      {"a stale grant, then a deleted row",
       R"({"world": {"apps": [{"pid": 3, "frontmost": true, "focused": {"value": ""}}]}}
{"user": {"resign": true}}
{"call": "tandrel/permissions", "method": "check"}
{"listen": "tandrel/key_events"}
{"user": {"grant": "accessibility"}}
{"listen": "tandrel/key_events"}
{"listen": "tandrel/permission_events"}
{"user": {"deleteRow": "accessibility"}}
{"show": "permissions"}
{"user": {"type": "hi"}}
{"advance": 2}
{"user": {"type": "yo"}}
{"show": "field"}
{"show": "taps"}
{"user": {"deleteRow": "listen"}})",
       1,
       R"({"reply":false}
{"listen":"tandrel/key_events","error":{"code":"no_permission","message":"Accessibility is granted, but no event tap can be made: the grant is stale (the app was signed again, or its row deleted). Remove the app from System Settings > Privacy & Security > Accessibility and add it again.","details":{"reason":"stale"}}}
{"listen":"tandrel/key_events","ok":true}
{"listen":"tandrel/permission_events","ok":true}
{"show":"permissions","value":{"trusted":true,"tapsTrusted":false,"listenAccess":false,"postAccess":false,"trustPrompts":0,"listenRequests":0,"postRequests":0}}
{"event":"tandrel/key_events","value":{"type":"permissionLost"}}
{"event":"tandrel/permission_events","value":false}
{"show":"field","value":{"pid":3,"text":"hiyo","selection":{"start":4,"length":0},"subrole":null}}
{"show":"taps","value":{"active":0,"total":0,"threads":0,"taps":[]}}
{"scriptError":"\"deleteRow\" takes \"accessibility\"","line":15})"},
      // Chrome builds its tree 2 s (plus build time) after the enhanced interface came on; another
      // application in front before the typing gets nothing; a slow application's read is seven
      // quarter-second calls; the host never asks itself.
      {"Chromium fields, slow applications and the host in front",
       R"({"world": {"trusted": true, "apps": [{"pid": 3, "frontmost": true, "chromium": "chrome", "treeBuildDelay": 0.1, "focused": {"kind": "chromium", "axLag": "pageLoad", "value": "ghbdtn", "selection": [6, 0]}}, {"pid": 6, "chromium": "electronDebounced", "accessibility": "complete", "focused": {"value": ""}}]}}
{"call": "tandrel/automation", "method": "axSetFocusedText", "args": {"text": "привет"}}
{"advance": 2.1}
{"after": 0.01, "user": {"activate": 6}}
{"call": "tandrel/automation", "method": "axSetFocusedText", "args": {"text": "привет"}}
{"user": {"activate": 3}}
{"call": "tandrel/automation", "method": "axSetFocusedText", "args": {"text": "привет"}}
{"show": "field"}
{"user": {"focus": {"kind": "chromium", "value": "ab", "write": "ignore", "ignoreTyping": true, "axLag": 0.02}}}
{"call": "tandrel/automation", "method": "axSetFocusedText", "args": {"text": "aXb"}}
{"world": {"apps": [{"pid": 5, "frontmost": true, "callDelay": 0.25, "focused": {"value": "x"}}, {"pid": 4242, "name": "tandrel", "focused": {"value": "own"}}]}}
{"show": "time"}
{"call": "tandrel/automation", "method": "axFocusedText"}
{"show": "time"}
{"world": {"frontmost": 4242}}
{"call": "tandrel/automation", "method": "axFocusedText"}
{"show": "apps"}
{"world": {"apps": [{"pid": 5, "callDelay": -1}]}}
{"world": {"apps": [{"pid": 5, "chromium": "chromium"}]}}
{"user": {"focus": {"axLag": "later"}}})",
       1,
       R"({"reply":false}
{"reply":false}
{"reply":true}
{"show":"field","value":{"pid":3,"text":"привет","selection":{"start":6,"length":0},"subrole":null,"kind":"chromium","model":"привет"}}
{"reply":false}
{"show":"time","value":2610000}
{"reply":{"text":"x","selStart":0,"selLen":0}}
{"show":"time","value":4360000}
{"reply":null}
{"show":"apps","value":[{"pid":3,"bundleIdentifier":null,"name":null,"frontmost":false,"chromium":"chrome","accessibility":"complete","treeReadyAt":2100000,"manualAccessibilityWrites":1,"enhancedUserInterface":true,"enhancedUserInterfaceWrites":1,"focused":true,"hung":false,"callDelay":0,"timedOutCalls":0},{"pid":6,"bundleIdentifier":null,"name":null,"frontmost":false,"chromium":"electronDebounced","accessibility":"complete","treeReadyAt":0,"manualAccessibilityWrites":0,"enhancedUserInterface":false,"enhancedUserInterfaceWrites":0,"focused":true,"hung":false,"callDelay":0,"timedOutCalls":0},{"pid":5,"bundleIdentifier":null,"name":null,"frontmost":false,"chromium":"none","accessibility":"off","treeReadyAt":null,"manualAccessibilityWrites":1,"enhancedUserInterface":false,"enhancedUserInterfaceWrites":0,"focused":true,"hung":false,"callDelay":250000,"timedOutCalls":0},{"pid":4242,"bundleIdentifier":null,"name":"tandrel","frontmost":true,"chromium":"none","accessibility":"off","treeReadyAt":null,"manualAccessibilityWrites":0,"enhancedUserInterface":false,"enhancedUserInterfaceWrites":0,"focused":true,"hung":false,"callDelay":0,"timedOutCalls":0}]}
{"scriptError":"\"callDelay\" takes 0 to 60 seconds","line":18}
{"scriptError":"\"chromium\" must be \"none\", \"chrome\", \"chromeBefore14\", \"electronOld\", \"electronReadable\" or \"electronDebounced\"","line":19}
{"scriptError":"\"axLag\" must be \"frame\", \"pageLoad\" or seconds","line":20})"},
  };
  for (const auto& s : scenarios) {
    SCOPED_TRACE(s.name);
    Player().expectRun(s.script, s.status, s.output);
  }
}

TEST_F(SimScriptTest, ALineWithAMistakeChangesNothingAndLeavesNoTrace) {
  expectRun(R"({"world": {"trusted": true, "apps": [{"pid": 7, "name": "A"}], "osVersion": "13.x"}}
{"world": {"inputSources": [{"id": "x.Dvorak", "layout": "us"}], "selectedInputSource": "x.Colemak"}}
{"user": {"activate": 77}}
{"after": 1, "user": {"quit": 5}}
{"advance": 2}
{"show": "trace"}
{"show": "permissions"}
{"show": "apps"}
{"show": "inputSource"})",
            1, R"({"scriptError":"\"osVersion\" must look like \"13.0.0\"","line":1}
{"scriptError":"no input source \"x.Colemak\"","line":2}
{"scriptError":"no application with pid 77","line":3}
{"scriptError":"no application with pid 5","line":4,"time":1000000}
{"show":"trace","value":[]}
{"show":"permissions","value":{"trusted":false,"tapsTrusted":false,"listenAccess":false,"postAccess":false,"trustPrompts":0,"listenRequests":0,"postRequests":0}}
{"show":"apps","value":[]}
{"show":"inputSource","value":{"id":"com.apple.keylayout.US","layout":"us"}})");
  EXPECT_EQ(world_.inputSourceList().size(), 2u);
}

TEST_F(SimScriptTest, WorldSettingsMergeIntoWhatIsThere) {
  expectRun(
      R"({"world": {"apps": [{"pid": 9, "name": "Notes", "frontmost": true, "focused": {"value": "abc", "selection": [1, 1], "write": "refuse"}}]}}
{"world": {"apps": [{"pid": 9, "bundleIdentifier": "com.apple.Notes", "focused": {"subrole": "AXSecureTextField"}}]}}
{"world": {"inputSources": [{"id": "com.apple.keylayout.Russian", "selectStatus": -50}, {"id": "com.apple.keylayout.US", "remove": true}, {"id": "x.Ukrainian", "languages": ["uk", 3], "layout": "ru", "kind": "inputMode"}], "inputSourceListOrder": ["x.Ukrainian"]}}
{"world": {"osVersion": [12, 6], "hostPid": 100, "translocated": true, "loginItem": {"status": 2, "refusalDescription": null, "refusalDomain": "NSOSStatusErrorDomain", "refusalCode": -67050, "switchedOff": true, "signatureRejected": true}, "faults": {"keyboardEventFailures": [0, 2], "tapCreateFails": true}}}
{"show": "field"}
{"show": "apps"}
{"show": "inputSources"}
{"show": "loginItem"})",
      0,
      R"({"show":"field","value":{"pid":9,"text":"abc","selection":{"start":1,"length":1},"subrole":"AXSecureTextField"}}
{"show":"apps","value":[{"pid":9,"bundleIdentifier":"com.apple.Notes","name":"Notes","frontmost":true,"chromium":"none","accessibility":"off","treeReadyAt":null,"manualAccessibilityWrites":0,"enhancedUserInterface":false,"enhancedUserInterfaceWrites":0,"focused":true,"hung":false,"callDelay":0,"timedOutCalls":0}]}
{"show":"inputSources","value":[{"id":"com.apple.keylayout.Russian","layout":"ru","languages":["ru"],"enabled":true,"selectCapable":true,"category":"TISCategoryKeyboardInputSource","kind":"layout","selectStatus":-50},{"id":"x.Ukrainian","layout":"ru","languages":["uk",null],"enabled":true,"selectCapable":true,"category":"TISCategoryKeyboardInputSource","kind":"inputMode","selectStatus":0}]}
{"show":"loginItem","value":{"status":3,"refuse":false,"refusalDescription":null,"requiresApproval":false,"switchedOff":true,"signatureRejected":true,"bundlePath":"/private/var/folders/5k/q1x9rz4n3bd2f8w7c6v0m0lr0000gn/T/AppTranslocation/3F2B9C1E-7A4D-4E8B-9C0F-6D1A2B3C4D5E/d/tandrel_example.app","settingsOpened":0}})");
  EXPECT_EQ(world_.application(9)->focused->valueWrite, sim::WriteBehaviour::kRefuse);
  EXPECT_EQ(world_.inputSourceListOrder(), std::vector<std::string>{"x.Ukrainian"});
  EXPECT_EQ(world_.processInfo().operatingSystemVersion(),
            (platform::OperatingSystemVersion{12, 6, 0}));
  EXPECT_EQ(world_.processInfo().processIdentifier(), 100);
  EXPECT_EQ(world_.loginItem().status, 2);
  EXPECT_EQ(world_.loginItem().refusalDomain, "NSOSStatusErrorDomain");
  EXPECT_EQ(world_.loginItem().refusalCode, -67050);
  EXPECT_EQ(world_.faults().keyboardEventFailures, (std::set<int64_t>{0, 2}));
  EXPECT_TRUE(world_.faults().tapCreateFails);
}

// The machine sleeps and wakes; a hung application and the host's activation are knobs.
TEST_F(SimScriptTest, SleepWakeHungApplicationsAndTheInactiveHostAreScriptable) {
  expectRun(
      R"({"world": {"trusted": true, "tapTimeout": 250000, "hostActive": false, "apps": [{"pid": 3, "hung": true, "frontmost": true, "focused": {"value": "x"}}]}}
{"listen": "tandrel/key_events"}
{"user": {"sleep": "invalidateTaps"}}
{"show": "taps"}
{"user": {"wake": true}}
{"show": "taps"}
{"user": {"sleep": "disableTaps"}}
{"user": {"switchUserBack": true}}
{"user": {"press": 0}}
{"call": "tandrel/automation", "method": "axFocusedText"}
{"user": {"hostActive": true}}
{"user": {"sleep": "now"}})",
      1, R"({"listen":"tandrel/key_events","ok":true}
{"show":"taps","value":{"active":0,"total":1,"threads":0,"taps":[{"location":"session","placement":"head","options":"active","mask":33559562,"events":["leftMouseDown","rightMouseDown","keyDown","flagsChanged","otherMouseDown"],"enabled":false,"runLoop":null,"threadQos":null}]}}
{"show":"taps","value":{"active":1,"total":1,"threads":1,"taps":[{"location":"session","placement":"head","options":"active","mask":33559562,"events":["leftMouseDown","rightMouseDown","keyDown","flagsChanged","otherMouseDown"],"enabled":true,"runLoop":"thread","threadQos":"userInteractive"}]}}
{"event":"tandrel/key_events","value":{"type":"keyDown","keycode":0,"repeat":false,"chars":"a","control":false,"shift":false,"alt":false,"meta":false}}
{"reply":null}
{"scriptError":"\"sleep\" takes \"disableTaps\" or \"invalidateTaps\"","line":12})");
  EXPECT_EQ(world_.tapTimeout(), 250000);
  EXPECT_TRUE(world_.hostActive());
  EXPECT_EQ(world_.application(3)->timedOutCalls, 3) << "the listen's, then the read's two";
  EXPECT_EQ(world_.now(), 3000000) << "one second each";
}

TEST_F(SimScriptTest, ScreenLocksMarkedClicksAndWhenTheUserKeysArriveAreScriptable) {
  // The tap is made again after the unlock; the host's own click is not reported.
  expectRun(
      R"({"world": {"trusted": true, "apps": [{"pid": 3, "frontmost": true, "focused": {"value": ""}}]}}
{"listen": "tandrel/key_events"}
{"user": {"lockScreen": "invalidateTaps"}}
{"user": {"press": 5}}
{"user": {"unlockScreen": true}}
{"show": "taps"}
{"user": {"click": "left", "userData": 1413763660}}
{"user": {"click": "right", "userData": 7}}
{"after": 0.01, "user": {"press": 0}}
{"call": "tandrel/automation", "method": "backspace", "args": {"count": 10}}
{"user": {"lockScreen": "sometimes"}})",
      1, R"({"listen":"tandrel/key_events","ok":true}
{"show":"taps","value":{"active":1,"total":1,"threads":1,"taps":[{"location":"session","placement":"head","options":"active","mask":33559562,"events":["leftMouseDown","rightMouseDown","keyDown","flagsChanged","otherMouseDown"],"enabled":true,"runLoop":"thread","threadQos":"userInteractive"}]}}
{"event":"tandrel/key_events","value":{"type":"click"}}
{"reply":null}
{"event":"tandrel/key_events","value":{"type":"keyDown","keycode":0,"repeat":false,"chars":"a","control":false,"shift":false,"alt":false,"meta":false}}
{"scriptError":"\"lockScreen\" takes \"keepTaps\", \"disableTaps\" or \"invalidateTaps\"","line":11})");
  std::vector<sim::TraceEntry> keys;
  for (const sim::TraceEntry& entry : world_.takeTrace()) {
    if (entry.kind == "key") keys.push_back(entry);
  }
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].detail, "keyDown 5 \"g\" reached pid 3") << "unseen by the dead tap";
  EXPECT_EQ(keys[1].time, 10000) << "during the call, as the user typed it";
  EXPECT_EQ(keys[1].detail, "keyDown 0 \"a\" reached pid 3");
  EXPECT_EQ(world_.focusedElement()->value, u"") << "g typed while locked, a, then ten Backspaces";
}

TEST_F(SimScriptTest, ShowReportsTheFieldThePasteboardAndWhatWasPosted) {
  expectRun(
      R"({"world": {"trusted": true, "postAccess": true, "apps": [{"pid": 3, "frontmost": true, "focused": {}}]}}
{"user": {"type": "ghbdtn"}}
{"user": {"selectInputSource": "com.apple.keylayout.Russian"}}
{"user": {"keys": " ghbdtn"}}
{"user": {"selectRange": [4, 100]}}
{"show": "field"}
{"world": {"pasteboard": [{"types": [["public.png", {"$bytes": "89ff"}], ["public.utf8-plain-text", "ok"]]}]}}
{"show": "pasteboard"}
{"call": "tandrel/automation", "method": "backspace", "args": {"count": 2}}
{"show": "posted"}
{"show": "pauses"}
{"show": "pauses"})",
      0,
      R"({"show":"field","value":{"pid":3,"text":"ghbdtn привет","selection":{"start":4,"length":9},"subrole":null}}
{"show":"pasteboard","value":{"changeCount":1,"items":[{"types":{"public.png":{"$bytes":"89ff"},"public.utf8-plain-text":"ok"}}]}}
{"reply":null}
{"show":"posted","value":[{"type":"keyDown","keycode":51,"flags":0,"characters":"","userData":1413763660,"location":"hid","hadSource":true,"postedAt":0,"deliveredAt":0},{"type":"keyUp","keycode":51,"flags":0,"characters":"","userData":1413763660,"location":"hid","hadSource":true,"postedAt":0,"deliveredAt":0},{"type":"keyDown","keycode":51,"flags":0,"characters":"","userData":1413763660,"location":"hid","hadSource":true,"postedAt":3000,"deliveredAt":3000},{"type":"keyUp","keycode":51,"flags":0,"characters":"","userData":1413763660,"location":"hid","hadSource":true,"postedAt":3000,"deliveredAt":3000}]}
{"show":"pauses","value":[3000,3000]}
{"show":"pauses","value":[]})");
  EXPECT_EQ(world_.focusedElement()->value, u"ghb");
}

TEST_F(SimScriptTest, NewUserActionsAndWorldKeysReachTheWorld) {
  expectRun(
      R"({"world": {"trusted": true, "systemWideFocus": null, "promptAnswers": {"listen": 1, "post": null}, "loginItem": {"status": 42, "refuseRegister": true}, "faults": {"setDataFailures": [3], "pasteboardTypesFail": true, "inputSourceListNotArray": true}, "apps": [{"pid": 5, "failsWrites": true, "focused": {"subroleNotString": true, "valueIsAttributed": true, "settableErrors": {"AXValue": -25204}}}]}}
{"world": {"systemWideFocus": 5}}
{"listen": "tandrel/key_events"}
{"user": {"press": 4, "userData": 12, "chars": "ħ"}}
{"user": {"press": 4, "userData": {"$int64": 1413763660}}}
{"user": {"flagsChanged": 100, "flags": 1048576}}
{"user": {"tapDisabled": "userInput"}}
{"user": {"tapDisabled": "sleep"}}
{"user": {"keyDown": 4, "userData": "x"}}
{"world": {"systemWideFocus": 6}}
{"user": {"loginItemSwitch": false}}
{"user": {"selectInputSource": "com.apple.keylayout.Russian"}}
{"show": "taps"})",
      1, R"({"listen":"tandrel/key_events","ok":true}
{"event":"tandrel/key_events","value":{"type":"keyDown","keycode":4,"repeat":false,"chars":"ħ","control":false,"shift":false,"alt":false,"meta":false}}
{"event":"tandrel/key_events","value":{"type":"modifier","keycode":100,"down":false,"control":false,"shift":false,"alt":false,"meta":true}}
{"scriptError":"\"tapDisabled\" must be \"timeout\" or \"userInput\"","line":8}
{"scriptError":"\"userData\" must be an integer from -9223372036854775808 to 9223372036854775807","line":9}
{"scriptError":"no application with pid 6","line":10}
{"show":"taps","value":{"active":1,"total":1,"threads":1,"taps":[{"location":"session","placement":"head","options":"active","mask":33559562,"events":["leftMouseDown","rightMouseDown","keyDown","flagsChanged","otherMouseDown"],"enabled":true,"runLoop":"thread","threadQos":"userInteractive"}]}})");
  EXPECT_EQ(world_.systemWideFocus(), 5);
  EXPECT_EQ(world_.application(5)->focused->value, u"ħh")
      << "typed into the panel; the press marked as the host's own too, but it is not reported";
  EXPECT_TRUE(world_.application(5)->failsWrites);
  EXPECT_TRUE(world_.application(5)->focused->subroleNotString);
  EXPECT_EQ(world_.application(5)->focused->settableErrors.at("AXValue"), -25204);
  EXPECT_EQ(world_.loginItem().status, 42);
  EXPECT_TRUE(world_.loginItem().refuseRegister);
  EXPECT_TRUE(world_.loginItem().switchedOff);
  const std::vector<sim::TraceEntry> trace = world_.takeTrace();
  EXPECT_EQ(trace.back().detail, platform::kTISNotifySelectedKeyboardInputSourceChanged)
      << "the user's selection is announced";
  EXPECT_EQ(world_.faults().setDataFailures, (std::set<int64_t>{3}));
  EXPECT_TRUE(world_.faults().inputSourceListNotArray);
  EXPECT_FALSE(world_.events().requestListenEventAccess());
  world_.advance(1'000'000);
  EXPECT_TRUE(world_.listenAccess());
}

// A day's use: 50 returns to Electron and to Chrome, four corrections each time. Electron's switch
// is set once; Chrome's enhanced interface never flips within its 2 s debounce (off once after the
// long absence), and only the four corrections before Chrome's first tree fail.
TEST_F(SimScriptTest, ADaysCorrectionsSwitchAccessibilityOnOnce) {
  std::string script =
      R"({"world": {"trusted": true, "recordWindow": 1000000, "apps": [{"pid": 5, "chromium": "electronDebounced"}, {"pid": 7, "chromium": "chrome"}, {"pid": 6, "frontmost": true}]}}
{"listen": "tandrel/key_events"}
)";
  for (int visit = 0; visit < 50; ++visit) {
    script += R"({"user": {"activate": 6}}
{"advance": )" +
              std::string(visit == 25 ? "700" : "1") + "}\n";
    for (const char* pid : {"5", "7"}) {
      script += R"({"user": {"activate": )" + std::string(pid) + "}}\n{\"advance\": 3}\n";
      for (int correction = 0; correction < 4; ++correction) {
        script += R"({"world": {"apps": [{"pid": )" + std::string(pid) +
                  R"(, "focused": {"kind": "chromium", "value": "ghbdtn", "selection": [6, 0]}}]}}
{"call": "tandrel/automation", "method": "axSetFocusedText", "args": {"text": "привет", "expectedText": "ghbdtn"}}
)";
      }
    }
  }
  const std::vector<std::string> out = run(script);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(std::count(out.begin(), out.end(), R"({"reply":true})"), 396);
  EXPECT_EQ(world_.application(5)->manualAccessibilityWrites, 1);
  std::vector<std::pair<sim::Micros, bool>> enhanced;
  for (const sim::TraceEntry& e : world_.takeTrace()) {
    if (e.kind == "ax.write" && e.detail.starts_with("AXEnhancedUserInterface")) {
      enhanced.emplace_back(e.time, e.detail.find("true") != std::string::npos);
    }
  }
  ASSERT_EQ(enhanced.size(), 3u) << "on; off after the long absence; on again as Chrome returns";
  for (size_t i = 1; i < enhanced.size(); ++i) {
    EXPECT_GE(enhanced[i].first - enhanced[i - 1].first, 2000000);
  }
}

// The real program: start-up on the process's world, then the script from a file.
std::pair<int, std::string> runTool(const std::string& script) {
  return channel_test::runOnScript(TANDREL_SIM_PATH, script);
}

// Any line the program cannot carry out makes its exit status 1; nothing at all is no error.
TEST(TandrelSimToolTest, StartsHiddenWithEveryPluginAndChannel) {
  auto [status, output] = runTool(R"({"show": "window"}
{"show": "registrars"}
{"call": "tandrel/permissions", "method": "isSandboxed"}
{"call": "velloc/input_source", "method": "select", "args": {"lang": "RU"}}
{"show": "inputSource"}
{"oops": 1}
)");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(
      output,
      R"({"show":"window","value":{"visible":false,"frame":{"x":0.0,"y":0.0,"width":800.0,"height":600.0}}}
{"show":"registrars","value":["EmojiPickerFlutterPlugin","FPPPackageInfoPlusPlugin","ScreenRetrieverMacosPlugin","SharedPreferencesPlugin","TandrelPlugin","TrayManagerPlugin","UrlLauncherPlugin","WindowManagerPlugin"]}
{"reply":false}
{"reply":null}
{"show":"inputSource","value":{"id":"com.apple.keylayout.Russian","layout":"ru"}}
{"scriptError":"unknown verb \"oops\"","line":6}
)");
  EXPECT_EQ(runTool(""), (std::pair<int, std::string>{0, ""}));
}

}  // namespace
}  // namespace simhost
