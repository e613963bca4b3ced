"""sortwell-batch running user commands: entries are a program, U+0001 and
its arguments, not files, and a script's failing exit code reaches the
message dialog (standard error on Linux).

SORTWELL_BATCH names the binary.
"""
import os
import stat
import time

from batch_run import HostCase, write, write_job


class CommandJobTest(HostCase):
    def setUp(self):
        super().setUp()
        self.bin = os.path.join(self.root, "bin")
        os.makedirs(self.bin)
        self.env["PATH"] = self.bin

    def script(self, name, text="exit 3\n"):
        path = os.path.join(self.root, name)
        write(path, text)
        return path

    def test_programs_scripts_and_a_malformed_entry(self):
        # A fake pwsh that says what it was given and fails with 3.
        fake = self.script("bin/pwsh", '#!/bin/sh\nprintf "%s|" "$@" > "$(dirname "$0")/pwsh.args"\nexit 3\n')
        os.chmod(fake, stat.S_IRWXU)
        self.env["PATH"] += os.pathsep + os.environ.get("PATH", "/usr/bin:/bin")
        script = self.script("tidy.ps1")
        marker = os.path.join(self.root, "ran.txt")
        entries = ['/bin/sh\x01-c "echo ran > \\"$0\\"" "%s"' % marker, script + "\x01one \"two three\"", "broken"]
        write_job(self.job, "run_context_menu_command", "nShow=0", entries)
        code, out, err = self.run_host(self.job)
        self.assertEqual(code, 1)
        self.assertEqual(out, "progress: 33%%\nok: %s\nprogress: 66%%\nok: %s\nprogress: 96%%\n"
                         "failed: broken: Malformed command spec\nprogress: 100%%\n2 succeeded, 1 failed\n" % tuple(entries[:2]))
        self.assertEqual(err, "The script exited with error code 3.\r\n\r\nScript:\r\n%s\n" % script)
        with open(os.path.join(self.bin, "pwsh.args"), encoding="utf-8") as args:
            self.assertEqual(args.read(), "-ExecutionPolicy|Bypass|-File|%s|one|two three|" % script)
        for _ in range(100):
            if os.path.exists(marker) and os.path.getsize(marker):
                break
            time.sleep(0.1)
        with open(marker, encoding="utf-8") as ran:
            self.assertEqual(ran.read(), "ran\n")

    def test_batch_files_and_scripts_without_powershell_fail_with_their_reason(self):
        # PATH holds no PowerShell.
        batch, script = self.script("tidy.bat", "exit 0\n"), self.script("tidy.ps1", "exit 0\n")
        write_job(self.job, "run_context_menu_command", "nShow=0", [batch + "\x01", script + "\x01"])
        code, out, _ = self.run_host(self.job)
        self.assertEqual(code, 1, out)
        self.assertNotIn("ok: ", out)
        self.assertIn("failed: %s\x01: batch files need the Windows command processor (cmd.exe)" % batch, out)
        self.assertIn("failed: %s\x01: " % script, out)
        self.assertTrue(out.endswith("0 succeeded, 2 failed\n"), out)
