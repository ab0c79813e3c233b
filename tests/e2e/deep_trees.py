"""Trees deeper than the open-file limit, with paths far longer than PATH_MAX.

    python3 deep_trees.py path/to/dustr
"""

import os
import resource
import sys

from harness import Fixture, Tool, memory_backed, report, snapshot

FLAGS = os.O_RDONLY | os.O_DIRECTORY


def make_chain(root, top, name, depth):
    """top/name/name/... with `depth` directories below top, made through
    descriptors since the paths outgrow what one system call takes."""
    os.mkdir(os.path.join(root, top))
    fd = os.open(os.path.join(root, top), FLAGS)
    for _ in range(depth):
        os.mkdir(name, dir_fd=fd)
        below = os.open(name, FLAGS, dir_fd=fd)
        os.close(fd)
        fd = below
    os.close(fd)


def remove_chain(root, top, name, depth):
    fd = os.open(os.path.join(root, top), FLAGS)
    for _ in range(depth - 1):
        below = os.open(name, FLAGS, dir_fd=fd)
        os.close(fd)
        fd = below
    for _ in range(depth):
        os.rmdir(name, dir_fd=fd)
        up = os.open("..", FLAGS, dir_fd=fd)
        os.close(fd)
        fd = up
    os.close(fd)
    os.rmdir(os.path.join(root, top))


def limit_open_files(n):
    def apply():
        resource.setrlimit(resource.RLIMIT_NOFILE, (n, n))
    return apply


def removal_deeper_than_the_open_file_limit(tool):
    depth, name = 3000, "dd"
    with Fixture(memory_backed()) as root:
        make_chain(root, "T", name, depth)
        out, rc = tool.run(["T"], root, preexec=limit_open_files(64))
        paths = ["T" + ("/" + name) * level for level in range(depth, -1, -1)]
        want = "".join("Removed %s\n" % p for p in paths).encode()
        problems = []
        if len(paths[0]) <= 6000:
            problems.append("the chain's path is only %d bytes" % len(paths[0]))
        if out != want:
            lines = out.split(b"\n")
            problems.append("output: %d lines, want %d; first %r"
                            % (len(lines) - 1, len(paths), lines[0][:80]))
        if rc != 0:
            problems.append("exit status %d" % rc)
        if snapshot(root):
            problems.append("tree left: %r" % snapshot(root)[:3])
        return problems


def list_mode_far_below_the_limits(tool):
    depth, name = 100000, "d"
    with Fixture(memory_backed()) as root:
        make_chain(root, "T", name, depth)
        try:
            out, rc = tool.run(["-l", "T"], root, preexec=limit_open_files(64))
            want = ("Found empty T" + "/d" * depth + "\n").encode()
            problems = []
            if out != want:
                problems.append("output: %r... (%d bytes), want one Found empty"
                                " line of %d bytes" % (out[:60], len(out), len(want)))
            if rc != 0:
                problems.append("exit status %d" % rc)
        finally:
            remove_chain(root, "T", name, depth)
        return problems


def main():
    tool = Tool(sys.argv[1])
    passed = failed = 0
    for test in (removal_deeper_than_the_open_file_limit,
                 list_mode_far_below_the_limits):
        problems = test(tool)
        if problems:
            failed += 1
            print("FAIL  " + test.__name__)
            for p in problems:
                print("  " + p)
        else:
            passed += 1
            print("ok    " + test.__name__)
    report(passed, failed)


if __name__ == "__main__":
    main()
