#!/bin/bash
# `make bench`: installs, removals, package builds and the registry merge, each side by side
# with what a user would use instead, in one run on the same seeded datasets; prints
# medians, ratios (installs against the floor, bench-floor) and peak memory, then the
# machine and its load.
#   bench/run.sh [BUILD_DIR]                       (default: build)
#   BENCH_DATA=/tmp/stowkit-bench BENCH_RUNS=5 BENCH_SEED=1 BENCH_PROFILES="small large mixed scale"
#   BENCH_WORK=/dev/shm/stowkit-bench  (where the devices and unpacked trees go)
# The trees are written to a tmpfs when there is one: on ext4, creating files just after
# deleting many costs more the more were deleted in the last minutes (new inodes skip the
# recently freed ones), which slows every tool down and each group's later ones the most.
# The small and scale installs and their removals are also counted under strace (system calls
# per file, counted, not timed: counts do not depend on the machine's load).
# Needs hyperfine, zip, unzip, cabextract, gcab, GNU time and strace (the Makefile installs
# them).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-build}")
bin=$build/bin
data=${BENCH_DATA:-/tmp/stowkit-bench}
runs=${BENCH_RUNS:-5}
seed=${BENCH_SEED:-1}
profiles=${BENCH_PROFILES:-small large mixed scale}
app_folder='$(PROGRAMFILES)\Bench'

for tool in hyperfine zip unzip cabextract gcab /usr/bin/time strace; do
  command -v $tool > /dev/null || { echo "bench: $tool is missing (make bench installs it)"; exit 1; }
done

results=$data/results
shm=/dev/shm/stowkit-bench
[ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && [ -w /dev/shm ] || shm=$data/work
work=${BENCH_WORK:-$shm}
rm -rf "$results" "$work"
mkdir -p "$results" "$work"
stat -f -c %T "$work" > "$results/work-fs"
uptime > "$results/load-before"

# hyperfine with the warm-up and run count of every group; the rest of the arguments are
# its own. Output of the measured commands is dropped, failures stop the bench.
measure() {
  local json=$1
  shift
  hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$json" "$@"
}

# Peak memory (KiB, the largest process of the command's tree that was waited for) of one
# run after its preparation: OUT NAME PREPARE COMMAND.
peak() {
  local out=$1 name=$2 prepare=$3 command=$4
  bash -c "$prepare" > /dev/null 2>&1
  /usr/bin/time -f "%M" -o "$work/time.txt" bash -c "$command" > /dev/null 2>&1 ||
    { echo "bench: '$command' failed"; exit 1; }
  printf '%s\t%s\n' "$name" "$(cat "$work/time.txt")" >> "$out"
}

run_profile() {
  local profile=$1
  local set=$data/$profile out=$work/out dev=$work/device pristine=$work/pristine
  local res=$results/$profile
  mkdir -p "$res"
  echo "== $profile: dataset, package and archives"
  python3 "$here/gen_dataset.py" --seed "$seed" --profile "$profile" "$set"
  cd "$set"
  rm -f out.pkg out.zip out.tar.gz out.cab
  "$bin/stowkit-pack" build manifest.toml -o out.pkg
  zip -9 -r -q out.zip files
  tar -cf - files | gzip -9 > out.tar.gz
  # One call: xargs would split many names into several calls, each overwriting the cab.
  local names
  mapfile -t names < <(find files -type f | sort)
  gcab -c -z out.cab "${names[@]}"
  "$bin/stowkit-pack" dump out.pkg | python3 "$here/blob_index.py" "$app_folder" > floor.idx
  rm -rf "$pristine"
  # A device in use: its registry exists before the first install.
  "$bin/stowkit-device" --device "$pristine" init > /dev/null
  "$bin/stowkit-device" --device "$pristine" products > /dev/null

  local fresh="rm -rf '$dev' && cp -a '$pristine' '$dev'"
  local install="'$bin/stowkit-device' --device '$dev' install '$set/out.pkg' --silent"
  local remove="'$bin/stowkit-device' --device '$dev' remove Bench --silent"
  local empty="rm -rf '$out'"
  local untar="rm -rf '$out' && mkdir '$out' && tar -xzf '$set/out.tar.gz' -C '$out'"

  echo "== $profile: install"
  # The floor first and the installer second: on a file system where earlier deletes slow
  # later creates, any such drift then works against the installer, not for it.
  measure "$res/install.json" \
    -n "floor" --prepare "$empty" "'$bin/bench-floor' '$set/out.pkg' '$set/floor.idx' '$out'" \
    -n "stowkit-device install" --prepare "$fresh" "$install" \
    -n "unzip -q -o" --prepare "$empty" "unzip -q -o '$set/out.zip' -d '$out'" \
    -n "tar -xzf" --prepare "$empty && mkdir '$out'" "tar -xzf '$set/out.tar.gz' -C '$out'" \
    -n "cabextract" --prepare "$empty" "cabextract -q -d '$out' '$set/out.cab'" \
    -n "gcab -x" --prepare "$empty && mkdir '$out'" "gcab -x -C '$out' '$set/out.cab'"
  echo "== $profile: removal"
  measure "$res/remove.json" \
    -n "stowkit-device remove" --prepare "$fresh && $install" "$remove" \
    -n "rm -rf" --prepare "$untar" "rm -rf '$out'"
  echo "== $profile: build"
  measure "$res/build.json" \
    -n "stowkit-pack build" --prepare "rm -f '$work/b.pkg'" \
    "'$bin/stowkit-pack' build '$set/manifest.toml' -o '$work/b.pkg'" \
    -n "zip -9 -r" --prepare "rm -f '$work/b.zip'" "cd '$set' && zip -9 -r -q '$work/b.zip' files"

  echo "== $profile: peak memory"
  local mem=$res/memory.tsv
  : > "$mem"
  peak "$mem" "stowkit-device install" "$fresh" "$install"
  peak "$mem" "unzip -q -o" "$empty" "unzip -q -o '$set/out.zip' -d '$out'"
  peak "$mem" "tar -xzf" "$empty && mkdir '$out'" "tar -xzf '$set/out.tar.gz' -C '$out'"
  peak "$mem" "cabextract" "$empty" "cabextract -q -d '$out' '$set/out.cab'"
  peak "$mem" "gcab -x" "$empty && mkdir '$out'" "gcab -x -C '$out' '$set/out.cab'"
  peak "$mem" "floor" "$empty" "'$bin/bench-floor' '$set/out.pkg' '$set/floor.idx' '$out'"
  peak "$mem" "stowkit-device remove" "$fresh && $install" "$remove"
  peak "$mem" "rm -rf" "$untar" "rm -rf '$out'"
  peak "$mem" "stowkit-pack build" "rm -f '$work/b.pkg'" \
    "'$bin/stowkit-pack' build '$set/manifest.toml' -o '$work/b.pkg'"
  peak "$mem" "zip -9 -r" "rm -f '$work/b.zip'" "cd '$set' && zip -9 -r -q '$work/b.zip' files"

  if [ "$profile" = small ] || [ "$profile" = scale ]; then
    echo "== $profile: system calls"
    bash -c "$fresh"
    eval strace -f -c -o "'$res/install.strace'" "$install" > /dev/null
    eval strace -f -c -o "'$res/remove.strace'" "$remove" > /dev/null
  fi

  python3 - "$set" "$res/sizes.json" <<'PY'
import json, os, sys
root = sys.argv[1]
paths = [os.path.join(d, n) for d, _, ns in os.walk(os.path.join(root, "files")) for n in ns]
sizes = {"files": len(paths), "content": sum(map(os.path.getsize, paths))}
for name in ("out.pkg", "out.zip", "out.tar.gz", "out.cab"):
    sizes[name] = os.path.getsize(os.path.join(root, name))
json.dump(sizes, open(sys.argv[2], "w"))
PY
  rm -rf "$out" "$dev"
}

for profile in $profiles; do run_profile "$profile"; done

# The registry merge on a package that holds only the registry text of the first profile.
first=${profiles%% *}
registry=$work/registry
mkdir -p "$registry"
cp "$data/$first/bench.registry" "$registry/"
cat > "$registry/manifest.toml" <<'TOML'
[package]
version = "1.0.0.0"
[package.properties]
AppName = "Bench"
[[entry]]
type = "Registry"
flags = ["BlobCompressed", "ShouldInstall"]
source = "bench.registry"
TOML
"$bin/stowkit-pack" build "$registry/manifest.toml" -o "$registry/registry.pkg"
echo "== registry merge"
"$bin/merge-bench" --runs "$runs" --json "$results/registry.json" "$registry/registry.pkg"

uptime > "$results/load-after"
rm -rf "$work"
python3 "$here/report.py" "$results" $profiles
