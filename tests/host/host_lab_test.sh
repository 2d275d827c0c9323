#!/usr/bin/env bash
# The start-up survey in the lab's PC namespace, on three PCs: a fixed address with a
# static gateway (and a unit elsewhere on the segment whose DHCP client keeps asking),
# an address from a DHCP server that gives a router, and one from a server that gives
# none. Each time manager.log is compared line by line and DhcpServerPresent, the mask
# and row 0 are checked.
#   host_lab_test.sh <zelvo_host_probe>
set -uo pipefail
source "$(dirname "$0")/../../lab/testlib.sh"
lab_require_root

probe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"; lab_down' EXIT

# The OS line as the kernel and os-release of this machine give it (the namespaces
# share the kernel and the file system).
os_line() {
    local release pretty major minor patch
    release=$(uname -r)
    pretty=$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-Linux}")
    [[ $release =~ ^([0-9]+)\.([0-9]+)(\.([0-9]+))? ]] || lab_fail "odd kernel release $release"
    major=${BASH_REMATCH[1]} minor=${BASH_REMATCH[2]} patch=${BASH_REMATCH[4]:-0}
    printf ' OS\t\t: %s %d.%d (Build %d %s)\r\n' "$(uname -s)" "$major" "$minor" "$patch" "$pretty"
}

zero_pad() { # dotted address -> 010.231.007.010
    local IFS=.
    # shellcheck disable=SC2086
    printf '%03d.%03d.%03d.%03d' $1
}

# run_case NAME EXPECTED_DHCP GATEWAY_LINE(empty: none): runs the probe in the PC's
# namespace of the lab that is up and checks everything it reports.
run_case() {
    local name=$1 expected_dhcp=$2 gateway=$3 dir="$work/$1" pc expected actual
    mkdir -p "$dir"
    actual=$(lab_exec "$probe" "$dir") || lab_fail "$name: the probe failed"
    pc=$("$LAB_SH" pc-addr "$LAB_PREFIX")
    [[ -n $pc ]] || lab_fail "$name: the PC has no address"

    value() { sed -n "s/^$1=//p" <<<"$actual"; }
    lab_expect_eq 0 "$(value result)" "$name: survey result"
    lab_expect_eq "$expected_dhcp" "$(value DhcpServerPresent)" "$name: DhcpServerPresent"
    lab_expect_eq 255.255.255.0 "$(value mask)" "$name: subnet mask of eth0"
    lab_expect_eq "$pc" "$(value pcAddress)" "$name: the PC's address"
    lab_expect_eq "LABPC|$pc|02-00-00-00-00-10|Your Host PC" "$(value row0)" "$name: row 0"
    lab_expect_eq 0 "$(value boxes)" "$name: message boxes shown"

    expected=$(
        printf 'ZelvoSetup.exe Ver : 1.00-0.\r\n'
        printf '\r\n>>> Start to retrieve your PC and enviroment\r\n'
        os_line
        printf ' IP Addr[1]\t: %s\r\n' "$(zero_pad "$pc")"
        printf ' MAC Addr[1]\t: 02.00.00.00.00.10\r\n'
        printf '   buffer size=256\r\n'
        [[ -n $gateway ]] && printf ' Gateway Addr\t: %s.\r\n' "$gateway"
        printf '<<< Close to retrieve your PC and enviroment\r\n'
    )
    actual=$(cat "$dir/manager.log")
    if [[ $expected != "$actual" ]]; then
        diff <(printf '%s\n' "$expected" | cat -A) <(printf '%s\n' "$actual" | cat -A) >&2
        lab_fail "$name: manager.log differs from the expected lines"
    fi
    echo "ok: $name"
}

lab_up <<'LAB'
pc address=10.231.7.10 gateway=10.231.7.1 name=labpc
unit name=NAS03 mac=02:5a:e1:40:00:03 address=none noname noftp noweb
LAB
# The waiting unit's udhcpc runs in its own namespace: it configures no link of the PC.
pgrep -f 'udhcpc .*-i eth0' >/dev/null || lab_fail "the waiting unit runs no DHCP client"
run_case fixed 0 ""
lab_down

lab_up <<'LAB'
pc dhcp name=labpc
dhcpserver router=yes
LAB
run_case dhcp-router 1 10.231.7.1
lab_down

lab_up <<'LAB'
pc dhcp name=labpc
dhcpserver router=no
LAB
run_case dhcp-no-router 0 ""
