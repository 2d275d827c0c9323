#!/usr/bin/env bash
# The probe path and its sockets as two local accounts get them, in privilege.lab's PC
# namespace, the helper installed as a package installs it (root:zelvo-setup 0750, two
# capabilities). An account outside the group gets neither a raw socket nor UDP port 67;
# with ping sockets allowed it still finds a unit, its requests as the tool builds them,
# and without them the log says what is missing. A member gets sessions of the helper,
# never its sockets: the probes, the names, the ICMP it should see and no other, port 67,
# and the command line's Search and Set IP work through them.
#   privilege_lab_test.sh <probe_cli> <zelvo-sockhelper> <scripts-dir> [zelvo-setup-cli]
source "$(dirname "$0")/../support/lab-test.sh"
need_fixture_lab
[[ $# -eq 3 || $# -eq 4 ]] ||
    fail "usage: privilege_lab_test.sh <probe_cli> <zelvo-sockhelper> <scripts-dir> [zelvo-setup-cli]"
cli=$1 built_helper=$2 scripts=$3 setup_cli=${4:-}
# Two throwaway accounts: user ids that no account of this machine has. They are not added
# to /etc/passwd: the lab's units see their own passwd, shadow and group through bind
# mounts over /etc, and useradd's rename of those files would take the mounts away from
# every lab running at the time.
free_id() { # above: the first id above it that no account and no group has
    local id=$1
    while getent passwd "$id" >/dev/null || getent group "$id" >/dev/null; do id=$((id + 1)); done
    echo "$id"
}
outsider=$(free_id 61000)
member=$(free_id $((outsider + 1)))
dir=$(mktemp -d /tmp/zelvo-privilege-lab.XXXXXX)
cleanup() {
    sysctl -q -w net.ipv4.ping_group_range="1 0"
    rm -rf "$dir"
}
trap cleanup EXIT
chmod 0755 "$dir"
mkdir "$dir/installed"
chmod 0755 "$dir/installed"
install -m 0755 "$cli" "$dir/installed/probe_cli"
install -m 0755 "$built_helper" "$dir/installed/zelvo-sockhelper"
"$scripts/install-helper.sh" "$dir/installed/zelvo-sockhelper" 2>/dev/null ||
    fail "install-helper.sh refused the installed copy"
group=$(getent group zelvo-setup | cut -d: -f3)
[[ -n $group ]] || fail "install-helper.sh left no group zelvo-setup"
log=$dir/manager.log
install -m 0666 /dev/null "$log"

as() { # account, command...: the member with the group, the outsider with none
    local groups=--clear-groups
    [[ $1 == "$member" ]] && groups=--groups=$group
    setpriv --reuid="$1" --regid="$1" "$groups" "${@:2}"
}
probe() { # account, probe_cli arguments...
    as "$1" "$dir/installed/probe_cli" "$log" "${@:2}"
}
field() { # key, text: the value of key=value in text
    sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2" | head -n 1
}

pc=$(lab pc-addr)
nas41=$(lab unit-addr NAS41)
mac41=$(lab unit-mac NAS41 | tr : -)

# The helper itself: the member may start it (it then wants its channel), the outsider not.
# Started from a shell: setpriv's own exec still carries root's capabilities, which would
# pass any permission check.
start_helper() { # account
    as "$1" sh -c '"$0"' "$dir/installed/zelvo-sockhelper" 2>&1
}
out=$(start_helper "$member")
[[ $? -eq 2 && $out == *"started by ZelvoSetup only"* ]] || fail "the member could not start the helper: $out"
out=$(start_helper "$outsider")
[[ $? -eq 126 ]] || fail "the outsider could start the helper: $out"

# Ping sockets off (Debian 12's default): the outsider has no way to send ICMP, and is told.
sysctl -q -w net.ipv4.ping_group_range="1 0"
out=$(probe "$outsider" path)
[[ $(field path "$out") == none && $(field problem "$out") == not-in-group ]] ||
    fail "the outsider got an ICMP socket: $out"
out=$(probe "$outsider" echo "$nas41" 2000)
[[ $(field echo "$out") == 0 ]] || fail "the outsider's echo without any socket: $out"
grep -q "^ ICMP echo cannot be sent: .*may not run the helper .*usermod -aG zelvo-setup USER, then log in again" "$log" ||
    fail "the log does not say what is missing: $(cat "$log")"
mkdir -m 0755 "$dir/bare"
install -m 0755 "$cli" "$dir/bare/probe_cli"
as "$outsider" "$dir/bare/probe_cli" "$log" echo "$nas41" 2000 >/dev/null
grep -q "^ ICMP echo cannot be sent: .*the helper .*zelvo-sockhelper could not be started" "$log" ||
    fail "the log does not say that the helper is missing: $(cat "$log")"
out=$(probe "$outsider" dhcp-port 100)
[[ $(field dhcp "$out") == none && $(field problem "$out") == not-in-group ]] ||
    fail "the outsider got UDP port 67: $out"

# Ping sockets on for everybody (systemd's default): the outsider finds the unit, and the
# request on the wire is the tool's, identifier included.
sysctl -q -w net.ipv4.ping_group_range="0 2147483647"
out=$(probe "$outsider" path)
[[ $(field path "$out") == ping ]] || fail "no ping socket with ping sockets allowed: $out"
lab unit-exec NAS41 -- "$cli" "$dir/capture.log" capture 5000 >"$dir/captured" &
capture=$!
sleep 0.5
# A simple command, so that $! is the probe's own process id, the identifier's source.
setpriv --reuid="$outsider" --regid="$outsider" --clear-groups "$dir/installed/probe_cli" "$log" echo "$nas41" 2000 >"$dir/echo" &
prober=$!
wait "$prober"
wait "$capture"
out=$(cat "$dir/echo")
[[ $(field echo "$out") == 1 ]] || fail "the outsider's echo through a ping socket: $out"
grep -q "^ ICMP echo through a ping socket" "$log" || fail "the ping socket is not logged: $(cat "$log")"
request=$(field request "$(cat "$dir/captured")")
identifier=$(printf '%02x%02x' $((prober & 0xff)) $(((prober >> 8) & 0xff)))
[[ ${#request} -eq 88 ]] || fail "the request on the wire is not 44 bytes: $request"
[[ ${request:0:4} == 0800 && ${request:8:8} == "${identifier}0000" ]] ||
    fail "type, identifier ($identifier) or sequence changed on the wire: $request"
[[ ${request:24} == $(printf '45%.0s' {1..32}) ]] || fail "payload changed on the wire: $request"
# The broadcast, too, makes the units known.
forget_neighbours NAS41
out=$(probe "$outsider" broadcast "$pc")
[[ $(field broadcast "$out") == 1 ]] || fail "the outsider's broadcast through a ping socket: $out"
sleep 1
grep -qx "$nas41 $mac41" <<<"$(probe "$outsider" neigh)" || fail "NAS41 not known after the broadcast"

# The member, ping sockets off: the helper's raw socket finds the unit.
sysctl -q -w net.ipv4.ping_group_range="1 0"
out=$(probe "$member" path)
[[ $(field path "$out") == helper ]] || fail "the member did not get the helper's socket: $out"
out=$(probe "$member" echo "$nas41" 2000)
[[ $(field echo "$out") == 1 ]] || fail "the member's echo through the helper: $out"
grep -q "^ ICMP echo through zelvo-sockhelper, which keeps its raw socket" "$log" ||
    fail "the helper's socket is not logged: $(cat "$log")"
# A unit that ignores echo is waited for the whole 2000 ms; so is an empty address probed
# right after another, as the temporary-address reservation does: the kernel's "host
# unreachable" for the first comes inside the second's wait and is no answer to it.
for address in "$(lab unit-addr NAS42)" "${nas41%.*}.98" "${nas41%.*}.99"; do
    out=$(probe "$member" echo "$address" 2000)
    [[ $(field echo "$out") == 0 ]] && (($(field ms "$out") >= 1900)) || fail "EchoProbe of $address: $out"
done
forget_neighbours NAS41 NAS42 NAS43
out=$(probe "$member" broadcast "$pc")
[[ $(field broadcast "$out") == 1 ]] || fail "the member's broadcast: $out"
sleep 1
table=$(probe "$member" neigh)
grep -qx "$nas41 $mac41" <<<"$table" || fail "NAS41 not in the neighbour table after the broadcast: $table"
grep -q "^$(lab unit-addr NAS42) " <<<"$table" && fail "NAS42 ignores echo, yet it is in the table: $table"
[[ $(tail -n 1 <<<"$table") == error=0 ]] || fail "neighbour table read: $table"
sort -c -t . -k1,1n -k2,2n -k3,3n -k4,4n <(grep -v '^error=' <<<"$table") || fail "table not sorted: $table"
# Names: NetBIOS node status (nmbd registers its names first: give it a moment), then the
# whole chain for a unit that ignores echo and for one that only the lab's DNS names.
for _ in $(seq 30); do
    name=$(field netbios "$(probe "$member" netbios "$nas41" 1000)")
    [[ $name == NAS41 ]] && break
    sleep 1
done
[[ $name == NAS41 ]] || fail "NetBIOS node status of NAS41: $name"
for row in NAS42:NAS42 NAS43:nas43.lab; do
    out=$(probe "$member" name "$(lab unit-addr "${row%%:*}")")
    [[ $(field name "$out") == "${row#*:}" ]] || fail "name of ${row%%:*}: $out"
done

# What the member's ICMP session shows: its own echo's reply, but not another's echo
# reply, a timestamp request, an echo request or what a UDP datagram brings. The member
# holds no raw socket.
probe "$member" listen "$nas41" 3000 >"$dir/listened" &
listener=$!
sleep 1
lab unit-exec NAS41 -- "$cli" "$dir/send.log" send-icmp "$pc" 13 >/dev/null
lab unit-exec NAS41 -- "$cli" "$dir/send.log" send-icmp "$pc" 8 >/dev/null
lab unit-exec NAS41 -- "$cli" "$dir/send.log" send-icmp "$pc" 0 >/dev/null
lab unit-exec NAS41 -- bash -c "echo x >/dev/udp/$pc/9"
wait "$listener"
out=$(cat "$dir/listened")
[[ $(field path "$out") == helper ]] || fail "listen had no helper session: $out"
[[ $(field held "$out") == 0 ]] || fail "the member holds a raw socket: $out"
(($(grep -c "^got type=0 quoted=-1 from=$nas41\$" <<<"$out") == 1)) ||
    fail "the member's echo reply did not come through alone: $out"
grep "^got " <<<"$out" | grep -v "^got type=0 " && fail "other ICMP came through: $out"

# The member's port-67 session receives what reaches the port, with its card; the member
# holds no port-67 socket.
probe "$member" dhcp-port 3000 >"$dir/dhcp" &
responder=$!
sleep 1
lab unit-exec NAS41 -- bash -c "echo hello >/dev/udp/$pc/67"
wait "$responder"
out=$(cat "$dir/dhcp")
[[ $(field dhcp "$out") == open && $(field held "$out") == 0 ]] ||
    fail "the member's port-67 session: $out"
(($(field received "$out") > 0)) && [[ $(field interface "$out") == $(cat /sys/class/net/eth0/ifindex) ]] ||
    fail "nothing came through the member's port-67 session: $out"

# Search and Set IP of the command line, run by the member with ping sockets off.
if [[ -n $setup_cli ]]; then
    install -m 0755 "$setup_cli" "$dir/installed/zelvo-setup-cli"
    install -m 0666 "$(dirname "$setup_cli")/manager.ini" "$dir/installed/manager.ini"
    install -m 0666 /dev/null "$dir/installed/manager.log"
    mkdir -m 0777 "$dir/run"
    setup() { # zelvo-setup-cli arguments...
        as "$member" env XDG_RUNTIME_DIR="$dir/run" "$dir/installed/zelvo-setup-cli" "$@" </dev/null
    }
    forget_neighbours NAS41
    out=$(setup search --json) || fail "the member's search: $out"
    jq -e --arg a "$nas41" '.units | any(.address == $a)' <<<"$out" >/dev/null ||
        fail "the member's search did not find NAS41: $out"
    out=$(setup assign --yes --json --mac "$(lab unit-mac NAS45)") || fail "the member's Set IP: $out"
    address=$(jq -r '.address' <<<"$out")
    lab wait-addr NAS45 20 || fail "NAS45 did not take an address"
    [[ $(lab unit-addr NAS45) == "$address" ]] || fail "NAS45 took another address than $address"
    grep -q "ICMP echo through zelvo-sockhelper, which keeps its raw socket" "$dir/installed/manager.log" ||
        fail "the member's search did not go through the helper: $(cat "$dir/installed/manager.log")"
else
    echo "no zelvo-setup-cli: the command line's Search and Set IP are left out"
fi
echo "privilege lab test passed"
