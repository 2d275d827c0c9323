#!/usr/bin/env bash
# Simulated units seen from the PC namespace: neighbour table after a broadcast echo,
# NetBIOS names, the FTP servers with the fixed login in both directories, the web pages.
set -uo pipefail
source "$(dirname "$0")/../../lab/testlib.sh"
lab_require_root

lab_up <<'EOF'
segment 10.231.7.0/24
pc address=10.231.7.10
unit name=NAS01 mac=02:5a:e1:40:00:01 address=10.231.7.21 config=yes firmware=abcd1234.fup,wxyz0001.fup
unit name=NAS02 mac=02:5a:e1:4a:0b:1c address=10.231.7.22
unit name=QUIET mac=02:5a:e1:40:00:09 address=10.231.7.29 noecho
unit name=NONAME mac=02:5a:e1:40:00:0a address=10.231.7.30 noname
host name=OTHER mac=02:11:22:33:44:55 address=10.231.7.40
EOF
FTP_LOGIN=korblenx:ferntide
work=$(mktemp -d)
trap 'rm -rf "$work"; lab_down' EXIT

# --- a broadcast echo makes every unit that answers echo known to the PC, by its MAC ---
lab_exec ping -q -b -c 2 -W 1 -I eth0 255.255.255.255 >/dev/null 2>&1
sleep 1
neigh=$(lab_exec ip -4 neigh show dev eth0)
while read -r addr mac expected; do
    if grep -q "^$addr lladdr $mac " <<<"$neigh"; then got=present; else got=absent; fi
    lab_expect_eq "$expected" "$got" "neighbour entry $addr $mac after the broadcast echo"
done <<'EOF'
10.231.7.21 02:5a:e1:40:00:01 present
10.231.7.22 02:5a:e1:4a:0b:1c present
10.231.7.30 02:5a:e1:40:00:0a present
10.231.7.40 02:11:22:33:44:55 present
10.231.7.29 02:5a:e1:40:00:09 absent
EOF
# The unit that ignores echo is still on the segment: it answers ARP.
lab_exec ping -q -c 1 -W 1 10.231.7.29 >/dev/null 2>&1 && lab_fail "QUIET answered an echo"
lab_exec ip -4 neigh show 10.231.7.29 | grep -q "lladdr 02:5a:e1:40:00:09" ||
    lab_fail "QUIET did not answer ARP"

# --- NetBIOS node status: the first unique <00> name is the unit's computer name ---
nb_name() { # address; nmbd answers in milliseconds, silence means no name server
    lab_exec timeout 2 nmblookup -A "$1" 2>/dev/null |
        awk '$2 == "<00>" && $0 !~ /<GROUP>/ { print $1; exit }'
}
while read -r addr expected; do
    lab_expect_eq "$expected" "$(nb_name "$addr")" "NetBIOS name of $addr"
done <<'EOF'
10.231.7.21 NAS01
10.231.7.22 NAS02
10.231.7.29 QUIET
10.231.7.40 OTHER
EOF
lab_expect_eq "" "$(nb_name 10.231.7.30)" "NetBIOS name of the unit without a name server"

# --- FTP: fixed login, passive, binary; store, list, retrieve, delete in both directories ---
ftp() { lab_exec curl -sS --max-time 15 --ftp-pasv -u "$FTP_LOGIN" "$@"; }
head -c 70000 /dev/urandom >"$work/payload"
printf 'line1\r\nline2\n\r\000\032\377' >>"$work/payload"
for unit in NAS01 NAS02; do
    addr=$(lab_unit_addr "$unit")
    for dir in config firmware; do
        url=ftp://$addr/$dir
        pwd_reply=$(ftp -v "$url/" -Q "-PWD" -o /dev/null 2>&1 | grep '^< 257')
        [[ $pwd_reply == *"\"/$dir\""* ]] || lab_fail "$unit: PWD in $dir answered '$pwd_reply'"
        ftp -T "$work/payload" "$url/probe_$unit.bin" || lab_fail "$unit: store in /$dir failed"
        ftp -l "$url/" | grep -qx "probe_$unit.bin" || lab_fail "$unit: /$dir listing lacks the stored file"
        ftp "$url/probe_$unit.bin" -o "$work/back" || lab_fail "$unit: retrieve from /$dir failed"
        cmp -s "$work/payload" "$work/back" || lab_fail "$unit: /$dir gave back different bytes"
        ftp "$url/" -Q "-DELE probe_$unit.bin" -o /dev/null || lab_fail "$unit: delete in /$dir failed"
        ftp -l "$url/" | grep -q "probe_$unit.bin" && lab_fail "$unit: /$dir still lists the deleted file"
        ftp "$url/probe_$unit.bin" -o "$work/back" 2>/dev/null && lab_fail "$unit: retrieved a deleted file"
    done
done

# Pre-filled files arrive byte for byte; a file placed by a test can be overwritten.
root=$(lab_unit_ftp_root NAS01)
ftp ftp://10.231.7.21/config/nas_400001.dat -o "$work/cfg" || lab_fail "NAS01: no configuration file"
cmp -s "$root/config/nas_400001.dat" "$work/cfg" || lab_fail "NAS01: configuration file changed in transfer"
grep -q $'\r\n' "$work/cfg" && grep -q $'\377' "$work/cfg" || lab_fail "the configuration file lacks CR LF or 0xff bytes"
lab_expect_eq $'abcd1234.fup\nwxyz0001.fup' "$(ftp -l ftp://10.231.7.21/firmware/ | sort)" "NAS01 firmware listing"
lab_unit_put NAS02 config "$work/cfg" nas_4A0B1C.dat
ftp -T "$work/payload" ftp://10.231.7.22/config/nas_4A0B1C.dat || lab_fail "NAS02: overwriting a placed file failed"
cmp -s "$work/payload" "$(lab_unit_ftp_root NAS02)/config/nas_4A0B1C.dat" || lab_fail "NAS02: overwrite stored other bytes"

# Refusals: a wrong password (curl 67, login denied) and the foreign host's missing server.
lab_exec curl -sS --max-time 15 -u korblenx:wrong ftp://10.231.7.21/ -o /dev/null 2>/dev/null
lab_expect_eq 67 $? "curl status for a wrong FTP password"
lab_exec curl -sS --max-time 5 -u "$FTP_LOGIN" ftp://10.231.7.40/ -o /dev/null 2>/dev/null
lab_expect_eq 7 $? "curl status for FTP to the foreign host (connection refused)"

# --- web pages: the four paths of manager.ini, a missing page, and the page that makes a
# --- new configuration file after a backup moved the old one away ---
for page in /index.html /config/create.html /config/restore.html /firmware/update.html; do
    body=$(lab_exec curl -sS --max-time 5 -w '\n%{http_code}' "http://10.231.7.22$page")
    lab_expect_eq 200 "${body##*$'\n'}" "HTTP status of $page"
    [[ $body == *"Unit NAS02"* ]] || lab_fail "$page does not name its unit"
done
lab_expect_eq 404 "$(lab_exec curl -sS -o /dev/null -w '%{http_code}' http://10.231.7.22/nothing.html)" "missing page"
ftp ftp://10.231.7.21/config/ -Q "-DELE nas_400001.dat" -o /dev/null || lab_fail "deleting the configuration file failed"
lab_expect_eq "created nas_400001.dat" "$(lab_exec curl -sS http://10.231.7.21/cgi-bin/create-config)" "create-config page"
ftp -l ftp://10.231.7.21/config/ | grep -qx nas_400001.dat || lab_fail "the new configuration file is not on FTP"
ftp ftp://10.231.7.21/config/nas_400001.dat -o "$work/cfg2" || lab_fail "the new configuration file cannot be fetched"
lab_expect_eq "exists nas_400001.dat" "$(lab_exec curl -sS http://10.231.7.21/cgi-bin/create-config)" "create-config page, second time"

echo "units test passed"
