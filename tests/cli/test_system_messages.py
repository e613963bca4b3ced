"""Messages as the system running qlm words them: its own error texts, the
command line as typed, its own example paths, and file names that cannot
take over a terminal."""
import json
import os
import shutil
import subprocess

from qlm_run import SAMPLES, QlmTestCase, fill_disk, raw_codes, write_bytes


class TerminalSafety(QlmTestCase):
    def test_control_characters_in_names_are_escaped_on_a_terminal_only(self):
        name = "a\x1b]0;PWNED\x07b.jpg"
        shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), self.path(name))
        code, _, shown = self.on_terminal("info", "a*.jpg")
        self.assertEqual(code, 0, shown)
        self.assertIn(b"a\\033]0;PWNED\\007b.jpg", shown)
        self.assertNotIn(b"\x1b", shown)
        self.assertNotIn(b"\x07", shown)
        # Redirected output and JSON keep the exact name.
        self.assertIn(self.path(name), self.qlm("info", "a*.jpg").out)
        code, _, shown = self.on_terminal("info", "--json", "a*.jpg")
        self.assertEqual(json.loads(shown)["results"][0]["path"], self.path(name))
        # A usage error quoting the name is escaped on the terminal as well.
        code, _, shown = self.on_terminal("tag", name)
        self.assertEqual(code, 2)
        self.assertIn(b"Unknown command 'qlm tag a\\033]0;PWNED\\007b.jpg'.", shown)


class SystemWords(QlmTestCase):
    def test_help_shows_this_systems_paths(self):
        self.assertIn("e.g. qlm info --json ~/Photos/*.jpg\n", self.qlm("help", "info").out)
        self.assertNotIn("C:\\", self.qlm("help").out)
        described = json.loads(self.qlm("help", "info", "--json").out)
        self.assertEqual(described["commands"][0]["example"], "qlm info --json ~/Photos/*.jpg")

    def test_refusals_are_reported_in_the_systems_words(self):
        if os.geteuid() != 0 or not shutil.which("setpriv"):
            self.skipTest("test_refusals_are_reported_in_the_systems_words needs root to run qlm as another user")
        shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), self.work)
        write_bytes(self.path("hostname"), b"box\n")
        os.mkdir(self.path("album"))
        for path, mode in ((self.root, 0o755), (self.work, 0o755), (self.profile, 0o777),
                           (self.path("harbour.jpg"), 0o644), (self.path("hostname"), 0o644),
                           (self.path("album"), 0o755)):
            os.chmod(path, mode)
        rows = {}
        for target in ("harbour.jpg", "hostname", "album"):
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + self.command(
                "tag", "add", "--json", "--tag", "X", target)
            done = subprocess.run(command, cwd=self.work, env=self.environment(), capture_output=True)
            text = done.stdout.decode() + done.stderr.decode()
            self.assertEqual(done.returncode, 1, text)
            self.assertEqual(raw_codes(text), [], text)
            self.assertNotIn("Windows", text)
            rows[target] = json.loads(done.stdout)["results"][0]["error"]
        # Another user's file: a permission problem, not its type.
        self.assertEqual(rows["hostname"], {"code": "write_failed",
                                            "message": "This file cannot be written: Permission denied."})
        self.assertIn("Permission denied", rows["harbour.jpg"]["message"])
        self.assertIn("Permission denied", rows["album"]["message"])

    def test_read_only_files_and_disks_and_full_disks_are_named(self):
        shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), self.path("r.jpg"))
        os.chmod(self.path("r.jpg"), 0o444)
        r = self.qlm("tag", "add", "--tag", "X", "r.jpg")
        self.assertEqual(r.code, 1)
        self.assertIn("qlm: %s: Failed to write new metadata. Error provided by the system: Permission denied (the "
                      "file is read-only)\n" % self.path("r.jpg"), r.err)
        if os.geteuid() != 0:
            self.skipTest("test_read_only_files_and_disks_and_full_disks_are_named needs root to mount")
        mounted = []
        try:
            for name in ("ro", "full"):
                folder = self.path(name)
                os.mkdir(folder)
                if name == "full":
                    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", folder], check=True)
                    mounted.append(folder)
                    shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), folder)
                    fill_disk(folder)
                else:
                    shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), folder)
                    subprocess.run(["mount", "--bind", folder, folder], check=True)
                    mounted.append(folder)
                    subprocess.run(["mount", "-o", "remount,bind,ro", folder], check=True)
            for name, words in (("ro", "Read-only file system"), ("full", "No space left on device")):
                photo = os.path.join(self.path(name), "harbour.jpg")
                r = self.qlm("tag", "add", "--tag", "X", photo)
                self.assertEqual(r.code, 1, r.out + r.err)
                self.assertIn("qlm: %s: Failed to commit changes to metadata: %s\n" % (photo, words), r.err)
        finally:
            for folder in reversed(mounted):
                subprocess.run(["umount", "-l", folder])
