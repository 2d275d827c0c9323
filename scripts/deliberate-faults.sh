#!/usr/bin/env bash
# Puts each deliberate fault of scripts/deliberate-faults/*.faults into the product, one
# at a time, rebuilds what its tests need and runs them: every fault must make at least
# one of its tests fail. The edited file is restored after each fault, also on Ctrl-C.
#
#   scripts/deliberate-faults.sh [-B BUILD_DIR] [-k] [FILTER]
#     FILTER   run only the faults whose name, file or tests field matches this extended regex
#     -k       keep going after a fault that no test catches (the summary still fails)
#
# A fault is a block of lines, blocks separated by a blank line:
#   fault: answer a foreign MAC
#   file:  src/dhcp/RequestRule.cpp
#   edit:  s/if \(!IsUnitMac\(mac\)\)/if (false)/
#   tests: ^dhcp_logic$
#   build: dhcp_logic                 (optional; default: the whole tree)
# `edit` is a perl substitution run with perl -0pi -e on the file; a fault whose edit
# changes nothing is an error, so a list that has drifted from the code is noticed.
# Needs a configured build (default build/); lab tests need root, as in ./test.sh.
set -uo pipefail
cd "$(dirname "$0")/.."
build=build keep=0
while getopts "B:k" opt; do
  case $opt in B) build=$OPTARG ;; k) keep=1 ;; *) exit 2 ;; esac
done
shift $((OPTIND - 1))
filter=${1:-}
[ -f "$build/build.ninja" ] || { echo "no configured build in $build" >&2; exit 2; }

restore_file=""
restore() { if [ -n "$restore_file" ]; then git checkout -q -- "$restore_file"; restore_file=""; fi; }
trap 'restore; exit 130' INT TERM
trap restore EXIT

total=0 caught=0 missed=() broken=()
run_fault() { # name file edit tests build
  local name=$1 file=$2 edit=$3 tests=$4 targets=$5
  total=$((total + 1))
  if ! git diff --quiet -- "$file"; then
    broken+=("$name: $file has uncommitted changes"); return
  fi
  restore_file=$file
  perl -0pi -e "$edit" "$file"
  if git diff --quiet -- "$file"; then
    broken+=("$name: the edit changes nothing in $file"); restore; return
  fi
  local log
  log=$(mktemp)
  # shellcheck disable=SC2086
  if ! cmake --build "$build" -j"$(nproc)" ${targets:+--target $targets} >"$log" 2>&1; then
    echo "CAUGHT  $name (does not build)"; caught=$((caught + 1)); restore; rm -f "$log"
    # shellcheck disable=SC2086
    cmake --build "$build" -j"$(nproc)" ${targets:+--target $targets} >/dev/null 2>&1
    return
  fi
  if ctest --test-dir "$build" -R "$tests" --no-tests=error -j"$(nproc)" >"$log" 2>&1; then
    echo "MISSED  $name (tests $tests all pass)"; missed+=("$name")
  else
    if grep -q "No tests were found" "$log"; then
      broken+=("$name: no test matches $tests")
    else
      echo "CAUGHT  $name by $(grep -oE '[0-9]+ - [^ ]+ \(Failed|[0-9]+ - [^ ]+ \(Timeout|[0-9]+ - [^ ]+ \(SEGFAULT|[0-9]+ - [^ ]+ \(Subprocess aborted' "$log" | head -3 | sed 's/^[0-9]* - //; s/ (.*//' | paste -sd, -)"
      caught=$((caught + 1))
    fi
  fi
  rm -f "$log"
  restore
  # Leave the build as the sources are, or the next test run meets a faulted binary
  # (the compiler cache makes this quick).
  # shellcheck disable=SC2086
  cmake --build "$build" -j"$(nproc)" ${targets:+--target $targets} >/dev/null 2>&1
}

for list in scripts/deliberate-faults/*.faults; do
  name="" file="" edit="" tests="" targets=""
  flush() {
    if [ -n "$name" ]; then
      if [ -z "$filter" ] || [[ "$name" =~ $filter ]] || [[ "$file" =~ $filter ]] || [[ "$tests" =~ $filter ]]; then
        if [ -z "$file" ] || [ -z "$edit" ] || [ -z "$tests" ]; then
          broken+=("$name: needs file, edit and tests ($list)")
        else
          run_fault "$name" "$file" "$edit" "$tests" "$targets"
        fi
        if [ $keep -eq 0 ] && [ ${#missed[@]} -gt 0 ]; then return 1; fi
      fi
    fi
    name="" file="" edit="" tests="" targets=""
  }
  while IFS= read -r line || [ -n "$line" ]; do
    case $line in
      "#"*) ;;
      "") flush || break 2 ;;
      fault:*) name=$(sed -E 's/^fault:[[:space:]]*//' <<<"$line") ;;
      file:*) file=$(sed -E 's/^file:[[:space:]]*//' <<<"$line") ;;
      edit:*) edit=$(sed -E 's/^edit:[[:space:]]*//' <<<"$line") ;;
      tests:*) tests=$(sed -E 's/^tests:[[:space:]]*//' <<<"$line") ;;
      build:*) targets=$(sed -E 's/^build:[[:space:]]*//' <<<"$line") ;;
      *) broken+=("unreadable line in $list: $line") ;;
    esac
  done <"$list"
  flush || break
done

echo "== $caught of $total deliberate faults caught"
for m in "${missed[@]}"; do echo "MISSED: $m"; done
for b in "${broken[@]}"; do echo "LIST FAULT: $b"; done
[ ${#missed[@]} -eq 0 ] && [ ${#broken[@]} -eq 0 ] && [ "$total" -gt 0 ]
