#!/usr/bin/env bash
# In the PC namespace of the demo lab (lab/examples/demo.lab) that ./run.sh --lab shows:
# the two units with addresses answer echo, ARP and FTP; the third has no address and
# keeps asking for one.
source "$(dirname "$0")/../support/lab-test.sh"
need_fixture_lab
expect_eq LABPC "$(hostname)" "the demo PC's host name"
ping -q -b -c 2 -W 1 -I eth0 255.255.255.255 >/dev/null 2>&1
sleep 1
for unit in NAS01 NAS02; do
    addr=$(lab unit-addr "$unit")
    [[ -n $addr ]] || fail "$unit has no address"
    ip -4 neigh show "$addr" | grep -q "lladdr $(lab unit-mac "$unit")" || fail "$unit is not in the neighbour table"
done
ftp_list() { curl -sS --max-time 10 -l -u korblenx:ferntide "ftp://$(lab unit-addr "$1")/$2/"; }
expect_eq nas_400001.dat "$(ftp_list NAS01 config)" "NAS01's configuration directory"
expect_eq efgh5678.fup "$(ftp_list NAS02 firmware)" "NAS02's firmware directory"
expect_eq "" "$(lab unit-addr NAS03)" "NAS03's address without a DHCP server"
lab unit-exec NAS03 -- pgrep -f "^busybox udhcpc" >/dev/null || fail "NAS03 runs no DHCP client"
echo "demo lab checked"
