"""sortwell-batch running user commands: entries are a program, U+0001 and
its arguments, not files, and a script's failing exit code reaches the
message dialog (standard error on Linux).

SORTWELL_BATCH names the binary.
"""
import json
import os
import stat
import subprocess
import tempfile
import time
import unittest


class CommandJobTest(unittest.TestCase):
    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="sortwell-commands-")
        self.root = self._tmp.name
        self.bin = os.path.join(self.root, "bin")
        os.makedirs(self.bin)
        # A fake pwsh that says what it was given and fails with 3.
        fake = os.path.join(self.bin, "pwsh")
        with open(fake, "w", encoding="utf-8") as out:
            out.write('#!/bin/sh\nprintf "%s|" "$@" > "$(dirname "$0")/pwsh.args"\nexit 3\n')
        os.chmod(fake, stat.S_IRWXU)
        profile = os.path.join(self.root, "profile")
        self.env = dict(os.environ, XDG_DATA_HOME=profile, HOME=profile,
                        PATH=self.bin + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"))

    def tearDown(self):
        self._tmp.cleanup()

    def test_programs_scripts_and_a_malformed_entry(self):
        script = os.path.join(self.root, "tidy.ps1")
        with open(script, "w", encoding="utf-8") as out:
            out.write("exit 3\n")
        marker = os.path.join(self.root, "ran.txt")
        entries = ['/bin/sh\x01-c "echo ran > \\"$0\\"" "%s"' % marker, script + "\x01one \"two three\"", "broken"]
        job = os.path.join(self.root, "job.json")
        with open(job, "w", encoding="utf-8") as out:
            json.dump({"version": "1", "job": {"guid": "g", "action_type": "run_context_menu_command",
                                               "action_parameters": "nShow=0"},
                       "files": [{"path": e} for e in entries]}, out)
        completed = subprocess.run([os.environ["SORTWELL_BATCH"], job], capture_output=True, env=self.env,
                                   cwd=self.root, timeout=60)
        out = completed.stdout.decode("utf-8")
        self.assertEqual(completed.returncode, 1)
        self.assertEqual(out, "progress: 33%%\nok: %s\nprogress: 66%%\nok: %s\nprogress: 96%%\n"
                         "failed: broken: Malformed command spec\nprogress: 100%%\n2 succeeded, 1 failed\n" % tuple(entries[:2]))
        self.assertEqual(completed.stderr.decode("utf-8"),
                         "The script exited with error code 3.\r\n\r\nScript:\r\n%s\n" % script)
        with open(os.path.join(self.bin, "pwsh.args"), encoding="utf-8") as args:
            self.assertEqual(args.read(), "-ExecutionPolicy|Bypass|-File|%s|one|two three|" % script)
        for _ in range(100):
            if os.path.exists(marker) and os.path.getsize(marker):
                break
            time.sleep(0.1)
        with open(marker, encoding="utf-8") as ran:
            self.assertEqual(ran.read(), "ran\n")


class CommandsTheSystemCannotRunTest(unittest.TestCase):
    def test_batch_files_and_scripts_without_powershell_fail_with_their_reason(self):
        with tempfile.TemporaryDirectory(prefix="sortwell-commands-") as root:
            batch = os.path.join(root, "tidy.bat")
            script = os.path.join(root, "tidy.ps1")
            for path in (batch, script):
                with open(path, "w", encoding="utf-8") as out:
                    out.write("exit 0\n")
            # A PATH without any PowerShell.
            empty = os.path.join(root, "bin")
            os.makedirs(empty)
            env = dict(os.environ, XDG_DATA_HOME=os.path.join(root, "p"), HOME=os.path.join(root, "p"), PATH=empty)
            job = os.path.join(root, "job.json")
            with open(job, "w", encoding="utf-8") as out:
                json.dump({"version": "1", "job": {"guid": "g", "action_type": "run_context_menu_command",
                                                   "action_parameters": "nShow=0"},
                           "files": [{"path": batch + "\x01"}, {"path": script + "\x01"}]}, out)
            completed = subprocess.run([os.environ["SORTWELL_BATCH"], job], capture_output=True, env=env, cwd=root,
                                       timeout=60)
            out = completed.stdout.decode("utf-8")
            self.assertEqual(completed.returncode, 1, out)
            self.assertNotIn("ok: ", out)
            self.assertIn("failed: %s\x01: batch files need the Windows command processor (cmd.exe)" % batch, out)
            self.assertIn("failed: %s\x01: " % script, out)
            self.assertTrue(out.endswith("0 succeeded, 2 failed\n"), out)
