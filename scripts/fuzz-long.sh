#!/usr/bin/env bash
# Runs every fuzz target for a long time (default 10 minutes each, two at a time), by
# hand; what it learns stays in build-fuzz/corpus for the next run. See scripts/fuzz.sh.
#   scripts/fuzz-long.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
exec scripts/fuzz.sh "$seconds" "$@"
