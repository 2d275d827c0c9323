#!/usr/bin/env bash
# A segment without units: search prints the PC alone, says why on standard error and
# ends with status 1 (a unit command that finds nothing: cli_search_lab_test.sh).
source "$(dirname "$0")/cli_lab_common.sh"

run search --json
expect_rc 1 "search without units"
expect_eq "LABPC 0" "$(jq -r '"\(.pc.name) \(.units | length)"' <<<"$OUT")" "the PC's row, units listed"
grep -q "VELDIX not found" <<<"$ERR" || fail "search without units said: $ERR"
# After the search's own lines, manager.log tells what the PC's cards show.
log=$(tr -d '\r' <"$WORK/manager.log")
grep -qxF " Diagnosis of the PC's cards" <<<"$log" || fail "no diagnosis in manager.log: $log"
grep -qxF "  [eth0] units on eth0: 0; Set IP possible: yes" <<<"$log" ||
    fail "no verdict line for eth0 in manager.log: $log"

echo "command-line runs on an empty segment passed"
