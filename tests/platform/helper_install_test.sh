#!/usr/bin/env bash
# The helper's set-up as root: what it accepts ends root:zelvo-setup 0750 with the two
# capabilities permitted and no ACL entry; a tree or helper another account could change,
# a link in the helper's place or a helper with a second name is refused, left as it was,
# with the reason. Under DPKG_ROOT the group and dpkg-statoverride are that root's.
#   helper_install_test.sh <zelvo-sockhelper> <scripts-dir>
source "$(dirname "$0")/../support/lab-test.sh"
need_root
[[ $# -eq 2 ]] || fail "usage: helper_install_test.sh <zelvo-sockhelper> <scripts-dir>"
built=$1 scripts=$2
command -v getcap >/dev/null && command -v setfacl >/dev/null || fail "getcap or setfacl missing (libcap2-bin, acl)"

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
untouched() { # file, mode: still as the test left it (a link: its target), no capabilities
    [[ $(stat -Lc '%u %a' "$1") == "0 $2" ]] || fail "$1 was changed: $(stat -Lc '%U:%G %a' "$1")"
    [[ -z $(getcap "$1") ]] || fail "$1 got capabilities: $(getcap "$1")"
}
said() { grep -q "$1" "$top/said" || fail "$2: $(cat "$top/said")"; }

# Accepted, twice: a tree only root can write. The capabilities are permitted, not
# effective: the helper raises one itself where it needs it. An ACL entry on the helper
# does not survive: nobody, outside the group, may not run the copy with capabilities.
tree=$(fresh_tree good)
setfacl -m u:nobody:rx "$tree/bin/zelvo-sockhelper"
setup "$tree" && setup "$tree" || fail "a root-only tree was refused: $(cat "$top/said")"
expect_eq "root:zelvo-setup 750" "$(stat -c '%U:%G %a' "$tree/bin/zelvo-sockhelper")" "the helper"
[[ $(getcap "$tree/bin/zelvo-sockhelper") == *" cap_net_bind_service,cap_net_raw=p" ]] ||
    fail "capabilities: $(getcap "$tree/bin/zelvo-sockhelper")"
[[ -z $(getfacl -s "$tree/bin/zelvo-sockhelper" 2>/dev/null) ]] || fail "the helper kept ACL entries"

# dpkg working on another root: the group is made in its database, an administrator's
# dpkg-statoverride entry there gives owner, group and mode; no group database is refused.
target=$top/target lib=/usr/lib/zelvo-setup
mkdir -p "$target/etc" "$target/var/lib/dpkg" "$target$lib"
chmod -R 0755 "$target"
printf 'root:x:0:\nadm:x:4:\n' >"$target/etc/group"
printf 'root:*::\nadm:*::\n' >"$target/etc/gshadow"
printf 'root:x:0:0:root:/root:/bin/sh\n' >"$target/etc/passwd"
: >"$target/var/lib/dpkg/statoverride"
install -m 0755 "$built" "$target$lib/zelvo-sockhelper"
install_in_target() { DPKG_ROOT=$target "$scripts/install-helper.sh" "$target$lib/zelvo-sockhelper" >"$top/said" 2>&1; }
install_in_target || fail "install under DPKG_ROOT: $(cat "$top/said")"
gid=$(awk -F: '$1 == "zelvo-setup" {print $3}' "$target/etc/group")
expect_eq "0 ${gid:-none} 750" "$(stat -c '%u %g %a' "$target$lib/zelvo-sockhelper")" "helper under DPKG_ROOT"
dpkg-statoverride --root "$target" --add root adm 0710 "$lib/zelvo-sockhelper" || fail "dpkg-statoverride --add"
install_in_target || fail "install with a statoverride: $(cat "$top/said")"
expect_eq "0 4 710" "$(stat -c '%u %g %a' "$target$lib/zelvo-sockhelper")" "the statoverride root:adm 0710"
[[ $(getcap "$target$lib/zelvo-sockhelper") == *"=p" ]] || fail "no capabilities with a statoverride"
mv "$target/etc/group" "$target/etc/group.away"
install_in_target && fail "a DPKG_ROOT without a group database was accepted"
said "refused: DPKG_ROOT .* has no group database" "no reason given"

# Refused, the helper left as it was. Each row: name ^ preparation (of the tree $t) ^
# reason (@t: the tree, @u: nobody's uid) ^ the helper's mode after, when it is looked at.
nobody_uid=$(id -u nobody)
while IFS='^' read -r name prepare reason mode; do
    t=$(fresh_tree "$name")
    eval "$prepare"
    reason=${reason//@t/$t}
    setup "$t" && fail "$name: accepted ($(cat "$top/said"))"
    said "refused: .*${reason//@u/$nobody_uid}" "$name: no reason given"
    [[ -z $mode ]] || untouched "$t/bin/zelvo-sockhelper" "$mode"
done <<'ROWS'
world^chmod 0777 "$t"^@t can be written by another account^755
worldbin^chmod 1777 "$t/bin"^@t/bin can be written^755
acltree^setfacl -m u:nobody:rwx "$t"^@t carries ACL entries^755
acldefault^setfacl -d -m u:nobody:rwx "$t/bin"^@t/bin carries ACL entries^755
owned^chown nobody "$t"^belongs to uid\|owner uid @u^755
groupwritable^chgrp nogroup "$t/bin" && chmod 0775 "$t/bin"^can be written by another account^
ownedfile^chown nobody "$t/bin/zelvo-sockhelper"^belongs to uid @u^
writablefile^chmod 0757 "$t/bin/zelvo-sockhelper"^can be written by others^757
linked^ln "$t/bin/zelvo-sockhelper" "$t/second-name"^has 2 names^
symlink^install -m 0600 "$built" "$top/secret" && ln -sf "$top/secret" "$t/bin/zelvo-sockhelper"^symbolic link^600
ROWS

# Another account gets told what it cannot do, and the build goes on.
tree=$(fresh_tree asuser)
out=$(setpriv --reuid=nobody --regid=nogroup --clear-groups "$scripts/privileged-helper-setup.sh" "$tree" 2>&1) ||
    fail "a normal user's build stopped: $out"
grep -q "not root" <<<"$out" || fail "no word to a normal user: $out"
echo "helper install test passed"
