#!/bin/bash
# stowkit-pack build and verify side by side with zip -9 -r and unzip -t on the same files
# (bench/gen_dataset.py), timed by hyperfine; prints medians, ratios and the machine.
#   bench/pack.sh [BUILD_DIR]      (default: build)
#   BENCH_DATA=/tmp/stowkit-bench BENCH_RUNS=5 BENCH_SEED=1   (uses make bench's mixed dataset)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
pack=$(realpath "$build/bin/stowkit-pack")
data=${BENCH_DATA:-/tmp/stowkit-bench}/mixed
runs=${BENCH_RUNS:-5}

missing=""
for tool in hyperfine zip unzip; do command -v $tool > /dev/null || missing="$missing $tool"; done
if [ -n "$missing" ]; then
  echo "Installing Debian packages:$missing"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
fi

python3 "$here/gen_dataset.py" --seed "${BENCH_SEED:-1}" "$data"
cd "$data"
hyperfine --style basic --warmup 1 --runs "$runs" --export-json build.json \
  -n "stowkit-pack build" --prepare "rm -f out.pkg" "'$pack' build manifest.toml -o out.pkg" \
  -n "zip -9 -r" --prepare "rm -f out.zip" "zip -9 -r -q out.zip files"
hyperfine --style basic --warmup 1 --runs "$runs" --export-json verify.json \
  -n "stowkit-pack verify" "'$pack' verify out.pkg" \
  -n "unzip -t" "unzip -tq out.zip"

python3 - <<'PY'
import json, os, platform
def medians(name):
    return [r["median"] for r in json.load(open(name))["results"]]
(build, zip_), (verify, test) = medians("build.json"), medians("verify.json")
files = sum(len(f) for _, _, f in os.walk("files"))
content = sum(os.path.getsize(os.path.join(d, n)) for d, _, ns in os.walk("files") for n in ns)
pkg, zipped = os.path.getsize("out.pkg"), os.path.getsize("out.zip")
mib = 1024 * 1024
print(f"\ndata: {files} files, {content / mib:.1f} MiB")
print(f"build   stowkit-pack {build:7.3f} s   zip -9 -r {zip_:7.3f} s   ratio {build / zip_:.2f}")
print(f"verify  stowkit-pack {verify:7.3f} s   unzip -t  {test:7.3f} s   ratio {verify / test:.2f}")
print(f"size    package {pkg / mib:7.2f} MiB   zip {zipped / mib:7.2f} MiB   ratio {pkg / zipped:.3f}")
cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
memory = next(int(l.split()[1]) for l in open("/proc/meminfo") if l.startswith("MemTotal")) // 1024
print(f"machine: {cpu}, {os.cpu_count()} cores, {memory} MiB, {platform.system()} {platform.release()}")
PY
