#!/usr/bin/env bash
# A large segment: 300 extra hosts fill the PC's neighbour table after one broadcast echo,
# each with its own MAC; names come from the PC's hosts file and from the lab's DNS.
set -uo pipefail
source "$(dirname "$0")/../../lab/testlib.sh"
lab_require_root

lab_up <<'EOF'
segment 10.231.6.0/23
pc address=10.231.7.200 gateway=10.231.7.254
unit name=NAS01 mac=02:5a:e1:40:00:01 address=10.231.6.21 dns=nas01.lab
crowd count=300 mac=02:5a:e1:40:10:00 first=10.231.6.100 names=CR
EOF

lab_exec ping -q -b -c 2 -W 1 -I eth0 255.255.255.255 >/dev/null 2>&1
sleep 2
# Expected: crowd member i at 10.231.6.100+i with MAC 02:5a:e1:40:10:00+i, and NAS01.
expected=$({
    echo "10.231.6.21 02:5a:e1:40:00:01"
    for ((i = 0; i < 300; i++)); do
        n=$((100 + i))
        printf '10.231.%d.%d 02:5a:e1:40:%02x:%02x\n' $((6 + n / 256)) $((n % 256)) $((0x10 + i / 256)) $((i % 256))
    done
} | sort)
actual=$(lab_exec ip -4 neigh show dev eth0 | awk '$2 == "lladdr" { print $1, $3 }' | sort)
if [[ $expected != "$actual" ]]; then
    diff <(echo "$expected") <(echo "$actual") | head -20 >&2
    lab_fail "the neighbour table does not hold the 301 hosts with their own MACs"
fi

# Names: the crowd from the PC's hosts file, NAS01 forward and reverse from the lab's DNS.
lab_expect_eq "10.231.6.100 CR0001" "$(lab_exec getent hosts 10.231.6.100 | tr -s ' \t' ' ')" "name of the first crowd member"
lab_expect_eq "10.231.7.143 CR0300" "$(lab_exec getent hosts 10.231.7.143 | tr -s ' \t' ' ')" "name of the last crowd member"
lab_expect_eq "10.231.6.21 nas01.lab" "$(lab_exec getent hosts 10.231.6.21 | tr -s ' \t' ' ')" "reverse DNS of NAS01"
lab_expect_eq "10.231.6.21 nas01.lab" "$(lab_exec getent hosts nas01.lab | tr -s ' \t' ' ')" "forward DNS of NAS01"
start=$SECONDS
lab_exec getent hosts 10.231.6.22 && lab_fail "an address without a name resolved"
((SECONDS - start <= 3)) || lab_fail "a reverse lookup without an answer took $((SECONDS - start)) s"

lab_expect_eq "default via 10.231.7.254 dev eth0 proto static" "$(lab_exec ip -4 route show default | sed 's/ *$//')" "the PC's static default route"

echo "crowd test passed"
