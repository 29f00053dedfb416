# bash completion for lumarinctl
#
# The commands and options are those of `lumarinctl --help` and `lumarinctl help COMMAND`;
# the test completion_matches_help fails when the two part. Group paths come from the settings
# file the command line names (or the default one) through `lumarinctl --json list`, which only
# reads it.

# COMPREPLY: the group paths of the register that start with $2. $1: the --settings value, if
# any. Names may hold blanks: one path a line, quoted as file names are.
_lumarinctl_groups()
{
    local settings=() IFS=$'\n'
    [[ -n $1 ]] && settings=(--settings "$1")
    COMPREPLY=($(compgen -W "/
$("${COMP_WORDS[0]}" "${settings[@]}" --json list 2>/dev/null |
        grep -o '"fullPath": *"[^"]*"' | sed 's/^"fullPath": *"//; s/"$//')" -- "$2"))
    compopt -o filenames 2>/dev/null
}

_lumarinctl()
{
    local cur prev words cword
    _init_completion 2>/dev/null || {
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    }

    local commands="list status metrics check power input mute freeze add import-csv passwd
        rename search watch group move remove set export import schedule help"
    local global="--settings --json --verbose --help --version"

    # The command (one word, two for group and schedule), its positional words and the settings
    # file.
    local i command="" settings="" positional=()
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        --settings)
            ((i++))
            settings=${words[i]}
            ;;
        --password | --group | --to | --wait | --output | --lamp-warn | --lamp-crit | \
            --filter-warn | --filter-crit | --input | --warm-up | --at | --days | --date | --except)
            ((i++))
            ;;
        --register)
            # A name after it for metrics; a flag for search.
            [[ $command == metrics ]] && ((i++))
            ;;
        -*) ;;
        *)
            if [[ -z $command ]]; then
                command=${words[i]}
            elif [[ $command == group || $command == schedule ]]; then
                command="$command ${words[i]}"
            else
                positional+=("${words[i]}")
            fi
            ;;
        esac
    done
    local n=${#positional[@]}

    case $prev in
    --settings | --output)
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    --group | --to)
        _lumarinctl_groups "$settings" "$cur"
        return
        ;;
    --password | --lamp-warn | --lamp-crit | --filter-warn | --filter-crit | --wait | --warm-up | \
        --at | --date | --except)
        return
        ;;
    --input)
        COMPREPLY=($(compgen -W "RGB Video Digital Storage Network" -- "$cur"))
        return
        ;;
    --days)
        COMPREPLY=($(compgen -W "daily mon-fri sat,sun" -- "$cur"))
        return
        ;;
    --register)
        [[ $command == metrics ]] && return
        ;;
    esac

    if [[ $cur == -* ]]; then
        local own=""
        case $command in
        metrics) own="--output --register" ;;
        check) own="--lamp-warn --lamp-crit --filter-warn --filter-crit" ;;
        add) own="--password --group --no-check" ;;
        search) own="--broadcast --wait --register --password" ;;
        move) own="--to" ;;
        power) own="--input --warm-up" ;;
        "schedule add") own="--at --days --date --except --input --warm-up" ;;
        esac
        COMPREPLY=($(compgen -W "$global $own" -- "$cur"))
        return
    fi

    # A group path wherever a target or a path may stand.
    local targets=""
    case $command in
    status | metrics | check | watch | passwd | move | remove | "group rename") targets=1 ;;
    rename) ((n == 0)) && targets=1 ;;
    power | freeze) ((n >= 1)) && targets=1 ;;
    input | mute) ((n >= 2)) && targets=1 ;;
    "schedule add") ((n >= 2)) && targets=1 ;;
    esac
    if [[ -n $targets && $cur == /* ]]; then
        _lumarinctl_groups "$settings" "$cur"
        return
    fi

    case $command in
    "")
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        ;;
    help)
        ((n == 0)) && COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        ;;
    group)
        COMPREPLY=($(compgen -W "add rename" -- "$cur"))
        ;;
    schedule)
        COMPREPLY=($(compgen -W "add list remove enable disable run sync" -- "$cur"))
        ;;
    "schedule add")
        # NAME, then the action's words, then the targets.
        case $n in
        1) COMPREPLY=($(compgen -W "power input mute freeze" -- "$cur")) ;;
        2)
            case ${positional[1]} in
            power | freeze) COMPREPLY=($(compgen -W "on off" -- "$cur")) ;;
            mute) COMPREPLY=($(compgen -W "video audio both" -- "$cur")) ;;
            input) COMPREPLY=($(compgen -W "RGB Video Digital Storage Network" -- "$cur")) ;;
            esac
            ;;
        3) [[ ${positional[1]} == mute ]] && COMPREPLY=($(compgen -W "on off" -- "$cur")) ;;
        esac
        ;;
    power | freeze)
        ((n == 0)) && COMPREPLY=($(compgen -W "on off" -- "$cur"))
        ;;
    mute)
        case $n in
        0) COMPREPLY=($(compgen -W "video audio both" -- "$cur")) ;;
        1) COMPREPLY=($(compgen -W "on off" -- "$cur")) ;;
        esac
        ;;
    input)
        ((n == 0)) && COMPREPLY=($(compgen -W "RGB Video Digital Storage Network Internal" -- "$cur"))
        ;;
    set)
        ((n == 0)) && COMPREPLY=($(compgen -W "refresh-interval timeout" -- "$cur"))
        ;;
    export | import | import-csv)
        ((n == 0)) && COMPREPLY=($(compgen -f -- "$cur"))
        ;;
    esac
}
complete -F _lumarinctl lumarinctl
