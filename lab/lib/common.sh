# Names and small helpers shared by lab.sh, its DHCP script and its service starter.
# LAB_DIR must be set (the lab/ folder). P is the lab's prefix once known.

LAB_RUN=/run/zelvo-lab
LAB_NETNS_ETC=/etc/netns
# The FTP user of the units exists only inside the units' namespaces (their own passwd,
# shadow and group files); files the FTP server may overwrite belong to this id.
FTP_USER=korblenx
FTP_PASSWORD=ferntide
FTP_UID=2121
FTP_GID=2121

say() { echo "lab: $*" >&2; }
die() {
    say "$*"
    exit 1
}

valid_prefix() { [[ $1 =~ ^[a-z][a-z0-9]{0,7}$ ]]; }

state_dir() { echo "$LAB_RUN/$1"; }
node_dir() { echo "$LAB_RUN/$1/nodes/$2"; }

# Namespace names: zlab-<prefix>-pc | -sw | -rt | -crowd | -u-<node>
ns_of() { # prefix, role-or-node
    case $2 in
    pc | sw | rt | crowd) echo "zlab-$1-$2" ;;
    *) echo "zlab-$1-u-$2" ;;
    esac
}

# Loads the saved plan of a lab; fails when the lab does not exist.
load_plan() {
    local p=$1
    valid_prefix "$p" || die "'$p' is not a lab prefix"
    [[ -r $LAB_RUN/$p/plan.sh ]] || die "no lab with prefix '$p' (see: lab.sh list)"
    # shellcheck disable=SC1090
    source "$LAB_RUN/$p/plan.sh"
    P=$p
}

# Runs a command inside a lab namespace with the lab's mark in its environment, so that
# tear-down finds it even when it left the namespace's process list.
in_ns() { # namespace, command...
    local ns=$1
    shift
    ip netns exec "$ns" env ZELVO_LAB_OWNER="$P" "$@"
}

# Starts a long-running process in a lab namespace, detached: its own session and no
# inherited terminal or pipes, so that ctest and shells do not wait for it.
# Args: namespace, log file, command...
spawn_in_ns() {
    local ns=$1 log=$2
    shift 2
    setsid ip netns exec "$ns" env ZELVO_LAB_OWNER="$P" "$@" </dev/null >>"$log" 2>&1 &
}

# First IPv4 address of eth0 in a namespace, without the prefix length; empty if none.
ns_ipv4() {
    local words
    read -r -a words < <(ip -n "$1" -4 -o addr show dev eth0 2>/dev/null)
    [[ ${#words[@]} -ge 4 ]] && echo "${words[3]%/*}"
    return 0
}
