#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing the tool need.
# Idempotent and quiet when everything is already there; fails loudly otherwise.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  libcurl4-openssl-dev libcap-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # fuzzing the parsers: clang and its libFuzzer runtime
  clang libclang-rt-14-dev
  # running the window without a display, screenshots, Japanese glyphs
  xvfb xauth fonts-noto-cjk imagemagick
  # the lab: simulated units made of real daemons in network namespaces
  iproute2 iputils-ping busybox vsftpd samba samba-common-bin dnsmasq-base curl
  libcap2-bin procps psmisc jq
  # the lab's host firewall in the PC's namespace (the port-67 verdict's end-to-end test)
  nftables
  # ACL entries for the helper set-up's tests (setfacl, getfacl)
  acl
  # the benchmark table: packet captures of the DHCP exchange, a reference scanner
  tcpdump arp-scan
  # the Debian package: dependencies of the executables (dpkg-shlibdeps)
  dpkg-dev
  # opening web pages from the tool
  xdg-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO=sudo; else
    echo "setup: these Debian packages are missing and I am not root: ${missing[*]}" >&2
    echo "setup: install them with: apt-get install ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi

echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# Package scripts of daemons (vsftpd, samba) must not start services on this machine:
# the lab starts its own copies inside network namespaces.
policy=/usr/sbin/policy-rc.d
made_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null && $SUDO chmod +x "$policy" && made_policy=1
fi
trap '[ $made_policy -eq 1 ] && $SUDO rm -f "$policy"' EXIT
if ! $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/zelvo-setup-apt.log 2>&1; then
  $SUDO apt-get update -qq >/dev/null 2>&1 || true
  if ! $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/zelvo-setup-apt.log 2>&1; then
    echo "setup: apt-get install failed; see /tmp/zelvo-setup-apt.log" >&2
    tail -n 20 /tmp/zelvo-setup-apt.log >&2
    exit 1
  fi
fi
