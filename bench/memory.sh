#!/bin/bash
# Peak memory of stowkit-pack on a 256 MiB file: build (one compressed and one stored entry
# of it), verify and unpack. Blobs stream through fixed 16 KiB buffers, so every command
# must stay under 32 MiB whatever the file's size.
# Then on a package of WIDE_FILES empty files (default 1000000; 0 skips it): dump, verify
# and lint hold the catalog's entries, never its text or a copy of its paths, so each must
# stay under 4 times the catalog's size plus 32 MiB.
#   bench/memory.sh [BUILD_DIR]        (default: build)
set -euo pipefail
build=${1:-build}
pack=$(realpath "$build/bin/stowkit-pack")
bench=$(dirname "$(realpath "$0")")
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
  local name=$1 limit_kib=${LIMIT_KIB:-$limit_kib}
  shift
  /usr/bin/time -v "$@" > /dev/null 2> time.txt || { cat time.txt; exit 1; }
  local kib seconds
  kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' time.txt)
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' time.txt)
  local verdict=ok
  [ "$kib" -lt "$limit_kib" ] || { verdict="OVER $((limit_kib / 1024)) MiB"; status=1; }
  printf '%-8s peak %6d KiB (%5.1f MiB)  wall %s  %s\n' "$name" "$kib" "$(awk "BEGIN {print $kib / 1024}")" "$seconds" "$verdict"
}

echo "stowkit-pack on a 256 MiB file ($(du -m big.bin | cut -f1) MiB), limit 32 MiB:"
measure build "$pack" build manifest.toml -o big.pkg
echo "package: $(du -m big.pkg | cut -f1) MiB"
measure verify "$pack" verify big.pkg
measure unpack "$pack" unpack big.pkg -o unpacked
cmp -s big.bin unpacked/blobs/001-big.bin && cmp -s big.bin unpacked/blobs/002-big-stored.bin ||
  { echo "unpacked content differs"; status=1; }
rm -rf big.bin big.pkg unpacked

wide_files=${WIDE_FILES:-1000000}
if [ "$wide_files" -gt 0 ]; then
  python3 "$bench/gen_wide.py" "$wide_files" 1000 wide
  (cd wide && "$pack" build manifest.toml -o ../wide.pkg > /dev/null)
  catalog=$("$pack" dump wide.pkg 2> /dev/null | awk '/CatalogLen:/ && !seen {print $2; seen = 1}')
  wide_limit=$((catalog * 4 / 1024 + 32 * 1024))
  echo "stowkit-pack on $wide_files empty files (catalog $((catalog / 1024)) KiB), limit $((wide_limit / 1024)) MiB:"
  for command in dump verify lint; do LIMIT_KIB=$wide_limit measure "$command" "$pack" "$command" wide.pkg; done
fi
exit $status
