#!/usr/bin/env bash
# Runs in the PC namespace of the probes' lab (probe.lab): the tool's probe path, started
# as an unprivileged user, gets its raw ICMP socket from zelvo-sockhelper and finds the
# units with EchoProbe and BroadcastEcho; the units' nmbd answer NetBIOS node status.
#   probe_lab_test.sh <probe_cli> <zelvo-sockhelper>
set -uo pipefail
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[[ -n ${ZELVO_LAB_PREFIX:-} && -x ${ZELVO_LAB:-} ]] || fail "ZELVO_LAB_PREFIX and ZELVO_LAB are not set"
[[ $# -eq 2 ]] || fail "usage: probe_lab_test.sh <probe_cli> <zelvo-sockhelper>"
lab() { "$ZELVO_LAB" "$1" "$ZELVO_LAB_PREFIX" "${@:2}"; }

# The tool's directory as an install would have it: the program and its helper side by
# side, the helper with its two file capabilities; a second copy without the helper.
dir=$(mktemp -d /tmp/zelvo-probe-lab.XXXXXX)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/installed" "$dir/bare"
chmod 0755 "$dir" "$dir/installed" "$dir/bare"
install -m 0755 "$1" "$dir/installed/probe_cli"
install -m 0755 "$1" "$dir/bare/probe_cli"
install -m 0755 "$2" "$dir/installed/zelvo-sockhelper"
setcap cap_net_raw,cap_net_bind_service=ep "$dir/installed/zelvo-sockhelper" ||
    fail "setcap on $dir/installed/zelvo-sockhelper"
log="$dir/manager.log"
install -m 0666 /dev/null "$log"

as_nobody() { # copy, arguments...
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$dir/$1/probe_cli" "$log" "${@:2}"
}
field() { # key, text: the value of key=value in text
    sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2"
}

pc=$(lab pc-addr)
nas41=$(lab unit-addr NAS41)
nas42=$(lab unit-addr NAS42)
nas43=$(lab unit-addr NAS43)
mac41=$(lab unit-mac NAS41 | tr : -)
mac42=$(lab unit-mac NAS42 | tr : -)

out=$(as_nobody installed access)
[[ $(field raw "$out") == helper ]] || fail "nobody got no session of the helper: $out"

out=$(as_nobody installed echo "$nas41" 2000)
[[ $(field echo "$out") == 1 ]] || fail "EchoProbe of NAS41 ($nas41): $out"
out=$(as_nobody installed echo "$nas42" 2000)
[[ $(field echo "$out") == 0 ]] || fail "EchoProbe of NAS42, which ignores echo: $out"
(($(field ms "$out") >= 1900)) || fail "EchoProbe gave up before its 2000 ms: $out"

# Two empty addresses probed back to back, as the temporary-address reservation does:
# the kernel's "host unreachable" for the first comes about 3 s after its request, inside
# the second probe's wait, and is no answer to it.
empty1=${nas41%.*}.98
empty2=${nas41%.*}.99
as_nobody installed echo "$empty1" 2000 >/dev/null
out=$(as_nobody installed echo "$empty2" 2000)
[[ $(field echo "$out") == 0 ]] || fail "EchoProbe of the empty $empty2 took the error about $empty1: $out"
(($(field ms "$out") >= 1900)) || fail "EchoProbe of $empty2 gave up before its 2000 ms: $out"

# The PC learns a unit's MAC from the ARP request the unit sends before it answers; the
# echoes above taught the units the PC's MAC, so they forget it again.
ip -4 neigh flush dev eth0
for unit in NAS41 NAS42 NAS43; do
    lab unit-exec "$unit" -- ip -4 neigh flush dev eth0
done
out=$(as_nobody installed broadcast "$pc")
[[ $(field broadcast "$out") == 1 ]] || fail "BroadcastEcho: $out"
sleep 1
table=$(as_nobody installed neigh)
grep -qx "$nas41 $mac41" <<<"$table" || fail "NAS41 not in the neighbour table after the broadcast: $table"
grep -q "^$nas42 $mac42" <<<"$table" && fail "NAS42 ignores echo, yet it is in the table: $table"
[[ $(tail -n 1 <<<"$table") == error=0 ]] || fail "neighbour table read: $table"
sort -c -t . -k1,1n -k2,2n -k3,3n -k4,4n <(grep -v '^error=' <<<"$table") ||
    fail "neighbour table not sorted by address: $table"
grep -q "cannot be sent" "$log" && fail "the log reports a missing privilege: $(cat "$log")"

# nmbd registers its names first; give it a moment.
name=
for _ in $(seq 30); do
    out=$(as_nobody installed netbios "$nas41" 1000)
    name=$(field netbios "$out")
    [[ $name == NAS41 ]] && break
    sleep 1
done
[[ $name == NAS41 ]] || fail "NetBIOS node status of NAS41: $out"
out=$(as_nobody installed name "$nas42")
[[ $(field name "$out") == NAS42 ]] || fail "name of NAS42 (no echo, but nmbd): $out"
out=$(as_nobody installed name "$nas43")
[[ $(field name "$out") == nas43.lab ]] || fail "name of NAS43 (no nmbd, the lab's DNS): $out"

# Without the helper, and ping sockets off (Debian's default): no ICMP at all, and the
# log says why in one line.
sysctl -q -w net.ipv4.ping_group_range="1 0"
out=$(as_nobody bare echo "$nas41" 2000)
[[ $(field echo "$out") == 0 ]] || fail "echo without any ICMP socket: $out"
grep -q "^ ICMP echo cannot be sent: no ping socket for this account.s groups (net.ipv4.ping_group_range is 1 0); no CAP_NET_RAW, and the helper .*zelvo-sockhelper could not be started" "$log" ||
    fail "no clear log line without the helper: $(cat "$log")"
# With ping sockets allowed for everybody, the fallback finds the unit.
sysctl -q -w net.ipv4.ping_group_range="0 2147483647"
out=$(as_nobody bare echo "$nas41" 2000)
sysctl -q -w net.ipv4.ping_group_range="1 0"
[[ $(field echo "$out") == 1 ]] || fail "echo through a ping socket: $out"
grep -q "^ ICMP echo through a ping socket" "$log" || fail "the ping-socket fallback is not logged: $(cat "$log")"
echo "probe lab test passed"
