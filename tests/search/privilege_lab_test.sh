#!/usr/bin/env bash
# The probe path for two accounts, the helper installed as a package does. An outsider gets
# no raw socket nor port 67; a member gets the helper's sessions, never its sockets.
#   privilege_lab_test.sh <probe_cli> <zelvo-sockhelper> <scripts-dir> [zelvo-setup-cli]
source "$(dirname "$0")/../support/lab-test.sh"
need_fixture_lab
[[ $# -eq 3 || $# -eq 4 ]] || fail "usage: privilege_lab_test.sh <probe_cli> <helper> <scripts> [cli]"
cli=$1 setup_cli=${4:-}
# Ids no account or group has, not in /etc/passwd: useradd's rename of it would take away
# the bind mounts through which the lab's units see their own.
free_id() { local id=$1; while getent passwd "$id" >/dev/null || getent group "$id" >/dev/null; do ((id++)); done; echo "$id"; }
outsider=$(free_id 61000)
member=$(free_id $((outsider + 1)))
dir=$(mktemp -d /tmp/zelvo-privilege-lab.XXXXXX)
trap 'sysctl -q -w net.ipv4.ping_group_range="1 0"; rm -rf "$dir"' EXIT
chmod 0755 "$dir" && mkdir -m 0755 "$dir/installed" "$dir/bare"
install -m 0755 "$cli" "$dir/installed/probe_cli" && install -m 0755 "$cli" "$dir/bare/probe_cli"
install -m 0755 "$2" "$dir/installed/zelvo-sockhelper"
"$3/install-helper.sh" "$dir/installed/zelvo-sockhelper" 2>/dev/null || fail "install-helper.sh refused"
group=$(getent group zelvo-setup | cut -d: -f3) && [[ -n $group ]] || fail "install-helper.sh left no group zelvo-setup"
log=$dir/manager.log && install -m 0666 /dev/null "$log"

as() { # account, command...: the member with the group, the outsider with none
    setpriv --reuid="$1" --regid="$1" "$([[ $1 == "$member" ]] && echo "--groups=$group" || echo --clear-groups)" "${@:2}"
}
probe() { as "$1" "$dir/installed/probe_cli" "$log" "${@:2}"; } # account, arguments...
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2" | head -n 1; } # key, text
expect() { # what, text, key=value...: each value of the text as given
    local pair
    for pair in "${@:3}"; do [[ $(field "${pair%%=*}" "$2") == "${pair#*=}" ]] || fail "$1: ${pair%%=*} in $2"; done
}
logged() { grep -q "$1" "${2:-$log}" || fail "not in the log: $1: $(cat "${2:-$log}")"; }
pc=$(lab pc-addr) nas41=$(lab unit-addr NAS41) nas42=$(lab unit-addr NAS42)
mac41=$(lab unit-mac NAS41 | tr : -)

# The helper refuses to serve a shell (that the outsider may not start it at all is the
# helper install test's mode check). From a shell: setpriv's own exec still carries root's
# capabilities, which would pass any permission check.
out=$(as "$member" sh -c '"$0"' "$dir/installed/zelvo-sockhelper" 2>&1)
[[ $? -eq 2 && $out == *"started by ZelvoSetup only"* ]] || fail "the member could not start the helper: $out"

# Ping sockets off (Debian 12's default): the outsider cannot send ICMP, and is told.
sysctl -q -w net.ipv4.ping_group_range="1 0"
expect "outsider's echo without a socket" "$(probe "$outsider" echo "$nas41" 2000)" echo=0
logged "^ ICMP echo cannot be sent: .*may not run the helper .*usermod -aG zelvo-setup USER, then log in again"
as "$outsider" "$dir/bare/probe_cli" "$log" echo "$nas41" 2000 >/dev/null
logged "^ ICMP echo cannot be sent: .*the helper .*zelvo-sockhelper could not be started"
expect "outsider's port 67" "$(probe "$outsider" dhcp-port)" dhcp=none problem=not-in-group

# Ping sockets for everybody (systemd's default): the tool's own request on the wire.
sysctl -q -w net.ipv4.ping_group_range="0 2147483647"
lab unit-exec NAS41 -- "$cli" "$dir/capture.log" capture 5000 >"$dir/captured" &
capture=$! && sleep 0.5
setpriv --reuid="$outsider" --regid="$outsider" --clear-groups "$dir/installed/probe_cli" "$log" echo "$nas41" 2000 >"$dir/echo" &
prober=$! && wait "$prober" "$capture"
expect "outsider's echo through a ping socket" "$(cat "$dir/echo")" echo=1
logged "^ ICMP echo through a ping socket"
request=$(field request "$(cat "$dir/captured")")
identifier=$(printf '%02x%02x' $((prober & 0xff)) $(((prober >> 8) & 0xff)))
[[ ${request:0:4} == 0800 && ${request:8:8} == "${identifier}0000" &&
    ${request:24} == $(printf '45%.0s' {1..32}) ]] || fail "the request changed on the wire: $request"
expect "outsider's broadcast" "$(probe "$outsider" broadcast "$pc")" broadcast=1

# The member, ping sockets off: the helper's raw socket. The late "host unreachable" of
# one empty address is no answer to the next.
sysctl -q -w net.ipv4.ping_group_range="1 0"
expect "member's echo" "$(probe "$member" echo "$nas41" 2000)" echo=1
logged "^ ICMP echo through zelvo-sockhelper, which keeps its raw socket"
for address in "$nas42" "${nas41%.*}.98" "${nas41%.*}.99"; do
    out=$(probe "$member" echo "$address" 2000)
    [[ $(field echo "$out") == 0 ]] && (($(field ms "$out") >= 1900)) || fail "EchoProbe of $address: $out"
done
forget_neighbours NAS41 NAS42 NAS43
expect "member's broadcast" "$(probe "$member" broadcast "$pc")" broadcast=1 && sleep 1
table=$(probe "$member" neigh)
grep -qx "$nas41 $mac41" <<<"$table" && ! grep -q "^$nas42 " <<<"$table" &&
    [[ $(tail -n 1 <<<"$table") == error=0 ]] || fail "neighbour table after the broadcast: $table"
sort -c -t . -k1,1n -k2,2n -k3,3n -k4,4n <(grep -v '^error=' <<<"$table") || fail "table not sorted: $table"
# The name chain past NetBIOS, which has no name for NAS43: the resolver.
expect "name of NAS43" "$(probe "$member" name "$(lab unit-addr NAS43)")" name=nas43.lab

# Set IP by the member through the helper's sessions (its search is the package install
# test's; what a port-67 session passes on, and that its socket stays in the helper, the
# helper's own test's).
[[ -n $setup_cli ]] || { echo "no zelvo-setup-cli: its Set IP is left out" && exit 0; }
install -m 0755 "$setup_cli" "$dir/installed/zelvo-setup-cli"
install -m 0666 "$(dirname "$setup_cli")/manager.ini" "$dir/installed/manager.ini"
install -m 0666 /dev/null "$dir/installed/manager.log"
mkdir -m 0777 "$dir/run"
setup() { as "$member" env XDG_RUNTIME_DIR="$dir/run" "$dir/installed/zelvo-setup-cli" "$@" </dev/null; }
out=$(setup assign --yes --json --mac "$(lab unit-mac NAS45)") || fail "the member's Set IP: $out"
lab wait-addr NAS45 20 && [[ $(lab unit-addr NAS45) == $(jq -r '.address' <<<"$out") ]] ||
    fail "NAS45 did not take the address of: $out"
logged "ICMP echo through zelvo-sockhelper, which keeps its raw socket" "$dir/installed/manager.log"
echo "privilege lab test passed"
