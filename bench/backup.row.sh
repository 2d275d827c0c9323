# Sourced by bench/run.sh: the command line's backup of a large configuration file from a
# lab unit named by its address, against curl fetching the same file from the same unit's
# FTP server. 60 MB: a download is refused past 64 MiB (kFtpDownloadLimitBytes), so this is
# the largest round size a backup may have. Both are timed alike, as wall time around the
# command in the PC's namespace; they alternate, five runs each (three left the ratio to
# one slow run on a busy machine), and the medians count.
# One backup by the unit's name (a whole search first) shows what the address saves.
ninja -C "$build" -j 2 zelvo-setup-cli >/dev/null
lab_with_one_unit backup 9 config=yes
backup_prefix=$LAB_PREFIX
backup_unit=10.231.9.21
backup_remote=$("$lab" unit-ftp-root "$backup_prefix" NAS01)/config/nas_400001.dat
backup_mb=60
backup_file=$work/backup-${backup_mb}mb.dat
head -c $((backup_mb * 1000 * 1000)) /dev/urandom >"$backup_file"
backup_dir=$work/backup-cli
mkdir -p "$backup_dir/saved"
cp "$build/bin/zelvo-setup-cli" "$build/bin/manager.ini" "$backup_dir/"

# wall_ms COMMAND...: runs it in the PC's namespace; its wall time in ms. The unit's file
# is put back first (a backup takes it away) and the copy made is compared with it.
wall_ms() {
  local out=$1 t0 t1
  shift
  cp "$backup_file" "$backup_remote"
  rm -f "$out"
  t0=$(date +%s%N)
  "$lab" exec "$backup_prefix" -- env XDG_RUNTIME_DIR="$backup_dir" "$@" \
    >"$work/backup.out" 2>"$work/backup.err" </dev/null ||
    { echo "bench: $* failed: $(tail -n 1 "$work/backup.err")" >&2; return 1; }
  t1=$(date +%s%N)
  cmp -s "$backup_file" "$out" || { echo "bench: $* saved a different file" >&2; return 1; }
  echo $(((t1 - t0) / 1000000))
}
backup_curl=() backup_cli=()
for _ in 1 2 3 4 5; do
  backup_curl+=("$(wall_ms "$work/curl-backup.dat" curl -sS --ftp-pasv -u korblenx:ferntide \
    -o "$work/curl-backup.dat" "ftp://$backup_unit/config/nas_400001.dat")")
  backup_cli+=("$(wall_ms "$backup_dir/saved/nas_400001.dat" "$backup_dir/zelvo-setup-cli" \
    backup "$backup_unit" --yes --quiet --to "$backup_dir/saved")")
done
by_name=$(wall_ms "$backup_dir/saved/nas_400001.dat" "$backup_dir/zelvo-setup-cli" \
  backup NAS01 --yes --quiet --to "$backup_dir/saved")
b_curl=$(printf '%s\n' "${backup_curl[@]}" | sort -n | sed -n 3p)
b_cli=$(printf '%s\n' "${backup_cli[@]}" | sort -n | sed -n 3p)
row "CLI backup $backup_mb MB by address (median of 5)" "$(ms_to_s "$b_cli")" "curl -o $(ms_to_s "$b_curl")" \
  "ratio $(awk -v j="$b_cli" -v c="$b_curl" 'BEGIN { printf "%.2f", j / c }') (CLI / curl; aim <= 1.2)"
row "CLI backup $backup_mb MB by name (one run)" "$(ms_to_s "$by_name")" "by address $(ms_to_s "$b_cli")" \
  "+$(ms_to_s $((by_name - b_cli))) (the search)"
