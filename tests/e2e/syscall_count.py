"""The sweep stays near the floor of system calls: per directory an open, a
read of the entries to the end (two getdents calls), a close and a removal.
Counted with strace, so the count is exact, not timed.

    python3 syscall_count.py path/to/dustr

Exits 77 (skipped) when strace is not installed.
"""

import os
import shutil
import subprocess
import sys
import tempfile

from harness import Fixture, memory_backed, report

PER_DIRECTORY = 6
START_UP = 100  # the loader and the C++ runtime, whatever the tree


def make_tree(root, fanout, depth):
    """root/T with `fanout` subdirectories in every directory, `depth` levels
    below T; returns how many directories there are, T included."""
    count = 0

    def grow(path, level):
        nonlocal count
        os.mkdir(path)
        count += 1
        if level < depth:
            for i in range(fanout):
                grow(os.path.join(path, str(i)), level + 1)

    grow(os.path.join(root, "T"), 0)
    return count


def calls(tool, args, cwd):
    with tempfile.NamedTemporaryFile() as summary, \
            tempfile.TemporaryFile() as out:
        subprocess.run(["strace", "-f", "-c", "-o", summary.name, tool] + args,
                       cwd=cwd, stdout=out, check=True)
        counts = {}
        for line in open(summary.name):
            fields = line.split()
            if len(fields) >= 5 and fields[0][0].isdigit():
                counts[fields[-1]] = int(fields[3])
        return counts


def main():
    if shutil.which("strace") is None:
        print("strace is not installed: skipped")
        sys.exit(77)
    tool = os.path.abspath(sys.argv[1])
    passed = failed = 0
    for args in (["-l", "T"], ["T"]):
        with Fixture(memory_backed()) as root:
            directories = make_tree(root, 6, 3)
            counts = calls(tool, args, root)
            total = counts.pop("total")
            budget = PER_DIRECTORY * directories + START_UP
            line = "%s: %d calls for %d directories (%.2f each), budget %d: %s" % (
                " ".join(args), total, directories, total / directories, budget,
                ", ".join("%s %d" % kv for kv in sorted(
                    counts.items(), key=lambda kv: -kv[1])[:6]))
            left = os.listdir(root)
            if total > budget or (args == ["T"]) != (left == []):
                failed += 1
                print("FAIL  " + line + "; left %r" % left)
            else:
                passed += 1
                print("ok    " + line)
    report(passed, failed)


if __name__ == "__main__":
    main()
