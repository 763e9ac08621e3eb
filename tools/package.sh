#!/usr/bin/env bash
# Builds the Debian package build/quadrel_VERSION_ARCH.deb:
#   bash tools/package.sh [--check]
# --check also validates the desktop entry and the metainfo and runs lintian
# on the package (it fails on any error).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
check=false
[[ ${1:-} == --check ]] && check=true
bash "$root/tools/setup.sh" build package
bash "$root/tools/build.sh" "$build"
rm -f "$build"/quadrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quadrel_*.deb)
echo "package: $deb"
$check || exit 0

desktop-file-validate "$build"/share/linux/*.desktop
appstreamcli validate --no-net --pedantic "$build"/share/linux/*.metainfo.xml
# Lintian warns when run as root; it only reads the package.
lintian --fail-on error --tag-display-limit 0 --info "$deb"
echo "package checks: passed"
