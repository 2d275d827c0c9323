#!/usr/bin/env bash
# Non-blank lines of the product's C++ (src/) against the test code under tests/
# (C++, shell and CMake), and their ratio. With file arguments: the non-blank lines of
# those files and their sum.
set -euo pipefail
cd "$(dirname "$0")/.."
nonblank() { if [ $# -eq 0 ]; then echo 0; else cat "$@" | grep -cv '^[[:space:]]*$' || true; fi; }
if [ $# -gt 0 ]; then
  for f in "$@"; do printf '%6d %s\n' "$(nonblank "$f")" "$f"; done
  printf '%6d total\n' "$(nonblank "$@")"
  exit 0
fi
mapfile -t srcs < <(find src -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
mapfile -t tests < <(find tests -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' \
  -o -name 'CMakeLists.txt' -o -name '*.cmake' \) | sort)
s=$(nonblank "${srcs[@]}")
t=$(nonblank "${tests[@]}")
echo "src C++ non-blank lines:  $s"
echo "tests non-blank lines:    $t (C++, shell, CMake)"
echo "tests / src:              $((100 * t / s)) %"
