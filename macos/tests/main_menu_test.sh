#!/usr/bin/env bash
# The main interface file cannot be compiled here (ibtool is Xcode's), so its connections are
# checked as text: the application delegate's two outlets point at the application menu and the
# Flutter window, every outlet names an IBOutlet that the delegate's classes declare, every
# connection's destination and target exist, and no id is used twice.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
xib=${1:-$root/macos/MainMenu.xib}
headers=("$root/compile-check/sdk/FlutterMacOS/FlutterMacOS.h" "$root/macos/AppDelegate.h")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The element (its opening tag) with the given id.
element() { grep -o "<[a-zA-Z]* [^>]*id=\"$1\"[^>]*>" "$xib" | head -n1; }

delegate=$(sed -n '/<customObject id="[^"]*" customClass="AppDelegate">/,/<\/customObject>/p' "$xib")
[ -n "$delegate" ] || fail "no AppDelegate object with connections"
outlet_dest() { echo "$delegate" | grep -o "<outlet property=\"$1\" destination=\"[^\"]*\"" |
                  sed 's/.*destination="\([^"]*\)"/\1/'; }

menu=$(outlet_dest applicationMenu)
[ -n "$menu" ] || fail "applicationMenu is not connected"
element "$menu" | grep -q '^<menu .*systemMenu="apple"' ||
  fail "applicationMenu does not point at the application menu"
window=$(outlet_dest mainFlutterWindow)
[ -n "$window" ] || fail "mainFlutterWindow is not connected"
element "$window" | grep -q '^<window .*customClass="MainFlutterWindow"' ||
  fail "mainFlutterWindow does not point at the Flutter window"

while IFS= read -r property; do
  grep -q "IBOutlet [A-Za-z]*\* *$property;" "${headers[@]}" ||
    fail "outlet $property is not an IBOutlet of the delegate's classes"
done < <(echo "$delegate" | grep -o '<outlet property="[^"]*"' | sed 's/.*="\(.*\)"/\1/')

while IFS= read -r ref; do
  case $ref in -*) continue ;; esac  # File's Owner, First Responder, Application
  [ -n "$(element "$ref")" ] || fail "a connection points at $ref, which does not exist"
done < <(grep -o '\(destination\|target\)="[^"]*"' "$xib" | sed 's/.*="\(.*\)"/\1/')

duplicates=$(grep -o ' id="[^"]*"' "$xib" | sort | uniq -d)
[ -z "$duplicates" ] || fail "ids used twice: $duplicates"

echo "MainMenu.xib tests: $failures failure(s)"
((failures == 0))
