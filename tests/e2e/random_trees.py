"""Randomized end-to-end test: many random trees (directories, files, hidden
files, links, fifos) swept with random switch positions and several paths a
run. An independent model over an in-memory copy of the tree taken before
the run predicts the output, the exit status and the tree left.

    python3 random_trees.py path/to/dustr [rounds] [seed]

The seed is printed first; pass it back to replay a failure.
"""

import os
import random
import sys
import time

import model
from harness import Fixture, Tool, build_tree, report, snapshot

NAMES = ["a", "b", "c", "dd", ".h", "x y", "-v", "\udcff"]
SWITCHES = ["-l", "-v", "-d", "-x", "-LIST", "-", "-V", "-D"]


def random_tree(rng):
    """Entries in the harness notation, plus the directories, files and links
    made, as candidates for the command line."""
    entries, dirs, others, links = [], [], [], []
    used = set()
    entries.append("out/e/f/")  # an outside tree that links lead to
    entries.append("out/g/")

    def grow(path, depth):
        for _ in range(rng.randint(0, 4 if depth < 3 else 1)):
            name = rng.choice(NAMES)
            child = path + "/" + name if path else name
            if child in used:
                continue
            used.add(child)
            roll = rng.random()
            if roll < 0.55 and depth < 5:
                entries.append(child + "/")
                dirs.append(child)
                grow(child, depth + 1)
            elif roll < 0.70:
                entries.append(child)
                others.append(child)
            elif roll < 0.85:
                target = rng.choice(["out", "out/e", "nowhere", ".", "..",
                                     "../" + name, "t"])
                entries.append(child + " -> " + target)
                links.append(child)
            else:
                entries.append(child + "|")
                others.append(child)

    entries.append("t/")
    dirs.append("t")
    grow("t", 1)
    return entries, dirs, others, links


def random_args(rng, dirs, others, links):
    paths = []
    for _ in range(rng.randint(1, 4)):
        roll = rng.random()
        if roll < 0.6:
            path = rng.choice(dirs)
            if rng.random() < 0.1:
                path += "/"
        elif roll < 0.7 and links:
            path = rng.choice(links)
        elif roll < 0.8 and others:
            path = rng.choice(others)
        elif roll < 0.9:
            path = rng.choice(["missing", "t/missing", "out", ""])
        else:
            path = rng.choice(dirs) + "/" + rng.choice(NAMES)
        paths.append(path)
    args = []
    for path in paths:
        while rng.random() < 0.4:
            args.append(rng.choice(SWITCHES))
        if path.startswith("-") and "--" not in args:
            args.append("--")
        args.append(path)
    while rng.random() < 0.3:
        args.append(rng.choice(SWITCHES))
    if rng.random() < 0.03:
        args.insert(rng.randrange(len(args) + 1), rng.choice(["-?", "-h"]))
    return args


def main():
    tool = Tool(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else \
        int(os.environ.get("DUSTR_SEED", time.time_ns() % 2**32))
    print("seed %d (replay: random_trees.py TOOL %d %d)" % (seed, rounds, seed))
    rng = random.Random(seed)
    passed = failed = 0
    for round_number in range(rounds):
        entries, dirs, others, links = random_tree(rng)
        args = random_args(rng, dirs, others, links)
        with Fixture() as root:
            build_tree(root, entries)
            want_out, want_rc, want_after = model.predict(root, args)
            got_out, got_rc = tool.run(args, root)
            got_after = snapshot(root)
        problems = []
        if got_out != os.fsencode(want_out):
            problems.append("output:\n  want %r\n  got  %r"
                            % (os.fsencode(want_out), got_out))
        if got_rc != want_rc:
            problems.append("exit status: want %d, got %d" % (want_rc, got_rc))
        if got_after != want_after:
            problems.append("tree left:\n  want %r\n  got  %r"
                            % (want_after, got_after))
        if problems:
            failed += 1
            print("FAIL round %d (seed %d)\n  tree %r\n  args %r"
                  % (round_number, seed, entries, args))
            for p in problems:
                print("  " + p)
        else:
            passed += 1
    report(passed, failed)


if __name__ == "__main__":
    main()
