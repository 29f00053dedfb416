#!/usr/bin/env bash
# The bash completion of lumarinctl and pjlink-cli against the programs' own help: every command
# and option the help names is offered, nothing the help does not name is, the fixed words of a
# synopsis ("on|off") are offered where they stand, and lumarinctl offers the group paths of the
# settings file the command line names. Run once without bash-completion's helpers and once with
# them, as a user's shell has them.
# Usage: completion_matches_help.sh LUMARINCTL PJLINK_CLI SOURCE_DIR
set -uo pipefail

if [[ ${1:-} != --mode ]]; then
    status=0
    modes=(plain)
    [ -r /usr/share/bash-completion/bash_completion ] && modes+=(bash-completion)
    for mode in "${modes[@]}"; do
        bash "$0" --mode "$mode" "$@" || status=1
    done
    [ $status -eq 0 ] && echo "1 passed, 0 failed"
    exit $status
fi

mode=$2 ctl=$3 cli=$4 src=$5
export LC_ALL=C LANGUAGE=
failures=0
fail() {
    echo "FAIL ($mode): $*" >&2
    failures=$((failures + 1))
}

if [[ $mode == bash-completion ]]; then
    # shellcheck disable=SC1091
    source /usr/share/bash-completion/bash_completion
fi
# shellcheck disable=SC1091
source "$src/tools/completion/lumarinctl.bash"
# shellcheck disable=SC1091
source "$src/tools/completion/pjlink-cli.bash"

# What FUNCTION offers for the words given, the last one being completed; one a line, sorted.
offers() {
    local function=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    "$function" 2>/dev/null
    [ ${#COMPREPLY[@]} -gt 0 ] && printf '%s\n' "${COMPREPLY[@]}" | sort -u
}

# Fails unless the words of EXPECTED (one a line) and those OFFERED agree.
expect() {
    local what=$1 expected=$2 offered=$3
    local missing extra
    missing=$(comm -23 <(sort -u <<<"$expected" | sed '/^$/d') <(sed '/^$/d' <<<"$offered"))
    [ -z "$missing" ] || fail "$what: does not offer $(echo $missing)"
    extra=$(comm -13 <(sort -u <<<"$expected" | sed '/^$/d') <(sed '/^$/d' <<<"$offered"))
    [ -z "$extra" ] || fail "$what: offers $(echo $extra), unknown to the program"
}

# The long options of a help text: "  --name VALUE" and "  -h, --help" lines.
long_options() {
    grep -E '^  -' | grep -oE -- '--[a-z][a-z-]*' | sort -u || true
}

# The fixed words of a synopsis ("on|off", "video|audio|both"), each offered in its place: the
# words before it are PREFIX, then the first choice of every fixed word before it. Stops at the
# first word that stands for a value, since what follows may depend on it.
check_fixed_words() {
    local function=$1 synopsis=$2
    shift 2
    local prefix=("$@") token
    for token in $synopsis; do
        [[ $token =~ ^[a-z][a-z-]*(\|[a-z][a-z-]*)+$ ]] || break
        expect "${prefix[*]##*/} <TAB>" "$(tr '|' '\n' <<<"$token")" \
            "$(offers "$function" "${prefix[@]}" "")"
        prefix+=("${token%%|*}")
    done
}

# lumarinctl: the command lines under "Commands:" of --help.
ctl_help=$("$ctl" --help) || fail "lumarinctl --help"
ctl_lines=$(sed -n '/^Commands:/,/^$/p' <<<"$ctl_help" | grep -E '^  [a-z]' | sed 's/^  //')
[ -n "$ctl_lines" ] || fail "no commands found in lumarinctl --help"
global=$(long_options <<<"$ctl_help")
[[ $global == *--settings* ]] || fail "no options found in lumarinctl --help"

first_words=$(awk '{print $1}' <<<"$ctl_lines" | sort -u)
expect "lumarinctl <TAB>" "$first_words" "$(offers _lumarinctl "$ctl" "")"
expect "lumarinctl help <TAB>" "$first_words" "$(offers _lumarinctl "$ctl" help "")"
expect "lumarinctl --<TAB>" "$global" "$(offers _lumarinctl "$ctl" --)"

while IFS= read -r line; do
    # The name: its leading plain words ("group add"); the rest is the synopsis.
    read -ra tokens <<<"$line"
    words=()
    for token in "${tokens[@]}"; do
        [[ $token =~ ^[a-z][a-z-]*$ ]] || break
        words+=("$token")
    done
    name="${words[*]}"
    synopsis=${line#"$name"}
    [[ $name == help ]] && continue
    if [ ${#words[@]} -gt 1 ]; then
        members=$(grep -E "^${words[0]} [a-z]" <<<"$ctl_lines" | awk '{print $2}')
        expect "lumarinctl ${words[0]} <TAB>" "$members" \
            "$(offers _lumarinctl "$ctl" "${words[0]}" "")"
    fi
    own=$("$ctl" help "${words[@]}") || fail "lumarinctl help $name"
    own=$(long_options <<<"$own")
    expect "lumarinctl $name --<TAB>" "$(printf '%s\n%s\n' "$global" "$own")" \
        "$(offers _lumarinctl "$ctl" "${words[@]}" --)"
    check_fixed_words _lumarinctl "$synopsis" "$ctl" "${words[@]}"
done <<<"$ctl_lines"

# Group paths, from the file that --settings names (and that file only).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for path in /North /North/Floor1 "/South Hall"; do
    "$ctl" --settings "$work/site.ini" group add "$path" >/dev/null 2>&1 || fail "group add $path"
done
"$ctl" --settings "$work/other.ini" group add /Elsewhere >/dev/null 2>&1 || fail "group add"
s=(--settings "$work/site.ini")
while IFS='|' read -r expected words; do
    read -ra argv <<<"$words"
    expect "lumarinctl $words<TAB>" "$(tr ',' '\n' <<<"$expected")" \
        "$(offers _lumarinctl "$ctl" "${s[@]}" "${argv[@]}")"
done <<'EOF'
/,/North,/North/Floor1,/South Hall|move 192.0.2.1 --to /
/North,/North/Floor1|add 192.0.2.1 --group /N
/North,/North/Floor1|status /N
/South Hall|power on /S
/North/Floor1|input RGB 1 /North/
/North,/North/Floor1|group rename /No
/South Hall|remove 192.0.2.5 /S
EOF
expect "lumarinctl --settings other.ini move x --to /" "$(printf '/\n/Elsewhere')" \
    "$(offers _lumarinctl "$ctl" --settings "$work/other.ini" move x --to /)"
# Words that are not targets are not group paths.
expect "lumarinctl power /<TAB>" "" "$(offers _lumarinctl "$ctl" "${s[@]}" power /)"

# pjlink-cli: ADDRESS COMMAND ..., the commands under "Commands:" of --help.
cli_help=$("$cli" --help) || fail "pjlink-cli --help"
cli_lines=$(sed -n '/^Commands:/,/^$/p' <<<"$cli_help" | grep -E '^  [a-z]' |
    sed 's/^  //; s/  .*//')
[ -n "$cli_lines" ] || fail "no commands found in pjlink-cli --help"
expect "pjlink-cli ADDRESS <TAB>" "$(awk '{print $1}' <<<"$cli_lines")" \
    "$(offers _pjlink_cli "$cli" 192.0.2.1 "")"
expect "pjlink-cli --<TAB>" "$(long_options <<<"$cli_help")" "$(offers _pjlink_cli "$cli" --)"
while IFS= read -r line; do
    command=${line%% *}
    check_fixed_words _pjlink_cli "${line#"$command"}" "$cli" 192.0.2.1 "$command"
done <<<"$cli_lines"

exit $((failures > 0))
