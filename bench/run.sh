#!/usr/bin/env bash
# The tool's benchmark table, measured in the lab (root): every figure is a difference or
# a ratio taken side by side in this one run, so that it holds on a busy machine.
#   sudo bench/run.sh [build-dir [part...]]   (default: build, every part; builds the few
#                                             targets it needs)
# Parts: search, high, names, resources, start, and each row file's name (dhcp, ftp,
# backup). high, names and resources read the search part's runs.
# Rows:
#   search   the first search and one Search press with 1, 10 and 40 units among 300
#            other hosts, against the waits the tool must make (5 s for the broadcast's
#            answers to settle into the neighbour table; a search ends at the end of a
#            progress pass, so up to 1 s more; a Search press first listens 10 s for a
#            unit that waits for an address); arp-scan / nmap -sn as a user's reference
#            when installed
#   names    40 units named by NetBIOS, by DNS only, and by nothing
#   start    exec to the main window shown (Xvfb), against a minimal Qt Widgets program
#   memory   resident memory and CPU of the idle window and during a search
# Other rows (DHCP: dhcp.row.sh, FTP: ftp.row.sh, the command line's backup: backup.row.sh)
# come from bench/*.row.sh beside this one: each is sourced with the helpers below and
# prints its own rows with `row`.
# Each part runs on its own: a part that fails is one row saying so and why, and the
# table goes on with the next part. The labs a part brings up go down when it ends.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
shift $(($# > 0 ? 1 : 0))
wanted=("$@")
lab=$root/lab/lab.sh
if [ "$(id -u)" -ne 0 ]; then
  echo "bench: the lab needs root (network namespaces)" >&2
  exit 77
fi

work=$(mktemp -d /tmp/zelvo-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

row() { # what, figure, reference, difference or ratio
  printf '| %-44s | %-22s | %-30s | %-30s |\n' "$1" "$2" "$3" "$4" >>"$work/rows"
  echo "bench: $1: $2 / $3 / $4" >&2
}
# part NAME FUNCTION KEY: runs one part of the table, if KEY is among the parts asked for
# or none was, in a subshell of its own that brings its labs (prefixes) and Xvfb
# (xvfb_pid) down at its end; a failure becomes a row with the last thing the part said on
# standard error.
part() {
  local name=$1 status
  if [ ${#wanted[@]} -gt 0 ] && ! printf '%s\n' "${wanted[@]}" | grep -qxF "$3"; then
    return 0
  fi
  # set -e holds inside the part only when the part is no condition of the caller's.
  set +e
  (
    set -e
    prefixes=() xvfb_pid=
    # shellcheck disable=SC2317
    end_part() {
      for p in "${prefixes[@]}"; do "$lab" down "$p" >/dev/null 2>&1 || true; done
      if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    }
    trap end_part EXIT
    "$2"
  ) 2> >(tee "$work/part.err" >&2)
  status=$?
  set -e
  wait # for tee
  if [ "$status" -ne 0 ]; then
    local why
    why=$(grep -v '^bench: .*: .* / ' "$work/part.err" | tail -n 1 | cut -c1-60)
    row "$name: FAILED (exit $status)" "-" "${why:-no message}" "rows above it stand"
  fi
  return 0
}
ms_to_s() { awk -v v="$1" 'BEGIN { printf "%.2f s", v / 1000 }'; }
field() { # key line
  sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"
}

# A lab with `units` units named as `naming` says (netbios, dns, none) among 300 other
# hosts; sets LAB_PREFIX. The units have the lowest addresses: the search keeps the
# first 256 neighbour entries in address order, so units above 300 others would never
# be seen at all (a row of its own below shows that).
lab_with_units() { # tag units naming
  local tag=$1 units=$2 naming=$3 desc=$work/$1.lab i
  {
    echo "segment 10.231.6.0/23"
    echo "pc address=10.231.7.250 name=BENCHPC"
    for ((i = 1; i <= units; i++)); do
      local extra=""
      case $naming in
      dns) extra="noname dns=nas$(printf %02d "$i").lab" ;;
      none) extra="noname" ;;
      esac
      printf 'unit name=NAS%02d mac=02:5a:e1:40:00:%02x address=%s.%d noftp noweb %s\n' \
        "$i" "$i" "${unit_base:-10.231.6}" $((100 + i)) "$extra"
    done
    echo "crowd count=300 mac=02:11:22:00:10:00 first=${crowd_first:-10.231.6.150}"
  } >"$desc"
  local prefix=zb$tag
  "$lab" down "$prefix" >/dev/null 2>&1 || true
  prefixes+=("$prefix")
  ZELVO_LAB_PREFIX=$prefix "$lab" up "$desc" >"$work/$tag.up" 2>&1 ||
    { cat "$work/$tag.up" >&2; return 1; }
  LAB_PREFIX=$prefix
}

# A lab with the PC at 10.231.OCTET.10 and one unit, NAS01, at 10.231.OCTET.21 with the
# given unit options; sets LAB_PREFIX.
lab_with_one_unit() { # tag octet [unit options]
  local desc=$work/$1.lab
  printf 'segment 10.231.%s.0/24\npc address=10.231.%s.10 name=BENCHPC\n' "$2" "$2" >"$desc"
  printf 'unit name=NAS01 mac=02:5a:e1:40:00:01 address=10.231.%s.21 %s\n' "$2" "${3:-}" >>"$desc"
  LAB_PREFIX=$("$lab" up "$desc" | tail -n 1)
  prefixes+=("$LAB_PREFIX")
}

search_run() { # prefix -> the bench program's key=value line
  local dir=$work/run-$1
  mkdir -p -m 700 "$dir"
  cp "$build/bench/search-run/zelvo_bench_search" "$build/bench/search-run/manager.ini" "$dir/"
  "$lab" exec "$1" -- env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$dir" \
    "$dir/zelvo_bench_search" 1
}

# The search rows; each run's line is kept in $work/search-<n> for the rows after it.
search_part() {
  ninja -C "$build" -j 2 zelvo_bench_search >/dev/null
  local n line first again prefix tool start took
  for n in 1 10 40; do
    lab_with_units "u$n" "$n" netbios
    prefix=$LAB_PREFIX
    line=$(search_run "$prefix")
    echo "$line" >"$work/search-$n"
    first=$(field first_ms "$line") again=$(field again_ms "$line")
    row "first search, $n units + 300 hosts" "$(ms_to_s "$first") ($(field first_units "$line") listed)" \
      "waits: 5 s settle + <=1 s pass" "+$(ms_to_s $((first - 5000))) (<=1 s is the pass)"
    row "Search, $n units + 300 hosts" "$(ms_to_s "$again") ($(field again_units "$line") listed)" \
      "waits: 10 s listen, 5 s settle, <=1 s pass" "+$(ms_to_s $((again - 15000))) (<=1 s is the pass)"
    if [ "$n" -eq 40 ]; then
      for tool in arp-scan nmap; do
        if ! command -v "$tool" >/dev/null; then
          row "$tool, same segment" "not installed" "-" "-"
          continue
        fi
        start=$(date +%s%N)
        if [ "$tool" = arp-scan ]; then
          "$lab" exec "$prefix" -- arp-scan -q -I eth0 10.231.6.0/23 >"$work/ref.out" 2>&1 || true
        else
          "$lab" exec "$prefix" -- nmap -sn -n 10.231.6.0/23 >"$work/ref.out" 2>&1 || true
        fi
        took=$((($(date +%s%N) - start) / 1000000))
        row "$tool, same segment (340 hosts)" "$(ms_to_s "$took")" "first search $(ms_to_s "$first")" \
          "ratio tool/$tool $(awk -v a="$first" -v b="$took" 'BEGIN { printf "%.2f", a / b }')"
      done
    fi
    "$lab" down "$prefix" >/dev/null
  done
}

# The line of an earlier search row's run, or a failure of the part that needs it.
search_line() { # units
  [ -s "$work/search-$1" ] || { echo "bench: no $1-unit search run to compare with" >&2; return 1; }
  cat "$work/search-$1"
}

# The same 40 units above the 300 others in address order: past the 256 entries kept.
high_part() {
  ninja -C "$build" -j 2 zelvo_bench_search >/dev/null
  local below line
  below=$(search_line 40)
  crowd_first=10.231.6.2 unit_base=10.231.7 lab_with_units high 40 netbios
  line=$(search_run "$LAB_PREFIX")
  row "40 units above 300 hosts in address order" "$(field first_units "$line") listed" \
    "40 below them: $(field first_units "$below") listed" "first 256 entries kept"
}

names_part() {
  ninja -C "$build" -j 2 zelvo_bench_search >/dev/null
  local netbios_first naming line first label
  netbios_first=$(field first_ms "$(search_line 40)")
  row "names: 40 units by NetBIOS" "$(ms_to_s "$netbios_first")" "-" "-"
  for naming in dns none; do
    lab_with_units "n$naming" 40 "$naming"
    line=$(search_run "$LAB_PREFIX")
    first=$(field first_ms "$line")
    label=$([ "$naming" = dns ] && echo "by DNS only" || echo "by nothing")
    row "names: 40 units $label" "$(ms_to_s "$first") ($(field first_units "$line") listed)" \
      "by NetBIOS $(ms_to_s "$netbios_first")" "$(printf '%+.2f s' "$(awk -v a="$first" -v b="$netbios_first" 'BEGIN { print (a - b) / 1000 }')")"
    "$lab" down "$LAB_PREFIX" >/dev/null
  done
}

# Resources, from the 10-unit run: CPU as a share of one core over the time measured.
resources_part() {
  local line
  line=$(search_line 10)
  row "idle window: CPU, resident memory" \
    "$(awk -v c="$(field idle_cpu_ms "$line")" -v t="$(field idle_ms "$line")" 'BEGIN { printf "%.1f %%", 100 * c / t }'), $(($(field idle_rss_kb "$line") / 1024)) MiB" \
    "-" "-"
  row "during a search: CPU, peak resident memory" \
    "$(awk -v c="$(field search_cpu_ms "$line")" -v t="$(field first_ms "$line")" 'BEGIN { printf "%.1f %%", 100 * c / t }'), $(($(field search_peak_kb "$line") / 1024)) MiB" \
    "idle $(($(field idle_rss_kb "$line") / 1024)) MiB" "-"
}

# The window's start, in a 1-unit lab (the survey and first search need a network).
start_part() {
  ninja -C "$build" -j 2 zelvo_bench_minimal_window ZelvoSetup >/dev/null
  lab_with_units s1 1 netbios
  local prefix=$LAB_PREFIX display='' d minimal tool
  for d in $(seq 91 120); do
    if [ ! -e /tmp/.X11-unix/X$d ] && [ ! -e /tmp/.X$d-lock ]; then display=:$d; break; fi
  done
  [ -n "$display" ] || { echo "bench: no free X display" >&2; return 1; }
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done
  ns=$("$lab" ns "$prefix" pc)
  minimal=$(start_ms "Zelvo minimal window" "$build/bench/zelvo_bench_minimal_window")
  tool=$(start_ms "Zelvo Setup Tool" "$build/bin/ZelvoSetup" ||
    start_ms "Zelvoセットアップツール" "$build/bin/ZelvoSetup")
  # The start-up survey pauses 1500 ms with the splash shown, by design; the rest is the
  # tool's own start.
  row "window start: exec to main window shown" "$(ms_to_s "${tool% *}") (median of 5)" \
    "minimal Qt window $(ms_to_s "${minimal% *}")" \
    "x$(awk -v a="${tool% *}" -v b="${minimal% *}" 'BEGIN { printf "%.1f", a / b }'); +$(ms_to_s $((${tool% *} - ${minimal% *} - 1500))) beyond 1.5 s pause"
  row "resident memory once shown" "$((${tool#* } / 1024)) MiB" "minimal Qt window $((${minimal#* } / 1024)) MiB" \
    "+$(((${tool#* } - ${minimal#* }) / 1024)) MiB"
}
start_ms() { # title program... -> "ms rss_kb" of the median of five starts
  local title=$1 i t0 pid shown times=() rss=()
  shift
  for i in 1 2 3 4 5; do
    local dir=$work/start$i
    rm -rf "$dir" && mkdir -p -m 700 "$dir"
    t0=$(date +%s%N)
    ip netns exec "$ns" env DISPLAY="$display" XDG_RUNTIME_DIR="$dir" QT_QPA_PLATFORM=xcb \
      "$@" >/dev/null 2>&1 &
    pid=$!
    shown=
    for _ in $(seq 3000); do
      if xwininfo -display "$display" -name "$title" 2>/dev/null | grep -q IsViewable; then
        shown=$(date +%s%N); break
      fi
      sleep 0.005
    done
    rss+=("$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)")
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -n "$shown" ] || { echo "bench: '$title' never showed" >&2; return 1; }
    times+=($(((shown - t0) / 1000000)))
  done
  echo "$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p) $(printf '%s\n' "${rss[@]}" | sort -n | sed -n 3p)"
}

part search search_part search
part "40 units above 300 hosts" high_part high
part names names_part names
part resources resources_part resources
part "window start" start_part start
for extra in "$here"/*.row.sh; do
  [ -e "$extra" ] || continue
  # shellcheck source=/dev/null
  extra_part() { source "$extra"; }
  part "$(basename "$extra" .row.sh)" extra_part "$(basename "$extra" .row.sh)"
done

printf '| %-44s | %-22s | %-30s | %-30s |\n' "measured" "figure" "side by side" "difference / ratio"
printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..46})" "$(printf -- '-%.0s' {1..24})" \
  "$(printf -- '-%.0s' {1..32})" "$(printf -- '-%.0s' {1..32})"
cat "$work/rows"
