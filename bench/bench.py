"""Times dustr against find and against the floor program on trees of empty
directories on tmpfs, made fresh for every timed run; the contenders run
alternately, round after round. Prints medians and median ratios, the system
calls per directory (strace) and peak memory.

    python3 bench/bench.py BUILD_DIR [rounds]     (bench/run.sh does it all)
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1])
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 7
DUSTR = os.path.join(BUILD, "dustr")
FLOOR = os.path.join(BUILD, "bench", "floor")
BASE = "/dev/shm"


def count(fanout, depth):
    return sum(fanout ** level for level in range(depth + 1))


def timed(command, cwd):
    """Wall time of one run, its output going to a file."""
    with open(os.path.join(cwd, "..", "out.txt"), "wb") as out:
        start = time.perf_counter()
        rc = subprocess.run(command, cwd=cwd, stdout=out).returncode
        elapsed = time.perf_counter() - start
    if rc not in (0, 1):
        sys.exit("failed: %r" % command)
    return elapsed


def peak_memory(command, fanout, depth):
    """Peak resident memory (KiB) of one run on a fresh tree."""
    work = fresh_tree(fanout, depth)
    try:
        with open(os.path.join(work, "out.txt"), "wb") as out:
            result = subprocess.run([FLOOR, "peak"] + command, stdout=out,
                                    stderr=subprocess.PIPE,
                                    cwd=os.path.join(work, "run"))
        return int(result.stderr.split()[-1])
    finally:
        shutil.rmtree(work)


def fresh_tree(fanout, depth):
    work = tempfile.mkdtemp(dir=BASE, prefix="dustr-bench-")
    os.mkdir(os.path.join(work, "run"))
    subprocess.run([FLOOR, "make", "run/T", str(fanout), str(depth)], cwd=work,
                   check=True)
    return work


def race(contenders, fanout, depth, rounds, depths=None):
    """{name: [seconds...]}, {name: peak KiB}; a fresh tree for every run,
    `depth` levels deep unless depths names another depth for a contender."""
    depths = depths or {}
    times = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, command in contenders.items():
            work = fresh_tree(fanout, depths.get(name, depth))
            try:
                times[name].append(timed(command, os.path.join(work, "run")))
            finally:
                shutil.rmtree(work)
    peak = {name: peak_memory(command, fanout, depths.get(name, depth))
            for name, command in contenders.items()}
    return times, peak


def syscalls_per_directory(fanout, depth):
    work = fresh_tree(fanout, depth)
    try:
        summary = os.path.join(work, "strace.txt")
        with open(os.path.join(work, "out.txt"), "wb") as out:
            subprocess.run(["strace", "-f", "-c", "-o", summary, DUSTR, "T"],
                           cwd=os.path.join(work, "run"), stdout=out, check=True)
        for line in open(summary):
            fields = line.split()
            if fields[-1:] == ["total"]:
                return int(fields[3]) / count(fanout, depth)
    finally:
        shutil.rmtree(work)


def report(title, times, peak, against):
    print("\n%s (median of %d runs)" % (title, len(next(iter(times.values())))))
    medians = {name: statistics.median(t) for name, t in times.items()}
    for name, median in medians.items():
        print("  %-34s %8.3f s  peak %6.1f MiB" % (name, median, peak[name] / 1024))
    for a, b in against:
        ratios = [x / y for x, y in zip(times[a], times[b])]
        print("  %s / %s = %.2f (median ratio)" % (a, b, statistics.median(ratios)))


def main():
    fanout, depth = 10, 5
    dirs = count(fanout, depth)
    print("tree: %d empty directories (%d per directory, %d levels below the top) on %s"
          % (dirs, fanout, depth, BASE))
    times, peak = race({
        "dustr T": [DUSTR, "T"],
        "floor sweep T": [FLOOR, "sweep", "T"],
        "find T -depth -type d -empty -delete":
            ["find", "T", "-depth", "-type", "d", "-empty", "-delete"],
    }, fanout, depth, ROUNDS)
    report("removal", times, peak, [
        ("dustr T", "find T -depth -type d -empty -delete"),
        ("dustr T", "floor sweep T")])

    times, peak = race({
        "dustr -l T": [DUSTR, "-l", "T"],
        "find T -type d -empty": ["find", "T", "-type", "d", "-empty"],
    }, fanout, depth, ROUNDS)
    report("list mode", times, peak, [("dustr -l T", "find T -type d -empty")])

    # The small and the large tree take turns, so both see the same machine.
    big = count(fanout, depth + 1)
    small_name, big_name = "dustr T (%d dirs)" % dirs, "dustr T (%d dirs)" % big
    times, peak = race({small_name: [DUSTR, "T"], big_name: [DUSTR, "T"]},
                       fanout, depth, max(3, ROUNDS // 2),
                       depths={big_name: depth + 1})
    report("scaling", times, peak, [(big_name, small_name)])

    if shutil.which("strace"):
        print("system calls per directory (strace -f -c, removal): %.2f"
              % syscalls_per_directory(fanout, depth))
    else:
        print("system calls: strace is not installed")


if __name__ == "__main__":
    main()
