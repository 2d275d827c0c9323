#!/usr/bin/env bash
# A lab leaves nothing behind, also after a crashed run, and tear-down is idempotent.
source "$(dirname "$0")/../support/lab-test.sh"
need_root
work=$(mktemp -d)
trap 'rm -rf "$work"; lab_down' EXIT
host_state() { # the host's links, resolver and hosts files, and the stock daemon folders
    ip -o link show | awk -F': ' '{ print $2 }' | sort
    md5sum /etc/resolv.conf /etc/hosts
    find /run/samba /var/lib/samba /var/cache/samba /var/log/samba /var/lib/misc /var/run/vsftpd \
        /var/log/vsftpd.log /var/log/xferlog -printf '%p %s\n' 2>/dev/null | sort
}
# "pid:start time", so that a pid the kernel hands out again is not taken for the old one.
proc_ids() { for pid; do awk -v p="$pid" '{ sub(/^.*\) /, ""); print p ":" $20 }' "/proc/$pid/stat" 2>/dev/null; done; }
running() { # pid:start... -> those still running (zombies count as ended)
    for id; do awk -v id="$id" -v pid="${id%%:*}" '{ sub(/^.*\) /, ""); if ($1 != "Z" && pid ":" $20 == id) print id }' "/proc/${id%%:*}/stat" 2>/dev/null; done
}
check_gone() { # prefix, pid:start... that must have ended
    local p=$1
    ip netns list | grep -q "^zlab-$p-" && fail "namespaces of $p remain"
    [[ -z $(running "${@:2}") ]] || fail "processes of $p remain: $(running "${@:2}")"
    grep -l -z -x "ZELVO_LAB_OWNER=$p" /proc/[0-9]*/environ 2>/dev/null | grep -q . && fail "marked processes of $p remain"
    compgen -G "/etc/netns/zlab-$p-*" >/dev/null && fail "/etc/netns files of $p remain"
    [[ ! -e /run/zelvo-lab/$p ]] || fail "state of $p remains"
}
host_state >"$work/before"

lab_up <<'EOF2'
pc dhcp
dhcpserver router=yes
unit name=NAS01 mac=02:5a:e1:40:00:01 address=10.231.7.21 dns=nas01.lab config=yes
unit name=WAIT mac=02:5a:e1:40:00:03 address=none
host name=OTHER mac=02:11:22:33:44:55 address=10.231.7.40
crowd count=5 mac=02:5a:e1:40:10:00 first=10.231.7.60
EOF2
P=$LAB_PREFIX
lab_wait_addr WAIT 40 || fail "WAIT got no address"
lab_exec sleep 600 </dev/null >/dev/null 2>&1 &
lab_unit_exec NAS01 sleep 600 </dev/null >/dev/null 2>&1 &
sleep 0.5
mapfile -t spaces < <(ip netns list | awk -v p="zlab-$P-" 'index($1, p) == 1 { print $1 }')
((${#spaces[@]} == 7)) || fail "expected 7 namespaces (pc sw rt 3 nodes crowd), got: ${spaces[*]}"
pids=()
for ns in "${spaces[@]}"; do pids+=($(ip netns pids "$ns")); done
commands=$(ps -o args= -p "${pids[*]}")
for d in nmbd vsftpd "busybox httpd" "busybox udhcpc" dnsmasq "sleep 600"; do
    grep -q "^$d" <<<"$commands" || fail "no $d process in the lab's namespaces"
done
mapfile -t pids < <(proc_ids "${pids[@]}")
"$LAB_SH" down "$P" || fail "down $P reported a failure"
LAB_PREFIX=
check_gone "$P" "${pids[@]}"
"$LAB_SH" down "$P" || fail "a second down $P failed"

# A crashed run: state gone, a unit's namespace unnamed, its daemons running.
lab_up <<'EOF2'
pc address=10.231.7.10
unit name=NAS01 mac=02:5a:e1:40:00:01 address=10.231.7.21
EOF2
P=$LAB_PREFIX
mapfile -t orphans < <(proc_ids $(ip netns pids "zlab-$P-u-NAS01"))
((${#orphans[@]} >= 3)) || fail "NAS01 runs ${#orphans[@]} processes, expected nmbd, vsftpd and httpd"
ip netns delete "zlab-$P-u-NAS01"
rm -rf "/run/zelvo-lab/$P"
"$LAB_SH" list | grep -qx "$P (left over; lab.sh down $P)" || fail "list does not show the left-over lab $P"
"$LAB_SH" down "$P" || fail "down of the crashed lab $P reported a failure"
LAB_PREFIX=
check_gone "$P" "${orphans[@]}"

diff "$work/before" <(host_state) || fail "the host changed"
echo "teardown test passed"
