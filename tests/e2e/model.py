"""An independent model of a dustr run on POSIX: it copies a tree into memory
(in the order the file system lists it), plays the command line over that
copy and predicts the exact output, the exit status and the tree left.

It follows the tool's rules as its users see them, not its code: switches
left to right, the second character deciding; only real directories are
descended into; a directory goes when nothing but removed directories was
in it; a path named on the command line is opened as given (links followed)
and removed as given (so a link there is refused).
"""

import errno
import os
import stat

MAX_PATH_ARG = 255
LIMITS = "defned MAXPATH=260 MAXDIR=256 MAXFILE=256\n"
USAGE = ("DUSTR Ver.2.2.2  Copyright (c) the dustr developers\n\n"
         "dustr [-v] [-l] path\n  -l  list empty directory\n"
         "  -v  view scaning path\n\n")


class Dir:
    def __init__(self):
        self.children = {}  # name (bytes) -> node, in listing order


class Link:
    def __init__(self, target):
        self.target = target


class Other:  # a file, hidden or not, or a fifo
    def __init__(self, kind):
        self.kind = kind


def load(path):
    node = Dir()
    for entry in os.scandir(path):
        if entry.is_symlink():
            node.children[entry.name] = Link(os.readlink(entry.path))
        elif entry.is_dir(follow_symlinks=False):
            node.children[entry.name] = load(entry.path)
        else:
            fifo = stat.S_ISFIFO(entry.stat(follow_symlinks=False).st_mode)
            node.children[entry.name] = Other("fifo" if fifo else "file")
    return node


def entries(node, prefix=b""):
    """The tree in the test harness's notation, sorted."""
    found = []
    for name, child in node.children.items():
        text = os.fsdecode(prefix + name)
        if isinstance(child, Dir):
            found.append(text + "/")
            found.extend(entries(child, prefix + name + b"/"))
        elif isinstance(child, Link):
            found.append(text + " -> " + os.fsdecode(child.target))
        else:
            found.append(text + ("|" if child.kind == "fifo" else ""))
    return sorted(found)


class Resolver:
    """Path lookup over the copy, as the kernel does it relative to cwd."""

    def __init__(self, root):
        self.root = root

    def walk(self, path, follow_last, base=None, hops=0):
        """Returns (parent, name, node) for path; node is None when the last
        component is missing. Raises OSError for a broken walk."""
        stack = list(base) if base else [self.root]
        parts = path.split(b"/")
        trailing = path.endswith(b"/")
        parts = [p for p in parts if p not in (b"", b".")]
        parent, name, node = None, None, stack[-1]
        for i, part in enumerate(parts):
            last = i == len(parts) - 1
            here = stack[-1]
            if not isinstance(here, Dir):
                raise OSError(errno.ENOTDIR, "")
            if part == b"..":
                if len(stack) > 1:
                    stack.pop()
                parent, name, node = None, part, stack[-1]
                continue
            parent, name, node = here, part, here.children.get(part)
            if node is None:
                if last:
                    return parent, name, None
                raise OSError(errno.ENOENT, "")
            if isinstance(node, Link) and (not last or follow_last or trailing):
                if hops >= 40:
                    raise OSError(errno.ELOOP, "")
                target = node.target
                sub = [self.root] if target.startswith(b"/") else stack
                _, _, t = self.walk(target, True, sub, hops + 1)
                if t is None:
                    raise OSError(errno.ENOENT, "")
                node = t
                stack = self._stack_of(t) or stack + [t]
                continue
            stack.append(node)
        return parent, name, node

    def _stack_of(self, target):
        def find(node, stack):
            if node is target:
                return stack
            if isinstance(node, Dir):
                for child in node.children.values():
                    if isinstance(child, Dir):
                        found = find(child, stack + [child])
                        if found:
                            return found
            return None
        return find(self.root, [self.root])


class Run:
    def __init__(self, root):
        self.root = root
        self.resolver = Resolver(root)
        self.out = []
        self.list_only = self.view = self.diag = False
        self.level = self.max_level = self.max_path = 0
        self.errors = self.failures = 0

    def say(self, text):
        self.out.append(text)

    def open_top(self, path):
        """The directory a path on the command line opens, or an errno."""
        try:
            _, _, node = self.resolver.walk(path, follow_last=True)
        except OSError as e:
            return e.errno
        if node is None:
            return errno.ENOENT
        return node if isinstance(node, Dir) else errno.ENOTDIR

    def rmdir_top(self, path):
        try:
            parent, name, node = self.resolver.walk(path.rstrip(b"/"),
                                                    follow_last=False)
        except OSError as e:
            return e.errno
        if node is None:
            return errno.ENOENT
        if not isinstance(node, Dir):
            return errno.ENOTDIR
        if node.children:
            return errno.ENOTEMPTY
        del parent.children[name]
        return 0

    def sweep(self, shown, node, parent=None, name=None):
        self.level += 1
        text = os.fsdecode(shown)
        if self.diag:
            self.say("Scaning level:%d lengs:%d path:%s\n"
                     % (self.level, len(shown), text))
            self.max_level = max(self.max_level, self.level)
            self.max_path = max(self.max_path, len(shown))
        elif self.view:
            self.say("Scaning %s\n" % text)
        unreadable = not isinstance(node, Dir)
        remains = 0
        if not unreadable:
            subdirs = [n for n, c in node.children.items() if isinstance(c, Dir)]
            remains = int(len(subdirs) != len(node.children))
            for sub in subdirs:
                if self.sweep(shown + b"/" + sub, node.children[sub], node, sub):
                    remains = 1
        if self.list_only:
            if unreadable:
                self.say("Can't scan [%d] %s\n" % (node, text))
                self.errors += 1
                self.failures += 1
                remains = 1
            elif not remains:
                self.say("Found empty %s\n" % text)
                remains = 1
        elif not remains:
            if parent is None:
                error = self.rmdir_top(shown)
            else:
                del parent.children[name]
                error = 0
            if error:
                self.say("Can't remove [%d] %s\n" % (error, text))
                self.errors += 1
                self.failures += 1
                remains = 1
            else:
                self.say("Removed %s\n" % text)
        if self.diag:
            self.say("Return from %d\n" % self.level)
        self.level -= 1
        return remains

    def path_argument(self, arg):
        if arg == b"":
            self.say("Ignored empty path\n")
            self.failures += 1
        elif len(arg) > MAX_PATH_ARG:
            self.say("Ignored path longer than 255 bytes: %s\n" % os.fsdecode(arg))
            self.failures += 1
        else:
            self.sweep(arg, self.open_top(arg))

    def command_line(self, args):
        ended = False
        for arg in args:
            if ended or not arg.startswith(b"-"):
                self.path_argument(arg)
                continue
            if arg == b"--":
                ended = True
                continue
            second = arg[1:2].lower()
            if second in (b"?", b"h") or arg == b"--help":
                self.say(USAGE)
                return
            if second == b"l":
                self.list_only = True
            elif second == b"v":
                self.view = True
            elif second == b"d":
                self.diag = True
        if self.diag:
            self.say("MAXLEVEL=%d MAXPATH=%d ERROR=%d\n"
                     % (self.max_level, self.max_path, self.errors) + LIMITS)


def predict(root, args):
    """(output, exit status, tree left) of dustr run with args in root."""
    run = Run(load(os.fsencode(root)))
    run.command_line([os.fsencode(a) for a in args])
    return "".join(run.out), int(run.failures > 0), entries(run.root)
