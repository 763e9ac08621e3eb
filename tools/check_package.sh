#!/usr/bin/env bash
# Checks the Debian packages that tools/package.sh made in BUILD (build/ by
# default) and fails on any finding:
#   bash tools/check_package.sh [BUILD]
# (SOURCE_DATE_EPOCH as tools/package.sh sets it.)
# - the desktop entry and both metainfo files validate (appstreamcli --pedantic);
# - lintian at -I --pedantic finds nothing beyond the overrides shipped in the
#   packages (share/linux/lintian, explained in the README);
# - licence: LICENSE is the GPL version 3, each package's copyright file says
#   GPL-3+ with Source and Upstream-Contact, the metainfo GPL-3.0-or-later,
#   and --version says it;
# - hardening and reproducibility: every program has full RELRO and immediate
#   binding, stack protection, no symbols, no .comment or .note section, no
#   build folder in any file; every object was compiled fortified and
#   with -Werror=date-time; every file of the packages carries
#   SOURCE_DATE_EPOCH; packing the same build again elsewhere gives the same
#   bytes;
# - manual pages: quadrel(1) names the data folder of the tree it is installed
#   in, and each page's SEE ALSO names the other three; the hub's units start
#   the program of the tree they are installed in;
# - metainfo: screenshots of the panel and of the hub's web panel (shipped in
#   share/screenshots, at the sizes stated),
#   home page, developer, release notes, a <provides> for every program of the
#   package; a Homepage field in each package;
# - the packages: quadrel with the panel and the client, quadrel-sim with the
#   simulator, quadrel-hub with the hub, its web panel and its systemd units,
#   nothing else, each with its copyright file and changelog.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' "$root/share/linux/changelog" | head -1)" +%s)
fi
export SOURCE_DATE_EPOCH

failures=0
fail() { echo "package check FAILED: $*" >&2; failures=$((failures + 1)); }
section() { echo "== $*"; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

shopt -s nullglob
debs=("$build"/*.deb)
panel_deb=$(ls "$build"/quadrel_*.deb 2>/dev/null || true)
sim_deb=$(ls "$build"/quadrel-sim_*.deb 2>/dev/null || true)
hub_deb=$(ls "$build"/quadrel-hub_*.deb 2>/dev/null || true)
[[ -f $panel_deb && -f $sim_deb && -f $hub_deb ]] ||
  { echo "package check FAILED: no quadrel, quadrel-sim and quadrel-hub packages in $build" >&2; exit 1; }
packages=(quadrel quadrel-sim quadrel-hub)

section "packages: quadrel, quadrel-sim and quadrel-hub, nothing else"
((${#debs[@]} == 3)) || fail "expected 3 packages, found: ${debs[*]##*/}"
declare -A tree=([quadrel]=$tmp/quadrel [quadrel-sim]=$tmp/quadrel-sim [quadrel-hub]=$tmp/quadrel-hub)
declare -A deb_of=([quadrel]=$panel_deb [quadrel-sim]=$sim_deb [quadrel-hub]=$hub_deb)
for pkg in "${packages[@]}"; do
  dpkg-deb -R "${deb_of[$pkg]}" "${tree[$pkg]}"
  [[ $(dpkg-deb -f "${deb_of[$pkg]}" Package) == "$pkg" ]] || fail "${deb_of[$pkg]##*/} is not package $pkg"
  for doc in copyright changelog.gz; do
    [[ -f ${tree[$pkg]}/usr/share/doc/$pkg/$doc ]] || fail "$pkg has no /usr/share/doc/$pkg/$doc"
  done
  [[ -n $(dpkg-deb -f "${deb_of[$pkg]}" Homepage) ]] || fail "$pkg has no Homepage field"
done
programs() { (cd "${tree[$1]}/usr/bin" && ls); }
[[ $(programs quadrel | tr '\n' ' ') == "quadrel quadrel-cli " ]] || fail "quadrel holds the programs: $(programs quadrel | tr '\n' ' ')"
[[ $(programs quadrel-sim | tr '\n' ' ') == "corvane-sim " ]] || fail "quadrel-sim holds the programs: $(programs quadrel-sim | tr '\n' ' ')"
[[ $(programs quadrel-hub | tr '\n' ' ') == "quadrel-hub " ]] || fail "quadrel-hub holds the programs: $(programs quadrel-hub | tr '\n' ' ')"
for file in usr/share/quadrel/hub/index.html usr/share/quadrel/hub/app.js usr/share/quadrel/hub/manifest.webmanifest \
            usr/share/quadrel/hub/icon-512.png usr/share/quadrel/hub/openapi.json usr/share/man/man1/quadrel-hub.1.gz \
            usr/lib/systemd/user/quadrel-hub.service usr/lib/systemd/system/quadrel-hub@.service; do
  [[ -f ${tree[quadrel-hub]}/$file ]] || fail "quadrel-hub has no /$file"
done
[[ ! -e ${tree[quadrel]}/usr/share/man/man1/corvane-sim.1.gz ]] || fail "quadrel holds the simulator's manual page"
[[ -f ${tree[quadrel-sim]}/usr/share/man/man1/corvane-sim.1.gz ]] || fail "quadrel-sim has no manual page"
dpkg-deb -f "$panel_deb" Suggests | grep -w quadrel-sim >/dev/null || fail "quadrel does not suggest quadrel-sim"
# The hub's MQTT: the library it links is a dependency found from the binary, the broker a suggestion.
dpkg-deb -f "$hub_deb" Depends | grep -w 'libmosquitto1' >/dev/null || fail "quadrel-hub does not depend on libmosquitto1"
dpkg-deb -f "$hub_deb" Suggests | grep -w mosquitto >/dev/null || fail "quadrel-hub does not suggest mosquitto"
# The clear button's caption needs a face with its Chinese character.
dpkg-deb -f "$panel_deb" Recommends | grep -w fonts-arphic-uming >/dev/null || fail "quadrel does not recommend fonts-arphic-uming"

section "desktop entry and metainfo"
desktop-file-validate "${tree[quadrel]}"/usr/share/applications/*.desktop || fail "desktop entry"
for metainfo in "${tree[quadrel]}"/usr/share/metainfo/*.xml "${tree[quadrel-sim]}"/usr/share/metainfo/*.xml \
                "${tree[quadrel-hub]}"/usr/share/metainfo/*.xml; do
  appstreamcli validate --no-net --pedantic "$metainfo" || fail "${metainfo##*/}"
done

section "lintian -I --pedantic"
# Lintian warns when run as root; it only reads the packages.
if ! findings=$(lintian -I --pedantic --fail-on error,warning,info,pedantic --tag-display-limit 0 \
                  "$panel_deb" "$sim_deb" "$hub_deb" 2>&1); then
  fail "lintian has findings (below)"
fi
grep -v '^running with root privileges' <<<"$findings" || true

section "licence: GPL-3.0-or-later"
cmp -s "$root/LICENSE" /usr/share/common-licenses/GPL-3 || fail "LICENSE is not the text of the GPL version 3"
for pkg in "${packages[@]}"; do
  copyright=${tree[$pkg]}/usr/share/doc/$pkg/copyright
  for field in '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' '^Source: ' \
               '^Upstream-Contact: ' '^License: GPL-3+$' '/usr/share/common-licenses/GPL-3'; do
    grep -q "$field" "$copyright" || fail "$pkg's copyright file lacks $field"
  done
  for metainfo in "${tree[$pkg]}"/usr/share/metainfo/*.xml; do
    grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" || fail "${metainfo##*/}: project_license"
  done
done
for program in "${tree[quadrel]}/usr/bin/quadrel" "${tree[quadrel]}/usr/bin/quadrel-cli" "${tree[quadrel-sim]}/usr/bin/corvane-sim"; do
  env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version 2>&1 | grep 'GPL-3.0-or-later' >/dev/null ||
    fail "${program##*/} --version does not name the licence"
done

section "hardening: dpkg-buildflags, stripped as Debian strips"
for file in "${tree[quadrel]}"/usr/bin/* "${tree[quadrel-sim]}"/usr/bin/* "${tree[quadrel-hub]}"/usr/bin/*; do
  name=${file#"$tmp"/}
  readelf -dW "$file" | grep 'BIND_NOW' >/dev/null || fail "$name: no immediate binding (-z now)"
  readelf -lW "$file" | grep 'GNU_RELRO' >/dev/null || fail "$name: no RELRO"
  nm -D --undefined-only "$file" | grep '__stack_chk_fail' >/dev/null || fail "$name: no stack protector"
  sections=$(readelf -SW "$file")
  for unneeded in '\.comment ' '\.note ' '\.symtab ' '\.debug_'; do
    ! grep -q "$unneeded" <<<"$sections" || fail "$name: has a ${unneeded//\\/} section"
  done
done
# Every object of the packages is compiled fortified and protected. Whether a
# program then imports a checked variant (__printf_chk and the like) depends
# only on which calls the compiler could not prove safe, so the flags are what
# is checked here.
flag_files=()
while read -r dir; do
  [[ $dir == "$build"/tests/* || $dir == "$build"/bench/* || ! -f $dir/flags.make ]] || flag_files+=("$dir/flags.make")
done < <(cat "$build/CMakeFiles/TargetDirectories.txt" 2>/dev/null)
[[ -f $build/build.ninja ]] && flag_files+=("$build/build.ninja")
((${#flag_files[@]})) || fail "no compile flags found in $build"
for file in "${flag_files[@]}"; do
  grep -q -- '_FLAGS = ' "$file" || continue
  # (-gno-record-gcc-switches: the compiler cache reorders them, and the build-id would follow.)
  for flag in -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Werror=format-security -Werror=date-time \
              -gno-record-gcc-switches "-ffile-prefix-map=$root=." "-ffile-prefix-map=$build=."; do
    grep -q -- "$flag" "$file" || fail "${file#"$build"/} is not compiled with $flag"
  done
done

section "reproducibility: no build folder, fixed times, the same bytes when packed again"
if grep -rlF -e "$root" -e "$build" "${tree[quadrel]}" "${tree[quadrel-sim]}" "${tree[quadrel-hub]}"; then
  fail "the files above name the build or source folder"
fi
for pkg in "${packages[@]}"; do
  for part in --fsys-tarfile --ctrl-tarfile; do
    stray=$(dpkg-deb "$part" "${deb_of[$pkg]}" | tar -tv --full-time --numeric-owner |
              awk -v t="$(TZ=UTC0 date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" \
                  '$4 " " $5 != t || $2 != "0/0" {print $6}')
    [[ -z $stray ]] || fail "$pkg: files not owned by root or not dated SOURCE_DATE_EPOCH: $stray"
  done
done
sleep 1  # a second later, in another folder: neither the time nor the staging folder may show
(cd "$build" && TZ=Pacific/Kiritimati cpack -G DEB -B "$tmp/again" >/dev/null)
for deb in "$panel_deb" "$sim_deb" "$hub_deb"; do
  cmp -s "$deb" "$tmp/again/${deb##*/}" || fail "${deb##*/} differs when packed again"
done

section "manual pages and units"
zcat "${tree[quadrel]}/usr/share/man/man1/quadrel.1.gz" > "$tmp/quadrel.1"
grep -q '^\.I /usr/share/quadrel$' "$tmp/quadrel.1" || fail "the packaged quadrel(1) does not name /usr/share/quadrel"
! grep -q '/usr/local' "$tmp/quadrel.1" || fail "the packaged quadrel(1) names /usr/local"
# Installed from the build tree, the page names that tree's data folder.
# (As root, with no DESTDIR, this would install into the system: DESTDIR is always given.)
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
DESTDIR=$tmp/installed cmake --install "$build" --component panel >/dev/null
zcat "$tmp/installed$prefix/share/man/man1/quadrel.1.gz" | grep "^\.I $prefix/share/quadrel\$" >/dev/null ||
  fail "quadrel(1) installed under $prefix does not name $prefix/share/quadrel"
# The hub's units start the program of the tree they are installed in.
units=(lib/systemd/user/quadrel-hub.service lib/systemd/system/quadrel-hub@.service)
DESTDIR=$tmp/installed cmake --install "$build" --component hub --prefix /opt/quadrel >/dev/null
for unit in "${units[@]}"; do
  grep -qx 'ExecStart=/usr/bin/quadrel-hub $QUADREL_HUB_ARGS' "${tree[quadrel-hub]}/usr/$unit" ||
    fail "the packaged ${unit##*/} does not start /usr/bin/quadrel-hub"
  grep -qx 'ExecStart=/opt/quadrel/bin/quadrel-hub $QUADREL_HUB_ARGS' "$tmp/installed/opt/quadrel/$unit" ||
    fail "${unit##*/} installed under --prefix /opt/quadrel does not start /opt/quadrel/bin/quadrel-hub"
done
pages=(quadrel quadrel-cli corvane-sim quadrel-hub)
for page in "${pages[@]}"; do
  file=$(ls "${tree[quadrel]}/usr/share/man/man1/$page.1.gz" "${tree[quadrel-sim]}/usr/share/man/man1/$page.1.gz" \
            "${tree[quadrel-hub]}/usr/share/man/man1/$page.1.gz" 2>/dev/null || true)
  see_also=$(zcat "$file" | sed -n '/^\.SH SEE ALSO/,/^\.SH/p' | tr -d '\\')
  for other in "${pages[@]}"; do
    [[ $other == "$page" ]] || grep -q "^\.BR $other (1)" <<<"$see_also" || fail "$page(1): SEE ALSO lacks $other(1)"
  done
done

section "metainfo: screenshots, home page, developer, releases, programs"
homepage=$(dpkg-deb -f "$panel_deb" Homepage)
for pkg in "${packages[@]}"; do
  provided=$(cat "${tree[$pkg]}"/usr/share/metainfo/*.xml | sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' | sort | tr '\n' ' ')
  [[ $provided == "$(programs "$pkg" | sort | tr '\n' ' ')" ]] || fail "$pkg's metainfo provides $provided"
  for metainfo in "${tree[$pkg]}"/usr/share/metainfo/*.xml; do
    for tag in "<url type=\"homepage\">$homepage</url>" '<developer id=' '<developer_name>' '<release version=' \
               '<description>'; do
      grep -qF "$tag" "$metainfo" || fail "${metainfo##*/} lacks $tag"
    done
    sed -n '/<releases>/,/<\/releases>/p' "$metainfo" | grep '<p>' >/dev/null || fail "${metainfo##*/}: a release without notes"
  done
done
for app_metainfo in "${tree[quadrel]}"/usr/share/metainfo/*.xml "${tree[quadrel-hub]}"/usr/share/metainfo/*.xml; do
  grep -q '<screenshot type="default">' "$app_metainfo" || fail "${app_metainfo##*/}: no default screenshot"
  while read -r width height url; do
    shot=$root/share/screenshots/${url##*/}
    [[ $url == "${homepage}screenshots/${url##*/}" ]] || fail "screenshot $url is not under ${homepage}screenshots/"
    [[ -f $shot ]] || { fail "screenshot ${url##*/} is not in share/screenshots"; continue; }
    read -r w h < <(file -b "$shot" | sed -n 's/.* \([0-9]*\) x \([0-9]*\),.*/\1 \2/p')
    [[ "$w $h" == "$width $height" ]] || fail "${url##*/} is $w x $h, the metainfo says $width x $height"
  done < <(sed -n 's|.*<image type="source" width="\([0-9]*\)" height="\([0-9]*\)">\(.*\)</image>.*|\1 \2 \3|p' "$app_metainfo")
done

if ((failures)); then
  echo "package checks: $failures failed" >&2
  exit 1
fi
echo "package checks: passed"
