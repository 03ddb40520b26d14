#!/usr/bin/env bash
# scripts/bundle-check on recorded otool outputs: each folder under bundle-check/ is one bundle
# as a Mac recorded it, with the exact report expected (expected.txt). Only "good" passes. Then
# the recording itself, on a stand-in bundle whose path has spaces, with stand-ins for otool and
# file that answer as macOS's do.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
check=$here/../bundle-check
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for dir in "$here"/bundle-check/*/; do
  name=$(basename "$dir")
  output=$("$check" --recorded "$dir"); status=$?
  want_status=1; [ "$name" = good ] && want_status=0
  [ "$status" -eq "$want_status" ] || fail "$name: exit status $status, expected $want_status"
  diff <(echo "$output") "$dir/expected.txt" >/dev/null || {
    fail "$name: report differs"; diff <(echo "$output") "$dir/expected.txt"; }
done

# A bad command line is status 2.
"$check" >/dev/null 2>&1; [ $? -eq 2 ] || fail "no arguments: expected status 2"
"$check" --recorded "$here/does-not-exist" >/dev/null 2>&1
[ $? -eq 2 ] || fail "missing record: expected status 2"

# --record on a stand-in bundle.
scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
app="$scratch/My App.app"
mkdir -p "$app/Contents/MacOS" "$app/Contents/Frameworks/Lib Dir"
echo binary >"$app/Contents/MacOS/tandrel"
echo binary >"$app/Contents/Frameworks/Lib Dir/libone.dylib"
echo text >"$app/Contents/Info.plist"
ln -s "Lib Dir/libone.dylib" "$app/Contents/Frameworks/liblink.dylib"
mkdir -p "$scratch/bin"
cat >"$scratch/bin/file" <<'STUB'
#!/usr/bin/env bash
case $2 in *.plist) echo "XML 1.0 document text" ;; *) echo "Mach-O 64-bit executable arm64" ;; esac
STUB
cat >"$scratch/bin/otool" <<'STUB'
#!/usr/bin/env bash
if [ "$1" = -L ]; then
  echo "$2:"
  printf '\t@rpath/Lib Dir/libone.dylib (compatibility version 1.0.0, current version 1.0.0)\n'
  printf '\t/opt/homebrew/lib/libfoo.dylib (compatibility version 1.0.0, current version 1.0.0)\n'
else
  printf 'Load command 12\n          cmd LC_RPATH\n      cmdsize 48\n         path @executable_path/../Frameworks (offset 12)\n'
  printf 'Load command 13\n          cmd LC_RPATH\n      cmdsize 48\n         path /Users/dev/My Projects/build (offset 12)\n'
fi
STUB
chmod +x "$scratch/bin/file" "$scratch/bin/otool"
output=$(PATH="$scratch/bin:$PATH" "$check" --record "$app" "$scratch/record"); status=$?
[ "$status" -eq 1 ] || fail "record: exit status $status, expected 1"
expected="outside: Contents/Frameworks/Lib Dir/libone.dylib has the run path /Users/dev/My Projects/build
outside: Contents/MacOS/tandrel has the run path /Users/dev/My Projects/build
outside: Contents/Frameworks/Lib Dir/libone.dylib loads /opt/homebrew/lib/libfoo.dylib
outside: Contents/MacOS/tandrel loads /opt/homebrew/lib/libfoo.dylib
bundle-check: 4 reference(s), 4 problem(s)"
[ "$output" = "$expected" ] || { fail "record: report differs"; echo "$output"; }
grep -qx 'Contents/Frameworks/liblink.dylib' "$scratch/record/files.txt" ||
  fail "record: the symbolic link is not among the files"

echo "bundle-check tests: $failures failure(s)"
((failures == 0))
