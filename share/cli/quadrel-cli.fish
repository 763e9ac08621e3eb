# fish completion for quadrel-cli

set -l commands status send watch mode route resolution aspect power preset lock key label audio picture bezel hdcp pip apply help

# The command given, or nothing: the first word that is no option (nor an option's value).
function __quadrel_cli_command
    set -l words (commandline -opc)
    set -e words[1]
    while set -q words[1]
        switch $words[1]
            case --serial --tcp --panel-dir --timeout
                set -e words[1]
            case '-*'
            case '*'
                echo $words[1]
                return 0
        end
        set -e words[1]
    end
    return 1
end

# The words after the command.
function __quadrel_cli_args
    set -l command (__quadrel_cli_command); or return
    set -l words (commandline -opc)
    set -l index (contains -i -- $command $words)
    test $index -lt (count $words); or return
    for word in $words[(math $index + 1)..-1]
        string match -q -- '-*' $word; or echo $word
    end
end

# True when the command is $argv[1] with $argv[2] words after it, the first of them $argv[3..].
function __quadrel_cli_at
    set -l command (__quadrel_cli_command)
    test "$command" = "$argv[1]"; or return 1
    set -l args (__quadrel_cli_args)
    test (count $args) -eq $argv[2]; or return 1
    set -l want $argv[3..-1]
    set -l n (count $want)
    test $n -eq 0; and return 0
    test "$args[1..$n]" = "$want"
end

complete -c quadrel-cli -f
complete -c quadrel-cli -l serial -r -d 'Serial port: a path or COM1..COM9' -a 'COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 (__fish_complete_path /dev/tty)'
complete -c quadrel-cli -l tcp -x -d 'The device at HOST[:PORT] (port 23)' -a '(__fish_print_hostnames)'
complete -c quadrel-cli -l panel-dir -x -d 'Folder of corvane.ini and output_reso.txt' -a '(__fish_complete_directories)'
complete -c quadrel-cli -l timeout -x -d 'End the run after SECONDS'
complete -c quadrel-cli -s v -l verbose -d 'Copy the traffic to standard error'
complete -c quadrel-cli -s h -l help -d 'Show the help'
complete -c quadrel-cli -n "not __quadrel_cli_command" -l version -d 'Show the version'

complete -c quadrel-cli -n "not __quadrel_cli_command" -a status -d 'Read the whole device and print it'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a send -d 'Send one raw command'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a watch -d 'Print what the device sends on its own'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a mode -d 'Choose the display mode, or print it'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a route -d 'Route an input to an output, or print the routing'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a resolution -d 'Choose the output resolution, or print it'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a aspect -d 'Choose how the picture is fitted'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a power -d 'Switch on or to standby, or print which'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a preset -d 'Save or recall a preset'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a lock -d 'Lock or unlock the front-panel keys'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a key -d 'Press a key of the on-screen menu'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a label -d 'Set an input label, or show or hide them'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a audio -d 'Audio on or off, its EDID format or source'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a picture -d 'Set a picture value, or reset the picture'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a bezel -d 'The bezel correction'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a hdcp -d 'HDCP of an input or an output'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a pip -d 'Place, size or swap a picture-in-picture'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a apply -d 'Set the device to a state document'
complete -c quadrel-cli -n "not __quadrel_cli_command" -a help -d 'Describe a command'

complete -c quadrel-cli -n "__fish_seen_subcommand_from status" -l json -d 'One JSON document'
complete -c quadrel-cli -n "__fish_seen_subcommand_from status" -l partial -d 'Print what was read, even incomplete'
complete -c quadrel-cli -n "__fish_seen_subcommand_from watch mode route resolution lock power" -l json -d 'Print JSON'
complete -c quadrel-cli -n "__fish_seen_subcommand_from power" -l wait -d 'Wait until the device answers again'
complete -c quadrel-cli -n "__fish_seen_subcommand_from apply" -l dry-run -d 'Print the commands; send only queries'

complete -c quadrel-cli -n "__quadrel_cli_at help 0" -a "$commands"
# What may come next, as the client's own words have it.
function __quadrel_cli_words
    set -l command (__quadrel_cli_command); or return
    contains -- $command send status watch apply help; and return
    set -l program (commandline -opc)[1]
    $program __words $command (__quadrel_cli_args) 2>/dev/null
end
complete -c quadrel-cli -n "__quadrel_cli_command" -a "(__quadrel_cli_words)"
complete -c quadrel-cli -n "__quadrel_cli_at apply 0" -F -a "-"
