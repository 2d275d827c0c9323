#!/usr/bin/env bash
# The layer check against small planted trees: each climbing include is named with its
# file and line, and a tree that only includes downwards passes.
source "$(dirname "$0")/../support/lab-test.sh"
check="$1" dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

plant() { mkdir -p "$dir/src/$(dirname "$1")" && printf '%s\n' "${@:2}" >"$dir/src/$1"; } # file, lines

plant platform/Clock.h '#pragma once' '#include <cstdint>'
plant core/Log.h '#pragma once' '#include "platform/Clock.h"'
plant search/Probe.cpp '#include "search/Probe.h"' '#include "core/Log.h"'
plant app/Main.cpp '#include "search/Probe.h"' '#include "ui/Bar.h"'
bash "$check" "$dir/src" >/dev/null 2>&1 || fail "a downward-only tree was refused"

cases=(
    "platform/Bad.cpp|core/Log.h|platform/Bad.cpp:2: 'platform' may not include 'core'"
    "core/Bad.h|app/MainDialog.h|core/Bad.h:2: 'core' may not include 'app'"
    "search/Bad.cpp|host/HostInfo.h|search/Bad.cpp:2: 'search' may not include 'host'"
    "dhcp/Bad.cpp|ui/WaitWithProgress.h|dhcp/Bad.cpp:2: 'dhcp' may not include 'ui'"
)
for c in "${cases[@]}"; do
    IFS='|' read -r file target expected <<<"$c"
    plant "$file" '// planted' "#include \"$target\""
    out=$(bash "$check" "$dir/src" 2>&1) && fail "$file including $target passed"
    grep -qF "$expected" <<<"$out" || fail "$file: expected '$expected' in: $out"
    rm "$dir/src/$file"
done

plant newlayer/X.cpp '#include "core/Log.h"'
out=$(bash "$check" "$dir/src" 2>&1) && fail "a folder without a layer passed"
grep -qF "newlayer/X.cpp: folder 'newlayer' has no layer" <<<"$out" || fail "unnamed folder: $out"
echo "layer check: all planted cases behave"
