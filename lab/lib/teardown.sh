# Removes labs: their processes, namespaces (and with them every link), /etc/netns files
# and state. Works from what exists, not from the saved plan, so it also cleans what a
# crashed or half-built run left. Idempotent. Sourced by lab.sh after common.sh.

lab_namespaces() { # prefix -> namespace names
    ip netns list 2>/dev/null | awk -v p="zlab-$1-" 'index($1, p) == 1 { print $1 }'
}

# Prefixes that left any trace: namespaces, state directories, /etc/netns directories.
all_prefixes() {
    {
        ip netns list 2>/dev/null | awk '{ print $1 }' | sed -n 's/^zlab-\([a-z][a-z0-9]*\)-.*/\1/p'
        ls "$LAB_NETNS_ETC" 2>/dev/null | sed -n 's/^zlab-\([a-z][a-z0-9]*\)-.*/\1/p'
        ls "$LAB_RUN" 2>/dev/null
        marked_prefixes
    } | sort -u | while read -r p; do valid_prefix "$p" && echo "$p"; done
    return 0
}

# Lab marks in the environment of running processes (a process can outlive its lab's
# namespaces and state when a run crashed half-way through a tear-down).
marked_prefixes() {
    local f e
    for f in /proc/[0-9]*/environ; do
        while IFS= read -r -d '' e; do
            [[ $e == ZELVO_LAB_OWNER=* ]] && echo "${e#ZELVO_LAB_OWNER=}"
        done 2>/dev/null <"$f"
    done
    return 0
}

# This process and its ancestors: a tear-down started from inside a lab must not end
# the shell that runs it. (Builtins only: forks are slow and /proc is walked often.)
own_lineage() {
    local pid=$$ key val
    while ((pid > 1)); do
        echo "$pid"
        val=
        while read -r key val; do
            [[ $key == PPid: ]] && break
        done 2>/dev/null <"/proc/$pid/status"
        [[ -n $val ]] || break
        pid=$val
    done
}

# Processes that belong to a lab: inside one of its namespaces, or carrying its mark in
# their environment, and every descendant of those (vsftpd moves its sessions into
# namespaces of their own). Args: prefix, namespace names...
lab_processes() {
    local prefix=$1 dir pid e stat rest ns state ppid
    shift
    local -A wanted=() parent=() keep=()
    for pid in $(own_lineage); do keep[$pid]=1; done
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        [[ -n ${keep[$pid]:-} ]] && continue
        read -r stat 2>/dev/null <"$dir/stat" || continue
        rest=${stat##*) }
        read -r state ppid _ <<<"$rest"
        parent[$pid]=$ppid
        for ns in "$@"; do
            # -ef compares device and inode: the same network namespace.
            if [[ $dir/ns/net -ef /run/netns/$ns ]]; then
                wanted[$pid]=1
                continue 2
            fi
        done
        while IFS= read -r -d '' e; do
            if [[ $e == "ZELVO_LAB_OWNER=$prefix" ]]; then
                wanted[$pid]=1
                break
            fi
        done 2>/dev/null <"$dir/environ"
    done
    # Descendants, until nothing changes.
    local changed=1
    while ((changed)); do
        changed=0
        for pid in "${!parent[@]}"; do
            [[ -z ${wanted[$pid]:-} && -z ${keep[$pid]:-} && -n ${wanted[${parent[$pid]}]:-} ]] || continue
            wanted[$pid]=1
            changed=1
        done
    done
    echo "${!wanted[@]}"
}

alive() { # pids... -> those still running (zombies do not count)
    local pid stat state
    for pid in "$@"; do
        read -r stat 2>/dev/null <"/proc/$pid/stat" || continue
        read -r state _ <<<"${stat##*) }"
        [[ $state == Z ]] || echo "$pid"
    done
}

stop_processes() { # pids...
    local -a left=("$@")
    local i
    ((${#left[@]})) || return 0
    kill -TERM "${left[@]}" 2>/dev/null || true
    for ((i = 0; i < 30; i++)); do
        mapfile -t left < <(alive "${left[@]}")
        ((${#left[@]})) || return 0
        sleep 0.1
    done
    kill -KILL "${left[@]}" 2>/dev/null || true
    for ((i = 0; i < 20; i++)); do
        mapfile -t left < <(alive "${left[@]}")
        ((${#left[@]})) || return 0
        sleep 0.1
    done
    say "processes that would not end: ${left[*]}"
    return 1
}

teardown_prefix() { # prefix
    local p=$1 ns status=0
    local -a spaces
    mapfile -t spaces < <(lab_namespaces "$p")
    # shellcheck disable=SC2046
    stop_processes $(lab_processes "$p" "${spaces[@]}") || status=1
    for ns in "${spaces[@]}"; do
        ip netns delete "$ns" 2>/dev/null || { [[ ! -e /run/netns/$ns ]] || status=1; }
    done
    rm -rf "$LAB_NETNS_ETC"/zlab-"$p"-* "$LAB_RUN/${p:?}"
    forget_shared_dirs
    if [[ -n $(lab_namespaces "$p") ]]; then
        say "namespaces of lab $p are still there"
        status=1
    fi
    return $status
}

# /etc/netns is removed with the last lab when a lab made it (the mark in LAB_RUN says so).
note_shared_dirs() {
    mkdir -p "$LAB_RUN"
    if [[ ! -d $LAB_NETNS_ETC ]]; then
        mkdir -p "$LAB_NETNS_ETC"
        touch "$LAB_RUN/.made-etc-netns"
    fi
}

forget_shared_dirs() {
    [[ -d $LAB_RUN ]] || return 0
    [[ -z $(ls "$LAB_RUN") ]] || return 0
    if [[ -e $LAB_RUN/.made-etc-netns ]]; then
        rmdir "$LAB_NETNS_ETC" 2>/dev/null || true
        rm -f "$LAB_RUN/.made-etc-netns"
    fi
    rmdir "$LAB_RUN" 2>/dev/null || true
}

teardown_all() {
    local p status=0
    for p in $(all_prefixes); do
        teardown_prefix "$p" || status=1
    done
    return $status
}
