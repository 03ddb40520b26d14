#!/usr/bin/env bash
# The compile check must reject mistakes, not just accept correct code. Each case copies one
# real source file, makes one typical mistake in it, and expects scripts/macos-check to fail on
# the copy with the expected diagnostic. A case whose text no longer occurs in its file fails
# too, so the list keeps pace with the code.
#
# Usage: compile-check/macos_check_test.sh   (MACOS_CHECK_DIR as for scripts/macos-check)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# At the same place every run, so that scripts/macos-check knows an unchanged mistake's verdict.
scratch=${MACOS_CHECK_DIR:-$root/build/macos-check}/mistakes
rm -rf "$scratch"
trap 'rm -rf "$scratch"' EXIT

# file | text to replace | replacement | a diagnostic that must appear
cases=$(cat <<'CASES'
platform/macos/workspace.mm|addObserverForName:NSWorkspaceDidActivateApplicationNotification|addObserverForNam:NSWorkspaceDidActivateApplicationNotification|declares the selector
platform/macos/accessibility.mm|(__bridge CFStringRef)name, &copied|(CFStringRef)name, &copied|requires a bridged cast
platform/macos/input_sources.mm|TISCreateInputSourceList((__bridge CFDictionaryRef)properties|TISCreateInputSourceList((CFDictionaryRef)properties|requires a bridged cast
platform/macos/accessibility_values.mm|return toU16String((__bridge NSString*)value);|return toU16String((NSString*)value);|requires a bridged cast
platform/macos/events.mm|static_cast<CGEventTapLocation>(location), static_cast<CGEventTapPlacement>(placement)|location, static_cast<CGEventTapPlacement>(placement)|no matching function
platform/macos/events.mm|CGEventRef tapTrampoline(CGEventTapProxy, CGEventType type,|CGEventRef tapTrampoline(CGEventTapProxy, uint32_t type,|no matching function
platform/macos/accessibility.mm|AXValueCreate(::kAXValueTypeCFRange, &cfRange)|AXValueCreate(kAXValueTypeCFRange, &cfRange)|no matching function
platform/macos/events.mm|reinterpret_cast<UniChar*>(buffer));|buffer);|no matching function for call to 'CGEventKeyboardGetUnicodeString'
platform/macos/main_loop.mm|if (timer) [timer->timer invalidate];|if (timer) [timer->timer release];|ARC forbids
platform/macos/main_loop.mm|block:^(NSTimer*) {|block:^{|cannot initialize a parameter of type 'GSTimerBlock'
platform/macos/pasteboard.mm|NSArray<NSPasteboardItem*>* items = board_.pasteboardItems;|NSArray<NSPasteboardItem*>* items = board_.pasteboardItem;|not found on object
platform/macos/pasteboard.mm|int64_t changeCount() override|int32_t changeCount() override|return type
platform/macos/pasteboard.mm|[[board_ valueForKey:key] integerValue]|board_.accessBehavior|property 'accessBehavior' not found
platform/macos/workspace.mm|return orOnException(false, [&] {|return orOnException(nullptr, [&] {|nullptr_t
platform/macos/log.mm|NSLog(@"%@", toNSString(line));|NSLog(toNSString(line));|format string is not a string literal
platform/macos/login_items.mm|[SMAppService.mainAppService registerAndReturnError:&error]|[SMAppService.mainAppService registerAndReturnError:error]|cannot initialize a parameter of type 'NSError * _Nullable __autoreleasing * _Nullable'
platform/macos/process_info.mm|objectForKey:toNSString(name)] != nil|objectForKey:name] != nil|no viable conversion from 'std::string_view'
macos/tandrel/Sources/tandrel/flutter_messenger_bridge.mm|sendOnChannel:channelName(channel) message:dataOf(message)];|sendOnChannel:channelName(channel) msg:dataOf(message)];|no known instance method for selector 'sendOnChannel:msg:'
macos/tandrel/Sources/tandrel/flutter_messenger_bridge.mm|binaryMessageHandler:^(NSData* _Nullable message, FlutterBinaryReply reply) {|binaryMessageHandler:^(NSData* _Nullable message, NSData* reply) {|cannot initialize a parameter of type 'FlutterBinaryMessageHandler _Nullable'
macos/tandrel/Sources/tandrel/flutter_messenger_bridge.mm|reply(bytesOf(answer));|reply(answer);|no matching function
platform/macos/accessibility_values.mm|return CFRef<CFTypeRef>(AXValueCreate(::kAXValueTypeCFRange, &range));|return CFRef<CFTypeRef>(AXValueCreate(::kAXValueTypeCFRange, range));|no matching function for call to 'AXValueCreate'
platform/macos/conversions.mm|[string getCharacters:reinterpret_cast<unichar*>(units.data())|[string getCharacters:units.data()|cannot initialize a parameter
macos/tandrel/Sources/tandrel/TandrelPlugin.mm|new tandrel::macos::FlutterMessengerBridge(registrar.messenger)|new tandrel::macos::FlutterMessengerBridge(registrar)|no matching constructor
macos/tandrel/Sources/tandrel/TandrelPlugin.mm|registerWithRegistrar(*pluginRegistrar);|registerWithRegistrar(pluginRegistrar);|cannot bind to a value of unrelated type
text/text_cf.mm|CFStringNormalize(s, kCFStringNormalizationFormD);|CFStringNormalize(s, 0);|no matching function for call to 'CFStringNormalize'
tools/probe_system_macos.mm|result = platform::macos::toUtf8((__bridge NSString*)id);|result = platform::macos::toUtf8((NSString*)id);|requires a bridged cast
tools/probe_system_macos.mm|if (CFRunLoopRunInMode(kCFRunLoopDefaultMode, left > 0 ? left : 0, false) ==|if (CFRunLoopRunInMode(kCFRunLoopDefaultMode, false) ==|no matching function for call to 'CFRunLoopRunInMode'
CASES
)

# Make every mutant first, then check them all in one run of the script.
n=0
mutants=()
stale=0
while IFS='|' read -r file from to expected; do
  [ -n "$file" ] || continue
  n=$((n + 1))
  mutant=$scratch/$n/$(basename "$file")
  mkdir -p "$(dirname "$mutant")"
  FROM=$from TO=$to perl -0pe 's/\Q$ENV{FROM}\E/$ENV{TO}/' "$root/$file" >"$mutant"
  if cmp -s "$root/$file" "$mutant"; then
    echo "STALE   case $n: '$from' no longer occurs in $file"
    stale=$((stale + 1))
  fi
  mutants+=("$mutant")
done <<<"$cases"

# The package's own files include their neighbours by name, as the package's builds find them.
output=$(MACOS_CHECK_INCLUDES="$root:$root/macos/tandrel/Sources/tandrel" \
         "$root/scripts/macos-check" "${mutants[@]}" 2>&1)

failures=$stale
n=0
while IFS='|' read -r file from to expected; do
  [ -n "$file" ] || continue
  n=$((n + 1))
  mutant=$scratch/$n/$(basename "$file")
  diagnostics=$(grep -F -- "$mutant:" <<<"$output" | grep 'error:' || true)
  if ! grep -qxF -- "FAILED  $mutant" <<<"$output"; then
    echo "MISSED  case $n: $file with '$to' passed the check"
    failures=$((failures + 1))
  elif ! grep -qF -- "$expected" <<<"$diagnostics"; then
    echo "OTHER   case $n: $file failed, but without \"$expected\":"
    head -n 3 <<<"$diagnostics"
    failures=$((failures + 1))
  else
    echo "caught  case $n: $file: $(head -n 1 <<<"$diagnostics" | sed 's/.*error: //')"
  fi
done <<<"$cases"

echo "macos-check mistakes: $n case(s), $failures not caught as expected"
((failures == 0))
