"""Whole trees and long runs: --recursive, NUL-separated path lists, --quiet,
the progress line on a terminal, and the order a pattern's matches come in."""
import json
import os
import unittest

from qlm_run import QlmTestCase, write_bytes


def touch(path, data=b""):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    write_bytes(path, data)


class WholeTreeTest(QlmTestCase):
    def rated_paths(self, result):
        """The paths of `rate get` text lines, in order."""
        self.assertEqual(result.code, 0, result.err)
        return [line.rsplit(": ", 1)[0] for line in result.out.splitlines()]

    def test_recursive_walks_folders_depth_first_in_ntfs_order(self):
        shoot = self.path("Shoot")
        for name in ["b.txt", "A.txt", "sub/z.txt", "sub/Y/x.txt", "C/c.txt", ".hidden.txt", ".cache/in.txt",
                     "a.txt.qlm-1-2-3.tmp", "desktop.ini", "sub/secret/in.txt"]:
            touch(os.path.join(shoot, name))
        # What a folder's .hidden names is hidden, as file managers show it.
        touch(os.path.join(shoot, ".hidden"), b"desktop.ini\n")
        touch(os.path.join(shoot, "sub", ".hidden"), b"secret\r\n")
        os.symlink(os.path.join(shoot, "sub"), os.path.join(shoot, "linked"))
        os.symlink(os.path.join(shoot, "b.txt"), os.path.join(shoot, "b-link.txt"))
        expected = [shoot] + [os.path.join(shoot, name) for name in
                              ["A.txt", "b-link.txt", "b.txt", "C", "C/c.txt", "sub", "sub/Y", "sub/Y/x.txt",
                               "sub/z.txt"]]
        self.assertEqual(self.rated_paths(self.qlm("rate", "get", "-r", "Shoot")), expected)
        # Named again, as a file inside, and by a pattern: each target once.
        again = self.qlm("rate", "get", "--recursive", "Shoot", "Shoot/b.txt", "Sh*", "Shoot/sub")
        self.assertEqual(self.rated_paths(again), expected)
        # A pattern's folders are walked as well; without -r only the matches.
        self.assertEqual(self.rated_paths(self.qlm("rate", "get", "-r", "Shoot/s*")), expected[6:])
        self.assertEqual(self.rated_paths(self.qlm("rate", "get", "Shoot/s*")), [expected[6]])
        # --dry-run and --json as for listed targets: nothing written.
        dry = self.qlm("tag", "add", "--json", "--dry-run", "-r", "-t", "Trip", "Shoot/C")
        report = json.loads(dry.out)
        self.assertEqual([row["path"] for row in report["results"]], expected[4:6])
        self.assertEqual(os.listdir(os.path.join(shoot, "C")), ["c.txt"])

    def test_helper_files_of_a_tagged_folder_are_hidden_from_walks_not_patterns(self):
        touch(self.path("Shoot/a.jpg"))
        self.ok("tag", "add", "-t", "Trip", "Shoot")
        shoot = self.path("Shoot")
        helpers = sorted(n for n in os.listdir(shoot) if n == "desktop.ini" or n.startswith("sw_tagged_"))
        self.assertEqual(len(helpers), 2, os.listdir(shoot))
        # Listed in .hidden as Dolphin and Nautilus read it, one name a line.
        with open(os.path.join(shoot, ".hidden"), "rb") as f:
            self.assertEqual(sorted(f.read().decode().splitlines()), helpers)
        # A walk leaves them out as Explorer hides them; a pattern lists them.
        self.assertEqual(self.rated_paths(self.qlm("rate", "get", "-r", "Shoot")), [shoot, self.path("Shoot/a.jpg")])
        listed = [os.path.join(shoot, n) for n in [".directory", ".hidden", "a.jpg"] + helpers]
        self.assertEqual(self.rated_paths(self.qlm("rate", "get", "Shoot/*")), listed)

    def test_null_separated_lists(self):
        names = ["with space.txt", "line\nbreak.txt", " padded.txt"]
        for name in names:
            touch(self.path(name))
        listing = b"".join(self.path(n).encode() + b"\0" for n in names)
        expected = [self.path(n) for n in names]
        for args, stdin in [(["-0", "-"], listing), (["--null", "--from-file", "list"], b"")]:
            with self.subTest(args=args):
                write_bytes(self.path("list"), listing)
                r = self.ok("rate", "get", "--json", *args, stdin=stdin)
                self.assertEqual([row["path"] for row in json.loads(r.out)["results"]], expected)
        # Without --null, a list holding NUL is refused before anything is done.
        before = os.listdir(self.work)
        r = self.qlm("tag", "add", "-t", "X", "-", stdin=listing)
        self.assertUsageError(r, "The path list on standard input holds NUL characters; give --null (-0) for a "
                                 "NUL-separated list.")
        r = self.qlm("tag", "add", "-t", "X", "--from-file", "list")
        self.assertUsageError(r, "The path list 'list' holds NUL characters; give --null (-0) for a NUL-separated "
                                 "list.")
        self.assertEqual(sorted(os.listdir(self.work)), sorted(before))

    def test_quiet_prints_failures_and_the_summary(self):
        touch(self.path("a.txt"))
        touch(self.path("b.txt"))
        r = self.qlm("tag", "add", "-q", "-t", "Work", "a.txt", "b.txt", "missing.txt")
        self.assertEqual(r.code, 1)
        self.assertEqual(r.out, "2 changed, 0 unchanged, 1 failed\n")
        self.assertEqual(r.err, "qlm: %s: No file or folder exists at this path.\n" % self.path("missing.txt"))
        r = self.qlm("tag", "get", "--quiet", "a.txt")
        self.assertEqual((r.code, r.out, r.err), (0, "", ""))

    def test_progress_line_on_a_terminal_for_long_runs(self):
        for i in range(150):
            touch(self.path("f%03d.txt" % i))
        code, out, shown = self.on_terminal("tag", "add", "-t", "Work", "*.txt", stdout_too=False)
        self.assertEqual(code, 0, shown)
        self.assertTrue(out.endswith(b"150 changed, 0 unchanged, 0 failed\n"), out[-200:])
        self.assertIn(b"\r0/150 files", shown)
        self.assertRegex(shown, rb"150/150 files(, \d+ files/s)?")
        # Cleared at the end: the last thing drawn is blanks over the line.
        last = shown.rsplit(b"\r", 2)
        self.assertEqual(last[-1], b"")
        self.assertEqual(last[-2].strip(b" "), b"")
        for args in [("--json", "rate", "get", "*.txt"), ("rate", "get", "f00*.txt")]:
            with self.subTest(args=args):
                code, _, shown = self.on_terminal(*args, stdout_too=False)
                self.assertEqual((code, shown), (0, b""))
        # Not a terminal: nothing on standard error.
        r = self.qlm("rate", "get", "*.txt")
        self.assertEqual((r.code, r.err), (0, ""))


if __name__ == "__main__":
    unittest.main()
