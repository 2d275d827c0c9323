#!/usr/bin/env bash
# Builds the Zelvo Setup Tool (release) and starts it.
#   ./run.sh          on this PC's network
#   ./run.sh --lab    among simulated units in network namespaces (needs root)
# Other arguments go to the tool (/set, /disip).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build-release -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release -DZELVO_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)"
if [ -x scripts/privileged-helper-setup.sh ]; then ./scripts/privileged-helper-setup.sh build-release; fi

lab=0
args=()
for a in "$@"; do
  if [ "$a" = "--lab" ]; then lab=1; else args+=("$a"); fi
done

run_tool() {
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display; starting the tool under xvfb-run (nothing will be visible)." >&2
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$@"
  fi
  exec "$@"
}

if [ $lab -eq 1 ]; then
  exec lab/demo.sh build-release/bin/ZelvoSetup "${args[@]}"
fi
run_tool build-release/bin/ZelvoSetup "${args[@]}"
