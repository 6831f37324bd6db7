#!/usr/bin/env python3
"""A package manifest of many empty files, for measuring how the tools scale with the catalog:
FILES AppFile entries spread over FOLDERS folders (each with its Folder entry), every one
installing the same empty source file under "$(PROGRAMFILES)\\Wide".

    bench/gen_wide.py FILES FOLDERS OUT_DIR"""
import os
import sys

APP_DIR = "$(PROGRAMFILES)\\\\Wide"


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    files, folders, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    os.makedirs(out, exist_ok=True)
    open(os.path.join(out, "empty"), "wb").close()
    with open(os.path.join(out, "manifest.toml"), "w") as f:
        f.write('[package]\nversion = "1.0.0.0"\n[package.properties]\nAppName = "Wide"\n')
        f.write(f'[[entry]]\ntype = "Folder"\nflags = ["ShouldInstall"]\n[entry.properties]\nDst = "{APP_DIR}"\n')
        for d in range(folders):
            f.write(f'[[entry]]\ntype = "Folder"\nflags = ["ShouldInstall"]\n'
                    f'[entry.properties]\nDst = "{APP_DIR}\\\\d{d:05d}"\n')
        for i in range(files):
            f.write(f'[[entry]]\ntype = "AppFile"\nflags = ["ShouldInstall"]\nsource = "empty"\n'
                    f'[entry.properties]\nDst = "{APP_DIR}\\\\d{i % folders:05d}\\\\f{i:07d}.txt"\n')
    return 0


if __name__ == "__main__":
    sys.exit(main())
