#!/bin/bash
# Peak memory of stowkit-pack on a 256 MiB file: build (one compressed and one stored entry
# of it), verify and unpack. Blobs stream through fixed 16 KiB buffers, so every command
# must stay under 32 MiB whatever the file's size.
#   bench/memory.sh [BUILD_DIR]        (default: build)
set -euo pipefail
build=${1:-build}
pack=$(realpath "$build/bin/stowkit-pack")
limit_kib=$((32 * 1024))
[ -x /usr/bin/time ] || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time; }

work=$(mktemp -d /tmp/stowkit-memory-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
# Half noise, half text: the deflater works hard on both kinds.
head -c 128M /dev/urandom > big.bin
{ base64 -w 76 /dev/urandom | head -c 128M >> big.bin; } || true  # base64 ends on SIGPIPE
cat > manifest.toml <<'TOML'
[[entry]]
type = "AppFile"
flags = ["BlobCompressed", "ShouldInstall"]
source = "big.bin"
[entry.properties]
Dst = "\\big.bin"

[[entry]]
type = "AppFile"
flags = ["ShouldInstall"]
source = "big.bin"
[entry.properties]
Dst = "\\big-stored.bin"
TOML

status=0
measure() {
  local name=$1
  shift
  /usr/bin/time -v "$@" > /dev/null 2> time.txt || { cat time.txt; exit 1; }
  local kib seconds
  kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' time.txt)
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' time.txt)
  local verdict=ok
  [ "$kib" -lt "$limit_kib" ] || { verdict="OVER 32 MiB"; status=1; }
  printf '%-8s peak %6d KiB (%5.1f MiB)  wall %s  %s\n' "$name" "$kib" "$(awk "BEGIN {print $kib / 1024}")" "$seconds" "$verdict"
}

echo "stowkit-pack on a 256 MiB file ($(du -m big.bin | cut -f1) MiB), limit 32 MiB:"
measure build "$pack" build manifest.toml -o big.pkg
echo "package: $(du -m big.pkg | cut -f1) MiB"
measure verify "$pack" verify big.pkg
measure unpack "$pack" unpack big.pkg -o unpacked
cmp -s big.bin unpacked/blobs/001-big.bin && cmp -s big.bin unpacked/blobs/002-big-stored.bin ||
  { echo "unpacked content differs"; status=1; }
exit $status
