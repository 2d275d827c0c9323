# Sourced by bench/run.sh: FTP throughput of the tool's jobs against curl's command line,
# 60 MB to and from one lab unit in the same run (the tool refuses to download more than
# 64 MiB, far above any configuration file), and the job's resident memory.
# Each direction runs three times, curl and the job alternating; the uploads take turns at
# going first and each writes a new file, the job's download (which deletes the unit's
# copy) comes last. The medians count.
ninja -C "$build" -j 2 zelvo_bench_ftp >/dev/null
lab_with_one_unit ftp 7
ftp_prefix=$LAB_PREFIX
ftp_unit=10.231.7.21
ftp_remote=$("$lab" unit-ftp-root "$ftp_prefix" NAS01)/config/bench.dat
ftp_mb=60
ftp_file=$work/ftp-${ftp_mb}mb.bin
head -c $((ftp_mb * 1024 * 1024)) /dev/urandom >"$ftp_file"
# Both sides time themselves, from before the connection to the end of the transfer:
# curl with its own total time, the job with the time around its call.
curl_ms() { # curl arguments... -> curl's total time in ms
  local total
  total=$("$lab" exec "$ftp_prefix" -- curl -sS --ftp-pasv -u korblenx:ferntide \
    -w '%{time_total}' "$@") || { echo "bench: curl $* failed" >&2; : >"$work/ftp-failed"; }
  awk -v s="${total:-0}" 'BEGIN { printf "%d", s * 1000 }'
}
job_line() { # upload|download local remote -> the bench program's line
  local line
  line=$("$lab" exec "$ftp_prefix" -- "$build/bench/zelvo_bench_ftp" "$1" "$ftp_unit" "$2" "$3") ||
    true
  [ "$(field result "$line")" = 0 ] || { echo "bench: the $1 job failed: $line" >&2; : >"$work/ftp-failed"; }
  echo "$line"
}
rm -f "$work/ftp-failed"
median3() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
up_curl=() up_job=() down_curl=() down_job=() rss_up=() rss_down=()
up_curl_once() {
  rm -f "$ftp_remote" # replacing a file costs the server more than writing a new one
  up_curl+=("$(curl_ms -T "$ftp_file" "ftp://$ftp_unit/config/bench.dat")")
}
up_job_once() {
  rm -f "$ftp_remote"
  local line
  line=$(job_line upload "$ftp_file" bench.dat)
  up_job+=("$(field ms "$line")")
  rss_up+=("$(($(field rss_max_kb "$line") - $(field rss_before_kb "$line")))")
}
down_curl_once() {
  down_curl+=("$(curl_ms -o "$work/curl-down.bin" "ftp://$ftp_unit/config/bench.dat")")
  rm -f "$work/curl-down.bin"
}
down_job_once() { # the job deletes the unit's copy once its own is complete
  local line
  line=$(job_line download "$work/job-down.bin" bench.dat)
  down_job+=("$(field ms "$line")")
  rss_down+=("$(($(field rss_max_kb "$line") - $(field rss_before_kb "$line")))")
  cmp -s "$ftp_file" "$work/job-down.bin" || { echo "bench: the job's download differs" >&2; : >"$work/ftp-failed"; }
  rm -f "$work/job-down.bin"
}
for i in 1 2 3; do
  if ((i % 2)); then
    up_curl_once && up_job_once && down_curl_once && down_job_once
  else
    up_job_once && up_curl_once && down_curl_once && down_job_once
  fi
done
ratio() { awk -v c="$1" -v j="$2" 'BEGIN { printf "%.2f", c / j }'; }
mbps() { awk -v ms="$1" -v mb="$ftp_mb" 'BEGIN { printf "%.0f MB/s", mb / (ms / 1000) }'; }
u_c=$(median3 "${up_curl[@]}") u_j=$(median3 "${up_job[@]}")
d_c=$(median3 "${down_curl[@]}") d_j=$(median3 "${down_job[@]}")
row "FTP upload $ftp_mb MB (UploadJob)" "$(ms_to_s "$u_j") $(mbps "$u_j")" "curl -T $(ms_to_s "$u_c") $(mbps "$u_c")" \
  "ratio $(ratio "$u_c" "$u_j") (curl time / job time)"
row "FTP download $ftp_mb MB (FetchConfigJob)" "$(ms_to_s "$d_j") $(mbps "$d_j")" "curl -o $(ms_to_s "$d_c") $(mbps "$d_c")" \
  "ratio $(ratio "$d_c" "$d_j") (job also fsyncs)"
row "FTP job resident memory growth" "up +$(median3 "${rss_up[@]}") KiB, down +$(median3 "${rss_down[@]}") KiB" \
  "file $((ftp_mb * 1024)) KiB" "flat: buffers only"
if [ -e "$work/ftp-failed" ]; then
  row "FTP: a transfer above FAILED (see bench: lines)" "-" "-" "figures not valid"
fi
