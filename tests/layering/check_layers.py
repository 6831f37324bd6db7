#!/usr/bin/env python3
"""Fails when a file includes a header of a layer above its own, or a host header outside
src/platform/. Prints one line per violation: FILE:LINE includes HEADER (layer X above Y)."""
import pathlib
import re
import sys

# What each layer may include, itself included. text and platform sit at the bottom; above
# the platform only its public API (include/coredll/) is seen, never its own headers. The
# resources are data with dialog templates over the platform's types, a peer of the services.
BELOW_SERVICES = {"coredll", "text"}
ALLOWED = {
    "text": {"text"},
    "coredll": {"coredll"},
    "platform": {"platform", "coredll", "text"},
    "stowkit": {"stowkit", "coredll"},
    "resources": {"resources"} | BELOW_SERVICES,
    "services": {"services"} | BELOW_SERVICES,
    "package": {"package", "services"} | BELOW_SERVICES,
    "engine": {"engine", "package", "services", "resources", "stowkit"} | BELOW_SERVICES,
    "shell": {"shell", "engine", "package", "services", "resources", "stowkit"} | BELOW_SERVICES,
    "setupext": {"setupext", "services", "stowkit"} | BELOW_SERVICES,
    # wceload, unload and what they share run on the device like the setup extension.
    "device-tools": {"services", "stowkit"} | BELOW_SERVICES,
}
# How high each layer sits; an include that is not allowed is reported as reaching above or
# beside its own layer.
RANK = {"text": 0, "coredll": 0, "platform": 1, "stowkit": 1, "resources": 2, "services": 2,
        "package": 3, "setupext": 3, "device-tools": 3, "engine": 4, "shell": 5}
# Include prefixes as spelled in the sources, and the layer each belongs to.
PREFIX_LAYER = {"coredll": "coredll", "stowkit": "stowkit", "text": "text",
                "platform": "platform", "resources": "resources", "services": "services",
                "package": "package", "engine": "engine", "shell": "shell",
                "setupext": "setupext"}
HOST = re.compile(r"^(unistd\.h|fcntl\.h|dirent\.h|pthread\.h|sqlite3\.h|sys/.*)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def layer_of(path, root):
    parts = path.relative_to(root).parts
    if parts[0] == "src":
        return parts[1]
    if parts[0] == "include":
        return PREFIX_LAYER[parts[1]]
    return "device-tools"


def violations(root):
    for top in ("src", "include", "tools/cab", "tools/wceload", "tools/unload"):
        for path in sorted((root / top).rglob("*")):
            if path.suffix not in (".h", ".hpp", ".cpp", ".c", ".inc") or not path.is_file():
                continue
            own = layer_of(path, root)
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                header = match.group(2)
                rel = path.relative_to(root)
                if HOST.match(header) and own != "platform":
                    yield f"{rel}:{number} includes {header} (host header in layer {own} above platform)"
                    continue
                if match.group(1) != '"' or "/" not in header:
                    continue
                target = PREFIX_LAYER.get(header.split("/")[0])
                if target is not None and target not in ALLOWED[own]:
                    where = "above" if RANK[target] > RANK[own] else "beside"
                    if target == "platform":
                        where = "internal, seen only through include/coredll/ from"
                    yield f"{rel}:{number} includes {header} (layer {target} {where} {own})"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = list(violations(root))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
