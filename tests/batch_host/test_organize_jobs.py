"""sortwell-batch running the organizer, killed at random points.

After a kill, the next organize run settles what the dead one left: every
file exists exactly once (by hash), none as a partial copy. An undo killed
too, then run again, gives back the folder byte for byte.

QLM_ORGANIZE_CRASH_ROUNDS sets the rounds of each test (bench/organize_crash.sh
runs many); by default a few, as a move across file systems syncs several
times.
"""
import hashlib
import json
import os
import random
import shutil
import subprocess
import tempfile
import time
import unittest

from batch_run import HostCase, write, write_job

FILES = 500
ROUNDS = os.environ.get("QLM_ORGANIZE_CRASH_ROUNDS")
# The journal, and the folder's list that hides it in file managers.
OWN_FILES = {"sw_organize_undo.json", "sw_organize_undo.wal", ".hidden"}


def tree(*roots):
    """Path → sha256 of every regular file under the roots but the organizer's own."""
    files = {}
    for root in roots:
        for folder, _, names in os.walk(root):
            for name in names:
                if name in OWN_FILES:
                    continue
                path = os.path.join(folder, name)
                with open(path, "rb") as data:
                    files[path] = hashlib.sha256(data.read()).hexdigest()
    return files


class OrganizeCrashTest(HostCase):
    def setUp(self):
        super().setUp()
        self.folder = os.path.join(self.root, "inbox")
        os.makedirs(self.folder)
        extensions = ["jpg", "txt", "png", "mp3", "zip", "jpg", "pdf"]
        for i in range(FILES):
            with open(os.path.join(self.folder, "f%d.%s" % (i, extensions[i % 7])), "wb") as out:
                out.write(b"content %d " % i + b"x" * (i % 13 * 100))
        self.random = random.Random(20261206)

    def job_file(self, action, parameters=""):
        path = os.path.join(self.root, "%s.json" % action)
        write_job(path, action, parameters, [self.folder])
        return path

    def run_ok(self, job):
        code, out, err = self.run_host(job)
        self.assertEqual(code, 0, out + err)
        return out

    def kill_host(self, job, seconds):
        process = subprocess.Popen([os.environ["SORTWELL_BATCH"], job], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, env=self.env)
        time.sleep(seconds)
        process.kill()
        process.wait()

    def duration(self, job, undo, created):
        """How long a whole run takes: the span the kills are spread over."""
        start = time.monotonic()
        out = self.run_ok(job)
        taken = time.monotonic() - start
        # The folder is the job's one entry, however many files it holds.
        self.assertEqual(out, "progress: 96%%\n%sok: %s\nprogress: 100%%\n1 succeeded, 0 failed\n"
                         % ("".join("creating folder: %s\n" % c for c in created), self.folder))
        self.run_ok(undo)
        return taken

    def crash_rounds(self, scheme, elsewhere, rounds):
        original = tree(self.folder)
        original_contents = sorted(original.values())
        organize, undo = self.job_file("organize_folder", scheme), self.job_file("organize_undo")
        span = self.duration(organize, undo, [os.path.join(e, "Sorted") for e in elsewhere])
        for round_ in range(int(ROUNDS or rounds)):
            with self.subTest(round=round_):
                self.kill_host(organize, self.random.uniform(0, span))
                self.run_ok(organize)  # settles the dead run's leftovers, then organizes the rest
                after = tree(self.folder, *elsewhere)
                self.assertEqual(sorted(after.values()), original_contents, "each file exactly once")
                self.assertEqual([p for p in after if p.endswith(".qlm-move.tmp")], [])
                self.assertFalse(os.path.exists(os.path.join(self.folder, "sw_organize_undo.wal")))
                # A killed undo is settled by the next one; one killed after it
                # deleted the journal leaves only its log, for the next action.
                self.kill_host(undo, self.random.uniform(0, span))
                if os.path.exists(os.path.join(self.folder, "sw_organize_undo.json")):
                    self.run_ok(undo)
                self.assertEqual(tree(self.folder), original, "undo gives the folder back byte for byte")
                self.assertEqual(tree(*elsewhere), {})

    def test_by_type_killed_anywhere_loses_nothing(self):
        self.crash_rounds("by_type", [], 3)

    def test_placement_on_another_file_system_loses_nothing(self):
        here, shm = os.stat(self.root), os.stat("/dev/shm") if os.path.isdir("/dev/shm") else None
        if shm is None or shm.st_dev == here.st_dev or not os.access("/dev/shm", os.W_OK):
            self.skipTest("no /dev/shm on another file system")
        target = tempfile.mkdtemp(prefix="sortwell-organize-", dir="/dev/shm")
        self.addCleanup(shutil.rmtree, target, True)
        self.set_settings("sortwell", **{"organize.photoNamingPattern": "<Original Filename>",
                                         "organize.photoPlacementPattern": target + "/Sorted"})
        self.crash_rounds("photos_pattern", [target], 1)


@unittest.skipUnless(hasattr(os, "geteuid") and os.geteuid() == 0, "test_full_disk_moves_nothing needs root to mount")
class OrganizeFullDiskTest(HostCase):
    """A folder on a full 1 MB file system: the intent log cannot be written,
    so nothing moves and the job fails in words; with room again, organize
    and undo work and the folder comes back byte for byte."""

    def setUp(self):
        super().setUp()
        self.mount = os.path.join(self.root, "small")
        os.makedirs(self.mount)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", self.mount], capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("test_full_disk_moves_nothing: cannot mount a tmpfs here")
        self.addCleanup(subprocess.run, ["umount", "-l", self.mount])

    def run_job(self, action, parameters=""):
        write_job(self.job, action, parameters, [self.folder])
        return self.run_host(self.job)

    def test_full_disk_moves_nothing(self):
        self.folder = os.path.join(self.mount, "inbox")
        os.makedirs(self.folder)
        for i in range(60):
            write(os.path.join(self.folder, "f%02d.%s" % (i, ["jpg", "txt", "mp3"][i % 3])), b"%d" % i * 300)
        filler = os.path.join(self.mount, "filler")
        descriptor = os.open(filler, os.O_WRONLY | os.O_CREAT)
        try:
            while os.write(descriptor, b"\0" * 4096) > 0:
                pass
        except OSError:
            pass
        finally:
            os.close(descriptor)
        original = tree(self.folder)

        code, out, _ = self.run_job("organize_folder", "by_type")
        self.assertEqual(code, 1, out)
        self.assertIn("failed: %s: Cannot write the organize log in '%s' (There is not enough space on the disk.); "
                      "nothing was moved.\n" % (self.folder, self.folder), out)
        self.assertEqual(tree(self.folder), original)
        self.assertEqual(sorted(os.listdir(self.folder)), sorted(os.path.basename(p) for p in original))

        os.remove(filler)
        self.assertEqual(self.run_job("organize_folder", "by_type")[0], 0)
        # The journal is hidden, so the folder's .hidden names it.
        self.assertEqual(sorted(os.listdir(self.folder)),
                         [".hidden", "Documents", "Images", "Music", "sw_organize_undo.json"])
        with open(os.path.join(self.folder, "sw_organize_undo.json"), encoding="utf-8") as journal:
            self.assertEqual(len(json.load(journal)["moves"]), 60)
        self.assertEqual(self.run_job("organize_undo")[0], 0)
        self.assertEqual(tree(self.folder), original)
