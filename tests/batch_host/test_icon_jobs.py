"""End-to-end: the icon actions of a job, run by sortwell-batch, on a file
(its icon stream, read back by getfattr) and on a folder (its desktop.ini)."""
import os
import shutil
import subprocess
import unittest

from batch_run import write, write_job
from test_sortwell_batch import BatchHostCase


def icon_stream(path):
    done = subprocess.run(["getfattr", "--only-values", "-n", "user.sw_icon_data", path], capture_output=True)
    return done.stdout if done.returncode == 0 else None


@unittest.skipUnless(shutil.which("getfattr"), "getfattr is not installed")
class IconJobTest(BatchHostCase):
    def test_custom_icons_come_and_go_through_jobs(self):
        # Small enough for the room ext4 keeps beside a file.
        icon = os.path.join(self.root, "mine.ico")
        write(icon, b"\0\0\1\0\1\0" + b"icon bytes" * 20)
        folder = os.path.join(self.root, "Album")
        os.makedirs(folder)

        write_job(self.job, "icon_set_custom_icon", icon, [self.photo, folder])
        code, out, err = self.run_host(self.job)
        self.assertEqual((code, err), (0, ""), out)
        with open(icon, "rb") as source:
            self.assertEqual(icon_stream(self.photo), source.read())
        names = [n for n in os.listdir(folder) if n.startswith("sw_folder_")]
        self.assertEqual(len(names), 1)
        with open(os.path.join(folder, "desktop.ini"), "rb") as ini:
            self.assertIn(("IconResource=%s,0" % names[0]).encode("utf-16-le"), ini.read())

        write_job(self.job, "icon_set_default_icon", "", [self.photo, folder])
        code, out, err = self.run_host(self.job)
        self.assertEqual((code, err), (0, ""), out)
        self.assertIsNone(icon_stream(self.photo))
        self.assertEqual([n for n in os.listdir(folder) if n.startswith("sw_folder_")], [])
        with open(os.path.join(folder, "desktop.ini"), "rb") as ini:
            self.assertNotIn("IconResource".encode("utf-16-le"), ini.read())
