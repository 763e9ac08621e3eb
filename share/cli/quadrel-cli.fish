# fish completion for quadrel-cli. The words come from the program itself
# (quadrel-cli --complete WORDS...), so they are the ones it takes: its
# commands and options, the words of each command's arguments, the serial
# ports it opens.

function __quadrel_cli_complete
    set -l words (commandline -opc)
    set -l program $words[1]
    set -e words[1]
    set -l typed (commandline -ct | string unescape)
    for line in ($program --complete $words "$typed" 2>/dev/null)
        switch $line
            case ':files *'
                __fish_complete_suffix .(string replace ':files ' '' -- $line)
            case ':dirs'
                __fish_complete_directories "$typed"
            case ':anyfile'
                __fish_complete_path "$typed"
            case ':hosts'
                __fish_print_hostnames
            case '*'
                echo $line
        end
    end
end

complete -c quadrel-cli -f -a '(__quadrel_cli_complete)'
