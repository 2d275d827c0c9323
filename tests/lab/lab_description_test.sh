#!/usr/bin/env bash
# The lab's description reader: what it accepts, what it refuses and why, and its defaults.
# Needs no root and no network.
source "$(dirname "$0")/../support/lab-test.sh"
LAB_DIR=$(dirname "$LAB_SH")
source "$LAB_DIR/lib/common.sh"
source "$LAB_DIR/lib/addr.sh"
source "$LAB_DIR/lib/describe.sh"
# Every case is checked and counted; the test fails at the end.
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# --- descriptions: each case is a description (\n between lines), then "ok" or an
# --- expected piece of the error message ---
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
run_case() { # description, expectation
    local file=$tmp/case.lab err
    printf '%b\n' "$1" >"$file"
    err=$( (describe_load "$file") 2>&1)
    local rc=$?
    if [[ $2 == ok ]]; then
        ((rc == 0)) || fail "description should be accepted: '$1' -> $err"
    else
        ((rc != 0)) || fail "description should be refused ($2): '$1'"
        [[ $err == *"$2"* ]] || fail "description '$1': expected an error with '$2', got: $err"
    fi
}
U1="unit name=NAS01 mac=02:5a:e1:40:00:01"
while IFS='|' read -r desc expect; do
    [[ -n $desc ]] && run_case "$desc" "$expect"
done <<EOF
pc address=10.231.7.10\n$U1 address=10.231.7.21|ok
pc dhcp\ndhcpserver router=no serve=pc\n$U1 address=10.231.7.21|ok
segment 10.231.6.0/23\npc address=10.231.7.200\ncrowd count=300 mac=02:5a:e1:40:10:00 first=10.231.6.20 names=CR|ok
$U1 address=10.231.7.21|no pc line
pc address=10.231.7.10\nunit name=NAS01 mac=02:5a:e1:50:00:01 address=10.231.7.21|is not a unit MAC
pc address=10.231.7.10\nhost name=OTHER mac=02:5a:e1:41:00:01 address=10.231.7.21|is a unit MAC
pc address=10.231.7.10\n$U1 address=10.231.8.21|is not a host address
pc address=10.231.7.10\n$U1 address=10.231.7.10|already used by pc
pc address=10.231.7.10\n$U1 address=10.231.7.21\nunit name=NAS01 mac=02:5a:e1:40:00:02 address=10.231.7.22|used twice
pc address=10.231.7.10\n$U1 address=10.231.7.21\nunit name=NAS02 mac=02:5a:e1:40:00:01 address=10.231.7.22|already used by NAS01
pc address=10.231.7.10\n$U1 address=10.231.7.21 color=red|unknown setting 'color'
pc address=10.231.7.10\ndhcpserver range=10.231.7.5-10.231.7.30\n$U1 address=10.231.7.21|holds the fixed address of NAS01
segment 10.231.0.0/12\npc address=10.231.7.10|/16 to /29
pc address=10.231.7.10\ncrowd count=300 mac=02:5a:e1:40:10:00 first=10.231.7.20|is not a host address
pc address=10.231.7.10\n$U1 address=none link=pc\nhost name=OTHER mac=02:11:22:33:44:55 address=none link=pc|ok
pc address=10.231.7.10\n$U1 address=10.231.7.21 link=pc|link=pc needs address=none
EOF

# --- a segment that the host uses is refused (the host always has loopback) ---
printf 'segment 127.0.0.0/24\npc address=127.0.0.10\n' >"$tmp/host.lab"
describe_load "$tmp/host.lab" || fail "the loopback description was refused before the host check"
if check_segment_unused 2>/dev/null; then fail "a segment over the host's loopback was accepted"; fi

if ((failures)); then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "all description checks passed"
