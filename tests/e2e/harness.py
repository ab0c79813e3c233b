"""Shared pieces of the end-to-end tests: fixture trees, snapshots of what a
run left on disk, and running the built tool natively or under Wine.

A tree is a list of entries, one string each, relative to the fixture root:
    "a/b/"          a directory
    "a/f"           a regular file (a name starting with "." is a hidden one)
    "a/ln -> t"     a symbolic link to t
    "a/p|"          a fifo
    "a/d/ 000"      a directory with mode 000, set after the tree is built
Parents are created as needed. Names are str; bytes that are not UTF-8 are
written with surrogate escapes ("\\udcff" is the byte 0xff).
"""

import os
import shutil
import stat
import subprocess
import sys
import tempfile

NOBODY = 65534


def build_tree(root, entries):
    modes = []
    for entry in entries:
        if " -> " in entry:
            name, target = entry.split(" -> ", 1)
            _parent(root, name)
            os.symlink(os.fsencode(target), _path(root, name))
        elif entry.endswith("|"):
            _parent(root, entry[:-1])
            os.mkfifo(_path(root, entry[:-1]))
        elif "/ " in entry:
            name, mode = entry.rsplit(" ", 1)
            os.makedirs(_path(root, name), exist_ok=True)
            modes.append((name, int(mode, 8)))
        elif entry.endswith("/"):
            os.makedirs(_path(root, entry), exist_ok=True)
        else:
            _parent(root, entry)
            with open(_path(root, entry), "wb"):
                pass
    for name, mode in sorted(modes, key=lambda m: -len(m[0])):
        os.chmod(_path(root, name), mode)


def _path(root, name):
    return os.path.join(os.fsencode(root), os.fsencode(name))


def _parent(root, name):
    parent = os.path.dirname(name.rstrip("/"))
    if parent:
        os.makedirs(_path(root, parent), exist_ok=True)


def snapshot(root):
    """The tree under root in the notation above, sorted, without modes."""
    found = []
    root_bytes = os.fsencode(root)

    def walk(rel):
        here = os.path.join(root_bytes, rel) if rel else root_bytes
        for entry in os.scandir(here):
            name = os.path.join(rel, entry.name) if rel else entry.name
            text = os.fsdecode(name)
            if entry.is_symlink():
                found.append(text + " -> " + os.fsdecode(os.readlink(entry.path)))
            elif entry.is_dir():
                found.append(text + "/")
                walk(name)
            elif stat.S_ISFIFO(entry.stat(follow_symlinks=False).st_mode):
                found.append(text + "|")
            else:
                found.append(text)

    walk(b"")
    return sorted(found)


def unlock(root):
    """Gives every directory under root its permissions back, for cleanup."""
    for here, dirs, _ in os.walk(os.fsencode(root)):
        for d in dirs:
            p = os.path.join(here, d)
            if not os.path.islink(p):
                os.chmod(p, 0o755)


def remove_tree(root):
    unlock(root)
    shutil.rmtree(root)


class Fixture:
    """A fresh directory for one case, readable by an unprivileged user."""

    def __init__(self, base=None):
        self.base = base

    def __enter__(self):
        self.root = tempfile.mkdtemp(prefix="dustr-e2e-", dir=self.base)
        os.chmod(self.root, 0o755)
        return self.root

    def __exit__(self, *exc):
        remove_tree(self.root)


class Tool:
    """The built dustr, run natively or, for a .exe, under Wine."""

    def __init__(self, path):
        self.path = os.path.abspath(path)
        self.windows = self.path.endswith(".exe")
        self.env = dict(os.environ)
        if self.windows:
            self.wine = os.environ.get("DUSTR_WINE") or "wine64"
            if shutil.which(self.wine) is None:
                print("Wine (wine64) is not installed: skipped")
                sys.exit(77)
            self.env.setdefault("WINEPREFIX", os.path.join(
                os.path.dirname(self.path), "wineprefix"))
            self.env["WINEDEBUG"] = "-all"
            os.makedirs(self.env["WINEPREFIX"], exist_ok=True)
            server = os.environ.get("DUSTR_WINESERVER") or "wineserver"
            self.server = server
            subprocess.run([server, "-p"], env=self.env, check=False)

    def close(self):
        if self.windows:
            subprocess.run([self.server, "-k"], env=self.env, check=False)

    def run(self, args, cwd, user=None, preexec=None, stdout=None):
        """Runs the tool in cwd; returns (output bytes, exit status). With
        stdout, a path, the output goes there instead and None is returned."""
        command = [self.path] + [os.fsencode(a) for a in args]
        if self.windows:
            command = [self.wine] + command
        if user is not None:
            command = ["setpriv", "--reuid=%d" % user, "--regid=%d" % user,
                       "--clear-groups"] + command
        # Wine's helper processes inherit a pipe and keep it open: use a file.
        with (open(stdout, "wb") if stdout else tempfile.TemporaryFile()) as out:
            rc = subprocess.run(command, cwd=cwd, stdout=out,
                                stderr=subprocess.DEVNULL, env=self.env,
                                preexec_fn=preexec, timeout=600).returncode
            if stdout:
                return None, rc
            out.seek(0)
            output = out.read()
        if self.windows:
            output = output.replace(b"\r\n", b"\n")
        return output, rc


def memory_backed():
    """A tmpfs for trees too large to build quickly on disk, if there is one."""
    return "/dev/shm" if os.access("/dev/shm", os.W_OK) else None


def chown_tree(root, uid):
    os.chown(root, uid, uid)
    for here, dirs, files in os.walk(os.fsencode(root)):
        for name in dirs + files:
            os.chown(os.path.join(here, name), uid, uid, follow_symlinks=False)


def report(passed, failed, skipped=0):
    line = "%d passed, %d failed" % (passed, failed)
    if skipped:
        line += ", %d skipped" % skipped
    print(line)
    sys.exit(1 if failed else 0)
