#!/usr/bin/env bash
# The tool's application (ScriptedTool.cpp) as processes, each in a network namespace of
# its own so that it cannot reach a real network.
source "$(dirname "$0")/../support/lab-test.sh"
TOOL=${1:?path of app_scripted_tool}
ns=""
for prefix in "unshare --net --" "unshare -rn --"; do
    $prefix true 2>/dev/null && ns=$prefix && break
done
[[ -n $ns ]] || skip "cannot make a network namespace (needs root or user namespaces)"

DIR=$(mktemp -d /tmp/zelvo-start.XXXXXX)
trap 'kill -9 $(jobs -p) 2>/dev/null; rm -rf "$DIR"' EXIT
mkdir "$DIR/run"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$DIR/run
LOCK=$DIR/run/PreventSecondInstanceForQuorvane.lock

place() { # FOLDER: the tool and its manager.ini in it
    mkdir -p "$1"
    cp "$TOOL" "$1/ZelvoSetup"
    printf '"/index.html""/c.html""/r.html""/f.html""/config""/firmware"' >"$1/manager.ini"
}
logged() { # FOLDER TEXT: waits until the running tool ($PID) has logged TEXT
    for _ in {1..600}; do
        grep -qsF "$2" "$1/manager.log" && return
        kill -0 "$PID" 2>/dev/null || break
        sleep 0.1
    done
    fail "the tool in $1 did not log '$2': $(cat "$DIR/output.txt" "$1/manager.log")"
}
start_running() { # FOLDER: the tool in the background ($PID) until its survey is logged
    # shellcheck disable=SC2086
    $ns "$1/ZelvoSetup" >>"$DIR/output.txt" 2>&1 &
    PID=$!
    logged "$1" "<<< Close to retrieve your PC"
}
stop() { # SIGNAL
    kill "-$1" "$PID"
    wait "$PID" 2>/dev/null
}

# A second start ends at once with status 0 and leaves the first (and its log) alone; a
# killed first instance releases the guard (a start in a fresh folder logs its survey).
place "$DIR/ZelvoSetup-1.0"
start_running "$DIR/ZelvoSetup-1.0"
cp "$DIR/ZelvoSetup-1.0/manager.log" "$DIR/first.log"
# shellcheck disable=SC2086
timeout 10 $ns "$DIR/ZelvoSetup-1.0/ZelvoSetup" /set >>"$DIR/output.txt" 2>&1
expect_eq 0 "$?" "status of a second start"
kill -0 "$PID" || fail "the first instance ended beside the second"
cmp -n "$(stat -c %s "$DIR/first.log")" "$DIR/first.log" "$DIR/ZelvoSetup-1.0/manager.log" ||
    fail "the second start changed the first's log"
stop KILL

place "$DIR/again"
start_running "$DIR/again"
stop TERM

# A lock file of another account: the tool starts unguarded and logs why.
[[ $EUID -eq 0 ]] || skip "giving the lock file to another account needs root"
touch "$LOCK"
chown 65534:65534 "$LOCK" || fail "cannot give the lock file away"
start_running "$DIR/again"
logged "$DIR/again" " Single instance guard off : the lock file $LOCK belongs to uid 65534"
stop TERM
echo "the tool's processes passed"
