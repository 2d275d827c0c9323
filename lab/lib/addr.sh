# IPv4 and MAC arithmetic for the lab. Sourced by lab.sh; pure functions, no side effects.
# IPv4 addresses are handled as integers in host order (0 .. 2^32-1).

# ip_to_int 10.231.7.21 -> 182912789; returns 1 for anything that is not a dotted quad.
# The *_v forms store into the named variable instead: forks are slow, and the crowd
# of a large lab converts hundreds of addresses.
ip_to_int_v() { # variable, dotted
    local -n out=$1
    [[ $2 =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})$ ]] || return 1
    local a=$((10#${BASH_REMATCH[1]})) b=$((10#${BASH_REMATCH[2]}))
    local c=$((10#${BASH_REMATCH[3]})) d=$((10#${BASH_REMATCH[4]}))
    ((a < 256 && b < 256 && c < 256 && d < 256)) || return 1
    out=$(((a << 24) | (b << 16) | (c << 8) | d))
}
ip_to_int() {
    local n
    ip_to_int_v n "$1" || return 1
    echo "$n"
}

int_to_ip_v() { # variable, integer
    printf -v "$1" '%d.%d.%d.%d' $((($2 >> 24) & 255)) $((($2 >> 16) & 255)) $((($2 >> 8) & 255)) $(($2 & 255))
}
int_to_ip() {
    local t
    int_to_ip_v t "$1"
    echo "$t"
}

# Number of addresses in a block of the given prefix length.
block_size() { echo $((1 << (32 - $1))); }

# Dotted netmask of a prefix length: 24 -> 255.255.255.0
prefix_to_mask() { int_to_ip $(((0xffffffff << (32 - $1)) & 0xffffffff)); }

# mask_to_prefix 255.255.255.0 -> 24; also accepts a bare prefix length. Returns 1 for a
# mask whose one bits are not contiguous.
mask_to_prefix() {
    local m=$1 n len=0
    if [[ $m =~ ^[0-9]{1,2}$ ]] && ((m <= 32)); then
        echo "$m"
        return 0
    fi
    n=$(ip_to_int "$m") || return 1
    while ((n & 0x80000000)); do
        len=$((len + 1))
        n=$(((n << 1) & 0xffffffff))
    done
    ((n == 0)) || return 1
    echo "$len"
}

# parse_cidr 10.231.7.0/24 -> "182912768 24" (network integer, prefix). The address part
# may have host bits set; they are cleared. A missing /len means /32.
parse_cidr() {
    local text=$1 addr len n
    addr=${text%/*}
    if [[ $text == */* ]]; then len=${text#*/}; else len=32; fi
    [[ $len =~ ^[0-9]{1,2}$ ]] && ((len <= 32)) || return 1
    n=$(ip_to_int "$addr") || return 1
    echo "$((n & ((0xffffffff << (32 - len)) & 0xffffffff))) $len"
}

# blocks_overlap NET1 LEN1 NET2 LEN2: true when the two blocks share an address.
blocks_overlap() {
    local s1=$1 e1=$(($1 + (1 << (32 - $2)))) s2=$3 e2=$(($3 + (1 << (32 - $4))))
    ((s1 < e2 && s2 < e1))
}

# mac_normalise 02-5A-E1-40-00-01 -> 02:5a:e1:40:00:01; returns 1 for anything else.
mac_normalise() {
    local m=${1,,}
    m=${m//-/:}
    [[ $m =~ ^[0-9a-f]{2}(:[0-9a-f]{2}){5}$ ]] || return 1
    echo "$m"
}

mac_to_int() {
    local m=${1//:/}
    echo $((16#$m))
}

int_to_mac_v() { # variable, integer
    printf -v "$1" '%02x:%02x:%02x:%02x:%02x:%02x' $((($2 >> 40) & 255)) $((($2 >> 32) & 255)) \
        $((($2 >> 24) & 255)) $((($2 >> 16) & 255)) $((($2 >> 8) & 255)) $(($2 & 255))
}
int_to_mac() {
    local t
    int_to_mac_v t "$1"
    echo "$t"
}

# The units' identity, the same values as the tool's unit test: vendor prefix 02:5a:e1 in
# bytes 0 to 2 and 0x4 in the high nibble of byte 3. Takes a normalised MAC.
UNIT_MAC_VENDOR=02:5a:e1
UNIT_MAC_BYTE3_HIGH_NIBBLE=4
is_unit_mac() {
    local m=$1
    [[ ${m:0:8} == "$UNIT_MAC_VENDOR" ]] || return 1
    (((16#${m:9:2} >> 4) == UNIT_MAC_BYTE3_HIGH_NIBBLE))
}

# The name of a unit's configuration file: "nas_" + the last three MAC bytes in upper-case
# hex + ".dat" (02:5a:e1:40:0a:1b -> nas_400A1B.dat).
config_file_name() {
    local m=${1//:/}
    m=${m:6:6}
    echo "nas_${m^^}.dat"
}
