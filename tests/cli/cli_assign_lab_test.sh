#!/usr/bin/env bash
# assign end to end: the command line answers a waiting unit's DHCP requests, the unit
# takes the address, and the command prints the address and the unit's name. Narrowed
# to another MAC, it serves nobody; without --yes and without a terminal it refuses.
source "$(dirname "$0")/cli_lab_common.sh"

[[ -z $(lab unit-addr NAS05) ]] || fail "NAS05 has an address before the test"

run assign
expect_rc 1 "assign without --yes or a terminal"
grep -q "Add --yes" <<<"$ERR" || fail "the refusal did not say how to answer: $ERR"
[[ -z $(lab unit-addr NAS05) ]] || fail "a refused assign gave NAS05 an address"

run assign --yes --mac 02:5a:e1:40:00:06 --wait 8
expect_rc 1 "assign narrowed to a unit that is not there"
[[ -z $(lab unit-addr NAS05) ]] || fail "NAS05 was served though another MAC was asked for"
grep -q "Reject\|Received Dhcp" "$WORK/manager.log" && fail "the narrowed run answered someone"

run assign --yes --json --mac 02-5A-E1-40-00-05
expect_rc 0 "assign --yes"
address=$(jq -r '.address' <<<"$OUT")
expect_eq "NAS05" "$(jq -r '.unit.name' <<<"$OUT")" "the unit's name"
expect_eq "02-5a-e1-40-00-05" "$(jq -r '.unit.mac' <<<"$OUT")" "the unit's MAC"
expect_eq "http://$address/index.html" "$(jq -r '.url' <<<"$OUT")" "the page offered"
[[ $address =~ ^10\.231\.7\.([0-9]+)$ ]] && ((BASH_REMATCH[1] >= 50 && BASH_REMATCH[1] < 250)) ||
    fail "address $address is outside the PC's block"
lab wait-addr NAS05 20 || fail "NAS05 did not take an address"
expect_eq "$address" "$(lab unit-addr NAS05)" "the address NAS05 took"
grep -q "Received Dhcp_Request" "$WORK/manager.log" || fail "manager.log has no Set IP lines"

echo "command-line assign passed"
