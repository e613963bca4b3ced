"""End-to-end tests of tag add|remove|set|clear and rate set|clear on real files and folders."""
import json
import os
import shutil
import signal
import subprocess
import time

from qlm_run import SAMPLES, QlmTestCase, exiftool, write_bytes

class WriteCommands(QlmTestCase):
    def setUp(self):
        super().setUp()
        self.copy_samples("harbour.jpg", "garden.png", "notes.txt")
        subprocess.run(["convert", "-size", "32x24", "xc:blue", self.path("scan.tif")], check=True)

    def mtime(self, name):
        return os.stat(self.path(name)).st_mtime_ns

    def test_tags_on_photos_read_back_in_exiftool(self):
        r = self.qlm("tag", "add", "--tag", "Beach", "--tag", " beach\t", "--tag", "Été", "harbour.jpg", "garden.png",
                     "scan.tif")
        self.assertEqual((r.code, r.err), (0, ""))
        self.assertEqual(r.out, "changed      %s  (tags: Beach, Harbour, Holiday, Été)\n"
                                "changed      %s  (tags: Beach, Été)\n"
                                "changed      %s  (tags: Beach, Été)\n"
                                "3 changed, 0 unchanged, 0 failed\n"
                         % (self.path("harbour.jpg"), self.path("garden.png"), self.path("scan.tif")))

        # Removal matches names ignoring ASCII case; what stays is stored sorted.
        r = self.qlm("tag", "remove", "--tag", "HOLIDAY", "--tag", "Été", "harbour.jpg")
        self.assertEqual(r.out, "changed      %s  (tags: Beach, Harbour)\n1 changed, 0 unchanged, 0 failed\n"
                         % self.path("harbour.jpg"))
        self.assertEqual(exiftool(self.path("harbour.jpg"), "-XMP-dc:Subject"), ["Beach, Harbour"])

        # set replaces the list; clear empties it.
        self.assertEqual(self.qlm("tag", "set", "--tag", "a", "--tag", "b", "harbour.jpg").code, 0)
        self.assertEqual(exiftool(self.path("harbour.jpg"), "-XMP-dc:Subject", "-IPTC:Keywords"), ["a, b", "a, b"])
        self.ok("tag", "clear", "harbour.jpg", "scan.tif")
        self.assertEqual(exiftool(self.path("harbour.jpg"), "-XMP-dc:Subject", "-IPTC:Keywords"), ["-", "-"])
        self.assertEqual(exiftool(self.path("scan.tif"), "-XMP-dc:Subject"), ["-"])

    def test_unchanged_targets_are_never_written(self):
        before = self.mtime("harbour.jpg")
        r = self.qlm("rate", "set", "--stars", "4", "harbour.jpg")
        self.assertEqual(r.out, "unchanged    %s  (rating: 4)\n0 changed, 1 unchanged, 0 failed\n"
                         % self.path("harbour.jpg"))
        # A name the file holds in another case is there already, and its spelling stays.
        r = self.qlm("tag", "add", "--tag", "holiday", "harbour.jpg")
        self.assertEqual(r.out, "unchanged    %s  (tags: Holiday, Harbour)\n0 changed, 1 unchanged, 0 failed\n"
                         % self.path("harbour.jpg"))
        self.assertIn("unchanged", self.qlm("tag", "set", "--tag", "harbour", "--tag", "HOLIDAY", "harbour.jpg").out)
        self.assertEqual(self.mtime("harbour.jpg"), before)

    def test_dry_run_reports_without_writing(self):
        before = (self.mtime("harbour.jpg"), self.mtime("garden.png"))
        # The rows' words are result_printer_test's.
        r = self.ok("rate", "set", "--dry-run", "--stars", "2", "harbour.jpg", "garden.png")
        self.assertTrue(r.out.endswith("\n2 would change, 0 unchanged, 0 failed\n"), r.out)
        r = self.qlm("tag", "set", "--dry-run", "--json", "--tag", "Work", "harbour.jpg", "garden.png")
        self.assertEqual(json.loads(r.out), {
            "command": "tag set", "ok": True, "exit_code": 0, "dry_run": True,
            "results": [
                {"path": self.path("harbour.jpg"), "status": "changed", "before": {"tags": ["Holiday", "Harbour"]},
                 "after": {"tags": ["Work"]}},
                {"path": self.path("garden.png"), "status": "changed", "before": {"tags": []},
                 "after": {"tags": ["Work"]}}],
            "summary": {"changed": 1 + 1, "unchanged": 0, "errors": 0}})
        self.assertEqual((self.mtime("harbour.jpg"), self.mtime("garden.png")), before)
        self.assertEqual(exiftool(self.path("harbour.jpg"), "-XMP-xmp:Rating"), ["4"])
        # The worker never ran: it logs nothing in a dry run.
        self.assertFalse(any("Processing" in line or "Error processing" in line for line in self.log_lines()))

    def test_json_rows_of_a_mixed_run(self):
        write_bytes(self.path("song.mp3"), b"ID3\x03\x00\x00\x00\x00\x00\x00")
        r = self.qlm("tag", "add", "--json", "--tag", "Work", "harbour.jpg", "song.mp3", "missing.jpg")
        self.assertEqual(r.code, 1)
        self.assertEqual(json.loads(r.out), {
            "command": "tag add", "ok": False, "exit_code": 1, "dry_run": False,
            "results": [
                {"path": self.path("harbour.jpg"), "status": "changed", "before": {"tags": ["Holiday", "Harbour"]},
                 "after": {"tags": ["Harbour", "Holiday", "Work"]}},
                {"path": self.path("song.mp3"), "status": "error",
                 "error": {"code": "unsupported_type", "message": "This file type cannot store tags."}},
                {"path": self.path("missing.jpg"), "status": "error",
                 "error": {"code": "not_found", "message": "No file or folder exists at this path."}}],
            "summary": {"changed": 1, "unchanged": 0, "errors": 2}})

    def test_read_only_file_fails_with_exit_code_1(self):
        os.chmod(self.path("garden.png"), 0o444)
        before = self.mtime("garden.png")
        r = self.qlm("rate", "set", "--stars", "5", "garden.png", "harbour.jpg")
        self.assertEqual(r.code, 1)
        self.assertEqual(r.out, "changed      %s  (rating: 5)\n1 changed, 0 unchanged, 1 failed\n"
                         % self.path("harbour.jpg"))
        # Its words are test_system_messages'.
        self.assertTrue(r.err.startswith("qlm: %s: " % self.path("garden.png")), r.err)
        self.assertEqual(self.mtime("garden.png"), before)
        self.assertEqual(exiftool(self.path("garden.png"), "-XMP-xmp:Rating"), ["-"])

    def test_usage_errors_come_before_any_target_is_read(self):
        self.assertUsageError(self.qlm("rate", "set", "--stars", "6", "harbour.jpg"),
                              "--stars must be a whole number from 0 to 5.")
        r = self.qlm("tag", "add", "--json", "--tag", "ok", "--tag", "", "harbour.jpg")
        self.assertEqual((r.code, json.loads(r.out)["error"]["code"]), (2, "usage"))
        self.assertEqual(exiftool(self.path("harbour.jpg"), "-XMP-dc:Subject"), ["Holiday, Harbour"])


class Cancellation(QlmTestCase):
    def test_ctrl_c_finishes_the_file_in_progress_and_cancels_the_rest(self):
        names = ["p%04d.jpg" % i for i in range(2000)]
        for name in names:
            shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), self.path(name))
        start = os.stat(self.path(names[5])).st_mtime_ns
        process = self.start("tag", "add", "--json", "--tag", "Late", "p*.jpg")
        # Interrupt once the first files are written.
        deadline = time.monotonic() + 60
        while os.stat(self.path(names[5])).st_mtime_ns == start and time.monotonic() < deadline:
            time.sleep(0.01)
        process.send_signal(signal.SIGINT)
        out, _ = process.communicate(timeout=120)
        self.assertEqual(process.returncode, 1)
        report = json.loads(out.decode("utf-8"))
        self.assertTrue(report["cancelled"])
        statuses = [row["status"] if row["status"] != "error" else row["error"]["code"] for row in report["results"]]
        changed = statuses.count("changed")
        self.assertGreater(changed, 0)
        self.assertGreater(statuses.count("cancelled"), 0)
        # Targets are written in order: the written ones first, then those never reached. No file is torn.
        self.assertEqual(statuses, ["changed"] * changed + ["cancelled"] * (len(names) - changed))
        rows = report["results"]
        for row, tags in ((rows[changed - 1], "Harbour, Holiday, Late"), (rows[changed], "Holiday, Harbour")):
            self.assertEqual(exiftool(row["path"], "-XMP-dc:Subject", "-IPTC:Keywords"), [tags, tags])
        damaged = subprocess.run(["exiftool", "-q", "-q", "-s3", "-if", "$Warning or $Error", "-FileName", "-ext",
                                  "jpg", "."], cwd=self.work, capture_output=True).stdout
        self.assertEqual(damaged, b"")
        # The group in flight was renamed whole: nothing of it is left beside the photos.
        self.assertEqual([name for name in os.listdir(self.work) if name.endswith(".tmp")], [])
        row = report["results"][changed]
        self.assertEqual(row["error"]["message"], "Cancelled before this target was written.")
        self.assertEqual(row["after"], {"tags": ["Holiday", "Harbour"]})
