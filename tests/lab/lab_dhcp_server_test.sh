#!/usr/bin/env bash
# The lab's DHCP server (dnsmasq with a router option) gives the PC and a waiting unit
# their addresses; the lab's DHCP script marks them as DHCP-given (finite lifetime, default
# route with proto dhcp), and the unit starts its servers on the new address.
set -uo pipefail
source "$(dirname "$0")/../../lab/testlib.sh"
lab_require_root

lab_up <<'EOF'
pc dhcp name=DHCPPC
dhcpserver router=yes lease=600
unit name=WAIT mac=02:5a:e1:40:00:31 address=none
EOF

in_range() { # address: inside the server's default range 10.231.7.100-199
    [[ $1 =~ ^10\.231\.7\.1[0-9][0-9]$ ]]
}

# Prints "<address>/<len> <valid_lft>" of eth0, e.g. "10.231.7.150/24 598sec".
lease_of() { # command prefix...
    "$@" ip -4 addr show dev eth0 | awk '/inet / { a = $2 } /valid_lft/ { print a, $2; exit }'
}

check_dhcp_given() { # who, "<address>/<len> <valid_lft>", default route line
    local who=$1 addr=${2%% *} lft=${2##* } route=$3
    in_range "${addr%/*}" || lab_fail "$who: address '$addr' is not from the lab's DHCP range"
    lab_expect_eq 24 "${addr#*/}" "$who: prefix length from the server's mask"
    [[ $lft =~ ^([0-9]+)sec$ ]] && ((BASH_REMATCH[1] > 0 && BASH_REMATCH[1] <= 600)) ||
        lab_fail "$who: valid_lft '$lft' is not the 600 s lease"
    [[ $route == "default via 10.231.7.1 dev eth0 proto dhcp"* ]] ||
        lab_fail "$who: default route is '$route', not via the router with proto dhcp"
}

pc_lease=$(lease_of lab_exec)
check_dhcp_given PC "$pc_lease" "$(lab_exec ip -4 route show default)"
lab_expect_eq DHCPPC "$(lab_exec hostname)" "the PC's host name"

lab_wait_addr WAIT 40 || lab_fail "the waiting unit got no address from the lab's DHCP server"
unit_lease=$(lease_of lab_unit_exec WAIT)
check_dhcp_given WAIT "$unit_lease" "$(lab_unit_exec WAIT ip -4 route show default)"
addr=$(lab_unit_addr WAIT)
lab_expect_eq "${unit_lease%%/*}" "$addr" "unit-addr of WAIT"
[[ $addr != "${pc_lease%%/*}" ]] || lab_fail "the PC and the unit got the same address"

# The servers came up on the address the unit was given.
name=$(lab_exec timeout 3 nmblookup -A "$addr" | awk '$2 == "<00>" && $0 !~ /<GROUP>/ { print $1; exit }')
lab_expect_eq WAIT "$name" "NetBIOS name of the unit after its lease"
lab_exec curl -sS --max-time 10 -u korblenx:ferntide "ftp://$addr/firmware/" -o /dev/null ||
    lab_fail "no FTP server on the unit after its lease"
lab_expect_eq 200 "$(lab_exec curl -sS -o /dev/null -w '%{http_code}' "http://$addr/index.html")" "web page after the lease"

# Neither DHCP client wrote a resolver file: the namespaces keep the lab's own.
lab_expect_eq "# this lab has no DNS server" "$(lab_exec cat /etc/resolv.conf)" "the PC's resolv.conf"
lab_expect_eq "# simulated unit: no DNS server" "$(lab_unit_exec WAIT cat /etc/resolv.conf)" "the unit's resolv.conf"

echo "DHCP server test passed"
