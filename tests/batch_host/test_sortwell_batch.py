"""End-to-end tests of sortwell-batch, the job-file host.

SORTWELL_BATCH names the binary. Every run gets its own profile (log and
settings) and working folder.
"""
import os
import pty
import shutil
import subprocess

from batch_run import REPO, HostCase, write, write_job

USAGE = "usage: sortwell-batch JOBFILE [--delete]\n"


class BatchHostCase(HostCase):
    """Two sample photos in the working folder."""

    def setUp(self):
        super().setUp()
        self.photo = os.path.join(self.root, "harbour.jpg")
        self.other = os.path.join(self.root, "Ström.jpg")
        shutil.copy(os.path.join(REPO, "samples", "harbour.jpg"), self.photo)
        shutil.copy(os.path.join(REPO, "samples", "Trip 2026", "beach.jpg"), self.other)

    def keywords(self, path):
        out = subprocess.run(["exiftool", "-s3", "-sep", ";", "-XMP-dc:Subject", path], capture_output=True,
                             check=True).stdout.decode("utf-8")
        return out.strip()


class SortwellBatchTest(BatchHostCase):
    def test_redirected_run_prints_a_line_per_report_and_writes_the_tags(self):
        write_job(self.job, "update_tags", "+Work;+Ström", [self.photo, self.other])
        code, out, err = self.run_host(self.job)
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out, "progress: 50%%\nok: %s\nprogress: 96%%\nok: %s\nprogress: 100%%\n2 succeeded, 0 failed\n"
                         % (self.photo, self.other))
        self.assertEqual(sorted(self.keywords(self.photo).split(";")), ["Harbour", "Holiday", "Ström", "Work"])
        self.assertEqual(sorted(self.keywords(self.other).split(";")), ["Ström", "Work"])
        self.assertTrue(os.path.exists(self.job), "the job file is kept without --delete")

    def test_a_missing_file_gives_exit_code_1_and_an_unknown_action_is_refused_before_the_run(self):
        missing = os.path.join(self.root, "missing.jpg")
        write_job(self.job, "update_tags", "+Work", [self.photo, missing])
        code, out, err = self.run_host(self.job, "--delete")
        self.assertEqual(code, 1, out + err)
        self.assertIn("failed: %s: the file does not exist\n" % missing, out)
        self.assertTrue(out.endswith("1 succeeded, 1 failed\n"), out)
        self.assertFalse(os.path.exists(self.job), "--delete removes the job file")
        before = open(self.photo, "rb").read()
        # One recognised but without a handler here (its job file deleted), one no build knows (kept).
        for action, delete in (("media_play_pause", ["--delete"]), ("frobnicate", [])):
            write_job(self.job, action, "", [self.photo])
            self.assertEqual(self.run_host(self.job, *delete),
                             (2, "", "sortwell-batch: the job's action '%s' is not known\n" % action))
            self.assertEqual(os.path.exists(self.job), not delete)
        self.assertEqual(open(self.photo, "rb").read(), before)

    def test_a_job_file_that_cannot_be_used_gives_exit_code_2(self):
        # Each way a job file can be wrong is the job-file unit test's; here, that it ends the run.
        write(self.job, b"{}")
        self.assertEqual(self.run_host(self.job, "--delete"),
                         (2, "", "sortwell-batch: Missing or invalid 'version' field\n"))
        self.assertFalse(os.path.exists(self.job))
        code, out, err = self.run_host(os.path.join(self.root, "none.json"))
        self.assertEqual((code, out), (2, ""))
        self.assertEqual(err, "sortwell-batch: Failed to open JSON file: %s\n" % os.path.join(self.root, "none.json"))

    def test_command_line_errors(self):
        cases = [
            ([], "no job file given."),
            (["a.json", "b.json"], "only one job file can be given."),
            (["--keep", "a.json"], "unknown option '--keep'."),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.assertEqual(self.run_host(*args), (2, "", "sortwell-batch: %s\n%s" % (message, USAGE)))

    def test_help_lists_every_action_that_runs_with_its_parameter_form(self):
        code, out, err = self.run_host("--help")
        self.assertEqual((code, err), (0, ""))
        self.assertTrue(out.startswith(USAGE), out)
        actions = out.split("Actions", 1)[1].split("Exit codes", 1)[0]
        forms = dict(line.split(None, 1) for line in actions.splitlines()
                     if line.startswith("  ") and not line.startswith("   "))
        self.assertEqual(forms["set_rating"], "STARS (0 to 5)")
        self.assertEqual(forms["update_tags"], "+TAG;-TAG;=")
        self.assertEqual(forms["remove_tags"], "(none)")
        # Every action the help names runs: none is reported unknown.
        self.assertEqual(len(forms), 16)
        self.assertNotIn("media_play_pause", forms)
        for code_line in ["  0  every file succeeded", "  1  at least one file did not", "  2  the command line"]:
            self.assertIn(code_line, out)

    def test_parameters_are_checked_before_any_file_is_touched(self):
        before = open(self.photo, "rb").read()
        cases = [
            ("set_rating", "five", "rating must be a whole number from 0 to 5"),
            ("set_rating", "6", "rating must be a whole number from 0 to 5"),
            ("update_tags", "Work", "each change must be +TAG, -TAG or =, separated by ';' (not 'Work')"),
            ("toggle_tags", ";;", "toggle_tags needs at least one tag name"),
            ("forget_person", "", "forget_person needs the person's name"),
            ("organize_folder", "by_date", "the scheme must be by_type, photos_pattern or music_pattern"),
            ("run_context_menu_command", "nShow=big", "nShow must be a whole number from 0 to 11"),
        ]
        for action, parameters, message in cases:
            with self.subTest(action=action, parameters=parameters):
                write_job(self.job, action, parameters, [self.photo])
                self.assertEqual(self.run_host(self.job), (2, "", "sortwell-batch: %s: %s\n" % (action, message)))
                self.assertEqual(open(self.photo, "rb").read(), before)
        write_job(self.job, "set_rating", "five", [self.photo])
        self.assertEqual(self.run_host(self.job, "--delete")[0], 2)
        self.assertFalse(os.path.exists(self.job), "--delete removes a refused job file too")

    def test_a_job_that_is_not_json_says_where_it_breaks(self):
        write(self.job, '{"version": "1",\n "job": {"guid": "g"\n   "action_type": "x"}}')
        code, out, err = self.run_host(self.job)
        self.assertEqual((code, out), (2, ""))
        self.assertEqual(err.splitlines()[0], "sortwell-batch: %s is not JSON: line 3, column 4: "
                         "Missing a comma or '}' after an object member." % self.job)

    def test_a_terminal_gets_a_bar_redrawn_in_place(self):
        write_job(self.job, "update_tags", "+Work", [self.photo] * 20)
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(self.root)
            os.execve(os.environ["SORTWELL_BATCH"], ["sortwell-batch", self.job], self.env)
        chunks = []
        while True:
            try:
                data = os.read(fd, 65536)
            except OSError:
                break
            if not data:
                break
            chunks.append(data)
        _, status = os.waitpid(pid, 0)
        os.close(fd)
        text = b"".join(chunks).decode("utf-8").replace("\r\n", "\n")
        self.assertEqual(os.waitstatus_to_exitcode(status), 0, text)
        self.assertTrue(text.startswith("Processing 20 files\n"), repr(text[:200]))
        self.assertIn("\r[##............................]   7%", text)
        self.assertIn("\r[##############################] 100%", text)
        self.assertEqual(text.count("ok: " + self.photo + "\n"), 20)
        self.assertTrue(text.endswith("\n20 succeeded, 0 failed\n"), repr(text[-200:]))


class SortwellBatchServiceTest(BatchHostCase):
    """Jobs that need the local AI service: the stand-in built beside the host."""

    def setUp(self):
        super().setUp()
        self.service_log = os.path.join(self.root, "service.log")
        self.env["QLM_TEST_SERVICE_LOG"] = self.service_log
        self.env["QLM_TEST_SERVICE_IDLE_MS"] = "20000"
        self.set_settings("insightor", **{"people_recognition.enabled": True,
                                          "people_recognition.consent_accepted": True})

    def tearDown(self):
        if os.path.exists(self.service_log):
            with open(self.service_log, "rb") as log:
                for line in log.read().split(b"\n"):
                    if line.startswith(b"start "):
                        try:
                            os.kill(int(line[6:]), 9)
                        except (ProcessLookupError, ValueError):
                            pass
        super().tearDown()

    def test_auto_tag_job_through_the_service(self):
        write(self.photo + ".tags", "Harbour\nSunset\n")
        notes = os.path.join(self.root, "notes.txt")
        write(notes, "plain")
        write_job(self.job, "auto_tag", "", [self.photo, notes])
        code, out, err = self.run_host(self.job)
        self.assertEqual((code, err), (1, ""))
        self.assertEqual(out, "Auto-tagging 2 files using local and private AI\n"
                              "progress: 50%%\nFile 1 of 2 - harbour.jpg\nok: %s\n"
                              "progress: 96%%\nFile 2 of 2 - notes.txt\n"
                              "unsupported: %s: unsupported_file_type (supported: JPEG and PNG images)\n"
                              "progress: 100%%\n1 succeeded, 1 failed\n" % (self.photo, notes))
        # The service's tags are appended as they come, duplicates kept.
        self.assertEqual(sorted(self.keywords(self.photo).split(";")), ["Harbour", "Harbour", "Holiday", "Sunset"])

    def test_recognition_counts_the_faces_nobody_matched(self):
        with open(self.photo + ".faces.json", "w") as out:
            out.write('{"status":"ok","faces":3,"regions":[{"name":"Anna","x":0.1,"y":0.1,"w":0.2,"h":0.2}]}')
        write_job(self.job, "recognize_faces", "", [self.photo, self.photo])
        code, out, err = self.run_host(self.job)
        self.assertEqual((code, err), (0, ""), out)
        self.assertTrue(out.startswith("Recognizing and applying people tags in 2 photos using local AI\n"), out)
        self.assertTrue(out.endswith("2 succeeded, 0 failed\nunidentified faces: 4\n"), out)
        names = subprocess.run(["exiftool", "-s3", "-XMP-MP:RegionPersonDisplayName", self.photo],
                               capture_output=True, check=True).stdout.decode("utf-8").strip()
        self.assertEqual(names, "Anna")

    def test_a_missing_service_program_fails_at_the_first_start(self):
        alone = os.path.join(self.root, "alone")
        os.makedirs(alone)
        host = os.path.join(alone, "sortwell-batch")
        shutil.copy(os.environ["SORTWELL_BATCH"], host)
        write_job(self.job, "auto_tag", "", [self.photo, self.other])
        code, out, _ = self.run_host(self.job, host=host)
        self.assertEqual(code, 1, out)
        self.assertEqual(out.count("the auto-tagging service failed"), 2, out)
        log_folder = os.path.join(self.profile, "Verandel", "Quillmark", "Sortwell", "Command Line", "Logs")
        log = ""
        names = os.listdir(log_folder)
        for name in names:
            with open(os.path.join(log_folder, name), encoding="utf-8") as text:
                log += text.read()
        # The cause is only in the log: the message says which file that is.
        self.assertIn("(details in %s)" % os.path.join(log_folder, names[0]), out)
        service = os.path.join(alone, "Quillmark.AutoTagging.Service")
        self.assertEqual(log.count("[ERROR] Failed to launch auto-tagging service at '%s'." % service), 2)
        self.assertEqual(log.count("Error processing file %s Details: Unable to start the auto-tagging service."
                                   % self.photo), 1)
        self.assertFalse(os.path.exists(self.service_log), "no service ran")
