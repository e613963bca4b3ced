"""A photo library survives qlm: writers killed at random moments, writers
and readers at the same time, odd files, odd names and oversized input.

QLM_CRASH_KILLS (100) and QLM_CONCURRENCY_ROUNDS (10) set the weight of the
two long tests; bench/nothing_lost.sh runs them with 300 kills and 50 rounds."""
import json
import os
import random
import re
import shutil
import signal
import socket
import stat
import subprocess
import threading
import time
import unittest

from qlm_run import SAMPLES, QlmTestCase, exiftool, image_data, read_bytes, temporaries, write_bytes


class Crashes(QlmTestCase):
    def test_writers_killed_at_random_moments_leave_every_photo_whole_and_private(self):
        kills = int(os.environ.get("QLM_CRASH_KILLS", "100"))
        photos = {}
        for name, size, mode in (("small.jpg", None, 0o600), ("open.jpg", None, 0o644), ("big.jpg", 20, 0o600)):
            path = self.path(name)
            if size is None:
                shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), path)
            else:
                # Noise does not compress: about 20 MB of scan data.
                subprocess.run(["convert", "-size", "4400x4400", "xc:gray", "+noise", "Random", "-quality", "100",
                                path], check=True)
            os.chmod(path, mode)
            os.setxattr(path, "user.keep", name.encode())
            photos[name] = (image_data(read_bytes(path)), mode)
        self.assertGreater(os.path.getsize(self.path("big.jpg")), 18 << 20)

        rng = random.Random(11)
        seen_temporary = 0
        for kill in range(kills):
            names = ["big.jpg"] if kill % 3 == 0 else ["small.jpg", "open.jpg"]
            process = self.start("tag", "add", "--tag", "k%d" % kill, *names)
            delay = rng.uniform(0.0, 0.6 if kill % 3 == 0 else 0.15)
            deadline = time.monotonic() + delay
            # Watch the temporaries while the writer runs: private from their creation.
            while time.monotonic() < deadline and process.poll() is None:
                for name in temporaries(self.work):
                    try:
                        info = os.stat(self.path(name))
                    except FileNotFoundError:
                        continue
                    seen_temporary += 1
                    self.assertTrue(name.startswith("."), name)
                    target = next(n for n in photos if name.startswith("." + n))
                    # Never more open than the target (it starts owner-only, then takes the target's mode).
                    self.assertEqual(stat.S_IMODE(info.st_mode) & ~photos[target][1], 0, (kill, name))
                time.sleep(0.002)
            process.send_signal(signal.SIGKILL)
            process.communicate()
            for name, (data, mode) in photos.items():
                path = self.path(name)
                self.assertEqual(image_data(read_bytes(path)), data, (kill, name))
                self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), mode, (kill, name))
                self.assertEqual(os.getxattr(path, "user.keep"), name.encode(), (kill, name))
            # A wildcard read never lists a leftover.
            listed = self.qlm("tag", "get", "--json", "*")
            self.assertEqual(sorted(os.path.basename(row["path"]) for row in json.loads(listed.out)["results"]),
                             sorted(photos), kill)

        # The next write beside them sweeps every leftover of a dead writer.
        done = self.qlm("tag", "add", "--tag", "last", *photos)
        self.assertEqual(done.code, 0, done.out + done.err)
        self.assertEqual(temporaries(self.work), [])
        for name in photos:
            out = subprocess.run(["exiftool", "-q", "-q", "-s3", "-if", "$Warning or $Error", "-FileName",
                                  self.path(name)], capture_output=True).stdout
            self.assertEqual(out, b"", name)
        print("\n%d kills, %d glimpses of a temporary, all private" % (kills, seen_temporary))


    def traced(self, *args, trace, inject=None, log=None, paths=False):
        """qlm under strace, with a fault injected into one system call."""
        command = ["strace", "-f", "-qq", "-o", log or "/dev/null", "-e", "trace=" + trace] + (["-y"] if paths else [])
        if inject:
            command += ["-e", "inject=" + inject]
        # LeakSanitizer cannot run under ptrace; the sanitizer build checks leaks elsewhere.
        environment = dict(self.environment(), ASAN_OPTIONS="detect_leaks=0")
        return subprocess.run(command + self.command(*args), cwd=self.work, env=environment, capture_output=True,
                              timeout=120)

    def group_of_photos(self, count):
        names = ["g%d.jpg" % i for i in range(count)]
        for name in names:
            shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), self.path(name))
        return names, read_bytes(self.path(names[0]))

    @unittest.skipUnless(shutil.which("strace"), "strace places the kill and the failure")
    def test_a_group_is_flushed_once_before_its_renames_and_a_kill_between_them_leaves_each_photo_old_or_new(self):
        names, old = self.group_of_photos(8)
        data = image_data(old)
        log = self.path("calls.txt")
        done = self.traced("tag", "add", "--tag", "G", *names, trace="fsync,syncfs,renameat2", log=log, paths=True)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        steps = []
        with open(log) as calls:
            for line in calls:
                # The photos' flushes and renames; the profile's registry has replaces of its own.
                if " syncfs(" in line or re.search(r" fsync\(\d+<[^>]*/\.g\d\.jpg\.qlm-", line):
                    steps.append("flush")
                elif " renameat2(" in line and re.search(r'"[^"]*/g\d\.jpg"', line):
                    steps.append("rename")
        # Each group is flushed once, before the first of its renames; a busy
        # machine may close a group at its age limit, never after each photo.
        self.assertEqual(steps[0], "flush", steps)
        self.assertEqual(steps.count("rename"), 8, steps)
        self.assertLess(steps.count("flush"), 8, steps)
        self.assertNotIn(["flush", "flush"], [steps[i:i + 2] for i in range(len(steps) - 1)], steps)
        os.remove(log)

        for kill_at in (1, 4, 8):
            for name in names:
                shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), self.path(name))
            self.traced("tag", "add", "--tag", "K", *names, trace="renameat2",
                        inject="renameat2:signal=SIGKILL:when=%d" % kill_at)
            new = 0
            for name in names:
                now = read_bytes(self.path(name))
                self.assertEqual(image_data(now), data, (kill_at, name))
                if now != old:
                    new += 1
                    self.assertIn("K", exiftool(self.path(name), "-XMP-dc:Subject")[0], (kill_at, name))
            # The renames run in target order: those before the kill are new.
            self.assertEqual(new, kill_at - 1, kill_at)
            self.assertNotEqual(temporaries(self.work), [], kill_at)
            swept = self.qlm("tag", "add", "--tag", "K", *names)
            self.assertEqual(swept.code, 0, swept.out + swept.err)
            self.assertEqual(temporaries(self.work), [], kill_at)

    @unittest.skipUnless(shutil.which("strace"), "strace places the kill and the failure")
    def test_a_group_whose_flush_fails_leaves_every_photo_as_it_was(self):
        names, old = self.group_of_photos(5)
        for name in names:
            os.setxattr(self.path(name), "user.keep", b"yes")
        # A busy machine may close a group at its age limit, and a group of one
        # flushes with fsync; the folder's own flush comes only after renames.
        failed = self.traced("tag", "add", "--json", "--tag", "F", *names, trace="fsync,syncfs",
                             inject="fsync,syncfs:error=EIO")
        self.assertEqual(failed.returncode, 1, failed.stdout + failed.stderr)
        rows = json.loads(failed.stdout)["results"]
        self.assertEqual([row["error"]["code"] for row in rows], ["write_failed"] * len(names))
        self.assertTrue(all(row["error"]["message"].startswith("Failed to commit changes to metadata") for row in rows),
                        rows)
        for name in names:
            self.assertEqual(read_bytes(self.path(name)), old, name)
            self.assertEqual(os.listxattr(self.path(name)), ["user.keep"], name)
        self.assertEqual(temporaries(self.work), [])


class Concurrency(QlmTestCase):
    def test_five_writers_and_a_reader_at_once_all_succeed_and_no_update_is_lost(self):
        rounds = int(os.environ.get("QLM_CONCURRENCY_ROUNDS", "10"))
        names = ["p%d.jpg" % i for i in range(4)] + ["notes.txt"]
        for name in names[:4]:
            shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), self.path(name))
        self.copy_samples("notes.txt")
        failures = []
        stop = threading.Event()
        reads = [0, 0]

        def reader():
            while not stop.is_set():
                r = self.qlm("info", "--json", "*")
                reads[0] += 1
                if r.code != 0:
                    reads[1] += 1
                    failures.append(("info", r.out, r.err))

        watcher = threading.Thread(target=reader)
        watcher.start()
        try:
            for round_ in range(rounds):
                writers = [self.start("tag", "add", "--json", "--tag", "r%dw%d" % (round_, w), *names)
                           for w in range(5)]
                for w, process in enumerate(writers):
                    out, err = process.communicate(timeout=120)
                    if process.returncode != 0:
                        failures.append(("write", round_, w, out.decode(), err.decode()))
        finally:
            stop.set()
            watcher.join()
        self.assertEqual(failures, [])
        final = json.loads(self.qlm("tag", "get", "--json", *names).out)["results"]
        for row in final:
            missing = ["r%dw%d" % (r, w) for r in range(rounds) for w in range(5)
                       if "r%dw%d" % (r, w) not in row["tags"]]
            self.assertEqual(missing, [], row["path"])
        print("\n%d rounds of 5 writers over %d files, %d reads beside them: 0 failures, 0 lost updates"
              % (rounds, len(names), reads[0]))


class OddFiles(QlmTestCase):
    def test_pipes_sockets_and_devices_are_read_without_opening_them_and_never_written(self):
        self.copy_samples("harbour.jpg")
        os.mkfifo(self.path("pipe.jpg"))
        server = socket.socket(socket.AF_UNIX)
        server.bind(self.path("sock.jpg"))
        try:
            r = self.qlm("info", "--json", "*")
            rows = {os.path.basename(row["path"]): row for row in json.loads(r.out)["results"]}
            self.assertEqual(rows["harbour.jpg"]["tags"], ["Holiday", "Harbour"])
            self.assertEqual(rows["pipe.jpg"]["status"], "ok")
            self.assertEqual(rows["pipe.jpg"]["tags"], [])
            self.assertEqual(rows["sock.jpg"]["status"], "ok")
            r = self.qlm("tag", "add", "--json", "--tag", "X", "pipe.jpg", "sock.jpg", "/dev/null")
            self.assertEqual(r.code, 1)
            self.assertEqual([row["status"] for row in json.loads(r.out)["results"]], ["error"] * 3)
            self.assertTrue(stat.S_ISFIFO(os.stat(self.path("pipe.jpg")).st_mode))
            self.assertEqual(sorted(os.listdir(self.work)), ["harbour.jpg", "pipe.jpg", "sock.jpg"])
        finally:
            server.close()

    def test_names_that_are_not_utf8_are_addressed_and_kept(self):
        raw = os.path.join(self.work.encode(), b"caf\xe9 \xff.jpg")
        shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), raw)
        command = self.command("tag", "add", "--tag", "Odd") + [raw]
        done = subprocess.run(command, cwd=self.work, env=self.environment(), capture_output=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(done.stdout.startswith(b"changed      " + raw + b"  (tags: "), done.stdout)
        self.assertEqual(sorted(os.listdir(self.work.encode())), [os.path.basename(raw)])
        out = subprocess.run(["exiftool", "-s3", "-XMP-dc:Subject", raw], capture_output=True).stdout
        self.assertEqual(out, b"Harbour, Holiday, Odd\n")
        # The same name through a wildcard and through a path list.
        for args, given in ((["caf*"], b""), (["-"], raw + b"\n")):
            listed = subprocess.run(self.command("tag", "get", *args), input=given, cwd=self.work,
                                    env=self.environment(), capture_output=True)
            self.assertEqual(listed.stdout, raw + b": Harbour, Holiday, Odd\n", args)

    def test_unreachable_paths_get_the_errors_they_stand_for(self):
        os.symlink("nowhere.jpg", self.path("dangling.jpg"))
        os.symlink("loop.jpg", self.path("loop.jpg"))
        cases = (
            ("dangling.jpg", "read_failed",
             "Could not read the metadata (the link points to a file that does not exist)."),
            ("loop.jpg", "read_failed", "Could not read the metadata: Failed to open metadata: Too many levels of "
                                        "symbolic links"),
            ("loop.jpg/x.jpg", "not_found", "No file or folder exists at this path."),
            ("n" * 300 + ".jpg", "not_found", "No file or folder exists at this path."),
        )
        for path, code, message in cases:
            row = json.loads(self.qlm("info", "--json", path).out)["results"][0]
            self.assertEqual(row["error"], {"code": code, "message": message}, path)


    def test_a_folder_that_may_not_be_searched_is_not_reported_empty(self):
        if os.geteuid() != 0 or not shutil.which("setpriv"):
            self.skipTest("needs root to run qlm as another user")
        locked = self.path("locked")
        os.mkdir(locked)
        shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), locked)
        for path, mode in ((self.root, 0o755), (self.work, 0o777), (self.profile, 0o777), (locked, 0o766)):
            os.chmod(path, mode)
        for given in ("locked/harbour.jpg", "locked/*"):
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + self.command(
                "info", "--json", given)
            done = subprocess.run(command, cwd=self.work, env=self.environment(), capture_output=True)
            rows = json.loads(done.stdout)["results"]
            self.assertEqual([row["error"] for row in rows],
                             [{"code": "read_failed", "message": "Could not read the metadata (Permission denied)."}], given)


class RefusedInput(QlmTestCase):
    def test_values_that_would_not_read_back_are_refused_before_anything_is_written(self):
        self.copy_samples("harbour.jpg")
        photo = self.path("harbour.jpg")
        before = read_bytes(photo)
        write_bytes(self.path("garbage.bin"), bytes(range(1, 256)) * 4)
        cases = (
            (["tag", "add", "--tag", "c\x01d"], "A tag name cannot contain control characters."),
            (["tag", "set", "--tag", "c\x7fd"], "A tag name cannot contain control characters."),
            (["comment", "set", "--text", "a\x07b"],
             "A comment cannot contain control characters other than tab, carriage return and line feed."),
            (["comment", "set", "--text-file", "garbage.bin"],
             "A comment cannot contain control characters other than tab, carriage return and line feed."),
        )
        for args, message in cases:
            self.assertUsageError(self.qlm(*args, "harbour.jpg"), message)
        self.assertEqual(read_bytes(photo), before)
        self.assertEqual(os.listxattr(photo), [])
        # Tabs and line breaks are what a comment may keep.
        self.ok("comment", "set", "--text", "one\ttwo\r\nthree", "harbour.jpg")

    def test_a_failed_write_takes_back_what_it_put_down(self):
        made = (["convert", "-size", "32x24", "xc:red", "photo.heic"],
                ["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "color=c=blue:s=32x24:d=0.2", "-pix_fmt",
                 "yuv420p", "clip.mp4"])
        names = []
        for command in made:
            if shutil.which(command[0]) and subprocess.run(command, cwd=self.work, capture_output=True).returncode == 0:
                names.append(command[-1])
        if not names:
            self.skipTest("neither ImageMagick with HEIC nor ffmpeg is here")
        def state(path):
            return read_bytes(path), {key: os.getxattr(path, key) for key in os.listxattr(path)}
        for name in names:
            os.setxattr(self.path(name), "user.keep", b"yes")
        for args in (["tag", "add", "--tag", "X"], ["rate", "set", "--stars", "2"], ["comment", "set", "--text", "c"]):
            # An earlier command may have succeeded: compare with the state right before this one.
            before = {name: state(self.path(name)) for name in names}
            r = self.qlm(*args, "--json", *names)
            for row in json.loads(r.out)["results"]:
                if row["status"] != "error":
                    continue  # a type that keeps this field somewhere that reads back
                path = row["path"]
                self.assertEqual(state(path), before[os.path.basename(path)], (args, path))

    def test_oversized_input_is_refused_naming_the_limit(self):
        write_bytes(self.path("big.txt"), b"x" * ((1 << 20) + 1))
        self.assertUsageError(self.qlm("comment", "set", "--text-file", "big.txt", "a.jpg"),
                              "The comment file 'big.txt' holds more than 1 MiB.")
        self.assertUsageError(self.qlm("comment", "set", "--text", "-", "a.jpg", stdin=b"y" * (2 << 20)),
                              "The comment text on standard input holds more than 1 MiB.")
        self.assertUsageError(self.qlm("tag", "add", "--tag", "X", "--from-file", "/dev/zero"),
                              "The path list '/dev/zero' holds more than 64 MiB.")
        # Standard input is not read beyond the limit, however much is offered.
        zero = subprocess.Popen(["cat", "/dev/zero"], stdout=subprocess.PIPE)
        bounded = subprocess.run(self.command("tag", "add", "--tag", "X", "-"), stdin=zero.stdout, cwd=self.work,
                                 env=self.environment(), capture_output=True, timeout=120)
        zero.kill()
        zero.wait()
        zero.stdout.close()
        self.assertEqual(bounded.returncode, 2)
        self.assertEqual(bounded.stderr, b"qlm: The path list on standard input holds more than 64 MiB.\n"
                                         b"Run 'qlm help' for usage.\n")
        # Exactly at the limit is still a path list.
        write_bytes(self.path("exact.txt"), b"\n" * (1 << 20))
        r = self.qlm("comment", "set", "--text-file", "exact.txt", "missing.jpg")
        self.assertEqual(r.code, 1, r.err)
