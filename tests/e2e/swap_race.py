"""Stress: while dustr sweeps a tree, another thread swaps its subdirectories,
again and again, for links to an outside tree of empty directories with the
same names. However the race falls, no outside directory may disappear.

    python3 swap_race.py path/to/dustr [rounds]
"""

import os
import shutil
import sys
import threading

from harness import Fixture, Tool, build_tree, memory_backed, report

BRANCHES = 40
LEAVES = ["s%d" % i for i in range(6)]
OUTSIDE = ["O/a/%s/" % leaf for leaf in LEAVES]


def swapper(root, stop):
    """Moves each T/kN/a aside and puts a link to the outside tree in its
    place, then puts it back, until told to stop."""
    while not stop.is_set():
        for k in range(BRANCHES):
            real = os.path.join(root, "T", "k%d" % k, "a")
            aside = real + ".real"
            try:
                os.rename(real, aside)
            except OSError:
                continue
            try:
                os.symlink("../../O/a", real)
                os.unlink(real)
            except OSError:
                pass
            try:
                os.rename(aside, real)
            except OSError:
                pass


def outside_left(root):
    return [leaf for leaf in LEAVES
            if os.path.isdir(os.path.join(root, "O", "a", leaf))]


def main():
    tool = Tool(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    tree = OUTSIDE + ["T/k%d/a/%s/" % (k, leaf)
                      for k in range(BRANCHES) for leaf in LEAVES]
    passed = failed = 0
    refused = 0
    with Fixture(memory_backed()) as root:
        build_tree(root, OUTSIDE)
        for round_number in range(rounds):
            build_tree(root, tree)
            stop = threading.Event()
            thread = threading.Thread(target=swapper, args=(root, stop))
            thread.start()
            args = ["-l", "T"] if round_number % 4 == 3 else ["T"]
            out, _ = tool.run(args, root)
            stop.set()
            thread.join()
            refused += out.count(b"Can't")
            left = outside_left(root)
            if left != LEAVES:
                failed += 1
                print("FAIL round %d: outside directories removed: %r"
                      % (round_number, sorted(set(LEAVES) - set(left))))
                build_tree(root, OUTSIDE)
            else:
                passed += 1
            shutil.rmtree(os.path.join(root, "T"), ignore_errors=True)
    print("the swap was met %d times (a refused open or removal)" % refused)
    report(passed, failed)


if __name__ == "__main__":
    main()
