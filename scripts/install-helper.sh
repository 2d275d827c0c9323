#!/usr/bin/env bash
# Makes an installed or built zelvo-sockhelper usable by the group zelvo-setup and by
# nobody else: owner root, group zelvo-setup (created as a system group when missing),
# mode 0750, file capabilities cap_net_raw,cap_net_bind_service=p. The capabilities are
# only permitted: the helper makes one effective around the one call that needs it.
#   install-helper.sh <path of zelvo-sockhelper>
# Run as root: cmake --install calls it on the installed helper, a package's post-install
# step calls it on the packaged one, privileged-helper-setup.sh on a build tree's.
#
# It acts on the real file only and refuses, saying why, a helper that is a symbolic link
# or not a regular file, or that an account other than root could change or replace:
# the file itself, or any directory from / down to it, writable by another account
# (a sticky directory such as /tmp is fine: others cannot rename root's entries there),
# or a directory on the way that carries ACL entries (they can give other accounts
# rights the mode does not show).
#
# The helper gets its rights as a fresh copy that is renamed over the old file: no
# ACL entry, no open file descriptor and no second name of the old file carries over to
# the file with the capabilities.
#
# An administrator's dpkg-statoverride entry for the helper is kept: its owner, group
# and mode are given instead of root:zelvo-setup 0750 (an owner other than root, or a
# mode that lets others write or sets an id, is refused).
#
# Under DPKG_ROOT (dpkg working on another root directory) the helper lies below that
# root, and the group is looked up and created in that root's group database.
set -euo pipefail

group=zelvo-setup
caps=cap_net_raw,cap_net_bind_service=p

say() { echo "install-helper: $*" >&2; }
refuse() {
  say "refused: $*"
  exit 1
}

if [ $# -ne 1 ]; then
  echo "usage: $0 <path of zelvo-sockhelper>" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
  say "only root can give $1 its group and capabilities"
  exit 1
fi

# The root of the system the helper belongs to: / or dpkg's DPKG_ROOT.
root=
if [ -n "${DPKG_ROOT:-}" ]; then
  root=$(cd -P -- "$DPKG_ROOT" 2>/dev/null && pwd -P) || refuse "DPKG_ROOT $DPKG_ROOT is not a directory"
  [ "$root" = / ] && root=
fi
if [ -n "$root" ] && [ ! -f "$root/etc/group" ]; then
  refuse "DPKG_ROOT $root has no group database ($root/etc/group), so the group $group cannot be made there"
fi

path=$1
case $path in
  /*) ;;
  *) path=$PWD/$path ;;
esac
name=${path##*/}
dir=${path%/*}
[ -n "$dir" ] || dir=/

# lstat: a link is refused, never followed.
[ -L "$path" ] && refuse "$path is a symbolic link; only the real file may get the capabilities"
[ -e "$path" ] || refuse "there is no helper at $path"
[ -f "$path" ] || refuse "$path is not a regular file"

# ACL entries show as a '+' after the mode in a long listing (GNU ls).
has_acl() { # path
  local listing
  listing=$(LC_ALL=C ls -ld -- "$1") || return 0
  [ "${listing:10:1}" = + ]
}

# Whoever can write a directory on the way can put another file in the helper's place.
writable_by_others() { # uid gid octal-mode: true when an account other than root may write
  local uid=$1 gid=$2 mode=$((8#$3))
  [ "$uid" -ne 0 ] && return 0
  [ $((mode & 8#020)) -ne 0 ] && [ "$gid" -ne 0 ] && return 0
  [ $((mode & 8#002)) -ne 0 ] && return 0
  return 1
}
real_dir=$(cd -P -- "$dir" 2>/dev/null && pwd -P) || refuse "cannot enter $dir"
walk=$real_dir
while :; do
  read -r uid gid mode < <(stat -c '%u %g %a' -- "$walk")
  if writable_by_others "$uid" "$gid" "$mode"; then
    sticky=$(((8#$mode & 8#1000) != 0))
    if [ "$uid" -ne 0 ] || [ "$sticky" -eq 0 ] || [ "$walk" = "$real_dir" ]; then
      refuse "$walk can be written by another account than root (owner uid $uid, group $gid, mode $mode); build or install where only root can write"
    fi
  fi
  if has_acl "$walk"; then
    refuse "$walk carries ACL entries, which may let other accounts write there or give the helper's copy rights of their own; remove them (setfacl -b $walk) or install elsewhere"
  fi
  [ "$walk" = / ] && break
  walk=${walk%/*}
  [ -n "$walk" ] || walk=/
done

file=$real_dir/$name
[ -L "$file" ] && refuse "$file is a symbolic link; only the real file may get the capabilities"
[ -f "$file" ] || refuse "$file is not a regular file"
read -r uid gid mode links < <(stat -c '%u %g %a %h' -- "$file")
[ "$uid" -eq 0 ] || refuse "$file belongs to uid $uid, who could change it; build or install as root"
[ $((8#$mode & 8#022)) -eq 0 ] ||
  refuse "$file can be written by others than its owner (mode $mode)"
[ "$links" -eq 1 ] || refuse "$file has $links names; only a file with one name is given capabilities"
if [ -n "$root" ]; then
  case $file in
    "$root"/*) ;;
    *) refuse "$file does not lie below DPKG_ROOT $root" ;;
  esac
fi

setcap=$(command -v setcap || true)
[ -z "$setcap" ] && [ -x /usr/sbin/setcap ] && setcap=/usr/sbin/setcap
[ -z "$setcap" ] && [ -x /sbin/setcap ] && setcap=/sbin/setcap
[ -n "$setcap" ] || refuse "setcap is missing (Debian package libcap2-bin)"

# Names to numbers in the helper's own system: the host's databases, or DPKG_ROOT's.
id_of() { # passwd|group name-or-#number
  case $2 in
    \#*) echo "${2#\#}" ;;
    *)
      if [ -n "$root" ]; then
        local entry _x number
        [ -f "$root/etc/$1" ] || return 0
        while IFS=: read -r entry _x number _; do
          if [ "$entry" = "$2" ]; then
            echo "$number"
            break
          fi
        done <"$root/etc/$1"
      else
        { getent "$1" "$2" || true; } | cut -d: -f3
      fi
      ;;
  esac
}

owner_id=0
group_name=$group
want_mode=0750
override=
if command -v dpkg-statoverride >/dev/null 2>&1; then
  override=$(dpkg-statoverride ${root:+--root "$root"} --list "${file#"$root"}" 2>/dev/null || true)
fi
if [ -n "$override" ]; then
  read -r o_owner o_group o_mode _ <<<"$override"
  owner_id=$(id_of passwd "$o_owner")
  [ "$owner_id" = 0 ] ||
    refuse "dpkg-statoverride gives $file the owner $o_owner; only a helper that belongs to root gets capabilities"
  [ $((8#$o_mode & 8#7022)) -eq 0 ] ||
    refuse "dpkg-statoverride gives $file the mode $o_mode, which lets others write it or sets an id; the helper gets no capabilities so"
  group_name=$o_group
  want_mode=$o_mode
  say "keeping the dpkg-statoverride entry of $file: $o_owner:$o_group $o_mode"
fi

group_id=$(id_of group "$group_name")
if [ -z "$group_id" ]; then
  [ "$group_name" = "$group" ] || refuse "the group $group_name of the dpkg-statoverride entry does not exist"
  groupadd ${root:+--prefix "$root"} --system "$group" || refuse "could not create the group $group${root:+ in $root}"
  group_id=$(id_of group "$group")
  [ -n "$group_id" ] || refuse "the group $group was made but cannot be found${root:+ in $root}"
  say "created the system group $group${root:+ in $root}; add users with: usermod -aG $group USER (then log in again)"
fi

# The fresh copy, beside the old file so that the rename replaces it in one step.
fresh=$(mktemp -p "$real_dir" ".$name.XXXXXX") || refuse "cannot make a new file in $real_dir"
trap 'rm -f -- "$fresh"' EXIT
cat -- "$file" >"$fresh"
has_acl "$fresh" && refuse "the new copy $fresh got ACL entries from $real_dir"
# chown first: a change of owner clears file capabilities.
chown "0:$group_id" -- "$fresh"
chmod "$want_mode" -- "$fresh"
"$setcap" "$caps" "$fresh"
# The old file keeps no capabilities for whoever still holds it open.
"$setcap" -r "$file" 2>/dev/null || true
mv -fT -- "$fresh" "$file"
trap - EXIT

getcap=$(dirname "$setcap")/getcap
if [ -x "$getcap" ]; then
  say "$(stat -c '%U:%G %a' -- "$file") $("$getcap" "$file")"
fi
# File capabilities do nothing on a file system mounted nosuid.
if command -v findmnt >/dev/null 2>&1; then
  options=$(findmnt -no OPTIONS --target "$file" 2>/dev/null || true)
  case ",$options," in
    *,nosuid,*)
      say "warning: $file lies on a nosuid mount; its capabilities have no effect there" ;;
  esac
fi
