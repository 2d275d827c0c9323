#!/usr/bin/env bash
# The transfers end to end in the lab's PC namespace (run by lab-ctest.sh, as root):
#   transfer_lab_test.sh window <test program>
#       Back up, Restore, FW Update and the web pages through the window.
#   transfer_lab_test.sh installed <build dir> <test program>
#       A staged installation (cmake --install with DESTDIR) run by a throwaway user id:
#       its log and a backup land in that user's own folder, not beside the executable.
set -euo pipefail
mode=$1
lab() { "$ZELVO_LAB" "$@"; }
unit() { # ip,mac-text,name
    printf '%s,%s,%s' "$(lab unit-addr "$ZELVO_LAB_PREFIX" "$1")" \
        "$(lab unit-mac "$ZELVO_LAB_PREFIX" "$1" | tr ':' '-')" "$1"
}
export ZELVO_TEST_UNITS="$(unit NAS01);$(unit NAS02)"
root=$(lab unit-ftp-root "$ZELVO_LAB_PREFIX" NAS01)

case $mode in
window)
    ZELVO_TEST_UNIT_ROOT=$root exec "$2" --gtest_filter=TransferLab.backupRestoreFirmwareAndWebPagesThroughTheWindow
    ;;
installed)
    build=$2 program=$3
    stage=$(mktemp -d /tmp/zelvo-installed-XXXXXX)
    trap 'rm -rf "$stage"' EXIT
    chmod 0755 "$stage"
    DESTDIR=$stage cmake --install "$build" --prefix /usr/local >/dev/null
    tool=$stage/usr/local/lib/zelvo-setup
    [[ -x $tool/ZelvoSetup && -f $tool/manager.ini ]] || { echo "FAIL: nothing installed in $tool"; exit 1; }
    # An ordinary user: a uid without a name, no groups, no capabilities, a home of its own.
    uid=47113
    home=$stage/home
    mkdir -p "$home" && chown "$uid:$uid" "$home"
    as_user() {
        setpriv --reuid=$uid --regid=$uid --clear-groups --inh-caps=-all \
            env -i HOME="$home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 \
            ZELVO_TEST_UNITS="$ZELVO_TEST_UNITS" ZELVO_MESSAGE_TRANSCRIPT="$home/boxes.txt" "$@"
    }
    folder=$home/.local/share/zelvo-setup

    # The installed window itself: it starts, logs into the user's folder, and is ended.
    as_user timeout 20 "$tool/ZelvoSetup" >/dev/null 2>&1 || true
    grep -q '>>> Start to retrieve your PC' "$folder/manager.log" ||
        { echo "FAIL: no log in $folder"; ls -la "$folder" "$tool"; exit 1; }
    [[ ! -e $tool/manager.log ]] || { echo "FAIL: the installed folder got a log"; exit 1; }

    # A backup through the same window and wiring, from a program placed beside the
    # installed executable (so the folder rule sees the installed folder).
    original=$(mktemp "$stage/original-XXXXXX")
    cp "$root/config/nas_400001.dat" "$original"
    install -m 0755 "$program" "$tool/transfer_lab_check"
    as_user "$tool/transfer_lab_check" --gtest_filter=TransferLab.backupLandsInTheToolFolder
    cmp "$original" "$folder/nas_400001.dat" || { echo "FAIL: the backup's bytes differ"; exit 1; }
    [[ ! -e $root/config/nas_400001.dat ]] || { echo "FAIL: the unit kept its file"; exit 1; }
    [[ ! -e $tool/nas_400001.dat ]] || { echo "FAIL: the backup went beside the executable"; exit 1; }
    echo "installed copy: log and backup in $folder"
    ;;
*)
    echo "usage: transfer_lab_test.sh window <program> | installed <build> <program>" >&2
    exit 2
    ;;
esac
