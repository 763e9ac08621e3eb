#!/usr/bin/env bash
# Installs what is missing, builds the panel and the simulator (nothing else),
# starts the simulated Corvane and the panel talking to it over RS-232 (the
# simulator's pseudo-terminal, mapped as COM1). Arguments go to the panel.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
tcp_port=2323

# One run at a time: the simulator's TCP port and pseudo-terminal belong to
# the run that started it. The lock is held by this script, the simulator and
# the panel, so it lasts as long as any of them does.
mkdir -p "$build"
exec 9>>"$build/run.lock"
if ! flock -n 9; then
  echo "tools/run.sh is already running (process $(cat "$build/run.pid" 2>/dev/null || echo '?')):" \
       "its simulator has 127.0.0.1:$tcp_port and build/corvane-sim.tty. Close that Quadrel window first." >&2
  exit 1
fi
echo $$ > "$build/run.pid"

bash "$root/tools/setup.sh" build
bash "$root/tools/build.sh" --target quadrel --target corvane-sim "$build"

tty_link=$build/corvane-sim.tty
rm -f "$tty_link"
"$build/sim/corvane-sim" --tcp-port "$tcp_port" --pty-link "$tty_link" --log "$build/corvane-sim.log" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; rm -f "$build/run.pid"' EXIT
for _ in $(seq 50); do [[ -e $tty_link ]] && break; kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
# (A simulator that has ended may not be reaped yet: its link tells.)
if [[ ! -e $tty_link ]] || ! kill -0 "$sim_pid" 2>/dev/null; then
  echo "tools/run.sh: the simulator did not start (see above); is another program using TCP port $tcp_port?" >&2
  exit 1
fi

# COM1 is the simulator.
printf 'COM1=%s\n' "$tty_link" > "$build/com_ports.txt"
# The settings start on RS-232, COM1, with the simulator's address for
# Ethernet, unless the user chose otherwise: the settings the build copied
# (the installed defaults, whose address is a real device's) are replaced.
if [[ ! -f $build/corvane.ini ]] || cmp -s "$build/corvane.ini" "$root/data/corvane.ini"; then
  printf '0\r\n1\r\n#FALSE#\r\n"127.0.0.1:%s"\r\n' "$tcp_port" > "$build/corvane.ini"
fi

"$build/quadrel" "$@"
