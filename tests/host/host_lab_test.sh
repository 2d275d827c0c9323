#!/usr/bin/env bash
# The start-up survey in the lab's PC namespace: what it reports and manager.log, line by line.
#   host_lab_test.sh <zelvo_host_probe>
source "$(dirname "$0")/../support/lab-test.sh"
need_root
probe=$1 work=$(mktemp -d)
trap 'rm -rf "$work"; lab_down' EXIT

run_case() { # NAME DHCP GATEWAY(empty: none)
    local dir="$work/$1" pc release pretty
    mkdir -p "$dir"
    out=$(lab_exec "$probe" "$dir") || fail "$1: the probe failed"
    pc=$("$LAB_SH" pc-addr "$LAB_PREFIX")
    expect_eq "0 $2 255.255.255.0 $pc LABPC|$pc|02-00-00-00-00-10|Your Host PC 0" "$out" "$1: survey"
    release=$(uname -r)
    pretty=$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-Linux}")
    [[ $release =~ ^([0-9]+)\.([0-9]+)(\.([0-9]+))? ]] || fail "odd kernel release $release"
    # shellcheck disable=SC2086
    pad() { local IFS=. && printf '%03d.%03d.%03d.%03d' $1; }
    expected=$(
        printf 'ZelvoSetup.exe Ver : 1.00-0.\r\n\r\n>>> Start to retrieve your PC and enviroment\r\n'
        printf ' OS\t\t: %s %d.%d (Build %d %s)\r\n' "$(uname -s)" "${BASH_REMATCH[1]}" \
            "${BASH_REMATCH[2]}" "${BASH_REMATCH[4]:-0}" "$pretty"
        printf ' IP Addr[1]\t: %s\r\n' "$(pad "$pc")"
        printf ' MAC Addr[1]\t: 02.00.00.00.00.10\r\n   buffer size=256\r\n'
        [[ -n $3 ]] && printf ' Gateway Addr\t: %s.\r\n' "$3"
        printf '<<< Close to retrieve your PC and enviroment\r\n'
    )
    diff <(printf '%s\n' "$expected" | cat -A) <(cat -A "$dir/manager.log") >&2 ||
        fail "$1: manager.log differs from the expected lines"
    echo "ok: $1"
}

lab_up <<<$'pc address=10.231.7.10 gateway=10.231.7.1 name=labpc\nunit name=NAS03 mac=02:5a:e1:40:00:03 address=none noname noftp noweb'
run_case fixed 0 ""
lab_up <<<$'pc dhcp name=labpc\ndhcpserver router=yes'
run_case dhcp-router 1 10.231.7.1
lab_up <<<$'pc dhcp name=labpc\ndhcpserver router=no'
run_case dhcp-no-router 0 ""

