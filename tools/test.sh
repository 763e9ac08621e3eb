#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: once as
# built for use, once under AddressSanitizer and UndefinedBehaviorSanitizer
# (the slow tests run once, in the first build); builds the Debian packages
# from the tested build and checks them (tools/check_package.sh: lintian,
# licence, hardening, reproducibility, manual pages, metainfo, what each
# package holds).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh" test
export QT_QPA_PLATFORM=offscreen

echo "== build and test"
bash "$root/tools/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j2 --timeout 600 -LE slow)

echo "== the slow tests (floods, random events, soak), once"
(cd "$root/build" && ctest --output-on-failure -j2 --timeout 600 -L slow)

echo "== packages and their checks"
bash "$root/tools/package.sh" --check

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
bash "$root/tools/build.sh" "$root/build-asan" -DQUADREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
# Leaks are not checked: the toolkit keeps caches for the life of the process.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$root/build-asan" && ctest --output-on-failure -j2 --timeout 900 -LE slow)
