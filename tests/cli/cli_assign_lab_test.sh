#!/usr/bin/env bash
# diagnose, the firewall verdict and assign end to end (NAS01 named, NAS05 waiting for an
# address). Behind the drop rule assign serves nobody; without it only with --yes, and only
# the MAC it was narrowed to.
source "$(dirname "$0")/cli_lab_common.sh"
command -v nft >/dev/null || fail "nft is missing (scripts/setup.sh installs nftables)"
trap 'nft delete table inet zelvotest 2>/dev/null; rm -rf "$WORK"' EXIT
no_rules() { nft delete table inet zelvotest 2>/dev/null || true; }
drop_67() {
    no_rules
    nft -f - <<<'table inet zelvotest { chain input { type filter hook input priority filter;
        policy accept; udp dport 67 drop; }; }' || fail "cannot load the drop rule"
}
open_cmd='nft insert rule inet zelvotest input iifname "eth0" udp dport 67 accept'

# setup | command | status | where (OUT, ERR, log) | a line that must be there
rows=(
    "no_rules|search|0|OUT|NAS01          02-5a-e1-40-00-01  10.231.7.21  VELDIX [0]"
    "drop_67|diagnose|0|OUT|  verdict         : units on eth0: 1; Set IP possible: no (the firewall drops UDP port 67)"
    "drop_67|assign --yes --wait 3|1|ERR|The firewall of this PC drops the DHCP requests (UDP port 67) that reach the card"
    "drop_67|assign --yes --wait 3|1|log|  Firewall	: UDP 67 on eth0 dropped (nftables; dropped by inet zelvotest input)"
)
for row in "${rows[@]}"; do
    IFS='|' read -r setup command status where line <<<"$row"
    $setup
    # shellcheck disable=SC2086
    run $command
    expect_rc "$status" "$setup: $command"
    log=$(tr -d '\r' <"$WORK/manager.log")
    grep -qxF -- "$line" <<<"${!where}" || fail "$setup: $command: no line '$line' in $where:
${!where}"
done
# The drop rule kept NAS05's requests out; the command to open it was told once.
[[ -z $(lab unit-addr NAS05) ]] || fail "NAS05 took an address through the drop rule"
expect_eq 1 "$(grep -cF "$open_cmd" <<<"$ERR")" "times the command was told in one run"
no_rules

run assign --yes --mac 02:5a:e1:40:00:06 --wait 8
expect_rc 1 "assign narrowed to a unit that is not there"
grep -q "Reject\|Received Dhcp" "$WORK/manager.log" && fail "the narrowed run answered someone"
[[ -z $(lab unit-addr NAS05) ]] || fail "NAS05 was served by a narrowed assign"

run assign --yes --json --mac 02-5A-E1-40-00-05
expect_rc 0 "assign --yes"
address=$(jq -r '.address' <<<"$OUT")
expect_eq "NAS05 02-5a-e1-40-00-05 http://$address/index.html" \
    "$(jq -r '"\(.unit.name) \(.unit.mac) \(.url)"' <<<"$OUT")" "the unit served and its page"
[[ $address =~ ^10\.231\.7\.([0-9]+)$ ]] && ((BASH_REMATCH[1] >= 50 && BASH_REMATCH[1] < 250)) ||
    fail "address $address is outside the PC's block"
lab wait-addr NAS05 20 || fail "NAS05 did not take an address"
expect_eq "$address" "$(lab unit-addr NAS05)" "the address NAS05 took"
echo "command-line diagnose and assign passed"
