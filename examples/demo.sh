#!/bin/sh
# The demo: builds the example package, installs it on the default device (with the
# progress dialog in a terminal, silently otherwise), shows what the install left there,
# then removes it again.
#   examples/demo.sh BUILD_FOLDER
set -eu
build=$(cd "${1:-build}" && pwd)
examples=$(cd "$(dirname "$0")" && pwd)
device="$build/bin/stowkit-device"
stage="$build/demo"

step() { printf '\n== %s\n' "$*"; }

# The dialog needs a terminal on both sides; without one the run is silent.
if [ -t 0 ] && [ -t 1 ]; then silent=""; else silent="s"; fi

step "Building the example package"
rm -rf "$stage"
mkdir -p "$stage"
cp -R "$examples/notes/." "$stage/"
cp "$build/lib/libexample_custom.so" "$stage/"
"$build/bin/stowkit-pack" build "$stage/notes.toml" -o "$stage/notes.pkg"

step "Preparing the device"
"$device" init
"$device" push "$stage/notes.pkg" '\Temp\notes.pkg'

step "Installing: stowkit /i$silent \\Temp\\notes.pkg"
"$device" run '\Windows\stowkit.exe' "/i$silent" '\Temp\notes.pkg'

step "The install log"
"$device" pull '\Stowkit_log_Notes.txt' "$stage/install-log.txt"
iconv -f UTF-16LE -t UTF-8 "$stage/install-log.txt" | tr -d '\r'

step "The product record"
"$device" products

step "The registry it wrote"
"$device" reg export 'HKEY_LOCAL_MACHINE\Software\Notes'
"$device" reg export 'HKEY_CURRENT_USER\Software\Notes'

step "The files it wrote"
"$device" ls -l '\Program Files\Notes'

step "Removing: stowkit /x$silent \\Temp\\notes.pkg"
"$device" run '\Windows\stowkit.exe' "/x$silent" '\Temp\notes.pkg'

step "The removal log"
"$device" pull '\Unstowkit_log_Notes.txt' "$stage/removal-log.txt"
iconv -f UTF-16LE -t UTF-8 "$stage/removal-log.txt" | tr -d '\r'

step "Products after the removal"
"$device" products
