#!/usr/bin/env bash
# Starts or checks the servers of one simulated unit. Runs inside the unit's namespace
# (from lab.sh, or from the DHCP script once the unit has an address).
#   node-services.sh start <prefix> <node>            starts what is not running yet
#   node-services.sh ready <prefix> <node> [seconds]  waits until every server answers
#   node-services.sh stop <prefix> <node>             ends them (the unit lost its address)
set -uo pipefail
LAB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$LAB_DIR/lib/common.sh"
source "$LAB_DIR/lib/addr.sh"

action=${1:-} prefix=${2:-} node=${3:-}
load_plan "$prefix"
[[ -n ${N_ROLE[$node]:-} ]] || die "no unit '$node' in lab $prefix"
D=$(node_dir "$P" "$node")
addr=$(ip -4 -o addr show dev eth0 | awk '{ sub("/.*", "", $4); print $4; exit }')

running() { # service
    local pid
    pid=$(cat "$D/run/$1.pid" 2>/dev/null) || return 1
    [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null
}

start_service() { # service, command...
    local svc=$1
    shift
    running "$svc" && return 0
    setsid "$@" </dev/null >>"$D/log/$svc.out" 2>&1 &
    echo $! >"$D/run/$svc.pid"
}

listening() { # tcp port
    [[ -n $(ss -Hltn "sport = :$1") ]]
}

name_answers() {
    timeout 3 nmblookup -s "$D/smb.conf" -A "$addr" 2>/dev/null | grep -Eq "^[[:space:]]+${node^^}[[:space:]]+<00> - [^<]*<ACTIVE>"
}

case $action in
start)
    [[ -n $addr ]] || die "$node has no address yet; its servers start when it gets one"
    if ((N_NBNAME[$node])); then
        start_service nmbd nmbd --foreground --no-process-group --configfile="$D/smb.conf" -l "$D/log"
    fi
    ((N_FTP[$node])) && start_service vsftpd vsftpd "$D/vsftpd.conf"
    ((N_WEB[$node])) && start_service httpd busybox httpd -f -p 80 -h "$D/www"
    exit 0
    ;;
stop)
    pids=()
    for svc in nmbd vsftpd httpd; do
        running "$svc" && pids+=("$(cat "$D/run/$svc.pid")")
        rm -f "$D/run/$svc.pid"
    done
    ((${#pids[@]})) || exit 0
    kill "${pids[@]}" 2>/dev/null
    # Gone before a new start binds the same ports.
    for ((i = 0; i < 30; i++)); do
        kill -0 "${pids[@]}" 2>/dev/null || exit 0
        sleep 0.1
    done
    kill -KILL "${pids[@]}" 2>/dev/null
    exit 0
    ;;
ready)
    seconds=${4:-20}
    deadline=$((SECONDS + seconds))
    while ((SECONDS < deadline)); do
        missing=
        [[ -n $addr ]] || missing+=" address"
        ((N_FTP[$node])) && ! listening 21 && missing+=" ftp"
        ((N_WEB[$node])) && ! listening 80 && missing+=" web"
        [[ -n $addr ]] && ((N_NBNAME[$node])) && ! name_answers && missing+=" name"
        [[ -z $missing ]] && exit 0
        sleep 0.2
        addr=$(ip -4 -o addr show dev eth0 | awk '{ sub("/.*", "", $4); print $4; exit }')
    done
    die "$node is not ready after ${seconds}s; missing:$missing (logs in $D/log)"
    ;;
*)
    die "usage: node-services.sh start|stop|ready <prefix> <node> [seconds]"
    ;;
esac
