#!/usr/bin/env bash
# A staged installation run by a throwaway user id: its log and a backup land in its folder.
#   transfer_lab_test.sh <build dir> <test program>
source "$(dirname "$0")/../support/lab-test.sh"
need_fixture_lab
unit="$(lab unit-addr NAS01),$(lab unit-mac NAS01 | tr ':' '-'),NAS01"
root=$(lab unit-ftp-root NAS01)

build=${1:?build dir} program=${2:?test program}
stage=$(mktemp -d /tmp/zelvo-installed-XXXXXX)
trap 'rm -rf "$stage"' EXIT
chmod 0755 "$stage"
DESTDIR=$stage cmake --install "$build" --prefix /usr/local >/dev/null || fail "cmake --install"
tool=$stage/usr/local/lib/zelvo-setup
[[ -x $tool/ZelvoSetup && -f $tool/manager.ini ]] || fail "nothing installed in $tool"
uid=47113
home=$stage/home
mkdir -p "$home" && chown "$uid:$uid" "$home" || fail "no home for $uid"
as_user() {
    setpriv --reuid=$uid --regid=$uid --clear-groups --inh-caps=-all \
        env -i HOME="$home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 \
        ZELVO_TEST_UNIT="$unit" "$@"
}
folder=$home/.local/share/zelvo-setup

as_user timeout 20 "$tool/ZelvoSetup" >/dev/null 2>&1 || true
grep -q '>>> Start to retrieve your PC' "$folder/manager.log" && [[ ! -e $tool/manager.log ]] ||
    fail "no log in $folder, or one in the installed folder"

# The backup's program lies beside the installed executable, for the folder rule.
original=$(mktemp "$stage/original-XXXXXX")
cp "$root/config/nas_400001.dat" "$original" || fail "NAS01 has no configuration file"
install -m 0755 "$program" "$tool/transfer_lab_check"
as_user "$tool/transfer_lab_check" --gtest_filter=TransferLab.backupLandsInTheToolFolder ||
    fail "the installed copy's backup failed"
cmp "$original" "$folder/nas_400001.dat" || fail "the backup's bytes differ"
[[ ! -e $root/config/nas_400001.dat && ! -e $tool/nas_400001.dat ]] ||
    fail "the unit kept its file, or the backup went beside the executable"
echo "installed copy: log and backup in $folder"
