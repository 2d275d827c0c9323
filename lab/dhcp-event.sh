#!/usr/bin/env bash
# The lab's script for busybox udhcpc, in place of its stock script: the stock one
# configures with ifconfig (a permanent-looking address) and rewrites /etc/resolv.conf,
# which a namespace shares with the host. This one configures with ip only: the lease
# time becomes the address's valid and preferred lifetime, and the default route carries
# "proto dhcp", the two marks by which a DHCP-given address is told from a fixed one.
# It never writes a file under /etc.
#
# udhcpc sets: $1 (deconfig|bound|renew|leasefail|nak), interface, ip, mask (prefix
# length, or a dotted mask on older busybox), router (one or more), lease (seconds).
# The lab sets: LAB_PREFIX and LAB_NODE (empty for the PC).
set -uo pipefail
# shellcheck disable=SC2154 # ip, mask, router, lease and interface come from udhcpc
LAB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$LAB_DIR/lib/addr.sh"

event=${1:-}
dev=${interface:-eth0}
log() { echo "$(date +%T) dhcp-event: $*" >&2; }

# Lifetime for ip: a lease of 0xffffffff (or none at all) is infinite.
lifetime() {
    local l=${lease:-}
    if [[ ! $l =~ ^[0-9]+$ ]] || ((l >= 4294967295)); then echo forever; else echo "$l"; fi
}

drop_dhcp_routes() {
    while ip -4 route del default dev "$dev" proto dhcp 2>/dev/null; do :; done
}

case $event in
deconfig)
    # Also at the client's start. A unit that lost its lease stops its servers and starts
    # them afresh with its next address (nmbd binds to the addresses it saw at start).
    if [[ -n ${LAB_NODE:-} && -n $(ip -4 -o addr show dev "$dev") ]]; then
        "$LAB_DIR/node-services.sh" stop "$LAB_PREFIX" "$LAB_NODE"
    fi
    drop_dhcp_routes
    ip -4 addr flush dev "$dev"
    ip link set "$dev" up
    log "$dev deconfigured"
    ;;
bound | renew)
    if ! prefix=$(mask_to_prefix "${mask:-24}"); then
        log "ignoring a lease with the bad mask '${mask:-}'"
        exit 0
    fi
    current=$(ip -4 -o addr show dev "$dev" | awk '{ print $4; exit }')
    if [[ -n $current && $current != "$ip/$prefix" ]]; then
        [[ -z ${LAB_NODE:-} ]] || "$LAB_DIR/node-services.sh" stop "$LAB_PREFIX" "$LAB_NODE"
        drop_dhcp_routes
        ip -4 addr flush dev "$dev"
    fi
    lft=$(lifetime)
    ip addr replace "$ip/$prefix" broadcast + dev "$dev" valid_lft "$lft" preferred_lft "$lft" ||
        { log "cannot set $ip/$prefix on $dev"; exit 1; }
    drop_dhcp_routes
    if [[ -n ${router:-} ]]; then
        read -r gw _ <<<"$router"
        ip -4 route replace default via "$gw" dev "$dev" proto dhcp ||
            log "cannot add the default route via $gw"
    fi
    log "$event $ip/$prefix lifetime $lft router ${router:-none}"
    if [[ -n ${LAB_NODE:-} ]]; then
        # The unit's servers start now that it has an address (already running: no-op).
        "$LAB_DIR/node-services.sh" start "$LAB_PREFIX" "$LAB_NODE" ||
            log "starting the servers of $LAB_NODE failed"
    fi
    ;;
leasefail | nak)
    log "$event"
    ;;
esac
exit 0
