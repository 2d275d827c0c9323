# Builds a lab from a loaded plan: namespaces, the bridge, links, addresses and daemons.
# Sourced by lab.sh; runs with set -e in a subshell, so the first failing step stops it.

save_plan() { # file
    # declare -p inside a function prints plain declarations; -g keeps them global when
    # load_plan sources the file from inside a function.
    declare -p "${PLAN_VARS[@]}" | sed -e 's/^declare -- /declare -g /' -e 's/^declare -\([A-Za-z]*\) /declare -g\1 /' >"$1"
    echo "LAB_DIR_AT_UP=$(printf '%q' "$LAB_DIR")" >>"$1"
}

# A namespace with loopback up and IPv6 off (the tool's network is IPv4 only, and quiet
# links make the tests' counts exact). Args: namespace, extra sysctl settings...
make_ns() {
    local ns=$1
    shift
    ip netns add "$ns"
    ip -n "$ns" link set lo up
    ip netns exec "$ns" sysctl -q -e -w net.ipv6.conf.all.disable_ipv6=1 \
        net.ipv6.conf.default.disable_ipv6=1 "$@" >/dev/null
}

# Connects a namespace to the segment: eth0 (with the given MAC) in the namespace, its
# peer a port of the bridge. Both ends are created directly in their namespaces.
PORT_COUNT=0
plug() { # namespace, mac
    local ns=$1 mac=$2 port sw
    PORT_COUNT=$((PORT_COUNT + 1))
    port=$P-p$PORT_COUNT
    sw=$(ns_of "$P" sw)
    ip link add eth0 address "$mac" netns "$ns" type veth peer name "$port" netns "$sw"
    ip -n "$sw" link set "$port" master "$P-br" up
    ip -n "$ns" link set eth0 up
}

# Cables a namespace straight to a card of the PC of its own (eth1, eth2, ... in the order
# of the description) instead of the bridge: a second network that only the PC sees.
PC_CARD_COUNT=0
plug_to_pc() { # namespace, mac
    local ns=$1 mac=$2 card pc
    PC_CARD_COUNT=$((PC_CARD_COUNT + 1))
    card=eth$PC_CARD_COUNT
    pc=$(ns_of "$P" pc)
    ip link add eth0 address "$mac" netns "$ns" type veth peer name "$card" netns "$pc"
    ip -n "$pc" link set "$card" up
    ip -n "$ns" link set eth0 up
}

seg_cidr_of() { echo "$1/$SEG_LEN"; }

start_udhcpc() { # namespace, node name ("" for the PC), log
    # A DISCOVER every 2 s, five in a row, then a 2 s pause, for ever: a DHCP server that
    # listens for a few seconds (the tool's responder listens 10 s) always hears one.
    local ns=$1 node=$2
    spawn_in_ns "$ns" "$3" LAB_PREFIX="$P" LAB_NODE="$node" \
        busybox udhcpc -f -i eth0 -s "$LAB_DIR/dhcp-event.sh" -t 5 -T 2 -A 2
}

build_switch() {
    local sw
    sw=$(ns_of "$P" sw)
    make_ns "$sw"
    ip -n "$sw" link add "$P-br" type bridge stp_state 0 forward_delay 0 mcast_snooping 0
    ip -n "$sw" link set "$P-br" up
}

build_pc() {
    local ns etc s
    ns=$(ns_of "$P" pc)
    s=$(state_dir "$P")/pc
    etc=$LAB_NETNS_ETC/$ns
    mkdir -p "$s"/samba/{lock,state,cache,pid,private,sock} "$etc/samba"
    {
        printf '127.0.0.1\tlocalhost\n127.0.1.1\t%s\n' "$PC_NAME"
        crowd_hosts_lines
    } >"$etc/hosts"
    if [[ -n $RT_ADDR ]] && dns_in_use; then
        printf 'nameserver %s\noptions timeout:1 attempts:1\n' "$RT_ADDR" >"$etc/resolv.conf"
    else
        # No nameserver line: the resolver asks 127.0.0.1, where nothing listens, and
        # fails at once instead of waiting for a DNS server that is not there.
        printf '# this lab has no DNS server\n' >"$etc/resolv.conf"
    fi
    # nmblookup and other samba clients in the PC use the lab's directories, not the host's.
    printf '[global]\n   lock directory = %s\n   state directory = %s\n   cache directory = %s\n   pid directory = %s\n   private dir = %s\n   nmbd:socket dir = %s\n   log file = %s\n' \
        "$s/samba/lock" "$s/samba/state" "$s/samba/cache" "$s/samba/pid" "$s/samba/private" \
        "$s/samba/sock" "$s/samba/log" >"$etc/samba/smb.conf"
    make_ns "$ns"
    # The further cards first: they take the lowest interface numbers, below eth0, as a
    # docker0 made at boot does.
    local card n=0 peer
    for card in "${PC_CARDS[@]}"; do
        n=$((n + 1))
        if ((CARD_BRIDGE[$card])); then
            # An empty bridge that never had a port reports carrier; docker0 after its
            # last container stopped has none. A port that comes and goes leaves it so.
            ip -n "$ns" link add "$card" address "02:00:00:00:02:$(printf '%02x' $n)" type bridge
            ip -n "$ns" link add "$P-bp" type veth peer name "$P-bq"
            ip -n "$ns" link set "$P-bp" master "$card"
            ip -n "$ns" link del "$P-bp"
        else
            peer=$P-c$n
            ip link add "$card" address "02:00:00:00:01:$(printf '%02x' $n)" netns "$ns" type veth \
                peer name "$peer" netns "$(ns_of "$P" sw)"
            ip -n "$(ns_of "$P" sw)" link set "$peer" up
        fi
        ip -n "$ns" addr add "${CARD_ADDR[$card]}" broadcast + dev "$card"
        ip -n "$ns" link set "$card" up
        [[ -z ${CARD_GW[$card]} ]] ||
            ip -n "$ns" route add default via "${CARD_GW[$card]}" dev "$card" proto static
    done
    plug "$ns" "$PC_MAC"
    if [[ $PC_MODE == fixed ]]; then
        ip -n "$ns" addr add "$(seg_cidr_of "$PC_ADDR")" broadcast + dev eth0
        [[ -z $PC_GW ]] || ip -n "$ns" route add default via "$PC_GW" dev eth0 proto static
    fi
}

dns_in_use() {
    local name
    for name in "${NODES[@]}"; do [[ -z ${N_DNS[$name]} ]] || return 0; done
    return 1
}

build_router() {
    [[ -n $RT_ADDR ]] || return 0
    local ns s etc name
    local -a args
    ns=$(ns_of "$P" rt)
    s=$(state_dir "$P")/rt
    etc=$LAB_NETNS_ETC/$ns
    mkdir -p "$s" "$etc"
    printf '127.0.0.1\tlocalhost\n' >"$etc/hosts"
    printf '# lab router: no upstream DNS\n' >"$etc/resolv.conf"
    make_ns "$ns"
    plug "$ns" "$RT_MAC"
    ip -n "$ns" addr add "$(seg_cidr_of "$RT_ADDR")" broadcast + dev eth0
    args=(--keep-in-foreground --conf-file=/dev/null --no-resolv --no-hosts --no-poll
        --user=root --group=root --interface=eth0 --bind-interfaces
        --pid-file="$s/dnsmasq.pid" --log-facility="$s/dnsmasq.log")
    if dns_in_use; then
        args+=(--port=53 --bogus-priv)
        for name in "${NODES[@]}"; do
            [[ -z ${N_DNS[$name]} ]] || args+=(--host-record="${N_DNS[$name]},${N_ADDR[$name]}")
        done
    else
        args+=(--port=0)
    fi
    if ((DHCP_ON)); then
        args+=(--dhcp-range="$DHCP_LO,$DHCP_HI,$(prefix_to_mask "$SEG_LEN"),$DHCP_LEASE"
            --dhcp-authoritative --no-ping --log-dhcp --dhcp-leasefile="$s/leases")
        # An empty option 3 tells dnsmasq to send no router at all.
        [[ $DHCP_ROUTER == yes ]] || args+=(--dhcp-option=3)
        if [[ $DHCP_SERVE == pc ]]; then
            args+=(--dhcp-host="$PC_MAC" --dhcp-ignore=tag:!known)
        fi
    fi
    spawn_in_ns "$ns" "$s/dnsmasq.out" dnsmasq "${args[@]}"
}

build_node() { # name
    local name=$1 ns sysctls
    ns=$(ns_of "$P" "$name")
    prepare_node "$name"
    sysctls=(net.ipv4.icmp_echo_ignore_broadcasts=0)
    ((N_ECHO[$name])) || sysctls+=(net.ipv4.icmp_echo_ignore_all=1)
    make_ns "$ns" "${sysctls[@]}"
    if [[ ${N_LINK[$name]} == pc ]]; then
        plug_to_pc "$ns" "${N_MAC[$name]}"
    else
        plug "$ns" "${N_MAC[$name]}"
    fi
    if [[ ${N_ADDR[$name]} == none ]]; then
        start_udhcpc "$ns" "$name" "$(node_dir "$P" "$name")/log/udhcpc.log"
    else
        ip -n "$ns" addr add "$(seg_cidr_of "${N_ADDR[$name]}")" broadcast + dev eth0
        in_ns "$ns" "$LAB_DIR/node-services.sh" start "$P" "$name"
    fi
}

# The crowd: many small hosts in one namespace, one macvlan port each. Each port answers
# ARP only for its own address (arp_ignore=1), and a routing table per address sends the
# replies out of the port that owns the source address, so every member shows up in the
# PC's neighbour table with its own MAC.
build_crowd() {
    ((CROWD_COUNT > 0)) || return 0
    local ns i a m m0 n0 net batch
    ns=$(ns_of "$P" crowd)
    local -a sysctls=(net.ipv4.conf.all.arp_ignore=1 net.ipv4.conf.all.arp_announce=2
        net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0
        net.ipv4.icmp_echo_ignore_broadcasts=0)
    ((CROWD_ECHO)) || sysctls+=(net.ipv4.icmp_echo_ignore_all=1)
    make_ns "$ns" "${sysctls[@]}"
    plug "$ns" "$CROWD_PORT_MAC"
    m0=$(mac_to_int "$CROWD_MAC")
    n0=$(ip_to_int "$CROWD_FIRST")
    batch=$(state_dir "$P")/crowd.batch
    int_to_ip_v net "$SEG_NET"
    for ((i = 0; i < CROWD_COUNT; i++)); do
        int_to_ip_v a $((n0 + i))
        int_to_mac_v m $((m0 + i))
        printf 'link add c%d link eth0 address %s type macvlan mode private bcqueuelen 4096\n' "$i" "$m"
        printf 'link set c%d up\n' "$i"
        printf 'addr add %s/%d dev c%d noprefixroute\n' "$a" "$SEG_LEN" "$i"
        printf 'route add %s/%d dev c%d src %s table %d\n' "$net" "$SEG_LEN" "$i" "$a" $((1000 + i))
        printf 'rule add from %s table %d\n' "$a" $((1000 + i))
    done >"$batch"
    ip -n "$ns" -batch "$batch"
}

crowd_hosts_lines() {
    [[ -n $CROWD_NAMES ]] && ((CROWD_COUNT > 0)) || return 0
    local i n0
    n0=$(ip_to_int "$CROWD_FIRST")
    local a
    for ((i = 0; i < CROWD_COUNT; i++)); do
        int_to_ip_v a $((n0 + i))
        printf '%s\t%s%04d\n' "$a" "$CROWD_NAMES" $((i + 1))
    done
}

wait_for() { # seconds, description, command...
    local seconds=$1 what=$2 deadline
    shift 2
    deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || die "timed out after ${seconds}s waiting for $what"
        sleep 0.2
    done
}

udp_port_open() { [[ -n $(ip netns exec "$1" ss -Hlun "sport = :$2") ]]; }
pc_has_address() { [[ -n $(ns_ipv4 "$(ns_of "$P" pc)") ]]; }

build_lab() {
    local s name
    s=$(state_dir "$P")
    mkdir -p "$s/nodes"
    save_plan "$s/plan.sh"
    build_switch
    build_router
    build_pc
    for name in "${NODES[@]}"; do
        build_node "$name"
    done
    build_crowd
    if [[ -n $RT_ADDR ]]; then
        wait_for 10 "the lab's DHCP/DNS server" udp_port_open "$(ns_of "$P" rt)" "$( ((DHCP_ON)) && echo 67 || echo 53)"
    fi
    if [[ $PC_MODE == dhcp ]]; then
        start_udhcpc "$(ns_of "$P" pc)" "" "$s/pc/udhcpc.log"
        wait_for 30 "the PC's DHCP lease" pc_has_address
    fi
    for name in "${NODES[@]}"; do
        [[ ${N_ADDR[$name]} == none ]] && continue
        in_ns "$(ns_of "$P" "$name")" "$LAB_DIR/node-services.sh" ready "$P" "$name" 20
    done
    return 0
}
