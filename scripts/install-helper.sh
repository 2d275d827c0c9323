#!/usr/bin/env bash
# Makes an installed or built zelvo-sockhelper usable by the group zelvo-setup and by
# nobody else: owner root, group zelvo-setup (created as a system group when missing),
# mode 0750, file capabilities cap_net_raw,cap_net_bind_service=ep.
#   install-helper.sh <path of zelvo-sockhelper>
# Run as root: cmake --install calls it on the installed helper, a package's post-install
# step calls it on the packaged one, privileged-helper-setup.sh on a build tree's.
#
# It acts on the real file only and refuses, saying why, a helper that is a symbolic link
# or not a regular file, or that an account other than root could change or replace:
# the file itself, or any directory from / down to it, writable by another account
# (a sticky directory such as /tmp is fine: others cannot rename root's entries there).
set -euo pipefail

group=zelvo-setup
caps=cap_net_raw,cap_net_bind_service=ep

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

setcap=$(command -v setcap || true)
[ -z "$setcap" ] && [ -x /usr/sbin/setcap ] && setcap=/usr/sbin/setcap
[ -z "$setcap" ] && [ -x /sbin/setcap ] && setcap=/sbin/setcap
[ -n "$setcap" ] || refuse "setcap is missing (Debian package libcap2-bin)"

if ! getent group "$group" >/dev/null; then
  groupadd --system "$group" || refuse "could not create the group $group"
  say "created the system group $group; add users with: usermod -aG $group USER (then log in again)"
fi
# chown first: a change of owner clears file capabilities.
chown "root:$group" -- "$file"
chmod 0750 -- "$file"
"$setcap" "$caps" "$file"
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
