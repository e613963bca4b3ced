"""Runs the built qlm in an isolated profile for the end-to-end tests.

QLM names the binary; QLM_RUNNER (for example "wine") is put in front of it.
Every run gets XDG_DATA_HOME and HOME inside a temporary folder, so no test
touches the real user profile.
"""
import datetime
import json
import os
import pty
import re
import select
import shlex
import shutil
import subprocess
import tempfile
import time
import unittest

SAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "samples")
DATA = os.path.join(os.path.dirname(__file__), "..", "data")


def exiftool(path, *tags):
    """exiftool's values of the tags, one line each, "-" for a missing one."""
    out = subprocess.run(["exiftool", "-f", "-s3", "-n", "-sep", ", ", *tags, path], capture_output=True,
                         check=True).stdout
    return out.decode("utf-8").splitlines()


# A writer's temporary beside its target: ".NAME.qlm-PID-N-N.tmp".
TEMPORARY = re.compile(r".*\.qlm-(\d+)-\d+-\d+\.tmp$")


def temporaries(folder):
    return sorted(name for name in os.listdir(folder) if TEMPORARY.match(name))


def first_scan(jpeg):
    """The offset of a JPEG's first start-of-scan marker (FF DA)."""
    at = 2
    while at + 4 <= len(jpeg) and jpeg[at] == 0xFF:
        if jpeg[at + 1] == 0xDA:
            return at
        at += 2 + int.from_bytes(jpeg[at + 2:at + 4], "big")
    raise AssertionError("no start of scan")


def image_data(jpeg):
    """A JPEG's bytes from its first scan on: what no write may change."""
    return jpeg[first_scan(jpeg):]


def have(*programs):
    return all(shutil.which(p) for p in programs)


def fill_disk(folder):
    """Writes a file in the folder until its file system is full."""
    with open(os.path.join(folder, "filler"), "wb", buffering=0) as filler:
        try:
            while filler.write(b"\0" * 4096) > 0:
                pass
        except OSError:
            pass


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


# Failure codes that have words: the Win32 errors the Linux backends turn
# errno into, and the storage, imaging and COM codes they raise. A message
# that shows one of these as "0x…" instead of its words fails the test that
# printed it.
WIN32_ERRORS_WITH_WORDS = {2, 3, 4, 5, 6, 8, 17, 19, 21, 32, 33, 50, 87, 109, 112, 145, 183, 206, 223, 1113, 1117,
                           1142, 1223, 1295, 1460, 1921}
HRESULTS_WITH_WORDS = {0x80004001, 0x80004005, 0x80030001, 0x80030002, 0x80030005, 0x80030020, 0x80030070,
                       0x80030103, 0x80030109, 0x88982F41, 0x88982F52, 0x88982F61}


def raw_codes(text):
    """The "0x" codes with known words that the text shows as numbers."""
    found = []
    for digits in re.findall(r"0x([0-9A-Fa-f]{8})", text):
        code = int(digits, 16)
        if code in HRESULTS_WITH_WORDS or (code >> 16 == 0x8007 and code & 0xFFFF in WIN32_ERRORS_WITH_WORDS):
            found.append("0x" + digits)
    return found


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
        self.printed = []  # (arguments, standard output and error) of every run

    def tearDown(self):
        self._tmp.cleanup()
        # Windows keeps quoting codes beside its words; the Linux texts give words.
        if os.environ.get("QLM_RUNNER"):
            return
        for args, text in self.printed:
            self.assertEqual(raw_codes(text), [], "qlm %s printed a code without its words:\n%s" % (args, text))

    def path(self, name):
        return os.path.join(self.work, name)

    def copy_samples(self, *names):
        """Copies sample files into the working folder under their own names."""
        for name in names:
            shutil.copy(os.path.join(SAMPLES, name), self.work)

    def command(self, *args):
        return shlex.split(os.environ.get("QLM_RUNNER", "")) + [self.binary, *args]

    def environment(self, **extra):
        return dict(os.environ, XDG_DATA_HOME=self.profile, HOME=self.profile, **extra)

    def start(self, *args):
        """qlm started in the working folder, its output streams on pipes."""
        return subprocess.Popen(self.command(*args), cwd=self.work, env=self.environment(), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def start_held(self, *args, delay_us=1500000):
        """qlm started under strace, which delays every fsync (its temporary's among them) by the delay."""
        command = ["strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=fsync", "-e",
                   "inject=fsync:delay_enter=%d" % delay_us, *self.command(*args)]
        # LeakSanitizer cannot run under ptrace; the sanitizer build checks leaks in every other test.
        return subprocess.Popen(command, cwd=self.work, env=dict(self.environment(), ASAN_OPTIONS="detect_leaks=0"),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def wait_for_temporary(self, process):
        """Returns once the running qlm has written its temporary in the working folder."""
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and process.poll() is None:
            if temporaries(self.work):
                return
            time.sleep(0.005)
        self.fail("qlm never wrote its temporary")

    def on_terminal(self, *args, stdout_too=True):
        """qlm with standard error (and output, unless piped) on a pseudo-terminal:
        (exit code, piped standard output bytes, terminal bytes with line ends as "\n")."""
        controller, terminal = pty.openpty()
        process = subprocess.Popen(self.command(*args), cwd=self.work, env=self.environment(),
                                   stdin=subprocess.DEVNULL, stdout=terminal if stdout_too else subprocess.PIPE,
                                   stderr=terminal)
        os.close(terminal)
        shown = b""
        while select.select([controller], [], [], 60)[0]:
            try:
                data = os.read(controller, 65536)
            except OSError:  # the terminal reports EIO once the last writer closed it
                break
            if not data:
                break
            shown += data
        out = b"" if stdout_too else process.stdout.read()
        if not stdout_too:
            process.stdout.close()
        process.wait(60)
        os.close(controller)
        return process.returncode, out, shown.replace(b"\r\n", b"\n")

    def qlm(self, *args, stdin=b"", cwd=None, env=None):
        completed = subprocess.run(self.command(*args), input=stdin, capture_output=True, cwd=cwd or self.work,
                                   env=self.environment(**(env or {})), timeout=120)
        result = Result(completed)
        self.printed.append((" ".join(map(str, args)), result.out + result.err))
        return result

    def ok(self, *args, **kwargs):
        """A run that must succeed; its result."""
        r = self.qlm(*args, **kwargs)
        self.assertEqual(r.code, 0, r.out + r.err)
        return r

    def info(self, name):
        """The one JSON row of `qlm info` on the path, after checking that the run succeeded."""
        r = self.qlm("info", "--json", name)
        self.assertEqual(r.code, 0, r.out + r.err)
        return json.loads(r.out)["results"][0]

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
