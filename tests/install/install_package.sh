#!/usr/bin/env bash
# The Debian package built from this tree, unpacked into a temporary root, and the install rules
# run into another (DESTDIR): the tools must run from there, and every documented file must be
# where the README says.
# Usage: install_package.sh BUILD_DIR
set -euo pipefail

build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# cmake --install into a staging root.
DESTDIR="$work/destdir" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install"; }
root="$work/destdir/usr"
for f in bin/lumarinctl bin/pjlink-cli bin/lumarin-exporter \
    lib/systemd/system/lumarin-exporter.service lib/systemd/user/lumarin-exporter.service \
    share/man/man1/lumarinctl.1 share/man/man1/pjlink-cli.1 share/man/ja/man1/lumarinctl.1 \
    share/bash-completion/completions/lumarinctl share/bash-completion/completions/pjlink-cli \
    share/lumarin/prometheus/lumarin-alerts.yml; do
    [ -e "$root/$f" ] || fail "cmake --install left out /usr/$f"
done
if [ -e "$root/bin/lumarin" ]; then
    for f in share/lumarin/help/en/01-start.html share/lumarin/help/ja/01-start.html \
        share/applications/lumarin.desktop; do
        [ -e "$root/$f" ] || fail "cmake --install left out /usr/$f"
    done
fi
out=$("$root/bin/lumarinctl" --version) || fail "installed lumarinctl --version"
[[ $out == "lumarinctl "[0-9]* ]] || fail "lumarinctl --version printed '$out'"
out=$("$root/bin/pjlink-cli" --version) || fail "installed pjlink-cli --version"
[[ $out == "pjlink-cli "[0-9]* ]] || fail "pjlink-cli --version printed '$out'"
# The completion scripts load in bash and register their functions.
bash -c "complete() { echo \"\$@\"; }; source '$root/share/bash-completion/completions/lumarinctl'" |
    grep -q "_lumarinctl lumarinctl" || fail "the lumarinctl completion does not register"

# The package.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
deb=$(ls "$work"/pkg/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack wrote no .deb"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6core6 libstdc++6; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/lumarinctl" --version >/dev/null || fail "lumarinctl from the package"
"$work/root/usr/bin/pjlink-cli" --version >/dev/null || fail "pjlink-cli from the package"
"$work/root/usr/bin/lumarin-exporter" --help >/dev/null || fail "lumarin-exporter from the package"
[ -e "$work/root/usr/share/man/ja/man1/lumarinctl.1" ] || fail "no Japanese man page in the package"

# A full command from the installed program: a register of its own, nothing reached.
"$work/root/usr/bin/lumarinctl" --settings "$work/fleet.ini" group add /Hall ||
    fail "installed lumarinctl group add"
grep -q '^\[Group\]' "$work/fleet.ini" || fail "installed lumarinctl wrote no settings file"
echo "1 passed, 0 failed"
