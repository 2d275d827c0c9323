#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, clang) in build-fuzz and runs each for a fixed time.
#   scripts/fuzz.sh SECONDS [TARGET...]   every fuzz_* target, or the ones named
# Each target starts from its committed seeds (fuzz/corpus/<target>) plus what earlier runs
# in this build tree found (build-fuzz/corpus/<target>). Two targets run at a time
# (ZELVO_FUZZ_JOBS). A crash, a sanitizer report, a broken promise, a hang (10 s on one
# input) or a leak is a finding: its input is kept in build-fuzz/findings/<target>/ and
# the script exits 1. Reproduce with: build-fuzz/<target> build-fuzz/findings/<target>/<file>
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}
shift
jobs=${ZELVO_FUZZ_JOBS:-2}
out=build-fuzz

cmake -S fuzz -B "$out" -G Ninja -Wno-dev -DCMAKE_CXX_COMPILER=clang++ >/dev/null
# ninja writes its errors to standard output: keep them when the build fails.
if ! log=$(ninja -C "$out" -j "$jobs" 2>&1); then
  echo "$log" | tail -40 >&2
  echo "fuzz: the fuzz targets do not build" >&2
  exit 1
fi

if [ $# -eq 0 ]; then
  set -- $(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
fi

run_one() { # target
  local t=$1
  mkdir -p "$out/corpus/$t" "$out/findings/$t"
  local seeds=fuzz/corpus/$t
  [ -d "$seeds" ] || seeds=
  if "$out/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$out/findings/$t/" \
       "$out/corpus/$t" $seeds >"$out/$t.log" 2>&1; then
    echo "fuzz: $t: $(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$out/$t.log" |
                       grep -Eo '[0-9]+$') inputs in ${seconds} s, no finding"
  else
    echo "fuzz: $t: FINDING, see $out/$t.log and $out/findings/$t/" >&2
    grep -E 'broken promise|ERROR|runtime error|SUMMARY' "$out/$t.log" | head -5 >&2
    return 1
  fi
}

status=0
pids=()
for t in "$@"; do
  if [ ! -x "$out/$t" ]; then echo "fuzz: no target $t" >&2; status=1; continue; fi
  run_one "$t" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
