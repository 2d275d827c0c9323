# Reads a lab description (see lab/README.md) into the plan variables below and checks it.
# Sourced by lab.sh after addr.sh. describe_load FILE returns 1 after printing every error.

describe_reset() {
    SEG_NET=$(ip_to_int 10.231.7.0) SEG_LEN=24 SEG_SET=0
    PC_SEEN=0 PC_MODE= PC_ADDR= PC_GW= PC_MAC=02:00:00:00:00:10 PC_NAME=LABPC PC_LINE=0
    DHCP_ON=0 DHCP_ROUTER=yes DHCP_SERVE=all DHCP_LO= DHCP_HI= DHCP_LEASE=3600 DHCP_LINE=0
    RT_ADDR= RT_MAC=02:00:00:00:00:01 CROWD_PORT_MAC=02:00:00:00:00:02
    NODES=()
    declare -gA N_ROLE=() N_MAC=() N_ADDR=() N_ECHO=() N_NBNAME=() N_DNS=() N_CONFIG=()
    declare -gA N_FIRMWARE=() N_FTP=() N_WEB=() N_LINE=() N_LINK=()
    CROWD_COUNT=0 CROWD_MAC= CROWD_FIRST= CROWD_NAMES= CROWD_ECHO=1 CROWD_LINE=0
    PC_CARDS=()
    declare -gA CARD_ADDR=() CARD_GW=() CARD_BRIDGE=() CARD_LINE=()
    DESCRIBE_ERRORS=0
}

# Names of the plan variables, for saving the plan with declare -p.
PLAN_VARS=(SEG_NET SEG_LEN PC_MODE PC_ADDR PC_GW PC_MAC PC_NAME DHCP_ON DHCP_ROUTER DHCP_SERVE
    DHCP_LO DHCP_HI DHCP_LEASE RT_ADDR RT_MAC NODES N_ROLE N_MAC N_ADDR N_ECHO N_NBNAME N_DNS
    N_CONFIG N_FIRMWARE N_FTP N_WEB N_LINK CROWD_COUNT CROWD_MAC CROWD_FIRST CROWD_NAMES CROWD_ECHO CROWD_PORT_MAC
    PC_CARDS CARD_ADDR CARD_GW CARD_BRIDGE)

describe_error() { # line, message
    echo "lab: ${DESCRIBE_FILE}:$1: $2" >&2
    DESCRIBE_ERRORS=$((DESCRIBE_ERRORS + 1))
}

# Splits the words of one declaration into KV (key -> value) and FLAGS (flag -> 1), and
# reports words that the declaration does not know. Args: line, allowed keys, allowed
# flags, words...
split_words() {
    local line=$1 keys=" $2 " flags=" $3 " w k
    shift 3
    declare -gA KV=() FLAGS=()
    for w in "$@"; do
        if [[ $w == *=* ]]; then
            k=${w%%=*}
            if [[ $keys == *" $k "* ]]; then KV[$k]=${w#*=}; else describe_error "$line" "unknown setting '$k'"; fi
        elif [[ $flags == *" $w "* ]]; then
            FLAGS[$w]=1
        else
            describe_error "$line" "unknown word '$w'"
        fi
    done
}

parse_yes_no() { # line, key, value -> REPLY=yes|no
    REPLY=$3
    case $3 in
    yes | no) ;;
    *) describe_error "$1" "$2 must be yes or no, not '$3'" ;;
    esac
}

parse_segment() { # line, words...
    local line=$1 cidr
    if [[ $# -ne 2 ]]; then
        describe_error "$line" "segment wants one block such as 10.231.7.0/24"
        return
    fi
    if ! cidr=$(parse_cidr "$2") || [[ $2 != */* ]]; then
        describe_error "$line" "segment '$2' is not a block such as 10.231.7.0/24"
        return
    fi
    SEG_NET=${cidr% *} SEG_LEN=${cidr#* } SEG_SET=1
    if ((SEG_LEN < 16 || SEG_LEN > 29)); then describe_error "$line" "segment prefix must be /16 to /29"; fi
    if [[ $(int_to_ip "$SEG_NET") != "${2%/*}" ]]; then describe_error "$line" "segment '$2' has host bits set"; fi
}

parse_pc() { # line, words...
    local line=$1
    shift
    if ((PC_SEEN)); then describe_error "$line" "a second pc line"; fi
    PC_SEEN=1 PC_LINE=$line
    split_words "$line" "address gateway mac name" "dhcp" "$@"
    if [[ -n ${FLAGS[dhcp]:-} ]]; then
        PC_MODE=dhcp
        [[ -z ${KV[address]:-} && -z ${KV[gateway]:-} ]] ||
            describe_error "$line" "pc dhcp takes no address or gateway"
    elif [[ -n ${KV[address]:-} ]]; then
        PC_MODE=fixed PC_ADDR=${KV[address]%/*} PC_GW=${KV[gateway]:-}
        if [[ ${KV[address]} == */* && ${KV[address]#*/} != "$SEG_LEN" ]] && ((SEG_SET)); then
            describe_error "$line" "pc address prefix differs from the segment's /$SEG_LEN"
        fi
    else
        describe_error "$line" "pc needs address=A.B.C.D or dhcp"
    fi
    [[ -z ${KV[mac]:-} ]] || PC_MAC=${KV[mac]}
    [[ -z ${KV[name]:-} ]] || PC_NAME=${KV[name]}
}

# A further card of the PC on a network of its own, outside the segment: a Wi-Fi card
# with the office's default route, or a bridge without ports (docker0, virbr0).
parse_pccard() { # line, words...
    local line=$1 name cidr n
    shift
    split_words "$line" "name address gateway" "bridge" "$@"
    name=${KV[name]:-}
    if [[ ! $name =~ ^[a-z][a-z0-9]{0,14}$ || $name =~ ^eth[0-9]+$ ]]; then
        describe_error "$line" "pccard needs name= of 1 to 15 characters a-z 0-9, not lo or ethN"
        return
    fi
    if [[ -n ${CARD_LINE[$name]:-} || $name == lo ]]; then
        describe_error "$line" "card name $name is used twice"
        return
    fi
    if ! cidr=$(parse_cidr "${KV[address]:-}") || [[ ${KV[address]:-} != */* ]]; then
        describe_error "$line" "pccard $name needs address=A.B.C.D/LEN"
        return
    fi
    n=${cidr#* }
    ((n >= 8 && n <= 30)) || describe_error "$line" "pccard $name: prefix must be /8 to /30"
    PC_CARDS+=("$name")
    CARD_LINE[$name]=$line CARD_ADDR[$name]=${KV[address]} CARD_GW[$name]=${KV[gateway]:-}
    CARD_BRIDGE[$name]=${FLAGS[bridge]:-0}
    if [[ -n ${CARD_GW[$name]} ]] && ! ip_to_int "${CARD_GW[$name]}" >/dev/null; then
        describe_error "$line" "pccard $name: gateway must be an IPv4 address"
    fi
    if [[ -n ${CARD_GW[$name]} && ${CARD_BRIDGE[$name]} == 1 ]]; then
        describe_error "$line" "pccard $name: a bridge without ports carries no gateway"
    fi
}

parse_dhcpserver() { # line, words...
    local line=$1
    shift
    if ((DHCP_ON)); then describe_error "$line" "a second dhcpserver line"; fi
    DHCP_ON=1 DHCP_LINE=$line
    split_words "$line" "router serve address range lease" "" "$@"
    parse_yes_no "$line" router "${KV[router]:-yes}"
    DHCP_ROUTER=$REPLY
    case ${KV[serve]:-all} in
    all | pc) DHCP_SERVE=${KV[serve]:-all} ;;
    *) describe_error "$line" "serve must be all or pc" ;;
    esac
    RT_ADDR=${KV[address]:-}
    if [[ -n ${KV[range]:-} ]]; then
        if [[ ${KV[range]} == *-* ]]; then
            DHCP_LO=${KV[range]%-*} DHCP_HI=${KV[range]#*-}
        else
            describe_error "$line" "range must be FIRST-LAST"
        fi
    fi
    DHCP_LEASE=${KV[lease]:-3600}
    [[ $DHCP_LEASE =~ ^[0-9]{3,9}$ ]] && ((DHCP_LEASE >= 120)) ||
        describe_error "$line" "lease must be a number of seconds, at least 120"
}

parse_node() { # role, line, words...
    local role=$1 line=$2 name
    shift 2
    if [[ $role == unit ]]; then
        split_words "$line" "name mac address dns config firmware link" "noecho noname noftp noweb" "$@"
    else
        split_words "$line" "name mac address dns link" "noecho noname" "$@"
    fi
    name=${KV[name]:-}
    if [[ ! $name =~ ^[A-Za-z0-9_-]{1,15}$ ]]; then
        describe_error "$line" "$role needs name= of 1 to 15 characters A-Z a-z 0-9 _ -"
        return
    fi
    if [[ -n ${N_ROLE[$name]:-} ]]; then
        describe_error "$line" "name $name is used twice"
        return
    fi
    NODES+=("$name")
    N_ROLE[$name]=$role N_LINE[$name]=$line
    N_MAC[$name]=${KV[mac]:-} N_ADDR[$name]=${KV[address]:-}
    N_DNS[$name]=${KV[dns]:-}
    N_LINK[$name]=${KV[link]:-segment}
    N_ECHO[$name]=$((${FLAGS[noecho]:-0} ? 0 : 1))
    N_NBNAME[$name]=$((${FLAGS[noname]:-0} ? 0 : 1))
    if [[ $role == unit ]]; then
        N_FTP[$name]=$((${FLAGS[noftp]:-0} ? 0 : 1))
        N_WEB[$name]=$((${FLAGS[noweb]:-0} ? 0 : 1))
        parse_yes_no "$line" config "${KV[config]:-no}"
        N_CONFIG[$name]=$REPLY
        N_FIRMWARE[$name]=${KV[firmware]:-}
    else
        N_FTP[$name]=0 N_WEB[$name]=0 N_CONFIG[$name]=no N_FIRMWARE[$name]=
    fi
}

parse_crowd() { # line, words...
    local line=$1
    shift
    if ((CROWD_LINE)); then describe_error "$line" "a second crowd line"; fi
    CROWD_LINE=$line
    split_words "$line" "count mac first names" "noecho" "$@"
    CROWD_COUNT=${KV[count]:-0} CROWD_MAC=${KV[mac]:-} CROWD_FIRST=${KV[first]:-}
    CROWD_NAMES=${KV[names]:-}
    CROWD_ECHO=$((${FLAGS[noecho]:-0} ? 0 : 1))
    [[ $CROWD_COUNT =~ ^[0-9]{1,4}$ ]] && ((CROWD_COUNT >= 1 && CROWD_COUNT <= 1000)) ||
        describe_error "$line" "crowd count must be 1 to 1000"
    [[ -z $CROWD_NAMES || $CROWD_NAMES =~ ^[A-Za-z][A-Za-z0-9-]{0,10}$ ]] ||
        describe_error "$line" "crowd names= must be a short word such as CR"
}

# Checks that an address is a host address of the segment and not yet taken.
# Args: line, label, dotted address. Records it in USED_ADDR.
claim_address() {
    local line=$1 label=$2 n
    if ! ip_to_int_v n "$3"; then
        describe_error "$line" "$label: '$3' is not an IPv4 address"
        return
    fi
    if ((n <= SEG_NET || n >= SEG_NET + (1 << (32 - SEG_LEN)) - 1)); then
        describe_error "$line" "$label: $3 is not a host address of $(int_to_ip "$SEG_NET")/$SEG_LEN"
        return
    fi
    if [[ -n ${USED_ADDR[$n]:-} ]]; then
        describe_error "$line" "$label: $3 is already used by ${USED_ADDR[$n]}"
        return
    fi
    USED_ADDR[$n]=$label
}

claim_mac() { # line, label, mac text -> REPLY=the normalised MAC (empty when invalid)
    local line=$1 label=$2 m
    REPLY=
    if ! m=$(mac_normalise "$3"); then
        describe_error "$line" "$label: '$3' is not a MAC address"
        return
    fi
    if [[ -n ${USED_MAC[$m]:-} ]]; then
        describe_error "$line" "$label: MAC $m is already used by ${USED_MAC[$m]}"
    fi
    USED_MAC[$m]=$label
    REPLY=$m
}

describe_check() {
    declare -gA USED_ADDR=() USED_MAC=()
    local name n i lo hi m f dns_used=0
    local -a fw
    local last_host=$((SEG_NET + (1 << (32 - SEG_LEN)) - 2))

    ((PC_SEEN)) || describe_error 0 "no pc line"
    claim_mac "$PC_LINE" pc "$PC_MAC"
    PC_MAC=$REPLY
    [[ $PC_NAME =~ ^[A-Za-z0-9-]{1,63}$ ]] || describe_error "$PC_LINE" "pc name must be a host name"
    if [[ $PC_MODE == fixed ]]; then
        claim_address "$PC_LINE" pc "$PC_ADDR"
        if [[ -n $PC_GW ]]; then
            n=$(ip_to_int "$PC_GW") && ((n > SEG_NET && n <= last_host)) && [[ $PC_GW != "$PC_ADDR" ]] ||
                describe_error "$PC_LINE" "gateway $PC_GW is not another host address of the segment"
        fi
    fi
    for name in "${PC_CARDS[@]}"; do
        if [[ -n ${CARD_GW[$name]} && ( -n $PC_GW || $PC_MODE == dhcp ) ]]; then
            describe_error "${CARD_LINE[$name]}" "pccard $name: the pc has a default route already"
        fi
        n=$(ip_to_int "${CARD_ADDR[$name]%/*}") && ((n >= SEG_NET && n < SEG_NET + (1 << (32 - SEG_LEN)))) &&
            describe_error "${CARD_LINE[$name]}" "pccard $name: its address lies in the segment"
    done
    if [[ $PC_MODE == dhcp ]] && ((!DHCP_ON)); then
        describe_error "$PC_LINE" "pc dhcp needs a dhcpserver line"
    fi

    for name in "${NODES[@]}"; do
        [[ -n ${N_DNS[$name]} ]] && dns_used=1
    done
    if ((DHCP_ON || dns_used)); then
        RT_ADDR=${RT_ADDR:-$(int_to_ip $((SEG_NET + 1)))}
        claim_address "$DHCP_LINE" router "$RT_ADDR"
        claim_mac "$DHCP_LINE" router "$RT_MAC"
        RT_MAC=$REPLY
    else
        RT_ADDR=
    fi

    for name in "${NODES[@]}"; do
        i=${N_LINE[$name]}
        if [[ -z ${N_MAC[$name]} ]]; then
            describe_error "$i" "$name needs mac="
        else
            claim_mac "$i" "$name" "${N_MAC[$name]}"
            N_MAC[$name]=$REPLY
            m=${N_MAC[$name]}
            if [[ -n $m && ${N_ROLE[$name]} == unit ]] && ! is_unit_mac "$m"; then
                describe_error "$i" "unit $name: $m is not a unit MAC (02:5a:e1:4x:xx:xx); declare a host instead"
            elif [[ -n $m && ${N_ROLE[$name]} == host ]] && is_unit_mac "$m"; then
                describe_error "$i" "host $name: $m is a unit MAC; declare a unit instead"
            fi
        fi
        case ${N_ADDR[$name]} in
        "") describe_error "$i" "$name needs address=A.B.C.D or address=none" ;;
        none) [[ -z ${N_DNS[$name]} ]] || describe_error "$i" "$name: dns= needs a fixed address" ;;
        *) claim_address "$i" "$name" "${N_ADDR[$name]}" ;;
        esac
        case ${N_LINK[$name]} in
        segment) ;;
        pc) [[ ${N_ADDR[$name]} == none ]] || describe_error "$i" "$name: link=pc needs address=none" ;;
        *) describe_error "$i" "$name: link must be segment or pc" ;;
        esac
        [[ -z ${N_DNS[$name]} || ${N_DNS[$name]} =~ ^[A-Za-z0-9]([A-Za-z0-9.-]{0,62})$ ]] ||
            describe_error "$i" "$name: dns name '${N_DNS[$name]}' is not a host name"
        IFS=, read -r -a fw <<<"${N_FIRMWARE[$name]}"
        for f in "${fw[@]}"; do
            [[ $f =~ ^[A-Za-z0-9_][A-Za-z0-9._-]{0,63}$ ]] ||
                describe_error "$i" "$name: firmware file name '$f' is not a plain file name"
        done
        if ((!N_FTP[$name])) && [[ ${N_CONFIG[$name]} == yes || -n ${N_FIRMWARE[$name]} ]]; then
            describe_error "$i" "$name: config= and firmware= need the FTP server (drop noftp)"
        fi
    done

    if ((CROWD_LINE)); then
        if ! n=$(ip_to_int "$CROWD_FIRST"); then
            describe_error "$CROWD_LINE" "crowd needs first=A.B.C.D"
        elif ! m=$(mac_normalise "$CROWD_MAC"); then
            describe_error "$CROWD_LINE" "crowd needs mac= (the first member's MAC)"
        elif ((CROWD_COUNT >= 1 && CROWD_COUNT <= 1000)); then
            CROWD_MAC=$m
            claim_mac "$CROWD_LINE" "crowd port" "$CROWD_PORT_MAC"
            local m0
            m0=$(mac_to_int "$m")
            local a
            for ((i = 0; i < CROWD_COUNT; i++)); do
                int_to_ip_v a $((n + i))
                claim_address "$CROWD_LINE" "crowd member $((i + 1))" "$a"
                int_to_mac_v m $((m0 + i))
                if [[ -n ${USED_MAC[$m]:-} ]]; then
                    describe_error "$CROWD_LINE" "crowd member $((i + 1)): MAC $m is already used by ${USED_MAC[$m]}"
                fi
                ((DESCRIBE_ERRORS < 20)) || break
            done
        fi
    fi

    if ((DHCP_ON)); then
        if [[ -z $DHCP_LO ]]; then
            if ((SEG_LEN <= 24)); then
                lo=$((SEG_NET + 100)) hi=$((SEG_NET + 199))
            else
                lo=$((SEG_NET + (1 << (32 - SEG_LEN)) / 2)) hi=$last_host
            fi
        elif ! lo=$(ip_to_int "$DHCP_LO") || ! hi=$(ip_to_int "$DHCP_HI"); then
            describe_error "$DHCP_LINE" "range must be two IPv4 addresses FIRST-LAST"
            lo=0 hi=0
        fi
        if ((lo != 0)); then
            if ((lo <= SEG_NET || hi > last_host || lo > hi)); then
                describe_error "$DHCP_LINE" "range $(int_to_ip "$lo")-$(int_to_ip "$hi") is not inside the segment"
            fi
            for n in "${!USED_ADDR[@]}"; do
                if ((n >= lo && n <= hi)); then
                    describe_error "$DHCP_LINE" "range $(int_to_ip "$lo")-$(int_to_ip "$hi") holds the fixed address of ${USED_ADDR[$n]}"
                fi
            done
            DHCP_LO=$(int_to_ip "$lo") DHCP_HI=$(int_to_ip "$hi")
        fi
    fi
}

# Loads and checks a description file. Returns 1 when it has errors.
describe_load() {
    local file=$1 lineno=0 raw kind
    DESCRIBE_FILE=$file
    describe_reset
    if [[ ! -r $file ]]; then
        echo "lab: cannot read description '$file'" >&2
        return 1
    fi
    # The segment first: other lines are checked against it.
    while IFS= read -r raw || [[ -n $raw ]]; do
        lineno=$((lineno + 1))
        raw=${raw%%#*}
        read -r -a words <<<"$raw"
        [[ ${#words[@]} -gt 0 && ${words[0]} == segment ]] || continue
        if ((SEG_SET)); then describe_error "$lineno" "a second segment line"; fi
        parse_segment "$lineno" "${words[@]:1}"
    done <"$file"
    lineno=0
    while IFS= read -r raw || [[ -n $raw ]]; do
        lineno=$((lineno + 1))
        raw=${raw%%#*}
        read -r -a words <<<"$raw"
        ((${#words[@]})) || continue
        kind=${words[0]}
        case $kind in
        segment) ;;
        pc) parse_pc "$lineno" "${words[@]:1}" ;;
        dhcpserver) parse_dhcpserver "$lineno" "${words[@]:1}" ;;
        unit | host) parse_node "$kind" "$lineno" "${words[@]:1}" ;;
        crowd) parse_crowd "$lineno" "${words[@]:1}" ;;
        pccard) parse_pccard "$lineno" "${words[@]:1}" ;;
        *) describe_error "$lineno" "unknown declaration '$kind'" ;;
        esac
    done <"$file"
    describe_check
    ((DESCRIBE_ERRORS == 0))
}

# Refuses a segment that overlaps an address or a route of the namespace this runs in
# (the host). The default route does not count: it does not claim the block.
check_segment_unused() {
    local net len words dest cidr
    while read -r -a words; do
        [[ ${words[2]:-} == inet ]] || continue
        cidr=$(parse_cidr "${words[3]}") || continue
        net=${cidr% *} len=${cidr#* }
        if blocks_overlap "$SEG_NET" "$SEG_LEN" "$net" "$len"; then
            echo "lab: segment $(int_to_ip "$SEG_NET")/$SEG_LEN overlaps the host's address ${words[3]} on ${words[1]}; choose another segment" >&2
            return 1
        fi
    done < <(ip -4 -o addr show)
    while read -r -a words; do
        ((${#words[@]})) || continue
        dest=${words[0]}
        case $dest in
        unicast | local | broadcast | multicast | throw | unreachable | prohibit | blackhole | nat | anycast)
            dest=${words[1]:-} ;;
        esac
        [[ $dest != default ]] || continue
        cidr=$(parse_cidr "$dest") || continue
        net=${cidr% *} len=${cidr#* }
        if blocks_overlap "$SEG_NET" "$SEG_LEN" "$net" "$len"; then
            echo "lab: segment $(int_to_ip "$SEG_NET")/$SEG_LEN overlaps the host's route to $dest; choose another segment" >&2
            return 1
        fi
    done < <(ip -4 route show table all)
}
