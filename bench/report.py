#!/usr/bin/env python3
"""Prints what bench/run.sh measured: per profile the medians of the installs (with their
ratio to the floor), removals and builds, every command's peak memory and, for small and
scale, the system calls per file of the install and removal; then scale against small per
file, the registry merge, the targets met or missed, and the machine with its load.

    bench/report.py RESULTS_DIR PROFILE..."""
import json
import os
import platform
import sys

MIB = 1024 * 1024
# Most an install may take, as a multiple of the floor, per profile (scale's files are
# small's kind of file, so it is held to small's).
INSTALL_TARGETS = {"small": 1.6, "large": 1.05, "mixed": 1.15, "scale": 1.6}
REMOVAL_TARGET = 4.0
REGISTRY_TARGET = 3.0
MEMORY_TARGET_KIB = 32 * 1024
# Most system calls an installed and a removed file may cost on average (strace -f -c).
INSTALL_CALLS_TARGET = 8.0
REMOVAL_CALLS_TARGET = 5.0
# Most the scale profile's install and removal may take per file, as a multiple of small's.
SCALE_TARGET = 1.2
TOP_CALLS = 6


def medians(path):
    return {r["command"]: r["median"] for r in json.load(open(path))["results"]}


def memory(path):
    return {name: int(kib) for name, kib in (line.rstrip("\n").split("\t") for line in open(path))}


def syscall_counts(path):
    """{syscall: calls} and the total from the table of `strace -c`."""
    counts, total = {}, 0
    for line in open(path):
        fields = line.split()
        if len(fields) < 5 or not fields[0].replace(".", "").isdigit():
            continue
        calls = int(fields[3])
        if fields[-1] == "total":
            total = calls
        else:
            counts[fields[-1]] = calls
    return counts, total


# The two groups that are compared per file: (title, the results' name, our command).
PER_FILE_GROUPS = (("install", "install", "stowkit-device install"),
                   ("removal", "remove", "stowkit-device remove"))


def syscall_report(res, files, verdicts, profile):
    for (title, name, _), limit in zip(PER_FILE_GROUPS, (INSTALL_CALLS_TARGET, REMOVAL_CALLS_TARGET)):
        path = os.path.join(res, f"{name}.strace")
        if not os.path.exists(path):
            return
        counts, total = syscall_counts(path)
        per_file = total / files
        top = sorted(counts.items(), key=lambda item: -item[1])[:TOP_CALLS]
        print(f"  {title:<9}system calls {total:7d}, {per_file:5.2f} per file; "
              + ", ".join(f"{call} {calls / files:.2f}" for call, calls in top))
        verdicts.append((f"{title} {profile} <= {limit:.0f} system calls per file",
                         f"{per_file:.2f}", per_file <= limit))


def profile_report(results, profile, verdicts):
    res = os.path.join(results, profile)
    sizes = json.load(open(os.path.join(res, "sizes.json")))
    install, remove, build = (medians(os.path.join(res, f"{g}.json"))
                              for g in ("install", "remove", "build"))
    peak = memory(os.path.join(res, "memory.tsv"))
    print(f"\n{profile}: {sizes['files']} files, {sizes['content'] / MIB:.1f} MiB; package "
          f"{sizes['out.pkg'] / MIB:.1f} MiB, zip {sizes['out.zip'] / MIB:.1f}, "
          f"tar.gz {sizes['out.tar.gz'] / MIB:.1f}, cab {sizes['out.cab'] / MIB:.1f}")
    floor = install["floor"]
    print(f"  {'install':<24}{'median s':>10}{'x floor':>9}{'peak MiB':>10}")
    for name, seconds in install.items():
        print(f"  {name:<24}{seconds:10.3f}{seconds / floor:9.2f}{peak[name] / 1024:10.1f}")
    for title, group, ours, theirs in (("removal", remove, "stowkit-device remove", "rm -rf"),
                                       ("build", build, "stowkit-pack build", "zip -9 -r")):
        print(f"  {title:<9}{ours:<22}{group[ours]:7.3f} s ({peak[ours] / 1024:5.1f} MiB)   "
              f"{theirs:<9}{group[theirs]:7.3f} s ({peak[theirs] / 1024:5.1f} MiB)   "
              f"ratio {group[ours] / group[theirs]:.2f}")
    syscall_report(res, sizes["files"], verdicts, profile)
    ratio = install["stowkit-device install"] / floor
    limit = INSTALL_TARGETS[profile]
    verdicts.append((f"install {profile} <= {limit:.2f}x floor", f"{ratio:.2f}x", ratio <= limit))
    ratio = remove["stowkit-device remove"] / remove["rm -rf"]
    verdicts.append((f"removal {profile} <= {REMOVAL_TARGET:.0f}x rm -rf", f"{ratio:.2f}x",
                     ratio <= REMOVAL_TARGET))
    kib = peak["stowkit-device install"]
    verdicts.append((f"install {profile} peak memory < 32 MiB", f"{kib / 1024:.1f} MiB",
                     kib < MEMORY_TARGET_KIB))


def per_file(results, profile):
    """{group name: (median seconds, system calls or None) per file} of one profile."""
    res = os.path.join(results, profile)
    files = json.load(open(os.path.join(res, "sizes.json")))["files"]
    figures = {}
    for _, name, ours in PER_FILE_GROUPS:
        strace = os.path.join(res, f"{name}.strace")
        calls = syscall_counts(strace)[1] / files if os.path.exists(strace) else None
        figures[name] = (medians(os.path.join(res, f"{name}.json"))[ours] / files, calls)
    return figures


# Ten times the files in fifty times the folders: what an install or removal costs per file
# must not grow with the package.
def scale_report(results, verdicts):
    small, scale = per_file(results, "small"), per_file(results, "scale")
    print("\nscale against small, per file:")
    for title, name, _ in PER_FILE_GROUPS:
        (small_s, small_calls), (scale_s, scale_calls) = small[name], scale[name]
        ratio = scale_s / small_s
        calls = ""
        if small_calls is not None and scale_calls is not None:
            calls = (f"; system calls {scale_calls:.2f} against {small_calls:.2f}, "
                     f"ratio {scale_calls / small_calls:.2f}")
        print(f"  {title:<9}{scale_s * 1e3:7.3f} ms against {small_s * 1e3:7.3f} ms, "
              f"ratio {ratio:.2f}{calls}")
        verdicts.append((f"{title} scale per file <= {SCALE_TARGET:.1f}x small", f"{ratio:.2f}x",
                         ratio <= SCALE_TARGET))


def machine(results):
    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                if line.startswith("model name")), "?")
    total = next(int(line.split()[1]) for line in open("/proc/meminfo")
                 if line.startswith("MemTotal")) // 1024
    load = [open(os.path.join(results, f"load-{when}")).read().split("load average:")[1].strip()
            for when in ("before", "after")]
    work_fs = open(os.path.join(results, "work-fs")).read().strip()
    return (f"machine: {cpu}, {os.cpu_count()} cores, {total} MiB, {platform.system()} "
            f"{platform.release()}; trees written to {work_fs}; load average {load[0]} before, "
            f"{load[1]} after")


def main():
    results, profiles = sys.argv[1], sys.argv[2:]
    verdicts = []
    for profile in profiles:
        profile_report(results, profile, verdicts)
    if "small" in profiles and "scale" in profiles:
        scale_report(results, verdicts)
    registry = json.load(open(os.path.join(results, "registry.json")))
    ratio = registry["merge_ms"] / registry["insert_ms"]
    print(f"\nregistry: merge of {registry['values']} values {registry['merge_ms']:.1f} ms, "
          f"SQLite in one transaction {registry['insert_ms']:.1f} ms, ratio {ratio:.2f}")
    verdicts.append((f"registry merge <= {REGISTRY_TARGET:.0f}x one transaction", f"{ratio:.2f}x",
                     ratio <= REGISTRY_TARGET))
    print("\ntargets:")
    for what, figure, met in verdicts:
        print(f"  {what:<44}{figure:>10}  {'met' if met else 'MISSED'}")
    print("\n" + machine(results))
    return 0


if __name__ == "__main__":
    sys.exit(main())
