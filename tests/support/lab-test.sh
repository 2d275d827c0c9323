# shellcheck shell=bash
# The shell tests' helpers; source it first: source "<repo>/tests/support/lab-test.sh".
# A test in a lab that a ctest fixture built (run by tests/lab/lab-ctest.sh in its PC
# namespace) calls need_fixture_lab; a test that builds its own lab uses lab_up and the
# other lab_* helpers of lab/testlib.sh.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../lab/testlib.sh"

fail() { lab_fail "$@"; }
expect_eq() { lab_expect_eq "$@"; } # expected, actual, what
# Says why the test does not run and exits 77 (SKIP_RETURN_CODE of its ctest entry).
skip() {
    echo "SKIP: $*"
    exit 77
}
need_root() { lab_require_root; }

need_fixture_lab() {
    [[ -n ${ZELVO_LAB_PREFIX:-} && -x ${ZELVO_LAB:-} ]] || fail "not started by the lab's ctest runner"
}
# A command of the lab on the fixture's lab: lab unit-addr NAS01.
lab() { "$ZELVO_LAB" "$1" "$ZELVO_LAB_PREFIX" "${@:2}"; }

# Empties the neighbour tables of the PC and of the named hosts, so that a search makes the
# units answer anew: a unit that still knows the PC's MAC answers without asking for it,
# and the PC would learn nothing about it.
forget_neighbours() {
    ip -4 neigh flush all || fail "cannot flush the PC's neighbours"
    local host
    for host in "$@"; do
        lab unit-exec "$host" -- ip -4 neigh flush all || fail "cannot flush $host's neighbours"
    done
}
