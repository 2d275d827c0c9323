#!/usr/bin/env bash
# diagnose and the firewall verdict end to end, on a segment with a named unit (NAS01)
# and a unit that waits for an address (NAS05). Each row sets the PC's own nftables
# ruleset, runs one command and looks for its lines; the ruleset is removed at the end.
source "$(dirname "$0")/cli_lab_common.sh"
command -v nft >/dev/null || fail "nft is missing (scripts/setup.sh installs nftables)"
trap 'nft delete table inet zelvotest 2>/dev/null; rm -rf "$WORK"' EXIT

no_rules() { nft delete table inet zelvotest 2>/dev/null || true; }
drop_67() {
    no_rules
    nft -f - <<'RULES' || fail "cannot load the drop rule"
table inet zelvotest {
    chain input {
        type filter hook input priority filter; policy accept;
        udp dport 67 drop
    }
}
RULES
}
open_cmd='nft insert rule inet zelvotest input iifname "eth0" udp dport 67 accept'

# setup | command | status | where (out, err, log) | a line that must be there
rows=(
    "no_rules|search|0|out|NAS01          02-5a-e1-40-00-01  10.231.7.21  VELDIX [0]"
    "no_rules|diagnose|0|out|  verdict         : units on eth0: 1; Set IP possible: yes"
    "no_rules|diagnose|0|out|  firewall UDP 67 : open (none; no input chain)"
    "drop_67|diagnose --interface eth0|0|out|  firewall UDP 67 : dropped (nftables; dropped by inet zelvotest input)"
    "drop_67|diagnose|0|out|    to open (root): $open_cmd"
    "drop_67|diagnose|0|out|  verdict         : units on eth0: 1; Set IP possible: no (the firewall drops UDP port 67)"
    "drop_67|assign --yes --wait 3|1|err|The firewall of this PC drops the DHCP requests (UDP port 67) that reach the card"
    "drop_67|assign --yes --wait 3|1|log|  Firewall	: UDP 67 on eth0 dropped (nftables; dropped by inet zelvotest input)"
)
for row in "${rows[@]}"; do
    IFS='|' read -r setup command status where line <<<"$row"
    $setup
    # shellcheck disable=SC2086
    run $command
    expect_rc "$status" "$setup: $command"
    case $where in
    out) text=$OUT ;;
    err) text=$ERR ;;
    log) text=$(tr -d '\r' <"$WORK/manager.log") ;;
    esac
    grep -qxF -- "$line" <<<"$text" || fail "$setup: $command: no line '$line' in $where:
$text"
done

# The drop rule kept NAS05's requests out: assign served nobody, told the command once.
[[ -z $(lab unit-addr NAS05) ]] || fail "NAS05 took an address through the drop rule"
run assign --yes --wait 3
expect_eq 1 "$(grep -cF "$open_cmd" <<<"$ERR")" "times the command was told in one run"

run diagnose --json --interface eth0
expect_rc 0 "diagnose --json"
expect_eq "dropped" "$(jq -r '.cards[0].firewall.verdict' <<<"$OUT")" "the JSON verdict"
expect_eq "1" "$(jq -r '.cards[0].unitsFound' <<<"$OUT")" "the JSON unit count"
no_rules
echo "diagnose and the firewall verdict passed"
