#!/usr/bin/env bash
# tools/setup.sh for a user with neither root nor sudo and a package missing:
# it names the packages and the command to run as root, exits 1, and runs no
# package manager.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
for tool in bash id awk; do ln -s "$(command -v $tool)" "$bin/$tool"; done
printf '#!/bin/sh\nexit 0\n' > "$bin/dpkg-query"  # nothing is installed
printf '#!/bin/sh\ntouch "%s/ran"\n' "$bin" > "$bin/apt-get"
cp "$root/tools/setup.sh" "$bin/setup.sh"  # readable by the other user wherever the clone is
chmod +x "$bin/dpkg-query" "$bin/apt-get"
chmod 755 "$bin"
as_user=()
[[ $(id -u) -ne 0 ]] || as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
set +e
err=$("${as_user[@]}" env -i PATH="$bin" bash "$bin/setup.sh" package 2>&1 >/dev/null)
code=$?
set -e
echo "$err"
[[ $code == 1 ]] || { echo "FAIL: exit $code, not 1"; exit 1; }
[[ ! -e $bin/ran ]] || { echo "FAIL: a package manager ran"; exit 1; }
grep -q 'apt-get update && apt-get install --no-install-recommends dpkg-dev file desktop-file-utils appstream lintian' \
  <<<"$err" || { echo "FAIL: the command to run is not named"; exit 1; }
