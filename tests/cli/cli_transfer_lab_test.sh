#!/usr/bin/env bash
# backup, restore and firmware end to end: the same bytes as the FTP server holds, the
# result code, local files checked before the search.
source "$(dirname "$0")/cli_lab_common.sh"

forget_neighbours NAS01 NAS02 NAS09 OTHER
root1=$(lab unit-ftp-root NAS01)
root2=$(lab unit-ftp-root NAS02)
mkdir -p "$WORK/backups"
# The backup takes the unit's file away (the unit makes a fresh one when asked): keep a copy.
cp "$root1/config/nas_400001.dat" "$WORK/unit-config.dat" || fail "NAS01 has no configuration file"

run backup NAS01 --yes --json --to "$WORK/backups"
expect_rc 0 "backup NAS01"
expect_eq "0 0x0000 $WORK/backups/nas_400001.dat" "$(jq -r '"\(.result) \(.code) \(.file)"' <<<"$OUT")" "backup"
cmp "$WORK/backups/nas_400001.dat" "$WORK/unit-config.dat" || fail "the backup differs from the unit's file"
run backup 10.231.7.22 --yes --json --to "$WORK/backups"
expect_rc 1 "backup of a unit without a configuration file"
expect_eq "2" "$(jq -r '.result' <<<"$OUT")" "result without a configuration file"

# Restore: the unit has a file of that name, and --yes answers the question to replace it.
lab unit-put NAS01 config "$WORK/unit-config.dat" nas_400001.dat || fail "unit-put"
printf 'restored\r\n\0\377bytes' >"$WORK/backups/nas_400001.dat"
run restore NAS01 "$WORK/backups/nas_400001.dat" --yes --json
expect_rc 0 "restore --yes"
expect_eq "0 http://10.231.7.21/config/restore.html" "$(jq -r '"\(.result) \(.url)"' <<<"$OUT")" "restore --yes"
cmp "$WORK/backups/nas_400001.dat" "$root1/config/nas_400001.dat" || fail "the unit's file differs from the one restored"

head -c 300000 /dev/urandom >"$WORK/abcd9999.fup"
cd "$WORK" || fail "cd $WORK"
run firmware 10.231.7.22 abcd9999.fup --yes --csv
expect_rc 0 "firmware by address with a relative file"
cmp "$WORK/abcd9999.fup" "$root2/firmware/abcd9999.fup" || fail "the unit's firmware differs from the file sent"

# A file that cannot be read or a missing backup folder ends the command before its
# search with a failed transfer's code. Root reads any file: run without those capabilities.
mkdir "$WORK/wxyz0002.fup"
printf 'firmware' >"$WORK/wxyz0003.fup"
chmod 000 "$WORK/wxyz0003.fup"
long="$WORK/$(printf 'd%.0s' {1..250})/wxyz0004.fup"
caps=-dac_override,-dac_read_search
for c in "0x0002 firmware NAS02 $WORK/wxyz0001.fup" "0x001e firmware NAS02 $WORK/wxyz0002.fup" \
    "0x0005 firmware NAS02 $WORK/wxyz0003.fup" "- firmware NAS02 $long" "0x0003 backup NAS01 --to $WORK/nowhere"; do
    read -r code args <<<"$c"
    # shellcheck disable=SC2086
    AS="setpriv --inh-caps=$caps --bounding-set=$caps" run $args --yes --json
    expect_rc 1 "$args"
    if [[ $code == - ]]; then
        [[ $ERR == *"$long"* && -z $OUT ]] || fail "a too long path was not refused: $ERR"
    else
        expect_eq "$code" "$(jq -r '.code' <<<"$OUT")" "code for $args"
        [[ $args == backup* || $ERR == *" : $code."* ]] || fail "no error message for $args: $ERR"
    fi
    grep -q "Going to find VELDIX" "$WORK/manager.log" && fail "searched before checking $args"
done
echo "command-line backup, restore and firmware passed"
