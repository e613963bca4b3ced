"""End-to-end tests of `qlm tag list`: the built program run against a private
profile (XDG_DATA_HOME and HOME inside a temporary folder), with the shipped
default copy, a missing one, and user files good and bad."""

import json
import os
import shutil
import subprocess
import tempfile
import unittest

QLM = os.environ.get("QLM")

MISSING_MESSAGE = "qlm: Could not read the Labelry tag list.\n"
MISSING_JSON = ('{"ok":false,"exit_code":3,"error":{"code":"settings_unavailable",'
                '"message":"Could not read the Labelry tag list."}}\n')


@unittest.skipUnless(QLM, "set QLM to the built qlm to run the end-to-end tests")
class TagListTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="qlm-tag-list-")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.data_home = os.path.join(self.root, "data")
        os.makedirs(self.data_home)
        self.settings = os.path.join(self.data_home, "Verandel", "Quillmark", "Settings")
        self.user_file = os.path.join(self.settings, "All Tags.json")
        self.qlm = QLM

    def run_qlm(self, *arguments):
        env = dict(os.environ, XDG_DATA_HOME=self.data_home, HOME=self.root)
        done = subprocess.run([self.qlm, *arguments], env=env, cwd=self.root, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=60)
        return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")

    def write_user_file(self, data):
        os.makedirs(self.settings, exist_ok=True)
        with open(self.user_file, "wb") as out:
            out.write(data)

    def use_copy_without_defaults(self):
        """Runs a copy of qlm from a folder that has no Content beside it."""
        install = os.path.join(self.root, "bare")
        os.makedirs(install)
        self.qlm = shutil.copy2(QLM, install)

    def log_text(self):
        logs = os.path.join(self.data_home, "Verandel", "Quillmark", "Sortwell", "Command Line", "Logs")
        text = ""
        for name in sorted(os.listdir(logs)):
            with open(os.path.join(logs, name), encoding="utf-8") as log:
                text += log.read()
        return text

    def test_first_run_seeds_the_shipped_list_and_prints_it(self):
        shipped = os.path.join(os.path.dirname(os.path.realpath(QLM)), "Content", "Configurations", "All Tags.json")
        with open(shipped, encoding="utf-8") as source:
            names = [tag["name"] for tag in json.load(source)["tags"]]
        self.assertGreater(len(names), 0)

        code, out, err = self.run_qlm("tag", "list")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out, "".join(name + "\n" for name in names))
        with open(shipped, "rb") as a, open(self.user_file, "rb") as b:
            self.assertEqual(a.read(), b.read())
        self.assertIn("[INFO] Copied default settings from %s to %s\n" % (os.path.realpath(shipped), self.user_file),
                      self.log_text())

        code, out, err = self.run_qlm("tag", "list", "--json")
        self.assertEqual((code, err), (0, ""))
        expected = {"command": "tag list", "ok": True, "exit_code": 0, "tags": [{"name": n} for n in names]}
        self.assertEqual(out, json.dumps(expected, separators=(",", ":"), ensure_ascii=False) + "\n")
        # Seeded once only.
        self.assertEqual(self.log_text().count("Copied default settings"), 1)

    def test_user_list_is_printed_in_file_order_with_paths_ignored(self):
        self.write_user_file('{"tags":[{"name":"Zeta","order":"1"},{"name":"\u00c9t\u00e9 \\"q\\" \\\\"},'
                             '"loose",{"name":"\u65e5\u672c"},{"order":"-3"}]}'.encode("utf-8"))
        code, out, err = self.run_qlm("tag", "list", "no/such/path", "--from-file", "missing.txt", "-")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out, 'Zeta\n\u00c9t\u00e9 "q" \\\n\n\u65e5\u672c\n\n')

        code, out, err = self.run_qlm("--json", "tag", "list")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out, '{"command":"tag list","ok":true,"exit_code":0,"tags":[{"name":"Zeta"},'
                              '{"name":"\u00c9t\u00e9 \\"q\\" \\\\"},{"name":""},{"name":"\u65e5\u672c"},'
                              '{"name":""}]}\n')

    def test_empty_list_prints_nothing_or_an_empty_array(self):
        self.write_user_file(b'{"version":"1","tags":[]}')
        self.assertEqual(self.run_qlm("tag", "list"), (0, "", ""))
        self.assertEqual(self.run_qlm("tag", "list", "--json"),
                         (0, '{"command":"tag list","ok":true,"exit_code":0,"tags":[]}\n', ""))

    def test_missing_list_without_default_copy_is_settings_unavailable(self):
        self.use_copy_without_defaults()
        self.assertEqual(self.run_qlm("tag", "list"), (3, "", MISSING_MESSAGE))
        self.assertEqual(self.run_qlm("tag", "list", "--json"), (3, MISSING_JSON, ""))
        self.assertFalse(os.path.exists(self.user_file))
        self.assertIn("[CRITICAL] Unable to copy settings file. Details ", self.log_text())

    def test_unreadable_list_is_settings_unavailable_and_not_replaced(self):
        for bad in (b"", b"not json", b"[]", b'{"tags":[],}', b'\xef\xbb\xbf{"tags":[]}'):
            with self.subTest(bad=bad):
                self.write_user_file(bad)
                self.assertEqual(self.run_qlm("tag", "list"), (3, "", MISSING_MESSAGE))
                self.assertEqual(self.run_qlm("tag", "list", "--json"), (3, MISSING_JSON, ""))
                with open(self.user_file, "rb") as kept:
                    self.assertEqual(kept.read(), bad)
        os.remove(self.user_file)
        os.makedirs(self.user_file)  # a folder where the file should be
        self.assertEqual(self.run_qlm("tag", "list"), (3, "", MISSING_MESSAGE))

    def test_tag_list_takes_no_command_options(self):
        self.assertEqual(self.run_qlm("tag", "list", "--tag", "x"),
                         (2, "", "qlm: 'qlm tag list' does not take --tag.\nRun 'qlm help' for usage.\n"))


if __name__ == "__main__":
    unittest.main()
