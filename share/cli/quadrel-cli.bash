# bash completion for quadrel-cli                           -*- shell-script -*-

_quadrel_cli()
{
    local cur prev words cword
    _init_completion || return

    local commands="status send watch mode route resolution aspect power preset lock key label audio picture bezel hdcp pip apply help"
    local link="--serial --tcp --panel-dir --timeout --verbose"

    case $prev in
        --serial)
            COMPREPLY=($(compgen -W "COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9" -- "$cur")
                       $(compgen -f -- "${cur:-/dev/tty}"))
            return ;;
        --panel-dir)
            _filedir -d
            return ;;
        --tcp | --timeout)
            return ;;
    esac

    # The command: the first word that is neither an option nor an option's value.
    local i command="" after=()
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --serial | --tcp | --panel-dir | --timeout) ((i++)) ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then command=${words[i]}; else after+=("${words[i]}"); fi ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$link --help --version" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local options="--help"
    case $command in
        status) options+=" --json --partial" ;;
        watch | mode | route | resolution | lock) options+=" --json" ;;
        power) options+=" --json --wait" ;;
        apply) options+=" --dry-run" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options $link" -- "$cur"))
        return
    fi

    local choices=""
    case $command in
        help) ((${#after[@]} == 0)) && choices=$commands ;;
        apply)
            if ((${#after[@]} == 0)); then
                _filedir json
                COMPREPLY+=($(compgen -W "-" -- "$cur"))
            fi
            return ;;
        send | status | watch) ;;
        *)
            # What may come next, as the client's own words have it.
            choices=$("${words[0]}" __words "$command" "${after[@]}" 2>/dev/null) ;;
    esac
    COMPREPLY=($(compgen -W "$choices" -- "$cur"))
} &&
    complete -F _quadrel_cli quadrel-cli
