#!/usr/bin/env bash
# Builds the Debian package from this build tree with cpack and checks the archive: files,
# modes, links, manual page, post-install step, the executables' hardening, and that every
# library they need comes from a declared dependency.
#   package_build_test.sh <build dir> <output dir>
source "$(dirname "$0")/../support/lab-test.sh"
build=${1:?build dir} out=${2:?output dir}
command -v dpkg-shlibdeps >/dev/null || fail "dpkg-shlibdeps is missing (scripts/setup.sh installs dpkg-dev)"
rm -rf "$out" && mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 ||
    fail "cpack failed: $(tail -20 "$out/cpack.log")"
debs=("$out"/zelvo-setup_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one package, found: ${debs[*]}"
deb=${debs[0]}

dir=/usr/lib/zelvo-setup
listing=$(dpkg-deb -c "$deb" | awk '{print $1, $2, $6, $7, $8}' | sed 's# \./# /#')
expect_mode() { # mode, files...
    for f in "${@:2}"; do
        grep -qF -- "$1 $f " <<<"$listing" || fail "$f is not '$1': $(grep -F -- " $f" <<<"$listing")"
    done
}
expect_mode "-rwxr-xr-x root/root" $dir/ZelvoSetup $dir/zelvo-setup-cli $dir/install-helper.sh
# The helper is for its group only; the post-install step gives it group and capabilities.
expect_mode "-rwxr-x--- root/root" $dir/zelvo-sockhelper
expect_mode "-rw-r--r-- root/root" $dir/manager.ini $dir/quixhlpe.html $dir/quixhlpj.html \
    /usr/share/applications/zelvo-setup.desktop /usr/share/icons/hicolor/128x128/apps/zelvo-setup.png \
    /usr/share/man/man1/zelvo-setup-cli.1.gz
for exe in zelvo-setup zelvo-setup-cli; do
    target=$([[ $exe == zelvo-setup ]] && echo ZelvoSetup || echo $exe)
    grep -q " /usr/bin/$exe -> ../lib/zelvo-setup/$target$" <<<"$listing" || fail "$exe link: $listing"
done
# Nothing outside /usr, nothing writable by others.
bad=$(awk '$3 !~ /^\/usr(\/|$)/ || $1 ~ /^.......w/' <<<"$listing")
[[ -z $bad ]] || fail "files outside /usr or writable by others: $bad"

x=$out/extracted
dpkg-deb -x "$deb" "$x" && dpkg-deb -e "$deb" "$x/DEBIAN" || fail "dpkg-deb -x/-e"
title=$(zcat "$x/usr/share/man/man1/zelvo-setup-cli.1.gz")
grep -q '^\.TH ZELVO\\-SETUP\\-CLI 1' <<<"${title%%$'\n'*}" || fail "the manual page does not start with its title"
cmp <("$build/bin/zelvo-setup-cli" --help) <("$x$dir/zelvo-setup-cli" --help) ||
    fail "the packaged command line is not the one built"
postinst=$(cat "$x/DEBIAN/postinst")
[[ -x $x/DEBIAN/postinst ]] && grep -q "^dir=\"\${DPKG_ROOT:-}$dir\"$" <<<"$postinst" || fail "postinst: $postinst"

# Debian's hardening on every shipped executable, as hardening-check sees it: PIE, RELRO
# bound now, the stack protector, and _FORTIFY_SOURCE wherever a libc call has a checked twin.
libc=$(ldconfig -p | awk '$1 == "libc.so.6" {print $NF; exit}')
checkable=$(readelf --dyn-syms -W "$libc" | grep -o '__[a-z0-9_]*_chk' | sed 's/^__//; s/_chk$//' | sort -u)
[[ -n $checkable ]] || fail "no checked functions found in $libc"
depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')
declared() { grep -qxF "$1" <<<"$names"; }
for exe in ZelvoSetup zelvo-setup-cli zelvo-sockhelper; do
    f=$x$dir/$exe
    # Read whole, then searched: a grep -q in a pipe may break the pipe under pipefail.
    header=$(readelf -hW "$f") dynamic=$(readelf -dW "$f") segments=$(readelf -lW "$f")
    grep -q 'Type:[[:space:]]*DYN' <<<"$header" && grep -q '(FLAGS_1).*PIE' <<<"$dynamic" ||
        fail "$exe is not a PIE executable"
    grep -q GNU_RELRO <<<"$segments" || fail "$exe has no RELRO segment"
    grep -Eq '\(BIND_NOW\)|\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dynamic" ||
        fail "$exe binds its symbols lazily (no -z now)"
    imported=$(readelf --dyn-syms -W "$f" | awk '$7 == "UND" {sub(/@.*/, "", $8); print $8}' | sort -u)
    grep -qx '__stack_chk_fail' <<<"$imported" || fail "$exe has no stack protector"
    if [[ $(grep -v '^__stack_chk_fail$' <<<"$imported" | grep -c '^__.*_chk$') -eq 0 ]]; then
        plain=$(comm -12 <(echo "$checkable") <(echo "$imported") | tr '\n' ' ')
        [[ -z $plain ]] || fail "$exe calls $plain without _FORTIFY_SOURCE's checked versions"
    fi
    # Every shared library it needs comes from a package the control file names.
    for soname in $(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' <<<"$dynamic"); do
        path=$(ldconfig -p | awk -v s="$soname" '$1 == s {print $NF; exit}')
        [[ -n $path ]] || fail "$exe needs $soname, which this system does not have"
        pkg=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null)
        [[ -n $pkg ]] || fail "no package holds $path ($soname of $exe)"
        declared "${pkg%%:*}" || fail "$exe needs $soname of ${pkg%%:*}; Depends: $depends"
    done
done
for pkg in libcap2-bin passwd; do declared "$pkg" || fail "Depends lacks $pkg (post-install step)"; done
echo "package $(basename "$deb") checked"
