#!/usr/bin/env bash
# Builds the Debian packages from build/:
#   build/quadrel_VERSION_ARCH.deb      the panel and quadrel-cli
#   build/quadrel-sim_VERSION_ARCH.deb  the simulated device corvane-sim
#   build/quadrel-hub_VERSION_ARCH.deb  quadrel-hub, its web panel and systemd units
#   bash tools/package.sh [--check]
# --check then checks them (tools/check_package.sh): the desktop entry and the
# metainfo, lintian, the licence, hardening, reproducibility, the manual pages
# and what each package holds; it fails on any finding.
#
# The files in the packages carry the time of the last commit (outside a git
# checkout, of the changelog's last entry), or SOURCE_DATE_EPOCH when it is
# set, so that two builds of one commit give the same packages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
check=false
[[ ${1:-} == --check ]] && check=true
bash "$root/tools/setup.sh" build package

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' "$root/share/linux/changelog" | head -1)" +%s)
fi
export SOURCE_DATE_EPOCH

# What the packages hold, nothing else.
bash "$root/tools/build.sh" --target quadrel --target quadrel-cli --target corvane-sim --target quadrel-hub \
  --target quadrel_docs --target quadrel_hub_docs "$build"
rm -f "$build"/quadrel_*.deb "$build"/quadrel-*.deb
(cd "$build" && cpack -G DEB >/dev/null)
for deb in "$build"/quadrel_*.deb "$build"/quadrel-*.deb; do echo "package: $deb"; done
$check || exit 0
bash "$root/tools/check_package.sh" "$build"
