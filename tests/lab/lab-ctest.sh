#!/usr/bin/env bash
# ctest's side of the lab fixtures (see LabFixtures.cmake):
#   lab-ctest.sh up <prefix> <description>   builds the lab (after removing any left-over
#                                            of a crashed run with the same prefix)
#   lab-ctest.sh down <prefix>               removes it
#   lab-ctest.sh run <prefix> [--in <folder> <file>... --] <command...>
#                                            runs a test command in its PC namespace, with
#                                            ZELVO_LAB_PREFIX and ZELVO_LAB (path of lab.sh);
#                                            --in first copies the files into a fresh folder
#                                            and runs the command there
# Not root: prints why and exits 77, which the fixtures declare as SKIP_RETURN_CODE.
set -uo pipefail
LAB_SH=$(cd "$(dirname "$0")/../../lab" && pwd)/lab.sh
mode=${1:-} prefix=${2:-}
if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: the lab needs root (network namespaces, links and daemons on ports 21, 80, 137)"
    exit 77
fi
case $mode in
up)
    "$LAB_SH" down "$prefix" >/dev/null 2>&1
    ZELVO_LAB_PREFIX=$prefix exec "$LAB_SH" up "$3"
    ;;
down)
    exec "$LAB_SH" down "$prefix"
    ;;
run)
    shift 2
    if [[ ${1:-} == --in ]]; then
        folder=$2 files=()
        shift 2
        while (($#)) && [[ $1 != -- ]]; do files+=("$1") && shift; done
        shift
        rm -rf "$folder" && mkdir -p "$folder" && cp "${files[@]}" "$folder/" &&
            chmod 0755 "$folder" && cd "$folder" || { echo "FAIL: cannot fill $folder"; exit 1; }
    fi
    export ZELVO_LAB_PREFIX=$prefix ZELVO_LAB=$LAB_SH
    exec "$LAB_SH" exec "$prefix" -- "$@"
    ;;
*)
    echo "usage: lab-ctest.sh up|down|run <prefix> ..." >&2
    exit 2
    ;;
esac
