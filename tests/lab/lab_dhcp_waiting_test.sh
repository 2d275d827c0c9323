#!/usr/bin/env bash
# A unit without an address keeps broadcasting DISCOVERs while nobody answers it, and
# takes the address that any DHCP server on the segment offers. The lab's dnsmasq serves
# only the PC here (no router option); busybox udhcpd in the PC stands in for the tool.
set -uo pipefail
source "$(dirname "$0")/../../lab/testlib.sh"
lab_require_root

lab_up <<'EOF'
pc dhcp
dhcpserver router=no serve=pc
unit name=WAIT mac=02:5a:e1:40:00:32 address=none
host name=ASKER mac=02:11:22:33:44:32 address=none
unit name=CABLED mac=02:5a:e1:40:00:33 address=none link=pc
EOF
work=$(mktemp -d)
trap 'rm -rf "$work"; lab_down' EXIT

# The PC's lease without a router option: an address, but no default route.
[[ -n $(lab_exec ip -4 addr show dev eth0 | grep 'inet 10\.231\.7\.1[0-9][0-9]/24') ]] ||
    lab_fail "the PC has no address from the lab's DHCP server"
lab_expect_eq "" "$(lab_exec ip -4 route show default)" "the PC's default route without a router option"

# The server ignores the unit but logs each DISCOVER it hears.
dhcp_log=/run/zelvo-lab/$LAB_PREFIX/rt/dnsmasq.log
discovers() { grep -c 'DHCPDISCOVER(eth0) 02:5a:e1:40:00:32 ignored' "$dhcp_log"; }
first=$(discovers)
sleep 7
later=$(discovers)
((later - first >= 2)) || lab_fail "the waiting unit sent $((later - first)) DISCOVERs in 7 s"
lab_expect_eq "" "$(lab_unit_addr WAIT)" "address of a unit that nobody answers"
# A foreign host without an address asks as well.
asks=$(grep -c 'DHCPDISCOVER(eth0) 02:11:22:33:44:32 ignored' "$dhcp_log")
((asks >= 2)) || lab_fail "the waiting foreign host sent $asks DISCOVERs"
# A unit cabled to the PC's second card is not on the segment: the server never hears it,
# and its link's other end is the PC's eth1.
grep -q '02:5a:e1:40:00:33' "$dhcp_log" && lab_fail "the server heard the unit cabled to the PC"
peer=$(lab_unit_exec CABLED ip -o link show eth0 | sed -n 's/^[0-9]*: eth0@if\([0-9]*\):.*/\1/p')
lab_expect_eq "$(lab_exec cat /sys/class/net/eth1/ifindex)" "$peer" "the cabled unit's peer card in the PC"
lab_expect_eq "" "$(lab_exec ip -4 -o addr show dev eth1)" "addresses of the PC's second card"
lab_exec ping -q -b -c 1 -W 1 -I eth0 255.255.255.255 >/dev/null 2>&1
lab_exec ip -4 neigh | grep -q 02:5a:e1:40:00:32 && lab_fail "a unit without an address answered the broadcast echo"

# Another server on the segment answers: the unit takes its offer.
cat >"$work/udhcpd.conf" <<EOF
start 10.231.7.50
end 10.231.7.60
interface eth0
lease_file $work/udhcpd.leases
max_leases 10
option subnet 255.255.255.0
option lease 300
EOF
touch "$work/udhcpd.leases"
lab_exec busybox udhcpd -f "$work/udhcpd.conf" >"$work/udhcpd.log" 2>&1 &
lab_wait_addr WAIT 40 || lab_fail "the unit did not take the address offered by udhcpd: $(cat "$work/udhcpd.log")"
addr=$(lab_unit_addr WAIT)
[[ $addr =~ ^10\.231\.7\.(5[0-9]|60)$ ]] || lab_fail "the unit took '$addr', not an address of udhcpd's pool"
lft=$(lab_unit_exec WAIT ip -4 addr show dev eth0 | awk '/valid_lft/ { print $2; exit }')
[[ $lft =~ ^([0-9]+)sec$ ]] && ((BASH_REMATCH[1] <= 300)) || lab_fail "the unit's lifetime '$lft' is not udhcpd's 300 s lease"
lab_expect_eq "" "$(lab_unit_exec WAIT ip -4 route show default)" "the unit's default route without a router option"
lab_exec ping -q -c 1 -W 2 "$addr" >/dev/null || lab_fail "the unit does not answer echo at $addr"
lab_exec curl -sS --max-time 10 -u korblenx:ferntide "ftp://$addr/config/" -o /dev/null ||
    lab_fail "no FTP server on the unit after its lease"

echo "DHCP waiting-unit test passed"
