# Sourced by the command line's lab tests: each runs its own copy of the command line in a
# fresh folder, with its manager.log and lock beside it, so tests running at once never meet.
source "$(dirname "${BASH_SOURCE[0]}")/../support/lab-test.sh"
need_fixture_lab
command -v jq >/dev/null || fail "jq is missing (scripts/setup.sh installs it)"

WORK=$(mktemp -d /tmp/zelvo-cli-lab.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
cp "${1:?path of the built zelvo-setup-cli}" "$WORK/zelvo-setup-cli"
cp "$(dirname "$1")/manager.ini" "$WORK/manager.ini"
export XDG_RUNTIME_DIR=$WORK
CLI=$WORK/zelvo-setup-cli

# [AS=prefix] run ARGS...: stdout in $OUT, stderr in $ERR, status in $RC.
run() {
    # shellcheck disable=SC2086
    ${AS:-} "$CLI" "$@" >"$WORK/out" 2>"$WORK/err" </dev/null
    RC=$? OUT=$(cat "$WORK/out") ERR=$(cat "$WORK/err")
}
expect_rc() { [[ $RC -eq $1 ]] || fail "'$2': exit status $RC, expected $1; stderr: $ERR; stdout: $OUT"; }
