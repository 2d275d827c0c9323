#!/usr/bin/env bash
# ctest's side of the lab fixtures (LabFixtures.cmake): up <prefix> <description>, down
# <prefix>, run <prefix> [--in <folder> <file>... --] <command...>. Not root: exits 77.
set -uo pipefail
mode=${1:-} prefix=${2:-}
source "$(dirname "$0")/../../lab/testlib.sh"
lab_require_root
case $mode in
up)
    "$LAB_SH" down "$prefix" >/dev/null 2>&1
    ZELVO_LAB_PREFIX=$prefix exec "$LAB_SH" up "$3"
    ;;
down) exec "$LAB_SH" down "$prefix" ;;
run)
    shift 2
    if [[ ${1:-} == --in ]]; then
        folder=$2 && shift 2 && rm -rf "$folder" && mkdir -p "$folder" && chmod 0755 "$folder" || exit 1
        while [[ $1 != -- ]]; do cp "$1" "$folder/" && shift || exit 1; done
        shift && cd "$folder" || exit 1
    fi
    export ZELVO_LAB_PREFIX=$prefix ZELVO_LAB=$LAB_SH
    exec "$LAB_SH" exec "$prefix" -- "$@"
    ;;
*) echo "usage: lab-ctest.sh up|down|run <prefix> ..." >&2 && exit 2 ;;
esac
