#!/usr/bin/env bash
# Runs inside the PC namespace of the demo lab (lab/examples/demo.lab), built by a ctest
# fixture: what a newcomer's ./run.sh --lab shows must be there.
#   lab_demo_probe.sh named     the two units with addresses answer echo, ARP, FTP
#   lab_demo_probe.sh waiting   the third unit has no address and keeps asking for one
set -uo pipefail
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[[ -n ${ZELVO_LAB_PREFIX:-} && -x ${ZELVO_LAB:-} ]] || fail "ZELVO_LAB_PREFIX and ZELVO_LAB are not set"
[[ $(hostname) == LABPC ]] || fail "not in the demo's PC namespace (host name $(hostname))"
lab() { "$ZELVO_LAB" "$1" "$ZELVO_LAB_PREFIX" "${@:2}"; }

case ${1:-} in
named)
    ping -q -b -c 2 -W 1 -I eth0 255.255.255.255 >/dev/null 2>&1
    sleep 1
    for unit in NAS01 NAS02; do
        addr=$(lab unit-addr "$unit")
        mac=$(lab unit-mac "$unit")
        [[ -n $addr ]] || fail "$unit has no address"
        ip -4 neigh show "$addr" | grep -q "lladdr $mac" || fail "$unit ($addr, $mac) is not in the neighbour table"
    done
    list=$(curl -sS --max-time 10 -l -u korblenx:ferntide "ftp://$(lab unit-addr NAS01)/config/") ||
        fail "FTP listing of NAS01 failed"
    [[ $list == nas_400001.dat ]] || fail "NAS01's configuration directory holds '$list'"
    list=$(curl -sS --max-time 10 -l -u korblenx:ferntide "ftp://$(lab unit-addr NAS02)/firmware/")
    [[ $list == efgh5678.fup ]] || fail "NAS02's firmware directory holds '$list'"
    ;;
waiting)
    [[ -z $(lab unit-addr NAS03) ]] || fail "NAS03 has an address without a DHCP server"
    lab unit-exec NAS03 -- sh -c 'pgrep -f "busybox udhcpc" >/dev/null' || fail "NAS03 runs no DHCP client"
    ip -4 neigh | grep -q "$(lab unit-mac NAS03)" && fail "NAS03 is in the neighbour table without an address"
    ;;
*)
    fail "usage: lab_demo_probe.sh named|waiting"
    ;;
esac
echo "demo lab probe '$1' passed"
