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

    local n=${#after[@]} first=${after[0]-} second=${after[1]-} choices=""
    case $command in
        help) ((n == 0)) && choices=$commands ;;
        mode) ((n == 0)) && choices="matrix dual-pop tv-wall dual-pip quad" ;;
        route) ((n == 0)) && choices="A B C D"; ((n == 1)) && choices="1 2 3 4" ;;
        aspect) ((n == 0)) && choices="full 4:3 16:9 16:10 keep" ;;
        power) ((n == 0)) && choices="on standby off" ;;
        preset) ((n == 0)) && choices="save recall"; ((n == 1)) && choices="1 2 3 4" ;;
        lock) ((n == 0)) && choices="on off" ;;
        key) ((n == 0)) && choices="menu exit ok up down left right" ;;
        label) ((n == 0)) && choices="on off 1 2 3 4" ;;
        audio)
            ((n == 0)) && choices="on off edid dual-a dual-b quad"
            if ((n == 1)); then
                case $first in
                    edid) choices="2ch 6ch 8ch bitstream hd" ;;
                    dual-a | dual-b) choices="1 2" ;;
                    quad) choices="1 2 3 4" ;;
                esac
            fi ;;
        picture)
            ((n == 0)) && choices="A B C D all reset"
            ((n == 1)) && [[ $first != reset ]] && choices="brightness contrast hue saturation" ;;
        bezel) ((n == 0)) && choices="on off h v" ;;
        hdcp)
            ((n == 0)) && choices="input output"
            ((n == 1)) && { [[ $first == input ]] && choices="1 2 3 4" || choices="A B C D"; }
            ((n == 2)) && { [[ $first == input ]] && choices="on off" || choices="input output"; } ;;
        pip)
            ((n == 0)) && choices="a b"
            ((n == 1)) && choices="corner size swap"
            if ((n == 2)); then
                case $second in
                    corner) choices="upper-left upper-right lower-right lower-left" ;;
                    size) choices="large medium small off" ;;
                esac
            fi ;;
        apply)
            if ((n == 0)); then
                _filedir json
                COMPREPLY+=($(compgen -W "-" -- "$cur"))
            fi
            return ;;
    esac
    COMPREPLY=($(compgen -W "$choices" -- "$cur"))
} &&
    complete -F _quadrel_cli quadrel-cli
