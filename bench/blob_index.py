#!/usr/bin/env python3
"""The index that bench-floor reads, from `stowkit-pack dump` of a package on standard
input: one line "OFFSET LENGTH CRC RELATIVE/PATH" per compressed AppFile entry, the path
being its Dst below the application folder ("$(PROGRAMFILES)\\Bench\\d01\\f0001.txt" gives
"d01/f0001.txt").

    stowkit-pack dump PKG | bench/blob_index.py 'APP_FOLDER' > INDEX"""
import re
import sys


def entries(text):
    # Each entry starts with its "Entry N: TYPE" line; its fields follow as "Name: value".
    for block in re.split(r"^\s*Entry \d+: ", text, flags=re.M)[1:]:
        kind = block.split("\n", 1)[0].strip()
        fields = dict(re.findall(r"^\s*(\w[\w ]*?): (.*?)\r?$", block, flags=re.M))
        yield kind, fields


def main():
    folder = sys.argv[1].rstrip("\\") + "\\"
    for kind, fields in entries(sys.stdin.read()):
        if kind != "AppFile":
            continue
        if not fields["Dst"].startswith(folder) or "BlobCompressed" not in fields["Entry Flags"]:
            sys.exit(f"blob_index: {fields['Dst']} is not a compressed file below {folder}")
        relative = fields["Dst"][len(folder):].replace("\\", "/")
        print(fields["BlobOffset"], fields["BlobLength"], fields["FinalCRC"], relative)
    return 0


if __name__ == "__main__":
    sys.exit(main())
