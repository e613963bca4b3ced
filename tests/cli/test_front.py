"""The Linux front: --version, help and usage errors are answered without the
engine module, which only commands load."""
import json
import os
import shutil

from qlm_run import QlmTestCase

ENGINE = "qlm-engine.so"
# Answered by the front alone: version, help, usage errors of the command line and of the options.
FRONT_ONLY = (["--version"], ["help", "--json"], ["help", "tag"], [], ["tag"], ["--bogus"], ["rate", "set", "x"],
              ["--json", "info", "--stars", "1", "x"], ["help", "nothing"])


class Front(QlmTestCase):
    def setUp(self):
        super().setUp()
        if os.environ.get("QLM_RUNNER") or not os.path.exists(os.path.join(os.path.dirname(self.binary), ENGINE)):
            self.skipTest("this qlm is one program")
        self.copy_samples("harbour.jpg")

    def test_without_its_engine_the_front_answers_the_same_and_reports_a_command_it_cannot_run(self):
        alone = os.path.join(self.root, "alone")
        os.makedirs(alone)
        shutil.copy(self.binary, alone)
        built = self.binary
        for args in FRONT_ONLY:
            self.binary = built
            expected = self.qlm(*args)
            self.binary = os.path.join(alone, "qlm")
            r = self.qlm(*args)
            self.assertEqual((r.code, r.out_bytes, r.err_bytes), (expected.code, expected.out_bytes, expected.err_bytes),
                             args)
        missing = os.path.join(alone, ENGINE)
        r = self.qlm("rate", "get", "harbour.jpg")
        self.assertEqual((r.code, r.out), (1, ""))
        self.assertEqual(r.err, "qlm: Could not load the engine module: %s: cannot open shared object file: "
                                "No such file or directory\n" % missing)
        r = self.qlm("--json", "rate", "get", "harbour.jpg")
        self.assertEqual((r.code, r.err), (1, ""))
        self.assertEqual(json.loads(r.out)["error"]["code"], "internal_error")
        self.assertRegex(self.log_lines()[-1], r"\[ERROR\] qlm rate get failed: Could not load the engine module: ")

    def test_only_commands_load_the_engine_and_its_metadata_libraries(self):
        # The dynamic loader lists every object it opens.
        for args in FRONT_ONLY:
            loaded = self.qlm(*args, env={"LD_DEBUG": "files"}).err
            self.assertNotIn(ENGINE, loaded, args)
            self.assertNotIn("libexiv2", loaded, args)
        r = self.qlm("rate", "get", "harbour.jpg", env={"LD_DEBUG": "files"})
        self.assertEqual((r.code, r.out), (0, self.path("harbour.jpg") + ": 4\n"))
        self.assertIn(ENGINE, r.err)
        self.assertIn("libexiv2", r.err)
