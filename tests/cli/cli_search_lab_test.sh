#!/usr/bin/env bash
# search and web end to end: the units picked by address, MAC and name.
source "$(dirname "$0")/cli_lab_common.sh"

forget_neighbours NAS01 NAS02 NAS09 OTHER

run search --json
expect_rc 0 "search --json"
expect_eq "" "$ERR" "standard error of a search without a terminal"
expect_eq "LABPC 02-00-00-00-00-10 10.231.7.10 Your Host PC" \
    "$(jq -r '.pc | "\(.name) \(.mac) \(.address) \(.type)"' <<<"$OUT")" "the PC's row"
expect_eq "NAS01 02-5a-e1-40-00-01 10.231.7.21 VELDIX [0]
NAS02 02-5a-e1-40-00-02 10.231.7.22 VELDIX [1]" \
    "$(jq -r '.units[] | "\(.name) \(.mac) \(.address) \(.type)"' <<<"$OUT")" "the units listed"

# By address the unit is asked directly, without a search; by name or MAC it is searched.
for unit in nas02 10.231.7.22 02-5A-E1-40-00-02; do
    forget_neighbours NAS02
    run web "$unit" --json -q
    expect_rc 0 "web $unit"
    expect_eq "NAS02 02-5a-e1-40-00-02 http://10.231.7.22/index.html" \
        "$(jq -r '"\(.unit.name) \(.unit.mac) \(.url)"' <<<"$OUT")" "web $unit"
    searched=$(grep -c "Going to find VELDIX" "$WORK/manager.log")
    expect_eq "$([[ $unit == 10.* ]] && echo 0 || echo 1)" "$searched" "searches for web $unit"
done

# Run as root, --open starts no browser: it prints the address and says and logs why.
run web NAS02 --open --json
expect_rc 1 "web --open as root"
expect_eq "http://10.231.7.22/index.html" "$(jq -r .url <<<"$OUT")" "web --open as root"
grep -q "does not start the browser" <<<"$ERR" || fail "web --open as root said: $ERR"
grep -q "Browser not started as root: http://10.231.7.22/index.html" "$WORK/manager.log" ||
    fail "the refusal is not in manager.log: $(cat "$WORK/manager.log")"

# Units not listed cannot be named, not by address either; nor can a silent address.
for unit in NAS09 OTHER 10.231.7.26 10.231.7.25 10.231.7.99; do
    run web "$unit"
    expect_rc 1 "web $unit"
    expect_eq "" "$OUT" "standard output of web $unit"
    grep -q "No unit listed by the search matches : $unit" <<<"$ERR" || fail "web $unit said: $ERR"
done

# Another instance holds the guard: refused with status 2, and the log is left alone.
before=$(md5sum <"$WORK/manager.log")
AS="flock -n $WORK/PreventSecondInstanceForQuorvane.lock" run search
expect_rc 2 "search beside another instance"
grep -q "already running" <<<"$ERR" || fail "second instance said: $ERR"
expect_eq "$before" "$(md5sum <"$WORK/manager.log")" "manager.log after a refused start"

echo "command-line search and web passed"
