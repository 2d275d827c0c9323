# Helpers for shell tests that run in a lab. Source it from a bash test:
#   source "<repo>/lab/testlib.sh"
#   lab_require_root
#   lab_up <<'EOF' ... EOF        (or: lab_up file.lab)
# lab_up removes the lab when the test exits. See lab/README.md.

LAB_SH=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lab.sh
LAB_PREFIX=${LAB_PREFIX:-}

lab_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Not root: say why and exit 77, the code that ctest reports as skipped (SKIP_RETURN_CODE).
lab_require_root() {
    if [[ $(id -u) -ne 0 ]]; then
        echo "SKIP: the lab needs root (network namespaces, links and daemons on ports 21, 80, 137)"
        exit 77
    fi
}

lab_down() {
    if [[ -n $LAB_PREFIX ]]; then
        "$LAB_SH" down "$LAB_PREFIX" || echo "lab_down: removing lab $LAB_PREFIX left something behind" >&2
        LAB_PREFIX=
    fi
}

# Adds lab_down to the test's EXIT trap (keeping what the test put there itself).
lab_trap_exit() {
    local current
    current=$(trap -p EXIT)
    [[ $current == *lab_down* ]] && return 0
    if [[ -z $current ]]; then
        trap lab_down EXIT
    else
        eval "set -- $current" # trap -- 'command' EXIT
        # shellcheck disable=SC2064 # the test's command is taken as it stands now
        trap "$3; lab_down" EXIT
    fi
}

# Builds a lab from a file, or from standard input when no file is given. Sets LAB_PREFIX
# and removes the lab when the test exits. A lab that cannot be built fails the test.
# One lab at a time: a lab that is still up from an earlier lab_up is removed first.
lab_up() {
    local file=${1:-} out
    if [[ -z $file ]]; then
        file=$(mktemp --suffix=.lab)
        cat >"$file"
    fi
    lab_down
    lab_trap_exit
    out=$("$LAB_SH" up "$file") || lab_fail "the lab could not be built from $file"
    LAB_PREFIX=${out##*$'\n'}
    [[ -z ${1:-} ]] && rm -f "$file"
    return 0
}

lab_exec() { "$LAB_SH" exec "$LAB_PREFIX" -- "$@"; }
lab_unit_exec() { # unit, command...
    local unit=$1
    shift
    "$LAB_SH" unit-exec "$LAB_PREFIX" "$unit" -- "$@"
}
lab_unit_addr() { "$LAB_SH" unit-addr "$LAB_PREFIX" "$1"; }
lab_unit_mac() { "$LAB_SH" unit-mac "$LAB_PREFIX" "$1"; }
lab_unit_ftp_root() { "$LAB_SH" unit-ftp-root "$LAB_PREFIX" "$1"; }
lab_unit_put() { "$LAB_SH" unit-put "$LAB_PREFIX" "$@"; }
lab_wait_addr() { "$LAB_SH" wait-addr "$LAB_PREFIX" "$1" "${2:-60}"; }
lab_ns() { "$LAB_SH" ns "$LAB_PREFIX" "$1"; }

# lab_expect_eq EXPECTED ACTUAL WHAT: fails the test with both values when they differ.
lab_expect_eq() {
    [[ $1 == "$2" ]] || lab_fail "$3: expected '$1', got '$2'"
}
