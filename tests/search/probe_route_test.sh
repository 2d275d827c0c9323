#!/usr/bin/env bash
# The broadcast echo leaves through the card that holds the PC's address, whatever the
# routing table says: with the default route on a second card, and with no default
# route at all. Builds its own namespaces (a PC with two cards, a unit on the first, a
# router on the second) and removes them; needs root.
#   probe_route_test.sh <probe_cli> <zelvo-sockhelper>
set -uo pipefail
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: network namespaces need root"
    exit 77
fi
[[ $# -eq 2 ]] || fail "usage: probe_route_test.sh <probe_cli> <zelvo-sockhelper>"
cli=$1 helper=$2

tag=zprb$$
pc=$tag-pc unit=$tag-unit router=$tag-rt
dir=$(mktemp -d /tmp/zelvo-probe-route.XXXXXX)
cleanup() {
    for ns in "$pc" "$unit" "$router"; do ip netns del "$ns" 2>/dev/null; done
    rm -rf "$dir"
}
trap cleanup EXIT

for ns in "$pc" "$unit" "$router"; do
    ip netns add "$ns" || fail "ip netns add $ns"
    ip -n "$ns" link set lo up
done
ip link add "${tag}a" type veth peer name "${tag}b" || fail "veth"
ip link add "${tag}c" type veth peer name "${tag}d" || fail "veth"
ip link set "${tag}a" netns "$pc" name eth0
ip link set "${tag}b" netns "$unit" name eth0
ip link set "${tag}c" netns "$pc" name eth1
ip link set "${tag}d" netns "$router" name eth0
ip -n "$unit" link set eth0 address 02:5a:e1:40:00:51
ip -n "$pc" addr add 10.231.50.10/24 dev eth0
ip -n "$pc" addr add 10.231.51.10/24 dev eth1
ip -n "$unit" addr add 10.231.50.21/24 dev eth0
ip -n "$router" addr add 10.231.51.1/24 dev eth0
ip -n "$pc" link set eth0 up
ip -n "$pc" link set eth1 up
ip -n "$unit" link set eth0 up
ip -n "$router" link set eth0 up
for ns in "$unit" "$router"; do
    ip netns exec "$ns" sysctl -q -w net.ipv4.icmp_echo_ignore_broadcasts=0
done

chmod 0755 "$dir"
install -m 0755 "$cli" "$dir/probe_cli"
install -m 0755 "$helper" "$dir/zelvo-sockhelper"
setcap cap_net_raw,cap_net_bind_service=ep "$dir/zelvo-sockhelper" || fail "setcap"
install -m 0666 /dev/null "$dir/manager.log"

broadcast() { # outgoing address: the CLI's output
    ip netns exec "$pc" setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$dir/probe_cli" "$dir/manager.log" broadcast "$1"
}
echos_at_router() {
    ip netns exec "$router" awk '/^Icmp:/ { if (!n) { for (i = 1; i <= NF; i++) if ($i == "InEchos") c = i; n = 1 } else print $c }' /proc/net/snmp
}
unit_known() {
    ip -n "$pc" -4 neigh show 10.231.50.21 | grep -q "lladdr 02:5a:e1:40:00:51"
}
forget_each_other() {
    # The PC learns a unit's MAC from the ARP request the unit sends before it answers;
    # a unit that still knows the PC answers without one.
    ip -n "$pc" neigh flush all
    ip -n "$unit" neigh flush all
    ip -n "$router" neigh flush all
}
check_through_first_card() { # what
    forget_each_other
    local before out
    before=$(echos_at_router)
    out=$(broadcast 10.231.50.10)
    [[ $out == "broadcast=1 "* ]] || fail "$1: $out"
    sleep 1
    unit_known || fail "$1: the unit did not answer the broadcast"
    [[ $(echos_at_router) == "$before" ]] || fail "$1: the broadcast also left through the second card"
}

ip -n "$pc" route add default via 10.231.51.1 dev eth1
check_through_first_card "default route on the second card"
# What a plain send would do: follow the default route to the wrong card.
forget_each_other
before=$(echos_at_router)
broadcast 0.0.0.0 >/dev/null
sleep 1
(($(echos_at_router) > before)) || fail "check is void: a routed broadcast did not reach the router"
unit_known && fail "check is void: a routed broadcast reached the unit"

ip -n "$pc" route del default
check_through_first_card "no default route"
out=$(broadcast 0.0.0.0)
[[ $out == "broadcast=0 "* ]] || fail "check is void: a routed broadcast without a default route gave $out"
echo "probe route test passed"
