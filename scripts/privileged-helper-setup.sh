#!/usr/bin/env bash
# Gives zelvo-sockhelper in a build tree the two file capabilities it needs to open raw
# ICMP sockets and the DHCP server port for the tool (which itself runs unprivileged):
#   scripts/privileged-helper-setup.sh <build-dir>
# As root it sets cap_net_raw,cap_net_bind_service=ep on <build-dir>/bin/zelvo-sockhelper.
# As another user it only says what it cannot do and how to do it; it then exits 0, so
# that a build by a normal user goes on (Search and Set IP then need root).
# A rebuild of the helper drops its capabilities: run this again after building.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 <build-dir>" >&2
  exit 2
fi
helper="$1/bin/zelvo-sockhelper"
caps="cap_net_raw,cap_net_bind_service=ep"

if [ ! -f "$helper" ]; then
  echo "privileged-helper-setup: no helper at $helper; build the tree first" >&2
  exit 1
fi

setcap=$(command -v setcap || true)
[ -z "$setcap" ] && [ -x /usr/sbin/setcap ] && setcap=/usr/sbin/setcap
[ -z "$setcap" ] && [ -x /sbin/setcap ] && setcap=/sbin/setcap

if [ "$(id -u)" -ne 0 ]; then
  echo "privileged-helper-setup: not root, so $helper gets no capabilities." >&2
  echo "privileged-helper-setup: without them, Search and Set IP work only when the tool runs as root." >&2
  echo "privileged-helper-setup: to set them: sudo setcap $caps $helper" >&2
  exit 0
fi

if [ -z "$setcap" ]; then
  echo "privileged-helper-setup: setcap is missing (Debian package libcap2-bin)" >&2
  exit 1
fi

chmod 0755 "$helper"
"$setcap" "$caps" "$helper"
getcap=$(dirname "$setcap")/getcap
if [ -x "$getcap" ]; then
  echo "privileged-helper-setup: $("$getcap" "$helper")"
fi
# File capabilities do nothing on a file system mounted nosuid.
if command -v findmnt >/dev/null 2>&1; then
  options=$(findmnt -no OPTIONS --target "$helper" 2>/dev/null || true)
  case ",$options," in
    *,nosuid,*)
      echo "privileged-helper-setup: warning: $helper lies on a nosuid mount; its capabilities have no effect there" >&2 ;;
  esac
fi
