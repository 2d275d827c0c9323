#!/usr/bin/env bash
# The start-up survey in the lab's PC namespace: what it reports and manager.log, line by line.
#   host_lab_test.sh <zelvo_host_probe>
source "$(dirname "$0")/../support/lab-test.sh"
need_root
probe=$1 work=$(mktemp -d)
trap 'rm -rf "$work"; lab_down' EXIT
PROBE_PREFIX=() # before the probe inside the namespace

run_case() { # NAME DHCP GATEWAY(empty: none) [SECOND ADDRESS]
    local dir="$work/$1" pc release pretty
    mkdir -p "$dir"
    out=$(lab_exec "${PROBE_PREFIX[@]}" "$probe" "$dir") || fail "$1: the probe failed"
    pc=$("$LAB_SH" pc-addr "$LAB_PREFIX")
    expect_eq "0 $2 255.255.255.0 $pc LABPC|$pc|02-00-00-00-00-10|Your Host PC 0" "$out" "$1: survey"
    release=$(uname -r)
    pretty=$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-Linux}")
    [[ $release =~ ^([0-9]+)\.([0-9]+)(\.([0-9]+))? ]] || fail "odd kernel release $release"
    # shellcheck disable=SC2086
    pad() { local IFS=. && printf '%03d.%03d.%03d.%03d' $1; }
    expected=$(
        printf 'ZelvoSetup.exe Ver : 1.00-0.\r\n\r\n>>> Start to retrieve your PC and enviroment\r\n'
        printf ' OS\t\t: %s %d.%d (Build %d %s)\r\n' "$(uname -s)" "${BASH_REMATCH[1]}" \
            "${BASH_REMATCH[2]}" "${BASH_REMATCH[4]:-0}" "$pretty"
        printf ' IP Addr[1]\t: %s\r\n' "$(pad "$pc")"
        [[ -n ${4:-} ]] && printf ' IP Addr[2]\t: %s\r\n' "$(pad "$4")"
        printf ' MAC Addr[1]\t: 02.00.00.00.00.10\r\n   buffer size=256\r\n'
        [[ -n $3 ]] && printf ' Gateway Addr\t: %s.\r\n' "$3"
        printf '<<< Close to retrieve your PC and enviroment\r\n'
    )
    diff <(printf '%s\n' "$expected" | cat -A) <(cat -A "$dir/manager.log") >&2 ||
        fail "$1: manager.log differs from the expected lines"
    echo "ok: $1"
}

lab_up <<<$'pc address=10.231.7.10 gateway=10.231.7.1 name=labpc\nunit name=NAS03 mac=02:5a:e1:40:00:03 address=none noname noftp noweb'
pgrep -f 'udhcpc .*-i eth0' >/dev/null || fail "the waiting unit runs no DHCP client"
run_case fixed 0 ""
lab_up <<<$'pc dhcp name=labpc\ndhcpserver router=yes'
run_case dhcp-router 1 10.231.7.1
lab_up <<<$'pc dhcp name=labpc\ndhcpserver router=no'
run_case dhcp-no-router 0 ""

# tun0 holds the default route, eth0 a fixed address and a gateway of lower preference:
# the PC is eth0. A DHCP client for eth0 with no server in reach is no lease.
lab_up <<<'pc address=10.231.7.10 name=labpc'
lab_exec ip tuntap add dev tun0 mode tun && lab_exec ip addr add 10.8.0.6/24 dev tun0 &&
    lab_exec ip link set tun0 up && lab_exec ip route add default dev tun0 metric 0 &&
    lab_exec ip route add default via 10.231.7.1 dev eth0 metric 100 || fail "no tunnel"
# lab.sh execs its way into the namespace: $! is the client itself.
"$LAB_SH" exec "$LAB_PREFIX" -- busybox udhcpc -f -i eth0 -s /bin/true -T 1 -A 1 >/dev/null 2>&1 &
client=$!
for _ in $(seq 50); do grep -q udhcpc "/proc/$client/cmdline" 2>/dev/null && break || sleep 0.1; done
grep -q udhcpc "/proc/$client/cmdline" || fail "the DHCP client did not start"
run_case tunnel-and-retrying-client 0 "" 10.8.0.6
kill "$client" && wait "$client" 2>/dev/null
# A networkd lease for eth0's index belongs to the first namespace's link of that index.
PROBE_PREFIX=(unshare -m sh -c 'mount -t tmpfs tmpfs /run && mkdir -p /run/systemd/netif/leases &&
    printf "ADDRESS=10.231.7.10\nNETMASK=255.255.255.0\nROUTER=10.231.7.1\n" > "/run/systemd/netif/leases/$0" &&
    exec "$@"' "$(lab_exec cat /sys/class/net/eth0/ifindex)")
run_case lease-of-another-namespace 0 "" 10.8.0.6
