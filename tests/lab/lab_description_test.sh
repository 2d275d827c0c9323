#!/usr/bin/env bash
# The lab's description reader and its address helpers; needs no root and no network.
set -uo pipefail
LAB_DIR=$(cd "$(dirname "$0")/../../lab" && pwd)
source "$LAB_DIR/lib/common.sh"
source "$LAB_DIR/lib/addr.sh"
source "$LAB_DIR/lib/describe.sh"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# --- address helpers: input | expected output ("ERR" when the helper must refuse) ---
check_fn() { # function, input, expected
    local got
    if got=$("$1" "$2" 2>/dev/null); then :; else got=ERR; fi
    [[ $got == "$3" ]] || fail "$1 '$2': expected '$3', got '$got'"
}
while IFS='|' read -r fn input expected; do
    [[ -n $fn ]] && check_fn "$fn" "$input" "$expected"
done <<'EOF'
ip_to_int|10.231.7.21|182912789
ip_to_int|0.0.0.0|0
ip_to_int|255.255.255.255|4294967295
ip_to_int|10.231.7.256|ERR
ip_to_int|10.231.7|ERR
ip_to_int|010.1.1.1|167837953
int_to_ip|182912789|10.231.7.21
int_to_ip|4294967295|255.255.255.255
mask_to_prefix|255.255.255.0|24
mask_to_prefix|255.255.254.0|23
mask_to_prefix|255.255.255.255|32
mask_to_prefix|0.0.0.0|0
mask_to_prefix|24|24
mask_to_prefix|255.0.255.0|ERR
mask_to_prefix|33|ERR
prefix_to_mask|23|255.255.254.0
prefix_to_mask|29|255.255.255.248
parse_cidr|10.231.7.77/24|182912768 24
parse_cidr|10.231.7.77|182912845 32
parse_cidr|10.231.7.0/33|ERR
mac_normalise|02-5A-E1-40-0A-1B|02:5a:e1:40:0a:1b
mac_normalise|02:5a:e1:40:0a|ERR
mac_normalise|02:5a:e1:40:0a:1g|ERR
config_file_name|02:5a:e1:40:0a:1b|nas_400A1B.dat
config_file_name|00:11:22:ab:cd:ef|nas_ABCDEF.dat
int_to_mac|2589349380097|02:5a:e1:40:00:01
EOF

# --- the units' MAC test: 02:5a:e1 and 0x4 in the high nibble of byte 3 ---
while read -r mac verdict; do
    if is_unit_mac "$mac"; then got=unit; else got=foreign; fi
    [[ $got == "$verdict" ]] || fail "is_unit_mac $mac: expected $verdict, got $got"
done <<'EOF'
02:5a:e1:40:00:01 unit
02:5a:e1:4f:ff:ff unit
02:5a:e1:50:00:01 foreign
02:5a:e1:3f:00:01 foreign
02:5a:e2:40:00:01 foreign
00:5a:e1:40:00:01 foreign
EOF

# --- overlap of address blocks ---
while read -r a alen b blen verdict; do
    if blocks_overlap "$(ip_to_int "$a")" "$alen" "$(ip_to_int "$b")" "$blen"; then got=yes; else got=no; fi
    [[ $got == "$verdict" ]] || fail "blocks_overlap $a/$alen $b/$blen: expected $verdict, got $got"
done <<'EOF'
10.231.7.0 24 10.231.7.0 24 yes
10.231.6.0 23 10.231.7.128 25 yes
10.231.7.0 24 10.231.8.0 24 no
10.231.7.0 24 10.231.6.255 32 no
10.0.0.0 8 10.231.7.21 32 yes
EOF

# --- descriptions: each case is a description (\n between lines), then "ok" or an
# --- expected piece of the error message ---
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
run_case() { # description, expectation
    local file=$tmp/case.lab err
    printf '%b\n' "$1" >"$file"
    err=$( (describe_load "$file") 2>&1)
    local rc=$?
    if [[ $2 == ok ]]; then
        ((rc == 0)) || fail "description should be accepted: '$1' -> $err"
    else
        ((rc != 0)) || fail "description should be refused ($2): '$1'"
        [[ $err == *"$2"* ]] || fail "description '$1': expected an error with '$2', got: $err"
    fi
}
U1="unit name=NAS01 mac=02:5a:e1:40:00:01"
while IFS='|' read -r desc expect; do
    [[ -n $desc ]] && run_case "$desc" "$expect"
done <<EOF
pc address=10.231.7.10\n$U1 address=10.231.7.21|ok
# comment only\npc address=10.231.7.10   # trailing comment\n$U1 address=none|ok
pc dhcp\ndhcpserver router=no serve=pc\n$U1 address=10.231.7.21|ok
segment 10.231.6.0/23\npc address=10.231.7.200\ncrowd count=300 mac=02:5a:e1:40:10:00 first=10.231.6.20 names=CR|ok
$U1 address=10.231.7.21|no pc line
pc address=10.231.7.10\npc dhcp|a second pc line
pc dhcp\n$U1 address=10.231.7.21|pc dhcp needs a dhcpserver line
pc address=10.231.7.10\nunit name=NAS01 mac=02:5a:e1:50:00:01 address=10.231.7.21|is not a unit MAC
pc address=10.231.7.10\nhost name=OTHER mac=02:5a:e1:41:00:01 address=10.231.7.21|is a unit MAC
pc address=10.231.7.10\n$U1 address=10.231.8.21|is not a host address
pc address=10.231.7.10\n$U1 address=10.231.7.255|is not a host address
pc address=10.231.7.10\n$U1 address=10.231.7.0|is not a host address
pc address=10.231.7.10\n$U1 address=10.231.7.10|already used by pc
pc address=10.231.7.10\n$U1 address=10.231.7.21\nunit name=NAS01 mac=02:5a:e1:40:00:02 address=10.231.7.22|used twice
pc address=10.231.7.10\n$U1 address=10.231.7.21\nunit name=NAS02 mac=02:5a:e1:40:00:01 address=10.231.7.22|already used by NAS01
pc address=10.231.7.10\nunit name=WAYTOOLONGNAME123 mac=02:5a:e1:40:00:01 address=10.231.7.21|1 to 15 characters
pc address=10.231.7.10\nunit name=NAS01 mac=02:5a:e1:40:00:01|needs address=
pc address=10.231.7.10\n$U1 address=none dns=nas01.lab|dns= needs a fixed address
pc address=10.231.7.10\n$U1 address=10.231.7.21 color=red|unknown setting 'color'
pc address=10.231.7.10\n$U1 address=10.231.7.21 loud|unknown word 'loud'
pc address=10.231.7.10\n$U1 address=10.231.7.21 firmware=../x.fup|not a plain file name
pc address=10.231.7.10\n$U1 address=10.231.7.21 noftp config=yes|need the FTP server
pc address=10.231.7.10\n$U1 address=10.231.7.21 config=maybe|config must be yes or no
pc address=10.231.7.10\nhost name=OTHER mac=02:11:22:33:44:55 address=10.231.7.40 config=yes|unknown setting 'config'
pc address=10.231.7.10\ndhcpserver lease=60|at least 120
pc address=10.231.7.10\ndhcpserver range=10.231.7.5-10.231.7.30\n$U1 address=10.231.7.21|holds the fixed address of NAS01
pc address=10.231.7.10\ndhcpserver address=10.231.7.10|already used by pc
pc address=10.231.7.10 gateway=10.231.7.10|is not another host address
segment 10.231.7.5/24\npc address=10.231.7.10|has host bits set
segment 10.231.0.0/12\npc address=10.231.7.10|/16 to /29
pc address=10.231.7.10\ncrowd count=300 mac=02:5a:e1:40:10:00 first=10.231.7.20|is not a host address
pc address=10.231.7.10\n$U1 address=10.231.7.21\ncrowd count=3 mac=02:5a:e1:40:00:00 first=10.231.7.100|MAC 02:5a:e1:40:00:01 is already used by NAS01
pc address=10.231.7.10\nrouter address=10.231.7.1|unknown declaration 'router'
pc address=10.231.7.10\n$U1 address=none link=pc\nhost name=OTHER mac=02:11:22:33:44:55 address=none link=pc|ok
pc address=10.231.7.10\n$U1 address=10.231.7.21 link=pc|link=pc needs address=none
pc address=10.231.7.10\n$U1 address=none link=wifi|link must be segment or pc
EOF

# --- defaults that the rest of the lab relies on ---
printf 'pc dhcp\ndhcpserver\n%s address=none\n' "$U1" >"$tmp/defaults.lab"
if describe_load "$tmp/defaults.lab"; then
    [[ $RT_ADDR == 10.231.7.1 ]] || fail "default router address: got '$RT_ADDR'"
    [[ $DHCP_LO == 10.231.7.100 && $DHCP_HI == 10.231.7.199 ]] || fail "default range: got $DHCP_LO-$DHCP_HI"
    [[ $DHCP_ROUTER == yes && $DHCP_SERVE == all && $DHCP_LEASE == 3600 ]] ||
        fail "dhcpserver defaults: router=$DHCP_ROUTER serve=$DHCP_SERVE lease=$DHCP_LEASE"
    [[ ${N_ECHO[NAS01]} == 1 && ${N_NBNAME[NAS01]} == 1 && ${N_FTP[NAS01]} == 1 && ${N_WEB[NAS01]} == 1 ]] ||
        fail "a unit answers echo and runs its name, FTP and web servers by default"
else
    fail "the defaults description was refused"
fi
printf 'segment 10.231.7.0/28\npc dhcp\ndhcpserver\n' >"$tmp/small.lab"
if describe_load "$tmp/small.lab"; then
    [[ $DHCP_LO == 10.231.7.8 && $DHCP_HI == 10.231.7.14 ]] || fail "range in a /28: got $DHCP_LO-$DHCP_HI"
else
    fail "a /28 lab with a DHCP server was refused"
fi

# --- a segment that the host uses is refused (the host always has loopback) ---
printf 'segment 127.0.0.0/24\npc address=127.0.0.10\n' >"$tmp/host.lab"
describe_load "$tmp/host.lab" || fail "the loopback description was refused before the host check"
if check_segment_unused 2>/dev/null; then fail "a segment over the host's loopback was accepted"; fi

if ((failures)); then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "all description checks passed"
