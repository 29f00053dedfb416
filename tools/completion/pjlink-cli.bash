# bash completion for pjlink-cli

_pjlink_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD-1]}

    case $prev in
    --password | --port | --timeout)
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--password --port --timeout --json --help --help-all --version" -- "$cur"))
        return
    fi

    # Positional words so far: ADDRESS, COMMAND, its arguments.
    local i n=0 positional=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        --password | --port | --timeout) ((i++)) ;;
        -*) ;;
        *) positional+=("${COMP_WORDS[i]}") ;;
        esac
    done
    n=${#positional[@]}

    case $n in
    0) COMPREPLY=($(compgen -A hostname -- "$cur")) ;;
    1) COMPREPLY=($(compgen -W "status power input mute" -- "$cur")) ;;
    2)
        case ${positional[1]} in
        power) COMPREPLY=($(compgen -W "on off" -- "$cur")) ;;
        mute) COMPREPLY=($(compgen -W "video audio both" -- "$cur")) ;;
        esac
        ;;
    3)
        [[ ${positional[1]} == mute ]] && COMPREPLY=($(compgen -W "on off" -- "$cur"))
        ;;
    esac
}
complete -F _pjlink_cli pjlink-cli
