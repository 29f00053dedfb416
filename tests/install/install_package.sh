#!/usr/bin/env bash
# The Debian package built from this tree, unpacked into a temporary root, and the install rules
# run into another (DESTDIR): the tools must run from there, every documented file must be where
# the README says, lintian must find nothing to say, and every program in /usr/bin must answer
# --help and have a manual page in English and Japanese that man reads.
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
    share/man/man1/lumarinctl.1.gz share/man/man1/pjlink-cli.1.gz \
    share/man/man1/lumarin-exporter.1.gz share/man/ja/man1/lumarinctl.1.gz \
    share/doc/lumarin/copyright share/doc/lumarin/changelog.gz \
    share/bash-completion/completions/lumarinctl share/bash-completion/completions/pjlink-cli \
    share/lumarin/prometheus/lumarin-alerts.yml; do
    [ -e "$root/$f" ] || fail "cmake --install left out /usr/$f"
done
if [ -e "$root/bin/lumarin" ]; then
    for f in share/lumarin/help/en/01-start.html share/lumarin/help/ja/01-start.html \
        share/applications/lumarin.desktop share/man/man1/lumarin.1.gz; do
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

# Debian's own checker: no error and no warning (overrides only where the package says why).
command -v lintian >/dev/null || fail "lintian is not installed (bash tools/dev.sh deps)"
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian found errors or warnings"; }
! grep -qE '^[EW]: ' "$work/lintian.log" || { cat "$work/lintian.log" >&2; fail "lintian"; }

dpkg-deb -x "$deb" "$work/unpacked"
"$work/unpacked/usr/bin/lumarinctl" --version >/dev/null || fail "lumarinctl from the package"
"$work/unpacked/usr/bin/pjlink-cli" --version >/dev/null || fail "pjlink-cli from the package"
# Every program: --help answers at once (the window's without a display and without its lock),
# and its manual page reads in both languages.
programs=0
for program in "$work"/unpacked/usr/bin/*; do
    name=$(basename "$program")
    programs=$((programs + 1))
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= timeout 10 "$program" --help) ||
        fail "$name --help from the package"
    [[ $out == *"$name"* || $out == *Usage* ]] || fail "$name --help printed '$out'"
    for page in "share/man/man1/$name.1.gz:NAME" "share/man/ja/man1/$name.1.gz:名前"; do
        file=$work/unpacked/usr/${page%:*}
        [ -e "$file" ] || fail "no manual page /usr/${page%:*} for $name"
        text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l -P cat "$file" 2>"$work/man.err") ||
            { cat "$work/man.err" >&2; fail "man -l /usr/${page%:*}"; }
        [[ $text == *"${page#*:}"*"$name"* ]] || fail "man -l /usr/${page%:*} shows no ${page#*:} for $name"
    done
done
[ $programs -ge 4 ] || fail "only $programs programs in the package's /usr/bin"

# A full command from the installed program: a register of its own, nothing reached.
"$work/unpacked/usr/bin/lumarinctl" --settings "$work/fleet.ini" group add /Hall ||
    fail "installed lumarinctl group add"
grep -q '^\[Group\]' "$work/fleet.ini" || fail "installed lumarinctl wrote no settings file"
echo "1 passed, 0 failed"
