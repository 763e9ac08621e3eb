#!/usr/bin/env bash
# Installs from Debian's packages what the given tasks need and is missing:
#   bash tools/setup.sh [build] [test] [package] [fuzz]      (default: build)
# When everything is there it runs no package manager at all.
set -euo pipefail

declare -A needs=(
  # compiler, toolkit, the icon renderer and the fonts the window is laid out for
  [build]="build-essential cmake ccache qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev librsvg2-bin fonts-liberation fonts-arphic-uming fonts-dejavu-core qt6-httpserver-dev qt6-websockets-dev qcoro-qt6-dev libmosquitto-dev"
  # the Debian package and its checks
  [package]="dpkg-dev file desktop-file-utils appstream lintian"
  [fuzz]="clang libclang-rt-14-dev"
)
# the client's completions and its document's schema, checked by the tests;
# the hub's web panel, tested in headless Chromium; an X server for the
# tests that need a real window; a Mosquitto broker and its clients for the
# hub's MQTT, and Jinja2 to render Home Assistant's templates as it does; openssl for the broker's test certificates
needs[test]="${needs[build]} ${needs[package]} bash-completion zsh fish python3-jsonschema chromium xvfb xauth mosquitto mosquitto-clients python3-jinja2 openssl"

tasks=("$@")
((${#tasks[@]})) || tasks=(build)
packages=()
for task in "${tasks[@]}"; do
  [[ -n ${needs[$task]+x} ]] || { echo "setup: unknown task '$task' (build, test, package, fuzz)" >&2; exit 2; }
  read -ra words <<<"${needs[$task]}"
  packages+=("${words[@]}")
done

# One query for all of them: a package counts when dpkg has it installed.
mapfile -t installed < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null \
  | awk '$2 == "installed" {print $1}')
missing=()
for p in "${packages[@]}"; do
  [[ " ${installed[*]} ${missing[*]} " == *" $p "* ]] || missing+=("$p")
done
((${#missing[@]})) || exit 0

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    echo "setup: these Debian packages are missing: ${missing[*]}" >&2
    echo "setup: without root or sudo they cannot be installed from here; as root, run:" >&2
    echo "  apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
    echo "then run this command again." >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
