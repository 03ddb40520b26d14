#!/usr/bin/env bash
# macos/assemble-bundle with stand-ins for ditto, otool, install_name_tool and codesign that
# record what they are asked to do: the Flutter folder is copied whole and refreshed, the
# project's libraries lose their build-tree run paths, nested code is signed before the bundle
# with one identity, and paths with spaces survive.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
assemble=$here/../assemble-bundle
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
bin=$scratch/bin; mkdir -p "$bin"; log=$scratch/log
cat >"$bin/ditto" <<'STUB'
#!/usr/bin/env bash
if [ -d "$1" ]; then mkdir -p "$2" && cp -R "$1/." "$2/"; else cp "$1" "$2"; fi
STUB
cat >"$bin/otool" <<'STUB'
#!/usr/bin/env bash
printf '          cmd LC_RPATH\n      cmdsize 56\n         path /Users/dev/My Build/channel (offset 12)\n'
printf '          cmd LC_RPATH\n      cmdsize 40\n         path @loader_path (offset 12)\n'
STUB
printf '#!/usr/bin/env bash\necho "install_name_tool $*" >>"%s"\n' "$log" >"$bin/install_name_tool"
printf '#!/usr/bin/env bash\necho "codesign $*" >>"%s"\n' "$log" >"$bin/codesign"
chmod +x "$bin"/*

# The Flutter application's build, in a folder whose name has spaces.
flutter="$scratch/My App.app/Contents/Frameworks"
mkdir -p "$flutter/App.framework/Versions/A" "$flutter/FlutterMacOS.framework/Versions/A" \
         "$flutter/window_manager.framework/Versions/A"
echo dart-1 >"$flutter/App.framework/Versions/A/App"
ln -s A "$flutter/App.framework/Versions/Current"
echo engine >"$flutter/FlutterMacOS.framework/Versions/A/FlutterMacOS"
echo plugin >"$flutter/window_manager.framework/Versions/A/window_manager"
echo swift >"$flutter/libswift_Concurrency.dylib"
mkdir -p "$scratch/build dir"
echo lib >"$scratch/build dir/libvelloc.dylib"
echo lib >"$scratch/build dir/libtandrel_channel.dylib"
app="$scratch/build dir/tandrel.app"
mkdir -p "$app/Contents/MacOS"

run() {  # identity
  : >"$log"
  PATH="$bin:$PATH" "$assemble" --app="$app" --flutter-frameworks="$flutter" --identity="$1" \
    --entitlements="$here/../tandrel.entitlements" \
    "$scratch/build dir/libvelloc.dylib" "$scratch/build dir/libtandrel_channel.dylib"
}

# Ad hoc.
run - || fail "ad hoc run failed"
fw=$app/Contents/Frameworks
for f in App.framework/Versions/A/App FlutterMacOS.framework/Versions/A/FlutterMacOS \
         window_manager.framework/Versions/A/window_manager libswift_Concurrency.dylib \
         libvelloc.dylib libtandrel_channel.dylib; do
  [ -f "$fw/$f" ] || fail "ad hoc: $f was not copied"
done
[ -L "$fw/App.framework/Versions/Current" ] || fail "the framework's symbolic link was not kept"
[ "$(grep -c "^install_name_tool -delete_rpath /Users/dev/My Build/channel $fw/lib" "$log")" -eq 2 ] ||
  fail "the build-tree run path was not removed from both libraries"
grep -q 'delete_rpath @loader_path' "$log" && fail "a bundle-relative run path was removed"
signed=$(grep '^codesign' "$log")
[ "$(echo "$signed" | wc -l)" -eq 7 ] || fail "ad hoc: expected 7 signatures, got: $signed"
[ "$(echo "$signed" | tail -n1)" = "codesign --force --sign - $app" ] ||
  fail "ad hoc: the bundle is not signed last, or with other options: $signed"
echo "$signed" | grep -q -- '--options runtime\|--entitlements\|--timestamp' &&
  fail "ad hoc: hardened runtime, timestamp or entitlements used"

# A Dart change and a plug-in removed: the next run refreshes the copy and drops the stale one.
echo dart-2 >"$flutter/App.framework/Versions/A/App"
rm -rf "$flutter/window_manager.framework"
run "Developer ID Application: Jane Roe (AB12CD34EF)" || fail "Developer ID run failed"
[ "$(cat "$fw/App.framework/Versions/A/App")" = dart-2 ] || fail "App.framework was not refreshed"
[ -e "$fw/window_manager.framework" ] && fail "a plug-in the Flutter build dropped lingers"
signed=$(grep '^codesign' "$log")
[ "$(echo "$signed" | wc -l)" -eq 6 ] || fail "Developer ID: expected 6 signatures, got: $signed"
id="--force --sign Developer ID Application: Jane Roe (AB12CD34EF) --options runtime --timestamp"
[ "$(echo "$signed" | grep -c -F -- "codesign $id $fw/")" -eq 5 ] ||
  fail "Developer ID: nested code not signed with the identity and hardened runtime: $signed"
[ "$(echo "$signed" | tail -n1)" = "codesign $id --entitlements $here/../tandrel.entitlements $app" ] ||
  fail "Developer ID: the bundle is not signed last with the entitlements: $signed"

# No identity: nothing is signed.
run "" || fail "unsigned run failed"
grep -q '^codesign' "$log" && fail "signed although the identity is empty"

# A missing Flutter folder is a usage error.
PATH="$bin:$PATH" "$assemble" --app="$app" --flutter-frameworks="$scratch/none" >/dev/null 2>&1
[ $? -eq 2 ] || fail "missing Flutter folder: expected status 2"

echo "assemble-bundle tests: $failures failure(s)"
((failures == 0))
