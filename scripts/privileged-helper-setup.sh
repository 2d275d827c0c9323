#!/usr/bin/env bash
# Makes zelvo-sockhelper in a build tree usable as an installed one is: root:zelvo-setup,
# mode 0750, with the two file capabilities it needs to open raw ICMP sockets and the
# DHCP server port for the tool (which itself runs unprivileged):
#   scripts/privileged-helper-setup.sh <build-dir>
# As root it hands <build-dir>/bin/zelvo-sockhelper to install-helper.sh, which refuses
# (and says why) a tree or a helper file that another account could write, and a helper
# that is a symbolic link. As another user it only says what it cannot do and how to do
# it; it then exits 0, so that a build by a normal user goes on (Search then needs ping
# sockets, root, or an installed helper).
# A rebuild of the helper drops its capabilities: run this again after building.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 <build-dir>" >&2
  exit 2
fi
here=$(cd -P -- "$(dirname -- "$0")" && pwd -P)
helper="$1/bin/zelvo-sockhelper"

if [ ! -e "$helper" ] && [ ! -L "$helper" ]; then
  echo "privileged-helper-setup: no helper at $helper; build the tree first" >&2
  exit 1
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "privileged-helper-setup: not root, so $helper gets no capabilities." >&2
  echo "privileged-helper-setup: without them, Search works where ping sockets are allowed or as root, Set IP only as root." >&2
  echo "privileged-helper-setup: to give them, build as root and run: sudo $0 $1" >&2
  exit 0
fi

exec "$here/install-helper.sh" "$helper"
