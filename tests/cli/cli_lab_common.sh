# Shared by the command line's lab tests; sourced, runs in the lab's PC namespace. Each
# test runs its own copy of the command line in a fresh folder (manager.log is written
# beside it) with its own lock folder, so that tests running at once never meet.
set -uo pipefail
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[[ -n ${ZELVO_LAB_PREFIX:-} && -x ${ZELVO_LAB:-} ]] || fail "not started by the lab's ctest runner"
command -v jq >/dev/null || fail "jq is missing (scripts/setup.sh installs it)"
lab() { "$ZELVO_LAB" "$1" "$ZELVO_LAB_PREFIX" "${@:2}"; }

WORK=$(mktemp -d /tmp/zelvo-cli-lab.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
cp "${1:?path of the built zelvo-setup-cli}" "$WORK/zelvo-setup-cli"
cp "$(dirname "$1")/manager.ini" "$WORK/manager.ini"
export XDG_RUNTIME_DIR=$WORK
CLI=$WORK/zelvo-setup-cli

# run ARGS...: stdout in $OUT, stderr in $ERR, status in $RC.
run() {
    "$CLI" "$@" >"$WORK/out" 2>"$WORK/err" </dev/null
    RC=$? OUT=$(cat "$WORK/out") ERR=$(cat "$WORK/err")
}
expect_rc() { [[ $RC -eq $1 ]] || fail "'$2': exit status $RC, expected $1; stderr: $ERR; stdout: $OUT"; }
expect_eq() { [[ $1 == "$2" ]] || fail "$3: got '$2', expected '$1'"; }
# Empties the neighbour tables of the PC and of the named lab hosts, so that a search
# makes the units answer anew (a unit that still knows the PC's MAC teaches it nothing).
forget_neighbours() {
    ip -4 neigh flush all
    local host
    for host in "$@"; do
        lab unit-exec "$host" -- ip -4 neigh flush all || fail "cannot flush $host's neighbours"
    done
}
