"""Runs the built sortwell-batch (SORTWELL_BATCH) on job files, each test in
its own profile and working folder."""
import json
import os
import subprocess
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def write(path, data):
    """Writes the bytes, or the text as UTF-8."""
    with open(path, "wb") as out:
        out.write(data.encode("utf-8") if isinstance(data, str) else data)


def write_job(path, action, parameters, files, version="1"):
    job = {"version": version, "job": {"guid": "6a1f", "action_type": action, "action_parameters": parameters},
           "files": [{"path": f} for f in files]}
    with open(path, "w", encoding="utf-8") as out:
        json.dump(job, out, ensure_ascii=False)


class HostCase(unittest.TestCase):
    """A private profile (log and settings) under a temporary root; `job` is the job file's path there."""

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="sortwell-batch-")
        self.addCleanup(self._tmp.cleanup)
        self.root = self._tmp.name
        self.profile = os.path.join(self.root, "profile")
        os.makedirs(self.profile)
        self.env = dict(os.environ, XDG_DATA_HOME=self.profile, HOME=self.profile)
        self.job = os.path.join(self.root, "job.json")

    def set_settings(self, app_id, **values):
        """The shipped suite-wide settings in the profile, with these of one app changed."""
        with open(os.path.join(REPO, "content", "Configurations", "High Level Settings.json"), encoding="utf-8") as f:
            data = json.load(f)
        for app in data["apps"]:
            if app["app_id"] == app_id:
                app["settings"].update(values)
        folder = os.path.join(self.profile, "Verandel", "Quillmark", "Settings")
        os.makedirs(folder, exist_ok=True)
        write(os.path.join(folder, "High Level Settings.json"), json.dumps(data))

    def run_host(self, *args, host=None, timeout=120):
        """The exit code, standard output and standard error of one run."""
        completed = subprocess.run([host or os.environ["SORTWELL_BATCH"], *args], capture_output=True, env=self.env,
                                   cwd=self.root, timeout=timeout)
        return completed.returncode, completed.stdout.decode("utf-8"), completed.stderr.decode("utf-8")
