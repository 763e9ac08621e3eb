# bash completion for quadrel-cli                           -*- shell-script -*-
# The words come from the program itself (quadrel-cli --complete WORDS...), so
# they are the ones it takes: its commands and options, the words of each
# command's arguments, the serial ports it opens.

_quadrel_cli()
{
    local cur prev words cword
    # A colon is part of the word: --tcp host:port, aspect 16:9.
    _init_completion -n : || return

    # The words as the program gets them: quotes and backslashes removed.
    local i word given=()
    for ((i = 1; i <= cword; i++)); do
        word=${words[i]//\\/}
        word=${word//\"/}
        given+=("${word//\'/}")
    done

    # A word begun with a quote is given its closing quote, another is escaped.
    local line quote=${cur:0:1}
    [[ $quote == [\"\'] ]] || quote=""
    while IFS= read -r line; do
        line=${line%%$'\t'*}
        case $line in
            ":files "*) _filedir "${line#:files }" ;;
            ":dirs") _filedir -d ;;
            ":anyfile") _filedir ;;
            ":hosts") _known_hosts_real -- "$cur" ;;
            *) if [[ $quote ]]; then COMPREPLY+=("$quote$line$quote"); else COMPREPLY+=("$(printf '%q' "$line")"); fi ;;
        esac
    done < <("${words[0]}" --complete "${given[@]}" 2>/dev/null)

    # A folder on the way to a serial device takes no space after it.
    [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == */ ]] && compopt -o nospace
    __ltrim_colon_completions "$cur"
} &&
    complete -F _quadrel_cli quadrel-cli
