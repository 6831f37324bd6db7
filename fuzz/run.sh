#!/bin/bash
# Builds the libFuzzer targets with clang (a configuration of their own) and fuzzes each
# input that comes from outside, one target after the other.
#   fuzz/run.sh [SECONDS [TARGET...]]  build in build-fuzz/ (or $FUZZ_BUILD) and fuzz every
#                                      target (or those named) SECONDS each (default 60);
#                                      corpora grow in its corpus/TARGET/ from run to run
#   fuzz/run.sh --smoke BUILD SECONDS  replay every regression input, then fuzz each target of
#                                      an existing build from its seeds, then forget them
# Targets: TARGET_fuzzer, seeds in fuzz/seeds/TARGET/ (the package seeds are generated),
# a dictionary in fuzz/dicts/TARGET.dict, past findings in fuzz/regressions/TARGET/.
# Findings land in the build folder as crash-*, leak-*, timeout-* or oom-* files; each line
# "TARGET: N runs in S s" tells how much was done.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=(package package_registry_text macro command_line manifest regedit_text setup_xml cab setup_options)

if [ "${1:-}" = "--smoke" ]; then
  build=$2
  seconds=$3
  corpus=$(mktemp -d /tmp/stowkit-fuzz-corpus-XXXXXX)
  trap 'rm -rf "$corpus"' EXIT
  for target in "${targets[@]}"; do
    regressions=$root/fuzz/regressions/$target
    if [ -d "$regressions" ]; then
      "$build/${target}_fuzzer" -runs=1 "$regressions"/* 2>&1 | tail -n 1
    fi
  done
else
  seconds=${1:-60}
  shift || true
  [ $# -gt 0 ] && targets=("$@")
  build=${FUZZ_BUILD:-$root/build-fuzz}
  corpus=$build/corpus
  cmake -S "$root/fuzz" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ > /dev/null
  cmake --build "$build" -j "$(nproc)"
fi

failed=0
for target in "${targets[@]}"; do
  mkdir -p "$corpus/$target"
  seeds=$root/fuzz/seeds/$target
  if [ "$target" = package ]; then
    seeds=$corpus/package-seeds
    mkdir -p "$seeds"
    "$build/package_seeds" "$seeds"
  fi
  options=(-max_total_time="$seconds" -timeout=10 -max_len=8192 -artifact_prefix="$build/$target-")
  dict=$root/fuzz/dicts/$target.dict
  [ -f "$dict" ] && options+=(-dict="$dict")
  log=$build/$target.log
  if ! "$build/${target}_fuzzer" "${options[@]}" "$corpus/$target" "$seeds" > "$log" 2>&1; then
    failed=1
    tail -n 40 "$log"
  fi
  done_line=$(grep -E '^Done [0-9]+ runs in [0-9]+ second' "$log" | tail -n 1 || true)
  echo "$target: ${done_line:-stopped with a finding, see $log}" |
    sed -E 's/Done ([0-9]+) runs in ([0-9]+) second\(s\)/\1 runs in \2 s/'
done
exit $failed
