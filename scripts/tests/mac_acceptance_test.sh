#!/usr/bin/env bash
# scripts/mac-acceptance off a Mac: its syntax (and shellcheck, when installed), each judge on
# recorded probe outputs (NAME.pass* must pass, NAME.fail* must fail), and a dry run that lists
# every check and its commands while running none of them (stand-ins for the macOS tools fail
# the test if called).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
script=$here/../mac-acceptance
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

bash -n "$script" || fail "syntax"
if command -v shellcheck >/dev/null; then
  shellcheck "$script" "$here/../bundle-check" || fail "shellcheck"
fi

for recorded in "$here"/acceptance/*; do
  name=$(basename "$recorded"); check=${name%%.*}
  document="ghbdtn мир"
  [ "$check" = rich_textedit ] && document="The quick brown fox|Helvetica-Bold|65535, 0, 0"
  [[ $check == chrome_page || $check == electron ]] && document="The quick brown fox"
  output=$("$script" --judge "$check" "$recorded" "$document"); status=$?
  case $name in
    *.pass*) if [ "$status" -ne 0 ] || [[ $output != PASS* ]]; then fail "$name: $output"; fi ;;
    *.fail*) if [ "$status" -ne 1 ] || [[ $output != FAIL* ]]; then fail "$name: $output"; fi ;;
  esac
done
# TextEdit's own document must agree with what accessibility read.
"$script" --judge textedit "$here/acceptance/textedit.pass" "ghbdtn" >/dev/null &&
  fail "textedit: a document that disagrees passed"
"$script" --judge rich_textedit "$here/acceptance/rich_textedit.pass" \
  "The quick brown fox|Helvetica|0, 0, 0" >/dev/null && fail "rich_textedit: lost formatting passed"
# A page whose title did not follow showed the correction without the page's model taking it.
for check in chrome_page electron; do
  "$script" --judge "$check" "$here/acceptance/$check.pass" "The quick brwn fox" >/dev/null &&
    fail "$check: a page whose model kept the old text passed"
done
"$script" --judge nothing "$here/acceptance/textedit.pass" >/dev/null 2>&1
[ $? -eq 2 ] || fail "an unknown judge is not a usage error"

scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
for tool in osascript open cmake ctest; do
  printf '#!/bin/sh\necho called >>"%s/called"\nexit 1\n' "$scratch" >"$scratch/$tool"
  chmod +x "$scratch/$tool"
done
output=$(PATH="$scratch:$PATH" TANDREL_ACCEPTANCE_BUILD="$scratch/build" "$script" --dry-run)
status=$?
[ "$status" -eq 0 ] || fail "dry run: exit status $status"
[ -e "$scratch/called" ] && fail "dry run ran a command"
[ -e "$scratch/build" ] && fail "dry run created the build folder"
apps="app_swiftpm app_analyze app_test app_cocoapods app_other_folder app_bundle app_integration"
for check in build contract contract_to_confirm text_rules clipboard input_source login_item \
             textedit key_stream chrome_page electron $apps; do
  grep -qx "DRY   $check" <<<"$output" || fail "dry run does not list $check"
done
# Without flutter the app checks are not run, and say so.
for check in $apps; do
  grep -q "^NOT RUN  $check  flutter is not on the PATH" <<<"$output" ||
    fail "without flutter, $check is not reported as not run"
done
grep -q "+ .*tandrel-probe .*/scripts/acceptance/textedit.jsonl" <<<"$output" ||
  fail "dry run does not show the probe playing a scenario"
for scenario in "$here"/../acceptance/*.jsonl; do
  grep -q "/acceptance/$(basename "$scenario") " <<<"$output" ||
    fail "the scenario $(basename "$scenario") is played by no check"
done

# With flutter and CocoaPods: both builds, the bundle check and the integration test.
for tool in flutter pod; do cp "$scratch/osascript" "$scratch/$tool"; done
output=$(PATH="$scratch:$PATH" TANDREL_ACCEPTANCE_BUILD="$scratch/build" "$script" --dry-run)
[ -e "$scratch/called" ] && fail "dry run with flutter ran a command"
grep -q "NOT RUN" <<<"$output" && fail "with flutter, a check is not run: $(grep "NOT RUN" <<<"$output")"
for expected in "app_swiftpm/tandrel/example) flutter build macos --release" \
                "app_cocoapods/tandrel/example) flutter build macos --release" \
                "app_other_folder/tandrel-0a1b2c3/example) flutter build macos --release" \
                "flutter create --empty --platforms=macos --project-name tandrel_example" \
                "enable-swift-package-manager: false" "scripts/bundle-check" \
                "app_swiftpm/tandrel/example) flutter analyze >" \
                "app_swiftpm/tandrel/example) flutter test >" \
                "app_swiftpm/tandrel/example) flutter test integration_test -d macos"; do
  grep -qF -- "$expected" <<<"$output" || fail "dry run with flutter does not show '$expected'"
done

# A built example app (a stand-in folder): each fault of a good build must fail it.
app=$scratch/app
release=$app/build/macos/Build/Products/Release/tandrel_example.app/Contents/MacOS
while IFS='|' read -r fault expected; do
  rm -rf "$app"
  mkdir -p "$app/macos/Flutter/ephemeral/Packages/FlutterGeneratedPluginSwiftPackage" "$release"
  printf tandrel_example.app >"$app/macos/Flutter/ephemeral/.app_filename"
  eval "$fault"
  output=$("$script" --judge app_swiftpm "$app")
  [[ $output == "${expected:-PASS}"* ]] || fail "app build with '${fault:-no fault}': $output"
done <<'CASES'
|
printf example.app >"$app/macos/Flutter/ephemeral/.app_filename"|FAIL  app_swiftpm  the built app is 'example.app'
rm -r "$app/macos/Flutter/ephemeral/Packages"|FAIL  app_swiftpm  built with Swift Package Manager off
echo "x this platform call belongs to the main thread" >"$release/tandrel_example"|FAIL  app_swiftpm  the release build keeps the debug checks
CASES

echo "mac-acceptance tests: $failures failure(s)"
((failures == 0))
