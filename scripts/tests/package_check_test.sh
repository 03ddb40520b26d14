#!/usr/bin/env bash
# Each check of scripts/package-check must reject the fault it exists for. Every case copies the
# package, the example and the sources into a scratch folder, plants one fault there and expects
# the named check to fail with the expected problem; the unchanged copy must pass every check.
#
# Usage: scripts/tests/package_check_test.sh   (MACOS_CHECK_DIR as for scripts/macos-check)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
S=macos/tandrel/Sources/tandrel

copy() {  # DIR: the parts of the repository the checks read, links kept
  mkdir -p "$1/scripts"
  (cd "$root" && cp -a README.md pubspec.yaml cmake compile-check macos example channel text \
     platform runner velloc "$1/" && cp -a scripts/package-check scripts/package \
     scripts/macos-check scripts/mac-acceptance "$1/scripts/")
}

# check | file | text to replace ("+" creates the file, "-" deletes it) | replacement |
# a problem that must be reported
cases=$(cat <<CASES
sources|$S/core/channel/value_test.cc|+|#include "../../../../../../channel/value_test.cc"|compiles the test file channel/value_test.cc
sources|$S/core/platform/macos/pasteboard.mm|-||platform/macos/pasteboard.mm is compiled by CMake for the Mac but not by the package
sources|macos/tandrel.podspec|'tandrel/Sources/tandrel/**/*.{h,cc,mm}'|'../channel/*.cc'|leaves the pod's folder
sources|macos/tandrel.podspec|'c++20'|'c++17'|CLANG_CXX_LANGUAGE_STANDARD
sources|macos/tandrel.podspec|s.platform = :osx, '10.15'|s.platform = :osx, '10.14'|not osx 10.15
sources|macos/tandrel.podspec|'CoreFoundation', 'Foundation'|'CoreFoundation', 'Foundation', 'ServiceManagement'|ServiceManagement weakly
sources|macos/tandrel.podspec|'ApplicationServices', 'Carbon',|'ApplicationServices',|import Carbon, which the podspec does not link
sources|macos/tandrel/Package.swift|cxxLanguageStandard: .cxx20|cxxLanguageStandard: .cxx17|cxxLanguageStandard
sources|macos/tandrel.podspec|'GCC_PREPROCESSOR_DEFINITIONS[config=Release]'|'GCC_PREPROCESSOR_DEFINITIONS'|NDEBUG for Release
sources|macos/tandrel/Package.swift|.define("NDEBUG", .when(configuration: .release))|.define("NDEBUG")|release builds only
names|pubspec.yaml|pluginClass: TandrelPlugin|pluginClass: TandrelPlugins|declares TandrelPlugins
names|macos/tandrel/Package.swift|.library(name: "tandrel"|.library(name: "tandrel_plugin"|library product name
headers|$S/include/tandrel/TandrelPlugin.h|#import <FlutterMacOS/FlutterMacOS.h>|#import <FlutterMacOS/FlutterMacOS.h>\n#include "../../flutter_messenger_bridge.h"|does not compile as plain Objective-C
compile|$S/TandrelPlugin.mm|#include "channel/plugin_registrar.h"|#include "tools/tandrel_probe.h"|TandrelPlugin.mm does not preprocess with the package's include paths
compile|$S/include/channel/plugin_registrar.h|+|#pragma once|tandrel_plugin.cc reads other files through the package's include paths
flutter|pubspec.yaml|flutter: ">=3.41.0"|flutter: ">=3.24.0"|environment flutter '>=3.24.0' allows versions below 3.41
flutter|example/pubspec.yaml|sdk: ^3.11.0|sdk: ">=3.3.0 <4.0.0"|environment sdk '>=3.3.0 <4.0.0' allows versions below 3.11
flutter|README.md|enable-swift-package-manager: false|disable-swift-package-manager: true|README.md writes disable-swift-package-manager
flutter|scripts/mac-acceptance|enable-swift-package-manager: false|disable-swift-package-manager: true|mac-acceptance writes disable-swift-package-manager
flutter|README.md|flutter create --empty --platforms|flutter create --platforms|lacks --empty
flutter|example/test/home_page_test.dart|-||example/test/ holds no *_test.dart
example|example/macos/Runner/Release.entitlements|<false/>|<true/>|App Sandbox is not off
example|example/macos/Runner/MainFlutterWindow.swift|    self.orderOut(nil)\n  }\n\n|  }\n\n|hide the window
example|example/macos/Runner/AppDelegate.swift|    return false|    return true|does not keep running with no window
example|example/macos/Runner/Base.lproj/MainMenu.xib|visibleAtLaunch="NO"|visibleAtLaunch="YES"|visibleAtLaunch NO
example|example/macos/Runner/Base.lproj/MainMenu.xib|<outlet property="mainFlutterWindow" destination="QvC-M9-y7g"|<outlet property="mainFlutterWindow" destination="QvC-M9-y7h"|mainFlutterWindow does not lead to the window
CASES
)

failures=0
clean=$scratch/clean
copy "$clean"
for check in sources names headers example flutter; do  # compile: the package_compile test
  if ! out=$("$root/scripts/package-check" --root "$clean" "$check" 2>&1); then
    echo "FAILED  the unchanged copy fails '$check':"
    grep '^problem' <<<"$out" | head -n 5
    failures=$((failures + 1))
  fi
done

# One case: its verdict on standard output, a failure when the fault is not caught as expected.
run_case() {  # N CHECK FILE FROM TO EXPECTED
  local n=$1 check=$2 file=$3 from=$4 to=$5 expected=$6 out
  copy "$scratch/$n"
  local target=$scratch/$n/$file
  if [ "$from" = "+" ]; then
    mkdir -p "$(dirname "$target")" && printf '%s\n' "$to" >"$target"
  elif [ "$from" = "-" ]; then
    rm "$target"
  else
    # \n in a case stands for a line break.
    # shellcheck disable=SC2016
    FROM=$from TO=$to perl -0 -e '
      my ($f, $t) = ($ENV{FROM}, $ENV{TO}); s/\\n/\n/g for $f, $t;
      local $/; open(my $h, "<", $ARGV[0]) or die; my $s = <$h>; close $h;
      $s =~ s/\Q$f\E/$t/ or exit 1;
      open($h, ">", $ARGV[0]) or die; print $h $s; close $h' "$target" || {
      echo "STALE   case $n: '$from' no longer occurs in $file"
      return 1
    }
  fi
  if out=$("$root/scripts/package-check" --root "$scratch/$n" "$check" 2>&1); then
    echo "MISSED  case $n: $check passed with the fault in $file"
    return 1
  elif ! grep -F -- "$expected" <<<"$(grep '^problem' <<<"$out")" >/dev/null; then
    echo "OTHER   case $n: $check failed on $file, but without \"$expected\":"
    grep '^problem' <<<"$out" | head -n 3
    return 1
  fi
  echo "caught  case $n: $check: $(grep '^problem' <<<"$out" | grep -F -- "$expected" | head -n 1)"
  rm -rf "${scratch:?}/$n"
}

# Two cases at a time; their verdicts in order.
n=0
running=0
while IFS='|' read -r check file from to expected; do
  [ -n "$check" ] || continue
  n=$((n + 1))
  run_case "$n" "$check" "$file" "$from" "$to" "$expected" >"$scratch/$n.out" 2>&1 ||
    touch "$scratch/$n.failed" &
  running=$((running + 1))
  if ((running >= 2)); then wait -n; running=$((running - 1)); fi
done <<<"$cases"
wait
for ((i = 1; i <= n; i++)); do
  cat "$scratch/$i.out"
  [ ! -e "$scratch/$i.failed" ] || failures=$((failures + 1))
done

echo "package-check faults: $n case(s), $failures not as expected"
((failures == 0))
