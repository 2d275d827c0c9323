#!/usr/bin/env bash
# Installs the package of package_build_test.sh with dpkg into a throwaway copy of this
# system (an overlay over / in a private mount namespace) and runs a search as a member of
# the helper's group, whose mode and capabilities must let it through.
#   package_install_test.sh <package output dir>
source "$(dirname "$0")/../support/lab-test.sh"
out=${1:?package output dir}
[[ $(id -u) -eq 0 ]] || skip "installing a package into a copy of the system needs root (mounts, chroot)"
need_fixture_lab
debs=("$out"/zelvo-setup_*.deb)
[[ -f ${debs[0]} ]] || fail "no package in $out (package_build_test makes it)"

[[ ${ZELVO_IN_PRIVATE_MOUNTS:-} == 1 ]] ||
    exec env ZELVO_IN_PRIVATE_MOUNTS=1 unshare --mount --propagation private -- bash "$0" "$@"

top=$(mktemp -d /tmp/zelvo-pkgroot.XXXXXX)
mount -t tmpfs -o mode=0755 zelvo-pkgroot "$top" || fail "tmpfs"
mkdir -p "$top/upper" "$top/work" "$top/root"
mount -t overlay zelvo-pkgroot -o "lowerdir=/,upperdir=$top/upper,workdir=$top/work" "$top/root" ||
    fail "overlay over / (the kernel or the container may not allow it)"
root=$top/root
mount --rbind /dev "$root/dev" && mount -t proc proc "$root/proc" && mount --rbind /sys "$root/sys" &&
    mount -t tmpfs tmpfs "$root/tmp" && mount -t tmpfs tmpfs "$root/run" || fail "mounts inside the copy"
in_root() { chroot "$root" "$@"; }

in_root dpkg-query -W zelvo-setup >/dev/null 2>&1 && fail "zelvo-setup is already installed on this system"
# A clean system has no group yet (this machine's build trees may have made one).
! in_root getent group zelvo-setup >/dev/null || in_root groupdel zelvo-setup || fail "groupdel in the copy"
cp "${debs[0]}" "$root/tmp/zelvo-setup.deb"
in_root env DEBIAN_FRONTEND=noninteractive dpkg -i /tmp/zelvo-setup.deb >"$top/dpkg.log" 2>&1 ||
    fail "dpkg -i: $(tail -20 "$top/dpkg.log")"

dir=/usr/lib/zelvo-setup
[[ -z $(in_root getcap $dir/zelvo-setup-cli $dir/ZelvoSetup) ]] || fail "a front end has capabilities"

in_root useradd -m -G zelvo-setup zelvomember || fail "useradd"

forget_neighbours NAS01 NAS02 NAS09 OTHER
in_root setpriv --reuid=zelvomember --regid=zelvomember --init-groups env -i HOME=/home/zelvomember \
    PATH=/usr/bin:/bin LANG=C.UTF-8 zelvo-setup-cli search --json >"$top/member.json" 2>"$top/member.err" ||
    fail "search as a member of the group: status $?: $(cat "$top/member.err")"
names=$(jq -r '[.units[].name] | join(" ")' "$top/member.json") || fail "not JSON: $(cat "$top/member.json")"
[[ $names == "NAS01 NAS02" ]] || fail "a member's search listed '$names'"

in_root dpkg -r zelvo-setup >"$top/dpkg-r.log" 2>&1 || fail "dpkg -r: $(tail -5 "$top/dpkg-r.log")"
[[ ! -e $root$dir/zelvo-sockhelper && ! -e $root/usr/bin/zelvo-setup-cli ]] || fail "files left after removal"
echo "package installed, checked and run as a member of the group"
