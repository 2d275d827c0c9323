#!/usr/bin/env bash
# A segment without units: search prints the PC alone, says why on standard error and
# ends with status 1; a unit command finds nothing to work on.
source "$(dirname "$0")/cli_lab_common.sh"

run search --json
expect_rc 1 "search without units"
expect_eq "LABPC" "$(jq -r '.pc.name' <<<"$OUT")" "the PC's row"
expect_eq "0" "$(jq '.units | length' <<<"$OUT")" "units listed"
grep -q "VELDIX not found" <<<"$ERR" || fail "search without units said: $ERR"

run web NAS01
expect_rc 1 "web without units"
echo "command-line runs on an empty segment passed"
