#!/usr/bin/env bash
# Fails, naming the package, when the build or the tests use a Debian package that
# tools/dev.sh does not install on a fresh machine (directly or as a dependency of one it lists).
# A package installed by hand on a developer's machine or on CI hides such a gap; this does not.
#   tools/check-deps.sh BUILD_DIR
# It reads the package configurations CMake found (the *_DIR entries of CMakeCache.txt under
# /usr) and the programs the tests look up (findExecutable and find_program), and the list of
# programs below that tests start without looking them up first.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:?usage: check-deps.sh BUILD_DIR}
cache="$build/CMakeCache.txt"
[ -f "$cache" ] || {
    echo "check-deps: no $cache; configure first" >&2
    exit 2
}

# Programs the tests and benchmarks start directly.
direct_programs=(ip unshare mount sh bash cmake ctest cpack dpkg-deb lintian man crontab chgrp chmod)

# The package that owns a path; merged /usr means dpkg may know it under /bin or /usr/bin.
owner() {
    local path=$1 real
    real=$(readlink -f "$path")
    for p in "$path" "$real" "${path#/usr}" "${real#/usr}" "/usr$path" "/usr$real"; do
        [ -n "$p" ] || continue
        local out
        if out=$(dpkg -S "$p" 2>/dev/null | grep -v '^diversion by' | head -n 1); then
            [ -n "$out" ] && {
                # "pkg1, pkg2: /path" for a directory shared by several packages.
                echo "${out%%: *}" | tr -d ' ' | tr ',' '\n' | sed 's/:.*//'
                return 0
            }
        fi
    done
    return 1
}

listed=$(sed -n '/^packages=(/,/^)/p' "$here/tools/dev.sh" | sed 's/#.*//' | tr -s ' \t()' '\n' |
    grep -E '^[a-z0-9][a-z0-9.+-]+$' | grep -v '^packages=' | sort -u)
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances $listed 2>/dev/null | grep -E '^[a-z0-9]' | sed 's/:.*//' | sort -u)
[ -n "$closure" ] || {
    echo "check-deps: apt-cache knows none of tools/dev.sh's packages (run apt-get update)" >&2
    exit 2
}

# What a fresh Debian 12 has before anything is installed.
base_system() {
    local pkg=$1 fields
    fields=$(dpkg-query -W -f='${Essential} ${Priority}' "$pkg" 2>/dev/null) || return 1
    [[ $fields == yes* || $fields == *required ]]
}

missing=()
check() { # check WHAT PATH
    local what=$1 path=$2 pkgs ok=0
    pkgs=$(owner "$path") || {
        echo "check-deps: $what ($path) belongs to no Debian package" >&2
        missing+=("$what")
        return
    }
    for pkg in $pkgs; do
        if grep -qxF "$pkg" <<<"$closure" || base_system "$pkg"; then
            ok=1
            break
        fi
    done
    if [ $ok -eq 0 ]; then
        echo "check-deps: $what comes from package '$(echo $pkgs | cut -d' ' -f1)'," \
            "which tools/dev.sh does not install" >&2
        missing+=("$what")
    fi
}

# The cache keeps entries of packages an earlier configure found; build.ninja lists the CMake
# files the last configure read, so only those packages count.
ninja_file="$build/build.ninja"
while IFS= read -r line; do
    name=${line%%_DIR:*}
    dir=${line#*=}
    if [ -f "$ninja_file" ] && [[ $name != *INCLUDE* ]] && ! grep -qF "$dir/" "$ninja_file"; then
        continue
    fi
    check "CMake package $name" "$dir"
done < <(grep -E '^[A-Za-z0-9_]+_DIR:PATH=/usr' "$cache")

programs=$( (
    printf '%s\n' "${direct_programs[@]}"
    grep -rhoE 'findExecutable\(u"[^"]+"_s' "$here/tests" "$here/bench" | sed -E 's/.*u"([^"]+)".*/\1/'
    grep -rhoE 'find_program\([A-Za-z0-9_]+ [A-Za-z0-9_.+-]+' "$here/tests" "$here/bench" \
        "$here/cmake" "$here/CMakeLists.txt" | awk '{print $2}'
) | sort -u)
# Debian's own copy first: a user's PATH may put another (a version manager's shim) ahead.
system_program() {
    for d in /usr/sbin /usr/bin /sbin /bin; do
        [ -x "$d/$1" ] && {
            echo "$d/$1"
            return 0
        }
    done
    command -v "$1" 2>/dev/null
}
for program in $programs; do
    path=$(system_program "$program") || {
        echo "check-deps: the tests call '$program', which is not installed" >&2
        missing+=("$program")
        continue
    }
    check "program $program" "$path"
done

if [ ${#missing[@]} -ne 0 ]; then
    echo "check-deps: add the packages named above to the packages list of tools/dev.sh" >&2
    exit 1
fi
echo "check-deps: every package the build and the tests use is installed by tools/dev.sh"
