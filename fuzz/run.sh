#!/bin/bash
# Builds the libFuzzer targets with clang (a configuration of their own) and fuzzes the
# package reader, dump, extraction and writer.
#   fuzz/run.sh [SECONDS]             build in build-fuzz/ and fuzz; the corpus grows in
#                                     build-fuzz/corpus/ from run to run (default 60 s)
#   fuzz/run.sh --smoke BUILD SECONDS fuzz an existing build from fresh seeds, then forget them
# Findings land in the build folder as crash-*, leak-* or timeout-* files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--smoke" ]; then
  build=$2
  seconds=$3
  corpus=$(mktemp -d /tmp/stowkit-fuzz-corpus-XXXXXX)
  trap 'rm -rf "$corpus"' EXIT
else
  seconds=${1:-60}
  build=$root/build-fuzz
  corpus=$build/corpus
  cmake -S "$root/fuzz" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ > /dev/null
  cmake --build "$build" -j "$(nproc)"
  mkdir -p "$corpus"
fi

"$build/package_seeds" "$corpus"
"$build/package_fuzzer" -max_total_time="$seconds" -timeout=10 -max_len=8192 \
  -artifact_prefix="$build/" "$corpus"
