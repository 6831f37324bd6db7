#!/usr/bin/env python3
"""A seeded dataset for the benchmarks, in one of four profiles:

    small  2,000 files of 1-16 KiB in 40 nested folders
    large  20 files of 8 MiB
    mixed  both
    scale  20,000 files of 1-16 KiB in 2,000 nested folders: small ten times over, to show
           that the time and system calls per file do not grow with the package

Half the files are text-like (deflate shrinks them 3-5x), half binary-like (about 1.1x).
Beside them: bench.registry, a registry text of 2,000 values, and a stowkit-pack manifest
(manifest.toml) whose package installs the folders, every file (compressed) and the
registry text under "$(PROGRAMFILES)\\Bench".

    bench/gen_dataset.py [--seed N] [--profile small|large|mixed|scale] OUT_DIR

The same seed and profile always give the same bytes; an OUT_DIR already made with them is
kept."""
import argparse
import itertools
import os
import random
import sys

# Files of 1-16 KiB and the folders they are spread in, per profile.
SMALL_FILES = {"small": 2000, "mixed": 2000, "scale": 20000}
FOLDERS = {"small": 40, "mixed": 40, "large": 40, "scale": 2000}
LARGE_FILES = 20
LARGE_SIZE = 8 * 1024 * 1024
REGISTRY_VALUES = 2000
REGISTRY_KEYS = 20
APP_DIR = "$(PROGRAMFILES)\\Bench"


def vocabulary(rng):
    letters = "etaoinshrdlucmfwypvbgkjqxz"
    weights = [12, 9, 8, 8, 7, 7, 6, 6, 6, 4, 4, 3, 3, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1]
    words = ["".join(rng.choices(letters, weights, k=rng.randint(2, 10))) for _ in range(3000)]
    # Few words are common and most are rare, as in prose and source code.
    return words, list(itertools.accumulate(1.0 / (rank + 1) for rank in range(len(words))))


def text_like(rng, size, words, cumulative):
    out = bytearray()
    while len(out) < size:
        words_in_line = rng.choices(words, cum_weights=cumulative, k=rng.randint(4, 14))
        out += (" " * rng.choice((0, 2, 4)) + " ".join(words_in_line) + "\n").encode()
    return bytes(out[:size])


def binary_like(rng, size):
    # Mostly noise, with a small repeated record in each 4 KiB, as in media and executables.
    out = bytearray()
    record = rng.randbytes(16)
    while len(out) < size:
        out += rng.randbytes(3712) + record * 24
    return bytes(out[:size])


def folders(rng, count):
    tree = [""]
    digits = len(str(count))
    while len(tree) < count + 1:
        parent = rng.choice(tree)
        name = f"d{len(tree):0{max(digits, 2)}d}"
        tree.append(f"{parent}/{name}" if parent else name)
    return tree[1:]


def device_path(relative):
    return APP_DIR + "".join("\\" + part for part in relative.split("/") if part)


def toml_text(text):
    return '"' + text.replace("\\", "\\\\") + '"'


def folder_entry(relative):
    return (f'[[entry]]\ntype = "Folder"\nflags = ["ShouldInstall"]\n'
            f"[entry.properties]\nDst = {toml_text(device_path(relative))}\n")


def file_entry(relative):
    return (f'[[entry]]\ntype = "AppFile"\nflags = ["BlobCompressed", "ShouldInstall"]\n'
            f'source = "files/{relative}"\n[entry.properties]\nDst = {toml_text(device_path(relative))}\n')


def write_file(root, relative, data):
    path = os.path.join(root, "files", relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# Text values (with a macro, as packages have) and number values under a few keys.
def registry_text(rng):
    lines = ["// Bench registry values"]
    for i in range(REGISTRY_VALUES):
        key = f"Software\\Bench\\Group{i % REGISTRY_KEYS:02d}"
        if i % 4 == 3:
            lines.append(f"HKLM, {key}, 1, Count{i:04d}, {rng.randint(0, 1 << 30)}, , ")
        else:
            rule = "NoOverwrite" if i % 10 == 0 else ""
            data = f"$(PROGRAMFILES)\\Bench\\file{i:04d}.txt, {rng.randint(0, 99999)}"
            lines.append(f'HKLM, {key}, 0, Path{i:04d}, "{data}", {rule}, ')
    return ("\n".join(lines) + "\n").encode()


def generate(root, seed, profile):
    rng = random.Random(seed)
    words, weights = vocabulary(rng)
    tree = folders(rng, FOLDERS[profile])
    files = []
    if profile in SMALL_FILES:
        count = SMALL_FILES[profile]
        digits = max(len(str(count - 1)), 4)
        for i in range(count):
            size = rng.randint(1024, 16 * 1024)
            text = i % 2 == 0
            data = text_like(rng, size, words, weights) if text else binary_like(rng, size)
            relative = f"{rng.choice(tree)}/f{i:0{digits}d}.{'txt' if text else 'bin'}"
            write_file(root, relative, data)
            files.append(relative)
    else:
        tree = []
    if profile in ("large", "mixed"):
        tree.append("large")
        for i in range(LARGE_FILES):
            text = i % 2 == 0
            data = text_like(rng, LARGE_SIZE, words, weights) if text else binary_like(rng, LARGE_SIZE)
            relative = f"large/l{i:02d}.{'txt' if text else 'bin'}"
            write_file(root, relative, data)
            files.append(relative)
    with open(os.path.join(root, "bench.registry"), "wb") as f:
        f.write(registry_text(rng))

    manifest = ['[package]\nversion = "1.0.0.0"\n[package.properties]\nAppName = "Bench"\n']
    # Parents before their subfolders.
    manifest.append(folder_entry(""))
    manifest += [folder_entry(folder) for folder in sorted(tree, key=lambda f: f.count("/"))]
    manifest += [file_entry(relative) for relative in files]
    manifest.append('[[entry]]\ntype = "Registry"\nflags = ["BlobCompressed", "ShouldInstall"]\n'
                    'source = "bench.registry"\n')
    with open(os.path.join(root, "manifest.toml"), "w") as f:
        f.write("\n".join(manifest))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--profile", choices=("small", "large", "mixed", "scale"), default="mixed")
    parser.add_argument("out")
    args = parser.parse_args()
    stamp = os.path.join(args.out, "seed")
    mark = f"{args.seed} {args.profile}"
    if os.path.exists(stamp) and open(stamp).read() == mark:
        return 0
    if os.path.exists(args.out) and os.listdir(args.out):
        sys.exit(f"gen_dataset: {args.out} holds something else; give a new folder")
    generate(args.out, args.seed, args.profile)
    with open(stamp, "w") as f:
        f.write(mark)
    return 0


if __name__ == "__main__":
    sys.exit(main())
