"""End-to-end cases: each is a fixture tree, the arguments, the exact output,
the exit status and the tree left afterwards, run against the built tool.

    python3 cases.py path/to/dustr [case-name-substring]

Cases are written with POSIX conventions. For a Windows build (a .exe, run
under Wine) switches "-x" become "/x" and "/" in paths and output becomes
"\\"; a case may give the Windows output of its own (win_out), and cases that
only one platform has say so (only=...).
"""

import errno
import os
import sys

import model
from harness import NOBODY, Fixture, Tool, build_tree, chown_tree, report, snapshot

SAME = object()  # the tree is left as it was built

USAGE_POSIX = (
    "DUSTR Ver.2.2.2  Copyright (c) the dustr developers\n\n"
    "dustr [-v] [-l] path\n"
    "  -l  list empty directory\n"
    "  -v  view scaning path\n"
    "\n")
USAGE_WINDOWS = USAGE_POSIX.replace("-v]", "/v]").replace("-l]", "/l]") \
    .replace("  -l ", "  /l ").replace("  -v ", "  /v ")
SUMMARY_LIMITS = "defned MAXPATH=260 MAXDIR=256 MAXFILE=256\n"

E = {name: getattr(errno, name) for name in
     ("ENOENT", "ENOTDIR", "ENOTEMPTY", "EACCES")}

LONG_NAME = "n" * 255
TOO_LONG = "p" * 256

CASES = []


def case(name, tree, args, out, rc=0, after=SAME, only=None, win_out=None,
         win_rc=None, user=None, stdout=None):
    CASES.append(dict(name=name, tree=tree, args=args, out=out, rc=rc,
                      after=after, only=only, win_out=win_out, win_rc=win_rc,
                      user=user, stdout=stdout))


# --- the command line ------------------------------------------------------

case("no arguments print nothing", ["X/"], [], "")
case("usage", [], ["-?"], USAGE_POSIX, only="posix")
case("usage, Windows", [], ["/?"], USAGE_WINDOWS, only="windows")
for help_arg in ("-h", "--help", "-HELP"):
    case("usage from " + help_arg, ["X/"], [help_arg, "X"], USAGE_POSIX,
         only="posix")
case("a path before the usage is swept first", ["X/"], ["X", "-?"],
     "Removed X\n" + USAGE_POSIX, after=[], only="posix")
case("a path before the usage is swept first, Windows", ["X/"], ["X", "/?"],
     "Removed X\n" + USAGE_WINDOWS, after=[], only="windows")
case("usage ends the run: later paths and the summary are not reached",
     ["X/"], ["-d", "-?", "X"], USAGE_POSIX, only="posix")
case("usage after a failure exits 1", [], ["missing", "-?"],
     "Can't remove [2] missing\n" + USAGE_POSIX, rc=1, only="posix")
case("the list switch affects only later paths", ["X/", "Y/"],
     ["X", "-l", "Y"], "Removed X\nFound empty Y\n", after=["Y/"])
case("switches: the second character decides, in either case",
     ["A/", "B/", "C/"], ["-LIST", "A", "-Verbose", "B"],
     "Found empty A\nScaning B\nFound empty B\n")
case("unknown switches and a bare prefix are passed over",
     ["X/"], ["-x", "-", "-", "X"], "Removed X\n", after=[])
case("diagnostic switch with no paths", [], ["-d"],
     "MAXLEVEL=0 MAXPATH=0 ERROR=0\n" + SUMMARY_LIMITS)
case("no summary when the usage ends the run", [], ["-d", "-?"],
     USAGE_POSIX, only="posix")
case("-- ends the switches", ["-v/", "-l/"], ["--", "-v", "-l"],
     "Removed -v\nRemoved -l\n", after=[], only="posix")
case("a path starting with a dash is swept as a path on Windows",
     ["X/"], ["/l", "-v", "X"], "", only="windows",
     win_out="Can't scan [3] -v\nFound empty X\n", win_rc=1)
case("a missing dash path on Windows, removal", ["X/"], ["-v", "X"], "",
     only="windows", after=[],
     win_out="Can't remove [2] -v\nRemoved X\n", win_rc=1)
case("wildcards reach the program as typed", ["a/", "b/"], ["*", "/l", "?"],
     "", rc=1, only="windows",
     win_out="Can't remove [123] *\nCan't scan [123] ?\n", win_rc=1)
case("output that can't be written is a failure", ["A/B/"], ["A"], None,
     rc=1, after=[], only="posix", stdout="/dev/full")
case("an empty argument is never swept", ["X/"], ["", "X"],
     "Ignored empty path\nRemoved X\n", rc=1, after=[])
case("a path of 255 bytes is swept", [LONG_NAME + "/"], [LONG_NAME],
     "Removed %s\n" % LONG_NAME, after=[], only="posix")
case("a path of 256 bytes is refused with a line", ["X/"], [TOO_LONG, "X"],
     "Ignored path longer than 255 bytes: %s\nRemoved X\n" % TOO_LONG,
     rc=1, after=[])
# List mode only: if the guard failed, nothing would be removed.
case("the root directory is never swept", ["up -> /"],
     ["-l", "/", "//", "/.", "/..", "up", "-d"],
     "Ignored root directory /\nIgnored root directory //\n"
     "Ignored root directory /.\nIgnored root directory /..\n"
     "Ignored root directory up\n"
     "MAXLEVEL=0 MAXPATH=0 ERROR=0\n" + SUMMARY_LIMITS, rc=1, only="posix")

# --- the sweep -------------------------------------------------------------

case("an empty chain is removed bottom-up", ["A/B/C/"], ["A"],
     "Removed A/B/C\nRemoved A/B\nRemoved A\n", after=[])
case("list mode reports only what is empty now", ["A/B/C/"], ["-l", "A"],
     "Found empty A/B/C\n")
case("view mode prints each directory on entry", ["A/B/", "A/f"], ["-v", "A"],
     "Scaning A\nScaning A/B\nRemoved A/B\n", after=["A/", "A/f"])
case("a hidden file keeps its directory; an empty sibling goes",
     ["H/.hidden", "H/e/"], ["H"], "Removed H/e\n", after=["H/", "H/.hidden"])
case("a file keeps its directory, which is not reported",
     ["F/file", "F/e/"], ["-l", "F"], "Found empty F/e\n")
case("a directory with files below is kept, its empty parts go",
     ["T/a/b/f", "T/a/c/", "T/d/e/"], ["T"], None,
     after=["T/", "T/a/", "T/a/b/", "T/a/b/f"])
case("a missing path, removal", [], ["missing"],
     "Can't remove [%d] missing\n" % E["ENOENT"], rc=1,
     win_out="Can't remove [2] missing\n")
case("a missing path, list mode", [], ["-l", "missing"],
     "Can't scan [%d] missing\n" % E["ENOENT"], rc=1,
     win_out="Can't scan [3] missing\n")
case("a file named as a path", ["f"], ["f", "-l", "f"],
     "Can't remove [%d] f\nCan't scan [%d] f\n" % (E["ENOTDIR"], E["ENOTDIR"]),
     rc=1, win_out="Can't remove [267] f\nCan't scan [123] f\n")
case("a trailing separator doubles in child paths", ["A/B/"], ["A/"],
     "Removed A//B\nRemoved A/\n", after=[])
case("a trailing separator in list mode", ["A/B/"], ["-l", "A/"],
     "Found empty A//B\n")
case("diagnostic trace of one empty directory", ["X/"], ["-d", "X"],
     "Scaning level:1 lengs:1 path:X\nRemoved X\nReturn from 1\n"
     "MAXLEVEL=1 MAXPATH=1 ERROR=0\n" + SUMMARY_LIMITS, after=[])
case("the diagnostic trace wins over view mode; maxima cover later paths",
     ["A/B/", "LONGER/f", "EARLIER/deep/"],
     ["EARLIER", "-v", "-d", "A", "LONGER", "missing"],
     "Removed EARLIER/deep\nRemoved EARLIER\n"
     "Scaning level:1 lengs:1 path:A\nScaning level:2 lengs:3 path:A/B\n"
     "Removed A/B\nReturn from 2\nRemoved A\nReturn from 1\n"
     "Scaning level:1 lengs:6 path:LONGER\nReturn from 1\n"
     "Scaning level:1 lengs:7 path:missing\n"
     "Can't remove [%d] missing\nReturn from 1\n"
     "MAXLEVEL=2 MAXPATH=7 ERROR=1\n" % E["ENOENT"] + SUMMARY_LIMITS,
     rc=1, after=["LONGER/", "LONGER/f"],
     win_out="Removed EARLIER\\deep\nRemoved EARLIER\n"
     "Scaning level:1 lengs:1 path:A\nScaning level:2 lengs:3 path:A\\B\n"
     "Removed A\\B\nReturn from 2\nRemoved A\nReturn from 1\n"
     "Scaning level:1 lengs:6 path:LONGER\nReturn from 1\n"
     "Scaning level:1 lengs:7 path:missing\n"
     "Can't remove [2] missing\nReturn from 1\n"
     "MAXLEVEL=2 MAXPATH=7 ERROR=1\n" + SUMMARY_LIMITS)
case("several paths, one swept twice", ["A/", "B/"], ["A", "B", "A"],
     "Removed A\nRemoved B\nCan't remove [%d] A\n" % E["ENOENT"], rc=1,
     after=[], win_out="Removed A\nRemoved B\nCan't remove [2] A\n")
# Wine lists a directory's names sorted; Linux in the file system's order.
case("a subtree first, then the tree around it", ["A/B/C/", "A/D/"],
     ["A/B/C", "-v", "A"], None, after=[],
     win_out="Removed A\\B\\C\nScaning A\nScaning A\\B\nRemoved A\\B\n"
     "Scaning A\\D\nRemoved A\\D\nRemoved A\n")

# --- links, fifos and other non-directories (POSIX) ------------------------

case("a link to a directory inside the tree is an entry, not followed",
     ["T/e/", "T/ln -> e"], ["T"], "Removed T/e\n",
     after=["T/", "T/ln -> e"], only="posix")
case("a link to an outside tree is never followed",
     ["T/out -> ../O", "O/sub/"], ["T", "-l", "T"], "", only="posix")
case("a dangling link keeps its directory", ["T/dang -> nowhere", "T/e/"],
     ["-l", "T"], "Found empty T/e\n", only="posix")
case("a link cycle is not followed", ["C/loop -> .", "C/up -> ..", "C/e/"],
     ["C"], "Removed C/e\n", after=["C/", "C/loop -> .", "C/up -> .."],
     only="posix")
case("a link named on the command line is followed into, not removed",
     ["ln -> D", "D/e/"], ["ln"],
     "Removed ln/e\nCan't remove [%d] ln\n" % E["ENOTDIR"], rc=1,
     after=["D/", "ln -> D"], only="posix")
case("a link named on the command line, list mode", ["ln -> D", "D/"],
     ["-l", "ln"], "Found empty ln\n", only="posix")
case("a fifo keeps its directory", ["P/fifo|", "P/e/"], ["P", "P/fifo"],
     "Removed P/e\nCan't remove [%d] P/fifo\n" % E["ENOTDIR"], rc=1,
     after=["P/", "P/fifo|"], only="posix")

# Wine shows a Unix link as a reparse point, as Windows shows a junction.
case("a reparse point is an entry, never descended into",
     ["T/e/", "T/ln -> e", "T/out -> ../O", "O/sub/"], ["/v", "T"],
     "Scaning T\nScaning T\\e\nRemoved T\\e\n",
     after=["O/", "O/sub/", "T/", "T/ln -> e", "T/out -> ../O"], only="windows")

# --- names ----------------------------------------------------------------

case("names with a space, a newline, a leading dash, bytes not UTF-8",
     ["T/with space/", "T/new\nline/", "T/-dash/", "T/\udcff\udcfe/", "T/f"],
     ["-l", "T"], None, only="posix")
case("such names are removed and printed as they are",
     ["T/with space/", "T/new\nline/a/", "T/-dash/", "T/\udcff\udcfe/"],
     ["-v", "T"], None, after=[], only="posix")

# --- permissions (run as an unprivileged user) -----------------------------

case("an unreadable directory is not reported empty",
     ["R/locked/x/", "R/locked/ 000"], ["-l", "R"],
     "Can't scan [%d] R/locked\n" % E["EACCES"], rc=1, only="posix",
     user=NOBODY)
case("an unreadable directory that holds something is refused",
     ["R/locked/x/", "R/locked/ 000"], ["R"],
     "Can't remove [%d] R/locked\n" % E["ENOTEMPTY"], rc=1, only="posix",
     user=NOBODY)
case("an unreadable empty directory is removed",
     ["R/locked/ 000"], ["R"], "Removed R/locked\nRemoved R\n", after=[],
     only="posix", user=NOBODY)
case("a directory whose parent can't be written is refused",
     ["R/e/", "R/ 555"], ["R"],
     "Can't remove [%d] R/e\n" % E["EACCES"], rc=1, only="posix",
     user=NOBODY)


def expected_output(c, root):
    """Where a case gives no output text, the lines follow from the tree in
    the order the file system lists it, as the model predicts them."""
    if c["out"] is not None:
        return c["out"]
    return model.predict(root, c["args"])[0]


def translate(text, windows):
    return text.replace("/", "\\") if windows else text


def windows_args(args):
    return ["/" + a[1:] if a.startswith("-") else a.replace("/", "\\")
            for a in args]


def run_case(c, tool):
    windows = tool.windows
    with Fixture() as root:
        build_tree(root, c["tree"])
        before = snapshot(root)
        if c["user"] is not None:
            if os.geteuid() != 0:
                return "skip"
            chown_tree(root, c["user"])
        if windows:
            args = c["args"] if c["only"] == "windows" else windows_args(c["args"])
            if c["win_out"] is not None:
                out = c["win_out"]
            elif c["only"] == "windows":
                out = c["out"]
            else:
                out = translate(expected_output(c, root), True)
            rc = c["win_rc"] if c["win_rc"] is not None else c["rc"]
        else:
            args = c["args"]
            out = expected_output(c, root)
            rc = c["rc"]
        got, got_rc = tool.run(args, root, user=c["user"], stdout=c["stdout"])
        after = snapshot(root)
        want_after = before if c["after"] is SAME else sorted(c["after"])
        problems = []
        # Output sent elsewhere (c["stdout"]) can't be read back.
        if c["stdout"] is None and got != os.fsencode(out):
            problems.append("output:\n  want %r\n  got  %r" % (os.fsencode(out), got))
        if got_rc != rc:
            problems.append("exit status: want %d, got %d" % (rc, got_rc))
        if after != want_after:
            problems.append("tree left:\n  want %r\n  got  %r" % (want_after, after))
        return problems


def main():
    tool = Tool(sys.argv[1])
    pattern = sys.argv[2] if len(sys.argv) > 2 else ""
    platform = "windows" if tool.windows else "posix"
    passed = failed = skipped = 0
    try:
        for c in CASES:
            if pattern not in c["name"]:
                continue
            if c["only"] not in (None, platform):
                continue
            result = run_case(c, tool)
            if result == "skip":
                skipped += 1
                print("SKIP  %s (needs root to switch users)" % c["name"])
            elif result:
                failed += 1
                print("FAIL  %s  %r" % (c["name"], c["args"]))
                for p in result:
                    print("  " + p)
            else:
                passed += 1
                print("ok    %s" % c["name"])
    finally:
        tool.close()
    report(passed, failed, skipped)


if __name__ == "__main__":
    main()
