# shellcheck shell=bash
# The shell tests' helpers: source "<repo>/tests/support/lab-test.sh". A test in a lab of
# a ctest fixture (run in its PC namespace by tests/lab/lab-ctest.sh) calls
# need_fixture_lab; one that builds its own uses lab_up and the lab_* of lab/testlib.sh.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../lab/testlib.sh"
fail() { lab_fail "$@"; }
expect_eq() { lab_expect_eq "$@"; } # expected, actual, what
skip() { echo "SKIP: $*" && exit 77; } # 77: SKIP_RETURN_CODE of the ctest entry
need_root() { lab_require_root; }
need_fixture_lab() {
    [[ -n ${ZELVO_LAB_PREFIX:-} && -x ${ZELVO_LAB:-} ]] || fail "not started by the lab's ctest runner"
}
# A command of the lab on the fixture's lab: lab unit-addr NAS01.
lab() { "$ZELVO_LAB" "$1" "$ZELVO_LAB_PREFIX" "${@:2}"; }
# Empties the neighbour tables of the PC and the named hosts: a unit that still knows the
# PC's MAC answers a search without asking for it, and the PC would learn nothing.
forget_neighbours() {
    ip -4 neigh flush all || fail "cannot flush the PC's neighbours"
    local host
    for host in "$@"; do
        lab unit-exec "$host" -- ip -4 neigh flush all || fail "cannot flush $host's neighbours"
    done
}
