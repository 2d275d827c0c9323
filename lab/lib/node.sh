# Prepares the files of a simulated unit or foreign host: its /etc/netns files, FTP root,
# web pages and the configuration of its daemons. Nothing here starts a process.
# Sourced by lab.sh after common.sh and addr.sh; P and the plan are loaded.

# Bytes that a text-mode transfer would change (CR, LF, NUL, 0x1a, 0xff), repeated so the
# file spans more than one network packet.
binary_tail() {
    local i
    for ((i = 0; i < 96; i++)); do
        printf 'blk%03d\r\n\n\r\000\001\032\377\376 ' "$i"
    done
}

write_config_file() { # path, node name, mac
    { printf 'VELDIX organization file\r\nname=%s\r\nmac=%s\r\n' "$2" "$3"; binary_tail; } >"$1"
    chown "$FTP_UID:$FTP_GID" "$1"
    chmod 644 "$1"
}

write_firmware_file() { # path, file name
    { printf 'VELDIX firmware image %s\r\n' "$2"; binary_tail; } >"$1"
    chown "$FTP_UID:$FTP_GID" "$1"
    chmod 644 "$1"
}

# The namespace's own user database: the FTP user lives here and nowhere on the host.
write_unit_accounts() { # etc dir, ftp root
    local etc=$1 hash
    hash=$(busybox mkpasswd -m sha512 "$FTP_PASSWORD") || die "cannot hash the FTP password"
    printf '%s\n' "root:x:0:0:root:/root:/bin/sh" \
        "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin" \
        "$FTP_USER:x:$FTP_UID:$FTP_GID:VELDIX unit FTP user:$2:/bin/sh" >"$etc/passwd"
    printf '%s\n' "root:x:0:" "nogroup:x:65534:" "$FTP_USER:x:$FTP_GID:" >"$etc/group"
    (umask 077 && printf '%s\n' "root:*:19000:0:99999:7:::" "nobody:*:19000:0:99999:7:::" \
        "$FTP_USER:$hash:19000:0:99999:7:::" >"$etc/shadow")
}

write_vsftpd_conf() { # node dir
    local d=$1
    cat >"$d/vsftpd.conf" <<EOF
# FTP server of one simulated unit. Runs in the unit's namespace, in the foreground.
listen=YES
listen_ipv6=NO
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
chroot_local_user=YES
local_root=$d/ftp
secure_chroot_dir=$d/empty
pam_service_name=vsftpd
pasv_enable=YES
pasv_min_port=30000
pasv_max_port=30999
port_enable=YES
ftpd_banner=VELDIX FTP server ready.
hide_ids=YES
use_localtime=YES
seccomp_sandbox=NO
# Sessions stay in the unit's namespace, where tear-down finds them.
isolate=NO
isolate_network=NO
xferlog_enable=YES
log_ftp_protocol=YES
dual_log_enable=YES
xferlog_file=$d/log/xferlog
vsftpd_log_file=$d/log/vsftpd.log
EOF
}

write_smb_conf() { # node dir, netbios name
    local d=$1
    cat >"$d/smb.conf" <<EOF
# NetBIOS name server of one simulated unit; every directory is the unit's own.
[global]
   netbios name = ${2^^}
   workgroup = VELDIX
   server string = VELDIX unit ${2^^}
   interfaces = eth0
   bind interfaces only = yes
   lock directory = $d/samba/lock
   state directory = $d/samba/state
   cache directory = $d/samba/cache
   pid directory = $d/samba/pid
   private dir = $d/samba/private
   ncalrpc dir = $d/samba/ncalrpc
   nmbd:socket dir = $d/samba/sock
   log file = $d/log/nmbd.log
   max log size = 1000
   local master = no
   domain master = no
   preferred master = no
   dns proxy = no
   wins support = no
EOF
    mkdir -p "$d"/samba/{lock,state,cache,pid,private,ncalrpc,sock}
}

write_web_pages() { # node dir, node name, mac
    local d=$1 name=$2 mac=$3 w=$1/www cfg
    cfg=$(config_file_name "$mac")
    mkdir -p "$w/config" "$w/firmware" "$w/cgi-bin"
    page() { # file, title, body
        printf '<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>%s - %s</title></head>\n<body><h1>%s</h1>\n<p>Unit %s, MAC %s</p>\n%s\n</body></html>\n' \
            "$2" "$name" "$2" "$name" "$mac" "$3" >"$1"
    }
    page "$w/index.html" "VELDIX Web tool" '<p>Set the fixed IP address of this unit here.</p>'
    page "$w/config/create.html" "Create organization file" \
        "<form action=\"/cgi-bin/create-config\" method=\"get\"><button>Create $cfg</button></form>"
    page "$w/config/restore.html" "Restore organization file" '<p>The uploaded organization file is now valid.</p>'
    page "$w/firmware/update.html" "Firmware update" '<p>Start the update with the uploaded firmware file.</p>'
    # Makes a fresh configuration file, as the unit's own pages do after a backup moved it away.
    cat >"$w/cgi-bin/create-config" <<EOF
#!/bin/sh
cfg='$d/ftp/config/$cfg'
if [ -e "\$cfg" ]; then state=exists; else
  { printf 'VELDIX organization file\r\nname=%s\r\nmac=%s\r\n' '$name' '$mac'; } >"\$cfg.tmp" &&
  chown $FTP_UID:$FTP_GID "\$cfg.tmp" && mv "\$cfg.tmp" "\$cfg" && state=created || state=failed
fi
printf 'Content-Type: text/plain\r\n\r\n%s %s\n' "\$state" '$cfg'
EOF
    chmod 755 "$w/cgi-bin/create-config"
}

# All files of one node. Args: node name.
prepare_node() {
    local name=$1 d ns etc fw f
    d=$(node_dir "$P" "$name")
    ns=$(ns_of "$P" "$name")
    etc=$LAB_NETNS_ETC/$ns
    mkdir -p "$d/log" "$d/run" "$etc"
    printf '127.0.0.1\tlocalhost\n' >"$etc/hosts"
    printf '# simulated unit: no DNS server\n' >"$etc/resolv.conf"
    ((N_NBNAME[$name])) && write_smb_conf "$d" "$name"
    if ((N_FTP[$name])); then
        mkdir -p "$d/empty" "$d/ftp/config" "$d/ftp/firmware"
        chmod 755 "$d/empty" "$d/ftp"
        chown "$FTP_UID:$FTP_GID" "$d/ftp/config" "$d/ftp/firmware"
        write_unit_accounts "$etc" "$d/ftp"
        write_vsftpd_conf "$d"
        if [[ ${N_CONFIG[$name]} == yes ]]; then
            write_config_file "$d/ftp/config/$(config_file_name "${N_MAC[$name]}")" "$name" "${N_MAC[$name]}"
        fi
        IFS=, read -r -a fw <<<"${N_FIRMWARE[$name]}"
        for f in "${fw[@]}"; do
            write_firmware_file "$d/ftp/firmware/$f" "$f"
        done
    fi
    ((N_WEB[$name])) && write_web_pages "$d" "$name" "${N_MAC[$name]}"
    return 0
}
