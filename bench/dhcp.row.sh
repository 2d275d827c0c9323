# Sourced by bench/run.sh: the temporary-address responder as a waiting unit sees it, from
# a packet capture in the PC's namespace. The command line's assign serves one unit that
# has no address (busybox udhcpc: a DISCOVER every 2 s); the capture gives the time from
# the first DISCOVER the bound responder could read to its OFFER, beyond the 2000 ms echo
# probe of the address it offers, and from the unit's REQUEST to the ACK. Then the same
# while a foreign lab host broadcasts 200 DISCOVERs per second with MACs that are no
# unit's: is the unit still served, and how late is its OFFER.
ninja -C "$build" -j 2 zelvo-setup-cli zelvo_bench_dhcp_flood >/dev/null
dhcp_rate=200
dhcp_flood_seconds=100
dhcp_wait=40

# One lab, one waiting unit, one assign run; prints
# "served=yes|no offer_ms=<> ack_ms=<> discovers=<> flood=<sent>" (ms empty when absent).
dhcp_run() { # tag flood(0|1)
  local tag=$1 flood=$2 desc=$work/dhcp-$1.lab dir=$work/dhcp-$1
  mkdir -p -m 700 "$dir"
  cat >"$desc" <<LAB
segment 10.231.8.0/24
pc address=10.231.8.10 name=BENCHPC
unit name=NAS05 mac=02:5a:e1:40:00:05 address=none noftp noweb
host name=FOREIGN mac=02:11:22:33:44:55 address=10.231.8.40 noname
LAB
  local prefix
  prefix=$("$lab" up "$desc" | tail -n 1)
  prefixes+=("$prefix")
  local pcns foreignns
  pcns=$("$lab" ns "$prefix" pc)
  foreignns=$("$lab" ns "$prefix" FOREIGN)
  cp "$build/bin/zelvo-setup-cli" "$dir/" 2>/dev/null || cp "$build/src/cli/zelvo-setup-cli" "$dir/"
  cp "$root/resources/manager.ini" "$dir/"

  # Only the unit's own messages: its MAC in the client hardware address field.
  ip netns exec "$pcns" tcpdump -i eth0 -n -U -s 400 -w "$dir/capture.pcap" \
    'udp and (port 67 or port 68) and udp[36:4] = 0x025ae140 and udp[40:2] = 0x0005' \
    >/dev/null 2>"$dir/tcpdump.err" &
  local tcpdump_pid=$! flood_pid=
  for _ in $(seq 100); do grep -q "listening on" "$dir/tcpdump.err" && break; sleep 0.05; done
  if [ "$flood" = 1 ]; then
    ip netns exec "$foreignns" "$build/bench/zelvo_bench_dhcp_flood" eth0 "$dhcp_rate" \
      "$dhcp_flood_seconds" >"$dir/flood.out" 2>&1 &
    flood_pid=$!
  fi
  ip netns exec "$pcns" env XDG_RUNTIME_DIR="$dir" ZELVO_LAB_OWNER="$prefix" \
    "$dir/zelvo-setup-cli" assign --yes --json --quiet --mac 02:5a:e1:40:00:05 \
    --wait "$dhcp_wait" >"$dir/assign.out" 2>"$dir/assign.err" </dev/null &
  local assign_pid=$! bound
  # The moment the responder's socket is bound (the start of the look that saw it; one
  # look takes a few milliseconds): DISCOVERs before it were never read.
  bound=$(ip netns exec "$pcns" bash -c '
    while kill -0 "$1" 2>/dev/null; do
      t=$(date +%s.%N)
      if ss -H -uln "sport = :67" | grep -q .; then echo "$t"; exit 0; fi
      sleep 0.005
    done' _ "$assign_pid")
  local rc=0
  wait "$assign_pid" || rc=$?
  if [ -n "$flood_pid" ]; then
    kill "$flood_pid" 2>/dev/null || true
    wait "$flood_pid" 2>/dev/null || true
  fi
  sleep 0.3
  kill "$tcpdump_pid" 2>/dev/null || true
  wait "$tcpdump_pid" 2>/dev/null || true
  "$lab" down "$prefix" >/dev/null 2>&1 || true

  tcpdump -r "$dir/capture.pcap" -n -tt -v 2>/dev/null |
    awk -v bound="${bound:-0}" -v rc="$rc" -v flood="$(cat "$dir/flood.out" 2>/dev/null)" '
      /^[0-9]+\.[0-9]+ / { t = $1 }
      /DHCP-Message.*: Discover/ { if (t >= bound) { n++; if (!d) d = t } }
      /DHCP-Message.*: Offer/ { if (d && !o) o = t }
      /DHCP-Message.*: Request/ { if (o && !r) r = t }
      /DHCP-Message.*: ACK/ { if (r && !a) a = t }
      END {
        sub(/.*sent=/, "", flood); sub(/ .*/, "", flood)
        printf "served=%s offer_ms=%s ack_ms=%s discovers=%d flood=%s\n",
          (rc == 0 && a) ? "yes" : "no",
          o ? sprintf("%d", (o - d) * 1000) : "", a ? sprintf("%d", (a - r) * 1000) : "",
          n, flood
      }'
}

# The quiet exchange three times: where in its second a pass is when the DISCOVER comes
# moves the figure by up to a pass, so the median and the range count.
quiet_offers=() quiet_acks=() dhcp_quiet_served=yes
for i in 1 2 3; do
  dhcp_quiet=$(dhcp_run "quiet$i" 0)
  echo "bench: dhcp quiet $i: $dhcp_quiet" >&2
  [ "$(field served "$dhcp_quiet")" = yes ] || dhcp_quiet_served=no
  [ -z "$(field offer_ms "$dhcp_quiet")" ] || quiet_offers+=("$(field offer_ms "$dhcp_quiet")")
  [ -z "$(field ack_ms "$dhcp_quiet")" ] || quiet_acks+=("$(field ack_ms "$dhcp_quiet")")
done
dhcp_loaded=$(dhcp_run loaded 1)
echo "bench: dhcp under load: $dhcp_loaded" >&2
spread() { # ms... -> "median (min-max)" in seconds
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
    printf "%.2f s (%.2f-%.2f)", v[int((NR + 1) / 2)] / 1000, v[1] / 1000, v[NR] / 1000 }'
}
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
beyond_probe() { # ms -> "+x.xx s beyond the probe"
  awk -v v="$1" 'BEGIN { printf "%+.2f s beyond the probe", (v - 2000) / 1000 }'
}
if [ ${#quiet_offers[@]} -gt 0 ]; then
  row "DHCP: unit's DISCOVER to OFFER (3 runs)" "$(spread "${quiet_offers[@]}")" "the echo probe 2.00 s" \
    "$(beyond_probe "$(median "${quiet_offers[@]}")") (a pass: up to 1.5 s)"
else
  row "DHCP: unit's DISCOVER to OFFER" "no OFFER" "the echo probe 2.00 s" "-"
fi
if [ ${#quiet_acks[@]} -gt 0 ]; then
  row "DHCP: unit's REQUEST to ACK (3 runs)" "$(spread "${quiet_acks[@]}")" "-" \
    "served every time: $dhcp_quiet_served"
else
  row "DHCP: unit's REQUEST to ACK" "no ACK" "-" "served: no"
fi
offer_l=$(field offer_ms "$dhcp_loaded")
row "DHCP: unit among $dhcp_rate foreign DISCOVERs/s" \
  "served: $(field served "$dhcp_loaded") (${dhcp_wait} s)" \
  "OFFER $([ -n "$offer_l" ] && ms_to_s "$offer_l" || echo never)" \
  "$([ -n "$offer_l" ] && beyond_probe "$offer_l" || echo -); $(field flood "$dhcp_loaded") sent"
