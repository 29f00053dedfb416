# bash completion for lumarinctl

_lumarinctl()
{
    local cur prev words cword
    _init_completion 2>/dev/null || {
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    }

    local commands="list status check power input mute add import-csv passwd rename search watch
        group move remove set export import help"
    local global="--settings --json --verbose --help --version"

    case $prev in
    --settings)
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    --password | --lamp-warn | --lamp-crit | --wait)
        return
        ;;
    esac

    # The first word that is not an option (or an option's value) is the command.
    local i command="" sub=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        --settings) ((i++)) ;;
        -*) ;;
        *)
            if [[ -z $command ]]; then
                command=${words[i]}
            elif [[ -z $sub ]]; then
                sub=${words[i]}
            fi
            ;;
        esac
    done

    if [[ $cur == -* ]]; then
        case $command in
        add) COMPREPLY=($(compgen -W "$global --password --group --no-check" -- "$cur")) ;;
        search) COMPREPLY=($(compgen -W "$global --broadcast --wait --register --password" -- "$cur")) ;;
        move) COMPREPLY=($(compgen -W "$global --to" -- "$cur")) ;;
        check) COMPREPLY=($(compgen -W "$global --lamp-warn --lamp-crit" -- "$cur")) ;;
        *) COMPREPLY=($(compgen -W "$global" -- "$cur")) ;;
        esac
        return
    fi

    case $command in
    "")
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        ;;
    help)
        [[ -z $sub ]] && COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        ;;
    group)
        [[ -z $sub ]] && COMPREPLY=($(compgen -W "add rename" -- "$cur"))
        ;;
    power)
        [[ -z $sub ]] && COMPREPLY=($(compgen -W "on off" -- "$cur"))
        ;;
    mute)
        if [[ -z $sub ]]; then
            COMPREPLY=($(compgen -W "video audio both" -- "$cur"))
        elif [[ $prev == "$sub" ]]; then
            COMPREPLY=($(compgen -W "on off" -- "$cur"))
        fi
        ;;
    input)
        [[ -z $sub ]] && COMPREPLY=($(compgen -W "RGB Video Digital Storage Network" -- "$cur"))
        ;;
    set)
        [[ -z $sub ]] && COMPREPLY=($(compgen -W "refresh-interval timeout" -- "$cur"))
        ;;
    export | import | import-csv)
        COMPREPLY=($(compgen -f -- "$cur"))
        ;;
    esac
}
complete -F _lumarinctl lumarinctl
