"""Runs the built qlm in an isolated profile for the end-to-end tests.

QLM names the binary; QLM_RUNNER (for example "wine") is put in front of it.
Every run gets XDG_DATA_HOME and HOME inside a temporary folder, so no test
touches the real user profile.
"""
import datetime
import os
import shlex
import subprocess
import tempfile
import unittest


class Result:
    def __init__(self, completed):
        self.code = completed.returncode
        self.out_bytes = completed.stdout
        self.err_bytes = completed.stderr
        self.out = completed.stdout.decode("utf-8")
        self.err = completed.stderr.decode("utf-8")


class QlmTestCase(unittest.TestCase):
    """A test case with a private profile and working folder."""

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="qlm-e2e-")
        self.root = self._tmp.name
        self.profile = os.path.join(self.root, "profile")
        self.work = os.path.join(self.root, "work")
        os.makedirs(self.profile)
        os.makedirs(self.work)
        self.binary = os.environ["QLM"]

    def tearDown(self):
        self._tmp.cleanup()

    def qlm(self, *args, stdin=b"", cwd=None, env=None):
        command = shlex.split(os.environ.get("QLM_RUNNER", "")) + [self.binary, *args]
        environment = dict(os.environ)
        environment.update({"XDG_DATA_HOME": self.profile, "HOME": self.profile})
        environment.update(env or {})
        completed = subprocess.run(command, input=stdin, capture_output=True, cwd=cwd or self.work,
                                   env=environment, timeout=120)
        return Result(completed)

    def log_path(self):
        name = "Command Line %s.log" % datetime.date.today().isoformat()
        return os.path.join(self.profile, "Verandel", "Quillmark", "Sortwell", "Command Line", "Logs", name)

    def log_lines(self):
        with open(self.log_path(), "rb") as log:
            return log.read().decode("utf-8").splitlines()

    def assertUsageError(self, result, message):
        """Exit code 2, the two-line report on standard error, nothing on standard output."""
        self.assertEqual(result.code, 2, result.err)
        self.assertEqual(result.out, "")
        self.assertEqual(result.err, "qlm: %s\nRun 'qlm help' for usage.\n" % message)
