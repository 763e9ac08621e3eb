#!/usr/bin/env bash
# Installs what is missing, builds the panel and the simulator (nothing else),
# starts the simulated Corvane and the panel talking to it over RS-232 (the
# simulator's pseudo-terminal, mapped as COM1). Arguments go to the panel.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
bash "$root/tools/setup.sh" build
bash "$root/tools/build.sh" --target quadrel --target corvane-sim "$build"

tty_link=$build/corvane-sim.tty
"$build/sim/corvane-sim" --tcp-port 2323 --pty-link "$tty_link" --log "$build/corvane-sim.log" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do [[ -e $tty_link ]] && break; sleep 0.1; done

# COM1 is the simulator; the settings start on RS-232, COM1, unless the user chose otherwise.
printf 'COM1=%s\n' "$tty_link" > "$build/com_ports.txt"
[[ -f $build/corvane.ini ]] || printf '0\r\n1\r\n#FALSE#\r\n"127.0.0.1:2323"\r\n' > "$build/corvane.ini"

"$build/quadrel" "$@"
