#!/usr/bin/env bash
# The helper's set-up as root on trees it must accept and trees it must refuse: a tree or
# helper another account can write (by mode or by ACL), a symbolic link in the helper's
# place, a helper with a second name. What it accepts ends as root:zelvo-setup 0750 with
# the two capabilities permitted and no ACL entry; what it refuses is left as it was, and
# the refusal says why. Under DPKG_ROOT the group is made in that root's database and a
# dpkg-statoverride entry there is kept.
#   helper_install_test.sh <zelvo-sockhelper> <scripts-dir>
source "$(dirname "$0")/../support/lab-test.sh"
need_root
[[ $# -eq 2 ]] || fail "usage: helper_install_test.sh <zelvo-sockhelper> <scripts-dir>"
built=$1 scripts=$2
command -v getcap >/dev/null || fail "getcap missing (libcap2-bin)"
command -v setfacl >/dev/null || fail "setfacl missing (acl)"

top=$(mktemp -d /tmp/zelvo-helper-install.XXXXXX)
trap 'rm -rf "$top"' EXIT
chmod 0755 "$top"

fresh_tree() { # name: a build tree as a root build leaves it
    local tree=$top/$1
    mkdir -p "$tree/bin"
    chmod 0755 "$tree" "$tree/bin"
    install -m 0755 "$built" "$tree/bin/zelvo-sockhelper"
    echo "$tree"
}
setup() { # tree: the script's exit status; its messages in $top/said
    "$scripts/privileged-helper-setup.sh" "$1" >"$top/said" 2>&1 </dev/null
}
untouched() { # file, mode: still as the test left it, no capabilities
    [[ $(stat -c '%u %a' "$1") == "0 $2" ]] || fail "$1 was changed: $(stat -c '%U:%G %a' "$1")"
    [[ -z $(getcap "$1") ]] || fail "$1 got capabilities: $(getcap "$1")"
}
refused() { # tree, what the refusal must name, the test's words
    setup "$1" && fail "$3: accepted ($(cat "$top/said"))"
    grep -q "refused: .*$2" "$top/said" || fail "$3: no reason given: $(cat "$top/said")"
}

# Accepted: a tree only root can write. The capabilities are permitted, not effective:
# the helper raises one itself where it needs it.
tree=$(fresh_tree good)
setup "$tree" || fail "a root-only tree was refused: $(cat "$top/said")"
expect_eq "root:zelvo-setup 750" "$(stat -c '%U:%G %a' "$tree/bin/zelvo-sockhelper")" "the helper"
[[ $(getcap "$tree/bin/zelvo-sockhelper") == *" cap_net_bind_service,cap_net_raw=p" ]] ||
    fail "capabilities: $(getcap "$tree/bin/zelvo-sockhelper")"
# A second run changes nothing and still succeeds.
setup "$tree" || fail "second run: $(cat "$top/said")"

# An ACL entry on the helper does not survive: an account outside the group that the ACL
# let run the helper cannot run the one with the capabilities.
tree=$(fresh_tree aclfile)
setfacl -m u:nobody:rx "$tree/bin/zelvo-sockhelper"
setup "$tree" || fail "a helper with an ACL entry was refused: $(cat "$top/said")"
[[ -z $(getfacl -s "$tree/bin/zelvo-sockhelper" 2>/dev/null) ]] ||
    fail "the helper kept ACL entries: $(getfacl -c "$tree/bin/zelvo-sockhelper")"
setpriv --reuid=nobody --regid=nogroup --clear-groups test -x "$tree/bin/zelvo-sockhelper" &&
    fail "nobody may still run the helper"
# A folder on the way with ACL entries is refused: the mode does not show who may write
# there, and a default ACL would hand its entries to the helper's new copy.
tree=$(fresh_tree acltree)
setfacl -m u:nobody:rwx "$tree"
refused "$tree" "$tree carries ACL entries" "a tree another account may write by ACL"
untouched "$tree/bin/zelvo-sockhelper" 755
tree=$(fresh_tree acldefault)
setfacl -d -m u:nobody:rwx "$tree/bin"
refused "$tree" "$tree/bin carries ACL entries" "a helper folder with a default ACL"
untouched "$tree/bin/zelvo-sockhelper" 755

# dpkg working on another root (DPKG_ROOT): the group is made in that root's database,
# and an administrator's dpkg-statoverride entry there gives owner, group and mode.
target=$top/target
lib=/usr/lib/zelvo-setup
mkdir -p "$target/etc" "$target/var/lib/dpkg" "$target$lib"
chmod -R 0755 "$target"
printf 'root:x:0:\nadm:x:4:\n' >"$target/etc/group"
printf 'root:*::\nadm:*::\n' >"$target/etc/gshadow"
printf 'root:x:0:0:root:/root:/bin/sh\n' >"$target/etc/passwd"
: >"$target/var/lib/dpkg/statoverride"
install -m 0755 "$built" "$target$lib/zelvo-sockhelper"
DPKG_ROOT=$target "$scripts/install-helper.sh" "$target$lib/zelvo-sockhelper" >"$top/said" 2>&1 ||
    fail "install under DPKG_ROOT: $(cat "$top/said")"
gid=$(awk -F: '$1 == "zelvo-setup" {print $3}' "$target/etc/group")
[[ -n $gid ]] || fail "no group zelvo-setup in DPKG_ROOT's database: $(cat "$target/etc/group")"
expect_eq "0 $gid 750" "$(stat -c '%u %g %a' "$target$lib/zelvo-sockhelper")" "helper under DPKG_ROOT"
dpkg-statoverride --root "$target" --add root adm 0710 "$lib/zelvo-sockhelper" ||
    fail "dpkg-statoverride --add in the throwaway root"
DPKG_ROOT=$target "$scripts/install-helper.sh" "$target$lib/zelvo-sockhelper" >"$top/said" 2>&1 ||
    fail "install with a statoverride: $(cat "$top/said")"
expect_eq "0 4 710" "$(stat -c '%u %g %a' "$target$lib/zelvo-sockhelper")" "the statoverride root:adm 0710"
[[ $(getcap "$target$lib/zelvo-sockhelper") == *"=p" ]] ||
    fail "capabilities with a statoverride: $(getcap "$target$lib/zelvo-sockhelper")"
mv "$target/etc/group" "$target/etc/group.away"
DPKG_ROOT=$target "$scripts/install-helper.sh" "$target$lib/zelvo-sockhelper" >"$top/said" 2>&1 &&
    fail "a DPKG_ROOT without a group database was accepted"
grep -q "refused: DPKG_ROOT .* has no group database" "$top/said" || fail "no reason given: $(cat "$top/said")"

# Refused, the helper left as it was: a tree or helper folder writable by everybody or
# by its group, a tree or helper of another account, a helper others may write, a
# helper with a second name. Each row: name ^ preparation (of the tree $t) ^ reason
# (@t: the tree, @u: nobody's uid) ^ the helper's mode after, when it is looked at.
nobody_uid=$(id -u nobody)
while IFS='^' read -r name prepare reason mode; do
    t=$(fresh_tree "$name")
    eval "$prepare"
    reason=${reason//@t/$t}
    refused "$t" "${reason//@u/$nobody_uid}" "$name"
    [[ -z $mode ]] || untouched "$t/bin/zelvo-sockhelper" "$mode"
done <<'ROWS'
world^chmod 0777 "$t"^@t can be written by another account^755
worldbin^chmod 1777 "$t/bin"^@t/bin can be written^755
owned^chown nobody "$t"^belongs to uid\|owner uid @u^755
groupwritable^chgrp nogroup "$t/bin" && chmod 0775 "$t/bin"^can be written by another account^
ownedfile^chown nobody "$t/bin/zelvo-sockhelper"^belongs to uid @u^
writablefile^chmod 0757 "$t/bin/zelvo-sockhelper"^can be written by others^757
linked^ln "$t/bin/zelvo-sockhelper" "$t/second-name"^has 2 names^
ROWS

# Refused: a symbolic link in the helper's place, followed neither by chmod nor setcap.
tree=$(fresh_tree symlink)
secret=$top/root-only
install -m 0600 "$built" "$secret"
rm "$tree/bin/zelvo-sockhelper"
ln -s "$secret" "$tree/bin/zelvo-sockhelper"
refused "$tree" "symbolic link" "symbolic link to a root-only file"
untouched "$secret" 600

# Another account gets told what it cannot do, and the build goes on.
tree=$(fresh_tree asuser)
out=$(setpriv --reuid=nobody --regid=nogroup --clear-groups "$scripts/privileged-helper-setup.sh" "$tree" 2>&1) ||
    fail "a normal user's build stopped: $out"
grep -q "not root" <<<"$out" || fail "no word to a normal user: $out"
untouched "$tree/bin/zelvo-sockhelper" 755
echo "helper install test passed"
