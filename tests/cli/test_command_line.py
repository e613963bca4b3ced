"""End-to-end tests of the command line: routing, usage errors, help, version and the log."""
import json
import os
import re

from qlm_run import QlmTestCase, write_bytes


class Routing(QlmTestCase):
    def test_version_wins_over_help_and_commands_but_not_over_a_tokenizing_error(self):
        for args in (["--version"], ["--help", "--version"], ["tag", "add", "--version", "--json"]):
            r = self.qlm(*args)
            self.assertEqual((r.code, r.out_bytes, r.err), (0, b"1.0.14.0\n", ""), args)
        self.assertUsageError(self.qlm("--version", "--bogus"), "Unknown option '--bogus'.")

    def test_no_arguments_help_and_help_flag_print_the_same_full_help(self):
        full = self.qlm()
        self.assertEqual(full.code, 0)
        self.assertTrue(full.out.startswith("qlm 1.0.14.0 - Quillmark from the command line\n\nUsage: "))
        self.assertEqual(self.qlm("help").out, full.out)
        self.assertEqual(self.qlm("--help").out, full.out)
        self.assertEqual(self.qlm("/?").out, full.out)

    def test_help_for_a_command_word_lists_only_its_entries(self):
        topic = self.qlm("help", "tag")
        self.assertEqual(topic.code, 0)
        self.assertEqual(re.findall(r"^  qlm (tag \w+)", topic.out, re.M),
                         ["tag list", "tag get", "tag add", "tag remove", "tag set", "tag clear"])
        for args in (["tag", "--help"], ["tag", "add", "-h"], ["tag", "frobnicate", "-?"]):
            self.assertEqual(self.qlm(*args).out, topic.out, args)
        # The JSON form is the unit tests' (help_test.cpp): here, that the topic reaches it.
        r = self.qlm("info", "--help", "--json")
        self.assertEqual([c["name"] for c in json.loads(r.out)["commands"]], ["info"])

    def test_unknown_commands_and_subcommands(self):
        self.assertUsageError(self.qlm("TAG", "get", "x"), "Unknown command 'TAG'.")
        self.assertUsageError(self.qlm("tag"), "'qlm tag' needs a subcommand.")
        self.assertUsageError(self.qlm("tag", "frobnicate", "x"), "Unknown command 'qlm tag frobnicate'.")
        # The words as typed, options included: the path is not dropped into the middle.
        self.assertUsageError(self.qlm("rate", "--stars", "4", "x.jpg"), "Unknown command 'qlm rate --stars 4 x.jpg'.")
        self.assertUsageError(self.qlm("tag", "-t", "X", "my photo.jpg"), "Unknown command 'qlm tag -t X \"my photo.jpg\"'.")
        self.assertUsageError(self.qlm("help", "bogus"), "Unknown command 'bogus'.")
        r = self.qlm("t\u00e2g")
        self.assertUsageError(r, "Unknown command 't\u00e2g'.")
        self.assertIn("t\xc3\xa2g".encode("latin-1"), r.err_bytes)

    def test_option_checks_run_in_order_before_any_path_problem(self):
        self.assertUsageError(self.qlm("info", "--stars", "3", "x"), "'qlm info' does not take --stars.")
        self.assertUsageError(self.qlm("rate", "set", "x"), "'qlm rate set' needs --stars.")
        # An option the command does not take is reported before a missing required one.
        self.assertUsageError(self.qlm("rate", "set", "--text", "t"), "'qlm rate set' does not take --text.")
        self.assertUsageError(self.qlm("info"), "'qlm info' needs at least one path.")
        self.assertUsageError(self.qlm("rate", "clear", "--dry-run"), "'qlm rate clear' needs at least one path.")
        missing = os.path.join(self.work, "list.txt")
        self.assertUsageError(self.qlm("info", "--from-file", missing), "Could not read the path list '%s'." % missing)

    def test_comment_text_sources(self):
        self.assertUsageError(self.qlm("comment", "set", "x"),
                              "'qlm comment set' needs exactly one of --text or --text-file.")
        self.assertUsageError(self.qlm("comment", "set", "--text", "a", "--text-file", "b", "x"),
                              "'qlm comment set' needs exactly one of --text or --text-file.")
        self.assertUsageError(self.qlm("comment", "set", "--text", "-", "-"),
                              "Standard input can supply the comment text or the paths, not both.")
        self.assertUsageError(self.qlm("comment", "set", "--text-file", "nope.txt", "x"),
                              "Could not read the comment file 'nope.txt'.")

    def test_a_tokenizing_error_is_reported_as_text_even_before_json(self):
        self.assertUsageError(self.qlm("info", "--nope=1", "--json"), "Unknown option '--nope=1'.")


class JsonErrors(QlmTestCase):
    def test_usage_errors_become_one_object_on_standard_output_escaped_in_utf8(self):
        r = self.qlm("--json", "rate", "set", "x")
        self.assertEqual((r.code, r.err), (2, ""))
        self.assertEqual(r.out, '{"ok":false,"exit_code":2,"error":{"code":"usage",'
                                '"message":"\'qlm rate set\' needs --stars."}}\n')
        r = self.qlm("help", "--json", "sa\"y\\\u00e9")
        self.assertEqual(r.out_bytes, b'{"ok":false,"exit_code":2,"error":{"code":"usage",'
                                      b'"message":"Unknown command \'sa\\"y\\\\\xc3\xa9\'."}}\n')


class Log(QlmTestCase):
    def test_every_run_appends_its_closing_line_to_the_daily_file(self):
        self.qlm("--version")
        self.qlm("tag")
        self.qlm("help", "info")
        lines = self.log_lines()
        prefix = r"^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{7}\] \[P:\d+ T:\d+\] \[INFO\] "
        self.assertEqual(len(lines), 3)
        self.assertRegex(lines[0], prefix + r"qlm   finished with exit code 0$")
        self.assertRegex(lines[1], prefix + r"qlm tag  finished with exit code 2$")
        self.assertRegex(lines[2], prefix + r"qlm help  finished with exit code 0$")
        with open(self.log_path(), "rb") as log:
            self.assertNotIn(b"\r", log.read())

    def test_commands_still_run_when_the_log_folder_cannot_be_made(self):
        # A file where the maker folder should be: the folder cannot be created.
        write_bytes(os.path.join(self.profile, "Verandel"), b"not a folder")
        r = self.qlm("--version")
        self.assertEqual((r.code, r.out), (0, "1.0.14.0\n"))
        self.assertUsageError(self.qlm("tag"), "'qlm tag' needs a subcommand.")
