#!/usr/bin/env python3
"""A seeded dataset for the packing benchmark: 2,000 small files (1-16 KiB) in 40 nested
folders and 20 files of 8 MiB, half text-like (deflate shrinks it 3-5x) and half
binary-like (about 1.1x), with a stowkit-pack manifest that packs every file compressed.

    bench/gen_dataset.py [--seed N] OUT_DIR

The same seed always gives the same bytes; an OUT_DIR already made with the seed is kept."""
import argparse
import itertools
import os
import random
import sys

SMALL_FILES = 2000
FOLDERS = 40
LARGE_FILES = 20
LARGE_SIZE = 8 * 1024 * 1024


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


def folders(rng):
    tree = [""]
    while len(tree) < FOLDERS + 1:
        parent = rng.choice(tree)
        tree.append(f"{parent}/d{len(tree):02d}" if parent else f"d{len(tree):02d}")
    return tree[1:]


def write(root, relative, data, manifest):
    path = os.path.join(root, "files", relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    dst = "\\\\Program Files\\\\Bench\\\\" + relative.replace("/", "\\\\")
    manifest.append(
        f'[[entry]]\ntype = "AppFile"\nflags = ["BlobCompressed", "ShouldInstall"]\n'
        f'source = "files/{relative}"\n[entry.properties]\nDst = "{dst}"\n'
    )


def generate(root, seed):
    rng = random.Random(seed)
    words, weights = vocabulary(rng)
    tree = folders(rng)
    manifest = ['[package]\nversion = "1.0.0.0"\n[package.properties]\nAppName = "Bench"\n']
    for i in range(SMALL_FILES):
        size = rng.randint(1024, 16 * 1024)
        text = i % 2 == 0
        data = text_like(rng, size, words, weights) if text else binary_like(rng, size)
        write(root, f"{rng.choice(tree)}/f{i:04d}.{'txt' if text else 'bin'}", data, manifest)
    for i in range(LARGE_FILES):
        text = i % 2 == 0
        data = text_like(rng, LARGE_SIZE, words, weights) if text else binary_like(rng, LARGE_SIZE)
        write(root, f"large/l{i:02d}.{'txt' if text else 'bin'}", data, manifest)
    with open(os.path.join(root, "manifest.toml"), "w") as f:
        f.write("\n".join(manifest))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("out")
    args = parser.parse_args()
    stamp = os.path.join(args.out, "seed")
    if os.path.exists(stamp) and open(stamp).read() == str(args.seed):
        return 0
    if os.path.exists(args.out) and os.listdir(args.out):
        sys.exit(f"gen_dataset: {args.out} holds something else; give a new folder")
    generate(args.out, args.seed)
    with open(stamp, "w") as f:
        f.write(str(args.seed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
