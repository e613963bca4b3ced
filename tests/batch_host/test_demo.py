"""scripts/demo as a new user runs it, on the finished build: every section
runs to the end, commands are echoed as they would be typed (quotes
included), the hive is shown by its head, and the checkout stays clean.

QLM names the built qlm; sortwell-batch is beside it.
"""
import glob
import os
import re
import subprocess
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class DemoTest(unittest.TestCase):
    def test_demo_runs_to_the_end_on_a_finished_build(self):
        build = os.path.dirname(os.environ["QLM"])
        before = set(glob.glob("/tmp/qlm-demo.*"))
        samples = subprocess.run(["git", "status", "--porcelain", "--", "samples"], cwd=REPO,
                                 capture_output=True, text=True).stdout
        env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        run = subprocess.run([os.path.join(REPO, "scripts", "demo")], env=dict(env, QLM_DEMO_BUILD=build),
                             capture_output=True, text=True, timeout=400)
        self.assertEqual(run.returncode, 0, run.stderr[-2000:])
        out = run.stdout
        self.assertTrue(out.startswith("=== Using the build in %s ===\n" % os.path.realpath(build)))
        for section in ["--- tagging and rating the copies ---", "--- sortwell-batch: auto tags and people",
                        "--- user commands from the context menu", "--- the folder organizer"]:
            self.assertIn("\n" + section, out)
        # Words the shell would split or expand are quoted; plain ones are not.
        self.assertIn("\n$ qlm info harbour.jpg garden.png notes.txt 'Trip 2026' 'Trip 2026/*.jpg'\n", out)
        self.assertIn("\n$ qlm comment set --text 'Evening at the harbour' harbour.jpg 'Trip 2026'\n", out)
        # The hive: its first 12 lines and a count, not a 200-line dump.
        hive = re.search(r"\(the per-user hive\)\n(.*?)\n\.\.\. \((\d+) lines in all\)\n", out, re.S)
        self.assertIsNotNone(hive)
        self.assertEqual(len(hive.group(1).splitlines()), 12)
        self.assertGreater(int(hive.group(2)), 12)
        self.assertEqual(subprocess.run(["git", "status", "--porcelain", "--", "samples"], cwd=REPO,
                                        capture_output=True, text=True).stdout, samples)
        self.assertEqual(set(glob.glob("/tmp/qlm-demo.*")), before)


if __name__ == "__main__":
    unittest.main()
