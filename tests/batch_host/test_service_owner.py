"""The stand-in AI service serves only the account that started it.

Port 44002 is on the loopback interface, where every account of the machine
can reach it. A program of another account connecting there is closed on
without a byte and logged; the owner is answered, over IPv4 or IPv6. The
second account is a uid that no account in /etc/passwd uses: to the kernel
that is another user, and the test leaves the machine's accounts alone.
"""
import os
import pwd
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

# A Python the second account can run: not one under root's home.
PYTHON = shutil.which("python3", path="/usr/local/bin:/usr/bin:/bin")
SERVICE = os.path.join(os.path.dirname(os.environ.get("SORTWELL_BATCH", "")), "Quillmark.AutoTagging.Service")

# Sends one request and prints every byte of the answer; a reset counts as
# the end, as a service that closes on unread bytes resets the connection.
CLIENT = r"""
import socket, sys
family, host = (socket.AF_INET6, "::ffff:127.0.0.1") if sys.argv[2] == "6" else (socket.AF_INET, "127.0.0.1")
connection = socket.socket(family, socket.SOCK_STREAM)
connection.settimeout(20)
connection.connect((host, 44002))
answer = b""
try:
    connection.sendall(sys.argv[1].encode() + b"\n")
    while True:
        chunk = connection.recv(65536)
        if not chunk:
            break
        answer += chunk
except ConnectionResetError:
    pass
sys.stdout.buffer.write(answer)
"""


def unused_uid():
    for uid in range(61000, 62000):
        try:
            pwd.getpwuid(uid)
        except KeyError:
            return uid
    raise unittest.SkipTest("no free uid between 61000 and 62000")


def as_user(uid, command):
    return ["setpriv", "--reuid=%d" % uid, "--regid=%d" % uid, "--clear-groups", *command]


@unittest.skipUnless(hasattr(os, "geteuid") and os.geteuid() == 0, "needs root to run programs as a second account")
@unittest.skipUnless(PYTHON, "no python3 in the system folders for the second account")
class OnlyItsOwnUserTest(unittest.TestCase):
    def setUp(self):
        with socket.socket() as probe:
            self.assertNotEqual(probe.connect_ex(("127.0.0.1", 44002)), 0, "port 44002 is taken")
        self._tmp = tempfile.TemporaryDirectory(prefix="service-owner-")
        self.root = self._tmp.name
        os.chmod(self.root, 0o755)
        self.stranger = unused_uid()
        self.photo = os.path.join(self.root, "private.jpg")
        with open(self.photo, "wb") as out:
            out.write(b"\xFF\xD8\xFF\xD9")
        with open(self.photo + ".tags", "w") as out:
            out.write("Private\n")
        for path in (self.photo, self.photo + ".tags"):
            os.chmod(path, 0o644)
        self.service = None

    def tearDown(self):
        if self.service is not None:
            self.service.send_signal(signal.SIGKILL)
            self.service.wait()
        self._tmp.cleanup()

    def start_service(self, uid=None):
        """Starts the stand-in as `uid` (default: us) with its log in a folder of that user."""
        logs = os.path.join(self.root, "logs")
        os.mkdir(logs)
        if uid is not None:
            os.chown(logs, uid, uid)
        self.log = os.path.join(logs, "service.log")
        env = dict(os.environ, QLM_TEST_SERVICE_LOG=self.log, QLM_TEST_SERVICE_IDLE_MS="20000")
        command = [SERVICE] if uid is None else as_user(uid, [SERVICE])
        self.service = subprocess.Popen(command, env=env, cwd="/", stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if os.path.exists(self.log) and b"listening\n" in self.read_log():
                return
            time.sleep(0.05)
        self.fail("the service did not listen: %r" % self.read_log())

    def read_log(self):
        with open(self.log, "rb") as log:
            return log.read()

    def ask(self, uid=None, family="4"):
        command = [PYTHON, "-c", CLIENT, self.photo, family]
        if uid is not None:
            command = as_user(uid, command)
        return subprocess.run(command, capture_output=True, cwd="/", timeout=60, check=True).stdout

    def test_another_account_gets_no_answer_and_the_owner_does(self):
        self.start_service()
        tags = b'{"status":"ok","tags":["Private"]}\n'
        self.assertEqual(self.ask(self.stranger), b"")
        self.assertEqual(self.ask(self.stranger, family="6"), b"")
        self.assertEqual(self.ask(), tags)
        self.assertEqual(self.ask(family="6"), tags)
        log = self.read_log()
        self.assertEqual(log.count(b"refused user %d\n" % self.stranger), 2, log)
        # The stranger's requests were never read: only the owner's two are logged.
        request = b"request %d\n%s\n\n" % (len(self.photo) + 1, self.photo.encode())
        self.assertEqual(log.count(b"request "), 2, log)
        self.assertEqual(log.count(request), 2, log)

    def test_a_service_started_by_another_account_serves_that_account_only(self):
        self.start_service(self.stranger)
        self.assertEqual(self.ask(), b"")
        self.assertEqual(self.ask(self.stranger), b'{"status":"ok","tags":["Private"]}\n')
        log = self.read_log()
        self.assertIn(b"refused user 0\n", log)
        self.assertEqual(log.count(b"request "), 1, log)


if __name__ == "__main__":
    unittest.main()
