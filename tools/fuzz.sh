#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a number of inputs:
#   bash tools/fuzz.sh [runs]      (default 2000000 per target)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-2000000}
bash "$root/tools/setup.sh" build fuzz
out=$root/build/fuzz
mkdir -p "$out"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I"$root/src" -I"$root/fuzz")
for target in "$root"/fuzz/fuzz_*.cpp; do
  name=$(basename "$target" .cpp)
  extra=()
  case $name in
    fuzz_settings) extra=("$root/src/settings/settings_file.cpp") ;;
  esac
  clang++ "${flags[@]}" "$target" "$root"/src/link/core/*.cpp "${extra[@]}" -o "$out/$name"
  mkdir -p "$out/corpus-$name"
  echo "== $name: $runs inputs"
  "$out/$name" -runs="$runs" -max_len=512 "$out/corpus-$name" 2>&1 | tail -3
done
