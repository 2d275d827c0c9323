#!/usr/bin/env bash
# The lab: simulated VELDIX units made of real daemons in network namespaces.
# Usage and description format: lab/README.md. Needs root except for `check` and `list`;
# without root it exits with 77 (the code ctest reports as skipped).
set -euo pipefail
LAB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$LAB_DIR/lib/common.sh"
source "$LAB_DIR/lib/addr.sh"
source "$LAB_DIR/lib/describe.sh"
source "$LAB_DIR/lib/node.sh"
source "$LAB_DIR/lib/build.sh"
source "$LAB_DIR/lib/teardown.sh"

usage() {
    cat >&2 <<'EOF'
usage: lab.sh up <description-file>          build a lab; its prefix is the last line of stdout
       lab.sh check <description-file>       check a description only
       lab.sh exec <prefix> -- <command...>  run a command in the PC namespace
       lab.sh unit-exec <prefix> <unit> -- <command...>
       lab.sh unit-addr|unit-mac|unit-ftp-root <prefix> <unit>
       lab.sh unit-put <prefix> <unit> config|firmware <file> [name]
       lab.sh wait-addr <prefix> <unit> [seconds]
       lab.sh pc-addr <prefix>
       lab.sh ns <prefix> pc|router|<unit>
       lab.sh list
       lab.sh down <prefix> | --all
EOF
    exit 2
}

need_root() {
    if [[ $(id -u) -ne 0 ]]; then
        echo "lab: needs root (network namespaces, veth links, daemons on ports 21, 80, 137); skipped" >&2
        exit 77
    fi
}

need_node() { # name
    [[ -n ${N_ROLE[$1]:-} ]] || die "lab $P has no unit or host named '$1'"
}

# Drops the "--" that separates a command from the lab's own arguments.
strip_dashes() { [[ ${1:-} == -- ]]; }

new_prefix() {
    local p
    while :; do
        p=zl$(od -An -N2 -tx1 /dev/urandom | tr -d ' \n')
        [[ -z $(lab_namespaces "$p") && ! -e $LAB_RUN/$p ]] && break
    done
    echo "$p"
}

cmd_up() {
    local file=${1:-}
    [[ -n $file ]] || usage
    need_root
    describe_load "$file" || exit 2
    check_segment_unused || exit 2
    P=${ZELVO_LAB_PREFIX:-$(new_prefix)}
    valid_prefix "$P" || die "ZELVO_LAB_PREFIX '$P' must be 1 to 8 characters [a-z][a-z0-9]*"
    if [[ -n $(lab_namespaces "$P") || -e $LAB_RUN/$P ]]; then
        die "a lab with prefix $P exists already; remove it with: lab.sh down $P"
    fi
    note_shared_dirs
    mkdir -p "$LAB_RUN/$P"
    cp "$file" "$LAB_RUN/$P/description"
    say "building lab $P from $file"
    set +e
    (
        set -eE
        trap 'say "step failed (line $LINENO): $BASH_COMMAND"' ERR
        build_lab
    )
    local rc=$?
    set -e
    if ((rc != 0)); then
        say "building lab $P failed; removing what was built"
        teardown_prefix "$P" || true
        exit 1
    fi
    say "lab $P is up"
    echo "$P"
}

# X cookies are bound to the host name, which differs in the PC namespace: hand the
# programs there a copy of the display's cookie that holds for any host name.
share_display() {
    [[ -n ${DISPLAY:-} ]] && command -v xauth >/dev/null || return 0
    local cookies copy=$LAB_RUN/$P/pc/Xauthority
    cookies=$(xauth nlist "$DISPLAY" 2>/dev/null) || return 0
    [[ -n $cookies ]] || return 0
    sed -e 's/^..../ffff/' <<<"$cookies" | xauth -q -f "$copy" nmerge - 2>/dev/null || return 0
    export XAUTHORITY=$copy
}

cmd_exec() {
    local p=${1:-}
    shift || true
    strip_dashes "${1:-}" && shift
    (($#)) || usage
    need_root
    load_plan "$p"
    share_display
    # A UTS namespace of its own gives the PC its host name.
    exec ip netns exec "$(ns_of "$P" pc)" env ZELVO_LAB_OWNER="$P" \
        unshare --uts sh -c 'hostname "$0" && exec "$@"' "$PC_NAME" "$@"
}

cmd_unit_exec() {
    local p=${1:-} node=${2:-}
    shift 2 || usage
    strip_dashes "${1:-}" && shift
    (($#)) || usage
    need_root
    load_plan "$p"
    need_node "$node"
    exec ip netns exec "$(ns_of "$P" "$node")" env ZELVO_LAB_OWNER="$P" "$@"
}

cmd_unit_put() { # prefix unit config|firmware file [name]
    local p=${1:-} node=${2:-} dir=${3:-} file=${4:-} name=${5:-}
    [[ -n $file && ($dir == config || $dir == firmware) ]] || usage
    need_root
    load_plan "$p"
    need_node "$node"
    ((N_FTP[$node])) || die "$node has no FTP server"
    name=${name:-$(basename "$file")}
    [[ $name != */* && $name != . && $name != .. ]] || die "'$name' is not a plain file name"
    install -o "$FTP_UID" -g "$FTP_GID" -m 644 "$file" "$(node_dir "$P" "$node")/ftp/$dir/$name"
}

cmd_wait_addr() { # prefix unit [seconds]
    local p=${1:-} node=${2:-} seconds=${3:-60} deadline ns
    need_root
    load_plan "$p"
    need_node "$node"
    ns=$(ns_of "$P" "$node")
    deadline=$((SECONDS + seconds))
    until [[ -n $(ns_ipv4 "$ns") ]]; do
        ((SECONDS < deadline)) || die "$node has no address after ${seconds}s"
        sleep 0.2
    done
    in_ns "$ns" "$LAB_DIR/node-services.sh" ready "$P" "$node" $((deadline - SECONDS > 5 ? deadline - SECONDS : 5))
}

cmd_list() {
    local p
    for p in $(all_prefixes); do
        if [[ -r $LAB_RUN/$p/plan.sh ]]; then echo "$p"; else echo "$p (left over; lab.sh down $p)"; fi
    done
}

main() {
    local cmd=${1:-}
    shift || true
    case $cmd in
    up) cmd_up "$@" ;;
    check)
        [[ -n ${1:-} ]] || usage
        describe_load "$1" || exit 2
        check_segment_unused || exit 2
        echo "ok"
        ;;
    exec) cmd_exec "$@" ;;
    unit-exec) cmd_unit_exec "$@" ;;
    unit-addr)
        need_root
        load_plan "${1:-}"
        need_node "${2:-}"
        ns_ipv4 "$(ns_of "$P" "$2")"
        ;;
    pc-addr)
        need_root
        load_plan "${1:-}"
        ns_ipv4 "$(ns_of "$P" pc)"
        ;;
    unit-mac)
        load_plan "${1:-}"
        need_node "${2:-}"
        echo "${N_MAC[$2]}"
        ;;
    unit-ftp-root)
        load_plan "${1:-}"
        need_node "${2:-}"
        ((N_FTP[$2])) || die "$2 has no FTP server"
        echo "$(node_dir "$P" "$2")/ftp"
        ;;
    unit-put) cmd_unit_put "$@" ;;
    wait-addr) cmd_wait_addr "$@" ;;
    ns)
        load_plan "${1:-}"
        case ${2:-} in
        pc) ns_of "$P" pc ;;
        router)
            [[ -n $RT_ADDR ]] || die "lab $P has no router"
            ns_of "$P" rt
            ;;
        *)
            need_node "${2:-}"
            ns_of "$P" "$2"
            ;;
        esac
        ;;
    list) cmd_list ;;
    down)
        need_root
        case ${1:-} in
        --all) teardown_all ;;
        "") usage ;;
        *)
            valid_prefix "$1" || die "'$1' is not a lab prefix"
            teardown_prefix "$1"
            ;;
        esac
        ;;
    *) usage ;;
    esac
}

main "$@"
