#!/usr/bin/env bash
# Builds and runs every test of the Zelvo Setup Tool:
#   1. a normal build with every test but the fault matrix, the lab's end-to-end tests
#      included (root only);
#   2. the unit and widget tests, and the lab's fault matrix (root only), under
#      AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the tests that start threads under ThreadSanitizer;
#   4. every parser's fuzz target for a few seconds (scripts/fuzz.sh; fuzz-long.sh by hand).
# Ends with the summary of the normal build's test run.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

jobs=$(nproc)
started=$SECONDS
stage() { echo "== $* (at $((SECONDS - started)) s)"; }
configure() { # dir, extra args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -Wno-dev "$@" >/dev/null
}

stage "build (sanitizers: address,undefined)"
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DZELVO_SANITIZE=address,undefined -DZELVO_TESTS_ONLY=ON
cmake --build build-asan -j "$jobs"
stage "build (sanitizer: thread)"
configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DZELVO_SANITIZE=thread -DZELVO_TESTS_ONLY=ON
cmake --build build-tsan -j "$jobs"
stage "build"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
if [ -x scripts/privileged-helper-setup.sh ]; then ./scripts/privileged-helper-setup.sh build; fi

status=0
stage "tests under AddressSanitizer + UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -L unit --output-on-failure -j "$jobs" || status=1
stage "fault matrix in the lab under AddressSanitizer + UndefinedBehaviorSanitizer"
# Each case has a lab of its own, and most of their time is waiting on a silent server
# or a unit's DHCP client, so two run side by side.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -L faults --output-on-failure -j "$jobs" || status=1
stage "tests under ThreadSanitizer"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1 \
  ctest --test-dir build-tsan -L threads --output-on-failure -j "$jobs" --no-tests=ignore || status=1
stage "fuzzing the parsers (${ZELVO_FUZZ_SECONDS:=8} s each)"
ZELVO_FUZZ_JOBS=$jobs ./scripts/fuzz.sh "$ZELVO_FUZZ_SECONDS" || status=1
stage "all tests but the fault matrix"
# The fault matrix ran above under the sanitizers, which catch more than this build can; a
# second run here would only repeat its minutes of waiting on silent servers.
ctest --test-dir build --output-on-failure -j "$jobs" -LE faults || status=1
echo "== test.sh took $((SECONDS - started)) s"
exit $status
