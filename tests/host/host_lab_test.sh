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

# run_case NAME EXPECTED_DHCP GATEWAY_LINE(empty: none) [MORE_ADDRESS]: runs the probe in
# the PC's namespace of the lab that is up and checks everything it reports. MORE_ADDRESS
# is a second address the log lists after the PC's; PROBE_PREFIX (an array, may be
# empty) goes before the probe's command inside the namespace.
PROBE_PREFIX=()
run_case() {
    local name=$1 expected_dhcp=$2 gateway=$3 more=${4:-} dir="$work/$1" pc expected actual
    mkdir -p "$dir"
    actual=$(lab_exec "${PROBE_PREFIX[@]}" "$probe" "$dir") || lab_fail "$name: the probe failed"
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
        [[ -n $more ]] && printf ' IP Addr[2]\t: %s\r\n' "$(zero_pad "$more")"
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
lab_down

# A PC on a full-tunnel VPN: tun0 (no hardware address) holds the default route, eth0 its
# fixed address and a gateway of lower preference. The PC is eth0: its address and MAC.
# Beside it a DHCP client for eth0 keeps asking with no server in reach: no lease.
lab_up <<'LAB'
pc address=10.231.7.10 name=labpc
LAB
lab_exec ip tuntap add dev tun0 mode tun || lab_fail "no tun device"
lab_exec ip addr add 10.8.0.6/24 dev tun0
lab_exec ip link set tun0 up
lab_exec ip route add default dev tun0 metric 0
lab_exec ip route add default via 10.231.7.1 dev eth0 metric 100
# lab.sh execs its way into the namespace: $! is the client itself.
"$LAB_SH" exec "$LAB_PREFIX" -- busybox udhcpc -f -i eth0 -s /bin/true -T 1 -A 1 >/dev/null 2>&1 &
client=$!
for _ in $(seq 50); do
    grep -q udhcpc "/proc/$client/cmdline" 2>/dev/null && break
    sleep 0.1
done
grep -q udhcpc "/proc/$client/cmdline" || lab_fail "the DHCP client did not start"
run_case tunnel-and-retrying-client 0 "" 10.8.0.6
kill "$client"
wait "$client" 2>/dev/null

# The machine's own networkd lease for the link of eth0's index, in a /run of the
# probe's own: it describes the first namespace's link of that index, not this eth0.
index=$(lab_exec cat /sys/class/net/eth0/ifindex)
PROBE_PREFIX=(unshare -m sh -c 'mount -t tmpfs tmpfs /run &&
    mkdir -p /run/systemd/netif/leases &&
    printf "ADDRESS=10.231.7.10\nNETMASK=255.255.255.0\nROUTER=10.231.7.1\n" > "/run/systemd/netif/leases/$0" &&
    exec "$@"' "$index")
run_case lease-of-another-namespace 0 "" 10.8.0.6
PROBE_PREFIX=()
