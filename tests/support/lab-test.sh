# shellcheck shell=bash
# The shell tests' helpers. A test in a lab of a ctest fixture calls need_fixture_lab; one
# that builds its own uses lab_up and the lab_* of lab/testlib.sh.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../lab/testlib.sh"
fail() { lab_fail "$@"; }
expect_eq() { lab_expect_eq "$@"; } # expected, actual, what
skip() { echo "SKIP: $*" && exit 77; } # 77: SKIP_RETURN_CODE of the ctest entry
need_root() { lab_require_root; }
need_fixture_lab() {
    [[ -n ${ZELVO_LAB_PREFIX:-} && -x ${ZELVO_LAB:-} ]] || fail "not started by the lab's ctest runner"
}
lab() { "$ZELVO_LAB" "$1" "$ZELVO_LAB_PREFIX" "${@:2}"; } # lab unit-addr NAS01
# A unit that still knows the PC's MAC answers a search without asking: the PC learns nothing.
forget_neighbours() { # hosts whose neighbour tables are emptied beside the PC's
    ip -4 neigh flush all || fail "cannot flush the PC's neighbours"
    local host
    for host; do lab unit-exec "$host" -- ip -4 neigh flush all || fail "cannot flush $host's neighbours"; done
}
