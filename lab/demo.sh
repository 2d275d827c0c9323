#!/usr/bin/env bash
# What ./run.sh --lab runs: a lab with three units (lab/examples/demo.lab) and the tool in
# the lab's PC namespace, on the user's display or, without one, under Xvfb. The lab is
# removed when the tool ends or when this script is interrupted.
#   lab/demo.sh <path-to-ZelvoSetup> [tool arguments...]
# ZELVO_LAB_DEMO_SECONDS=N ends the tool after N seconds (for unattended runs).
set -uo pipefail
LAB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
LAB_SH=$LAB_DIR/lab.sh

say() { echo "demo: $*" >&2; }
if [[ $# -lt 1 ]]; then
    say "usage: lab/demo.sh <path-to-ZelvoSetup> [tool arguments...]"
    exit 2
fi
tool=$(realpath -e "$1" 2>/dev/null) || { say "no tool at '$1'"; exit 1; }
shift
if [[ $(id -u) -ne 0 ]]; then
    say "the lab needs root (network namespaces and daemons on ports 21, 80, 137)."
    say "run: sudo --preserve-env=DISPLAY,XAUTHORITY,WAYLAND_DISPLAY,XDG_RUNTIME_DIR ./run.sh --lab"
    exit 1
fi
# The tool reads manager.ini beside its executable; the build puts the sample there.
if [[ ! -e $(dirname "$tool")/manager.ini ]]; then
    cp "$LAB_DIR/../resources/manager.ini" "$(dirname "$tool")/manager.ini"
fi

prefix=
cleanup() {
    trap - EXIT INT TERM HUP
    if [[ -n $prefix ]]; then
        say "removing lab $prefix"
        "$LAB_SH" down "$prefix" || say "the lab left something behind; try: lab/lab.sh down --all"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

out=$("$LAB_SH" up "$LAB_DIR/examples/demo.lab") || { say "the lab could not be built"; exit 1; }
prefix=${out##*$'\n'}
say "lab $prefix: PC 10.231.7.10 (LABPC); NAS01 10.231.7.21 and NAS02 10.231.7.22 with names;"
say "NAS03 (02-5a-e1-40-00-03) has no address and keeps asking for one (the tool's DHCP responder will serve it)."

runner=()
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    say "no display; the tool runs under xvfb-run (nothing will be visible)"
    runner=(xvfb-run -a -s "-screen 0 1280x800x24")
fi
limit=()
if [[ -n ${ZELVO_LAB_DEMO_SECONDS:-} ]]; then
    limit=(timeout --kill-after=5 "$ZELVO_LAB_DEMO_SECONDS")
fi
# In the background and waited for, so that a signal runs the traps at once.
"${runner[@]}" "$LAB_SH" exec "$prefix" -- "${limit[@]}" "$tool" "$@" &
wait $!
status=$?
if [[ -n ${ZELVO_LAB_DEMO_SECONDS:-} && $status -eq 124 ]]; then
    say "the tool was ended after ${ZELVO_LAB_DEMO_SECONDS}s, as asked"
    status=0
else
    say "the tool ended with status $status"
fi
exit $status
