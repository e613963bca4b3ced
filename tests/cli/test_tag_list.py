"""End-to-end tests of `qlm tag list`: the shipped default copy, a missing one, and user files good and bad."""
import json
import os
import shutil

from qlm_run import QlmTestCase, read_bytes, write_bytes

MISSING_MESSAGE = "qlm: Could not read the Labelry tag list.\n"
MISSING_JSON = ('{"ok":false,"exit_code":3,"error":{"code":"settings_unavailable",'
                '"message":"Could not read the Labelry tag list."}}\n')


class TagList(QlmTestCase):
    def setUp(self):
        super().setUp()
        self.settings = os.path.join(self.profile, "Verandel", "Quillmark", "Settings")
        self.user_file = os.path.join(self.settings, "All Tags.json")

    def run_qlm(self, *arguments):
        r = self.qlm(*arguments)
        return r.code, r.out, r.err

    def write_user_file(self, data):
        os.makedirs(self.settings, exist_ok=True)
        write_bytes(self.user_file, data)

    def test_first_run_seeds_the_shipped_list_and_prints_it(self):
        shipped = os.path.join(os.path.dirname(os.path.realpath(self.binary)), "Content", "Configurations",
                               "All Tags.json")
        with open(shipped, encoding="utf-8") as source:
            names = [tag["name"] for tag in json.load(source)["tags"]]
        self.assertGreater(len(names), 0)

        self.assertEqual(self.run_qlm("tag", "list"), (0, "".join(name + "\n" for name in names), ""))
        # The copy and its log line are the settings unit tests'; here, that qlm finds Content/ beside itself.
        self.assertEqual(read_bytes(shipped), read_bytes(self.user_file))

        expected = {"command": "tag list", "ok": True, "exit_code": 0, "tags": [{"name": n} for n in names]}
        self.assertEqual(self.run_qlm("tag", "list", "--json"),
                         (0, json.dumps(expected, separators=(",", ":"), ensure_ascii=False) + "\n", ""))

    def test_user_list_is_printed_in_file_order_with_paths_ignored(self):
        self.write_user_file('{"tags":[{"name":"Zeta","order":"1"},{"name":"\u00c9t\u00e9 \\"q\\" \\\\"},'
                             '"loose",{"name":"\u65e5\u672c"},{"order":"-3"}]}'.encode("utf-8"))
        self.assertEqual(self.run_qlm("tag", "list", "no/such/path", "--from-file", "missing.txt", "-"),
                         (0, 'Zeta\n\u00c9t\u00e9 "q" \\\n\n\u65e5\u672c\n\n', ""))
        self.assertEqual(self.run_qlm("--json", "tag", "list"),
                         (0, '{"command":"tag list","ok":true,"exit_code":0,"tags":[{"name":"Zeta"},'
                             '{"name":"\u00c9t\u00e9 \\"q\\" \\\\"},{"name":""},{"name":"\u65e5\u672c"},'
                             '{"name":""}]}\n', ""))
        self.write_user_file(b'{"version":"1","tags":[]}')
        self.assertEqual(self.run_qlm("tag", "list"), (0, "", ""))

    def test_a_missing_or_unreadable_list_is_settings_unavailable_and_not_replaced(self):
        for bad in (b"not json", b'\xef\xbb\xbf{"tags":[]}'):
            self.write_user_file(bad)
            self.assertEqual(self.run_qlm("tag", "list"), (3, "", MISSING_MESSAGE))
            self.assertEqual(self.run_qlm("tag", "list", "--json"), (3, MISSING_JSON, ""))
            self.assertEqual(read_bytes(self.user_file), bad)
        os.remove(self.user_file)
        # A copy of qlm with no Content beside it has no default copy to seed from.
        install = os.path.join(self.root, "bare")
        os.makedirs(install)
        engine = os.path.join(os.path.dirname(self.binary), "qlm-engine.so")
        if os.path.exists(engine):  # the Linux front's engine goes with it
            shutil.copy2(engine, install)
        self.binary = shutil.copy2(self.binary, install)
        self.assertEqual(self.run_qlm("tag", "list"), (3, "", MISSING_MESSAGE))
        self.assertFalse(os.path.exists(self.user_file))
