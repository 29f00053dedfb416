#!/usr/bin/env bash
# Lumarin's one entry point for a fresh Debian 12 machine (run as root):
#   tools/dev.sh demo   install, build, start an emulated fleet and open Lumarin on it
#   tools/dev.sh test   install, build and run every test (normal, sanitizers, fuzzing)
#   tools/dev.sh deps   install the Debian packages only
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
    clang libclang-rt-14-dev clang-format
    iproute2 iputils-ping procps xvfb
    prometheus prometheus-alertmanager python3-aiosmtpd
    lintian man-db bash-completion cron
    fonts-dejavu-core fonts-dejavu-extra fonts-ipafont-gothic
)

deps() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}; run this as root (sudo) to install them." >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
}

run_tests() {
    local preset=$1
    shift
    echo "=== tests: $preset"
    ctest --preset "$preset" "$@"
}

# Every C++ source is formatted as .clang-format says (the `format` target rewrites them).
check_format() {
    echo "=== clang-format"
    git ls-files -- pjlink platform res model store app dialogs tools tests bench |
        grep -E '\.(cpp|h)$' | xargs clang-format --dry-run --Werror
}

case "${1:-}" in
deps)
    deps
    ;;
demo)
    deps
    build dev
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display: the main window is drawn offscreen on an emulated fleet instead."
        QT_QPA_PLATFORM=offscreen "$here/build/dev/tests/app/tst_screenshots" >/dev/null 2>&1 ||
            echo "The screenshots could not all be drawn." >&2
        echo "Screenshots of the main window:"
        ls -1 "$here"/build/dev/screenshots/*.png
        echo
        exec "$here/build/dev/tools/lumarin-demo" --fleet "$here/tools/demo-fleet.json" "${@:2}"
    fi
    # The demo fleet serves while the window is open, registered in a few groups in a settings
    # file of the demo's own.
    "$here/build/dev/tools/pjlink-emulator" --config "$here/tools/demo-fleet.json" >/dev/null &
    fleet=$!
    trap 'kill "$fleet" 2>/dev/null' EXIT
    sleep 1
    settings="$here/build/dev/demo/lumarin.ini"
    mkdir -p "$(dirname "$settings")"
    rm -f "$settings"
    ctl() { "$here/build/dev/bin/lumarinctl" --settings "$settings" "$@" >/dev/null; }
    ctl group add /Building
    ctl group add /Building/Floor1
    ctl add 127.0.0.11
    ctl add 127.0.0.12 --password admin --group /Building
    for a in 13 14 15; do ctl add "127.0.0.$a" --group /Building/Floor1; done
    "$here/build/dev/bin/lumarin" --settings "$settings"
    ;;
test)
    deps
    export QT_QPA_PLATFORM=offscreen
    check_format
    cmake --preset dev >/dev/null
    bash "$here/tools/check-deps.sh" "$here/build/dev"
    build dev
    run_tests dev
    build asan
    run_tests asan
    # ThreadSanitizer on the suites whose code runs on several threads (label "concurrent").
    cmake --preset tsan >/dev/null
    cmake --build --preset tsan --target concurrent_tests
    run_tests tsan -L concurrent
    build fuzz
    run_tests fuzz
    ;;
*)
    sed -n '2,6p' "$0" >&2
    exit 2
    ;;
esac
