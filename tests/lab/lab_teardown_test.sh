#!/usr/bin/env bash
# A lab leaves nothing behind: no namespace, link, process, /etc/netns or state file, and
# the host's own files stay byte for byte as they were. Tear-down is idempotent and also
# cleans what a crashed run left (state gone, namespaces unnamed, daemons still running).
set -uo pipefail
source "$(dirname "$0")/../../lab/testlib.sh"
lab_require_root

work=$(mktemp -d)
trap 'rm -rf "$work"; lab_down' EXIT
cp /etc/resolv.conf "$work/resolv.conf.before"
cp /etc/hosts "$work/hosts.before"
host_links() { ip -o link show | awk -F': ' '{ print $2 }' | sort; }
# Where stock configurations of the lab's daemons would write on the host.
host_daemon_files() {
    find /run/samba /var/lib/samba /var/cache/samba /var/log/samba /var/lib/misc /var/run/vsftpd \
        /var/log/vsftpd.log /var/log/xferlog -printf '%p %s\n' 2>/dev/null | sort
}
# A process is named "pid:start time", so that a pid the kernel hands out again (pid_max
# can be as small as 32768, and parallel tests fork a lot) is not taken for the old one.
proc_ids() { # pids... -> pid:start for those that exist
    local pid
    for pid in "$@"; do
        awk -v p="$pid" '{ sub(/^.*\) /, ""); print p ":" $20 }' "/proc/$pid/stat" 2>/dev/null
    done
}
running() { # pid:start... -> the ones still running (zombies count as ended)
    local id
    for id in "$@"; do
        awk -v id="$id" -v pid="${id%%:*}" '{ sub(/^.*\) /, ""); if ($1 != "Z" && pid ":" $20 == id) print id }' \
            "/proc/${id%%:*}/stat" 2>/dev/null
    done
}
host_links >"$work/links.before"
host_daemon_files >"$work/daemon-files.before"

# Every kind of namespace and daemon: router with DHCP and DNS, a PC with a lease, named
# units, a unit that gets its address during the run, a foreign host and a crowd.
lab_up <<'EOF'
pc dhcp
dhcpserver router=yes
unit name=NAS01 mac=02:5a:e1:40:00:01 address=10.231.7.21 dns=nas01.lab config=yes
unit name=WAIT mac=02:5a:e1:40:00:03 address=none
host name=OTHER mac=02:11:22:33:44:55 address=10.231.7.40
crowd count=5 mac=02:5a:e1:40:10:00 first=10.231.7.60
EOF
P=$LAB_PREFIX
lab_wait_addr WAIT 40 || lab_fail "WAIT got no address"
lab_exec sleep 600 </dev/null >/dev/null 2>&1 &
lab_unit_exec NAS01 sleep 600 </dev/null >/dev/null 2>&1 &
sleep 0.5

# While it runs: its namespaces exist, and the host's link table has no lab link.
mapfile -t spaces < <(ip netns list | awk -v p="zlab-$P-" 'index($1, p) == 1 { print $1 }')
((${#spaces[@]} == 7)) || lab_fail "expected 7 namespaces (pc sw rt 3 nodes crowd), got: ${spaces[*]}"
diff -q "$work/links.before" <(host_links) >/dev/null || lab_fail "the host's link table changed during the run"
pids=()
for ns in "${spaces[@]}"; do pids+=($(ip netns pids "$ns")); done
commands=$(ps -o args= -p "${pids[*]}")
mapfile -t pids < <(proc_ids "${pids[@]}")
for d in nmbd vsftpd "busybox httpd" "busybox udhcpc" dnsmasq "sleep 600"; do
    grep -q "^$d" <<<"$commands" || lab_fail "no $d process in the lab's namespaces"
done
((${#pids[@]} >= 12)) || lab_fail "only ${#pids[@]} processes in the lab's namespaces"

marked() { # prefix -> pids whose environment carries the lab's mark
    grep -l -z -x "ZELVO_LAB_OWNER=$1" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3
}
check_gone() { # prefix, pids that must have ended
    local p=$1
    shift
    [[ -z $(ip netns list | grep "^zlab-$p-") ]] || lab_fail "namespaces of $p remain: $(ip netns list | grep "^zlab-$p-")"
    local left
    left=$(running "$@")
    [[ -z $left ]] || lab_fail "processes of $p remain: $left $(ps -o pid=,args= -p "$(sed 's/:[0-9]*//g' <<<"$left")")"
    [[ -z $(marked "$p") ]] || lab_fail "marked processes of $p remain: $(marked "$p")"
    compgen -G "/etc/netns/zlab-$p-*" >/dev/null && lab_fail "/etc/netns files of $p remain"
    [[ ! -e /run/zelvo-lab/$p ]] || lab_fail "state of $p remains"
    return 0
}

"$LAB_SH" down "$P" || lab_fail "down $P reported a failure"
LAB_PREFIX=
check_gone "$P" "${pids[@]}"
"$LAB_SH" down "$P" || lab_fail "a second down $P failed"

# A crashed run: the state directory is gone and one namespace lost its name while its
# daemons still run in it. down finds the rest by name and the daemons by their mark.
lab_up <<'EOF'
pc address=10.231.7.10
unit name=NAS01 mac=02:5a:e1:40:00:01 address=10.231.7.21
EOF
P=$LAB_PREFIX
unit_ns=zlab-$P-u-NAS01
mapfile -t orphans < <(proc_ids $(ip netns pids "$unit_ns"))
((${#orphans[@]} >= 3)) || lab_fail "NAS01 runs ${#orphans[@]} processes, expected nmbd, vsftpd and httpd"
ip netns delete "$unit_ns"
rm -rf "/run/zelvo-lab/$P"
[[ -n $(running "${orphans[@]}") ]] || lab_fail "the daemons ended with their namespace's name; the crash was not simulated"
"$LAB_SH" list | grep -qx "$P (left over; lab.sh down $P)" || lab_fail "list does not show the left-over lab $P"
"$LAB_SH" down "$P" || lab_fail "down of the crashed lab $P reported a failure"
LAB_PREFIX=
check_gone "$P" "${orphans[@]}"

# A prefix in use is refused and the lab that uses it stays intact.
lab_up <<'EOF'
pc address=10.231.7.10
EOF
printf 'pc address=10.231.7.10\n' >"$work/again.lab"
ZELVO_LAB_PREFIX=$LAB_PREFIX "$LAB_SH" up "$work/again.lab" 2>/dev/null && lab_fail "up accepted a prefix in use"
[[ -n $("$LAB_SH" pc-addr "$LAB_PREFIX") ]] || lab_fail "the refused up damaged the lab that has the prefix"
lab_down

cmp -s /etc/resolv.conf "$work/resolv.conf.before" || lab_fail "the host's /etc/resolv.conf changed"
cmp -s /etc/hosts "$work/hosts.before" || lab_fail "the host's /etc/hosts changed"
diff "$work/links.before" <(host_links) || lab_fail "the host's link table changed"
diff "$work/daemon-files.before" <(host_daemon_files) || lab_fail "a lab daemon wrote into the host's directories"
echo "teardown test passed"
