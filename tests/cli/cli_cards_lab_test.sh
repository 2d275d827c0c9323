#!/usr/bin/env bash
# Every card of the PC: the units' cable (eth0, no gateway) beside the default route's card
# (wlan0, no units), a card without address (eth1) and a bridge without carrier (docker0).
source "$(dirname "$0")/cli_lab_common.sh"

forget_neighbours NAS01
run search --json
expect_rc 0 "search with the default route on another card"
expect_eq "10.232.9.10 (wlan0) 10.231.7.21" "$(jq -r '[.pc.address, (.units[] | select(.name == "NAS01") | .address)] | join(" ")' <<<"$OUT")" \
    "the PC's row and NAS01's address"
grep -q "Card\[2\]	: eth0 010.231.007.010 Mask 255.255.255.000 Net Addr base.baseend: 050.250" \
    "$WORK/manager.log" || fail "manager.log does not list eth0 and its block: $(cat "$WORK/manager.log")"

# NAS05 gets an address of eth0's block; the unit on eth1 is pointed out instead.
run assign --yes --json --mac 02:5a:e1:40:00:05
expect_rc 0 "assign with the default route on another card"
address=$(jq -r '.address' <<<"$OUT")
[[ $address =~ ^10\.231\.7\.([0-9]+)$ ]] && ((BASH_REMATCH[1] >= 50 && BASH_REMATCH[1] < 250)) ||
    fail "address $address is outside eth0's block"
lab wait-addr NAS05 20 || fail "NAS05 did not take an address"
expect_eq "$address" "$(lab unit-addr NAS05)" "the address NAS05 took"
grep -q "network card eth1, but that card has no IP address" <<<"$ERR" ||
    fail "the unit on eth1 was not pointed out: $ERR"

# A card the search cannot use is refused (the reasons: the host logic's card refusals).
run search --interface docker0
expect_rc 2 "search --interface docker0"
grep -q "no carrier" <<<"$ERR" || fail "--interface docker0: '$ERR' does not say 'no carrier'"

forget_neighbours NAS01
run search --json --interface eth0
expect_rc 0 "search on eth0"
expect_eq "10.231.7.10 10.231.7.21" "$(jq -r '[.pc.address, (.units[] | select(.name == "NAS01") | .address)] | join(" ")' <<<"$OUT")" \
    "the PC's row and NAS01 on eth0"
grep -q "Card\[" "$WORK/manager.log" && fail "a search restricted to eth0 listed cards"

# A card without units: the PC alone, status 1, and after the search's own lines
# manager.log tells what the PC's cards show.
run search --json --interface wlan0
expect_rc 1 "search on a card without units"
expect_eq "LABPC 0" "$(jq -r '"\(.pc.name) \(.units | length)"' <<<"$OUT")" "the PC's row, units listed"
log=$(tr -d '\r' <"$WORK/manager.log")
grep -qxF "  [wlan0] units on wlan0: 0; Set IP possible: yes" <<<"$log" ||
    fail "no verdict line for wlan0 in manager.log: $log"

echo "every card of the PC passed"
