"""End-to-end tests of info, the get commands and the comment commands on real files."""
import json
import os
import shutil
import subprocess

from qlm_run import DATA, QlmTestCase, exiftool, read_bytes, write_bytes


class ReadPath(QlmTestCase):
    def setUp(self):
        super().setUp()
        self.copy_samples("harbour.jpg", "garden.png", "notes.txt")

    def test_info_shows_every_field_and_none_markers(self):
        r = self.qlm("info", "notes.txt", "harbour.jpg")
        self.assertEqual((r.code, r.err), (0, ""))
        self.assertEqual(r.out,
                         "%s\n  tags:    (none)\n  rating:  0\n  people:  (none)\n  comment: (none)\n"
                         "%s\n  tags:    Holiday, Harbour\n  rating:  4\n  people:  (none)\n  comment: (none)\n"
                         % (self.path("notes.txt"), self.path("harbour.jpg")))

    def test_people_names_that_differ_only_in_case_appear_once(self):
        # Four Windows Photo Gallery regions: Anna, ANNA, a nameless one, "Ben & Co".
        shutil.copy(os.path.join(DATA, "sidecars", "regions.xmp"), self.path("garden.png.xmp"))
        r = self.qlm("info", "--json", "garden.png")
        self.assertEqual(json.loads(r.out)["results"][0]["people"], ["Anna", "Ben & Co"])

    def test_json_rows_and_errors(self):
        r = self.qlm("info", "--json", "missing.jpg", "harbour.jpg", "*.gif")
        self.assertEqual((r.code, r.err), (1, ""))
        self.assertEqual(json.loads(r.out), {
            "command": "info", "ok": False, "exit_code": 1,
            "results": [
                {"path": self.path("missing.jpg"), "status": "error",
                 "error": {"code": "not_found", "message": "No file or folder exists at this path."}},
                {"path": self.path("harbour.jpg"), "status": "ok", "tags": ["Holiday", "Harbour"], "rating": 4,
                 "comment": "", "people": []},
                {"path": self.path("*.gif"), "status": "error",
                 "error": {"code": "no_match", "message": "Nothing matches this pattern."}}],
            "summary": {"ok": 1, "errors": 2}})
        self.assertEqual(list(json.loads(self.qlm("tag", "get", "--json", "notes.txt").out)["results"][0]),
                         ["path", "status", "tags"])

    def test_get_commands_mark_an_empty_list(self):
        # Rows and error lines of many targets: test_read_order.
        self.assertEqual(self.qlm("tag", "get", "notes.txt").out, "%s: (none)\n" % self.path("notes.txt"))

    def test_paths_from_a_list_and_standard_input(self):
        write_bytes(self.path("list.txt"), b"\xef\xbb\xbfnotes.txt\r\n\r\n  \"harbour.jpg\"  \r\n")
        r = self.qlm("rate", "get", "--from-file", "list.txt", "-", stdin=b"garden.png\nnotes.txt\n")
        self.assertEqual(r.out, "%s: 0\n%s: 4\n%s: 0\n" % (self.path("notes.txt"), self.path("harbour.jpg"),
                                                          self.path("garden.png")))

    def test_cloud_placeholders_are_reported_not_read(self):
        subprocess.run(["setfattr", "-n", "user.qlm.attributes", "-v", "\"0x00400000\"", self.path("notes.txt")],
                       check=True)
        r = self.qlm("info", "notes.txt")
        self.assertEqual((r.code, r.out), (1, ""))
        self.assertEqual(r.err, "qlm: %s: The file is only in the cloud; reading its metadata would download it.\n"
                         % self.path("notes.txt"))
        r = self.qlm("comment", "set", "--text", "x", "notes.txt")
        self.assertIn("The file is only in the cloud; open it once so it is downloaded, then try again.", r.err)


class CommentCommands(QlmTestCase):
    """Comments on photos (kept inside the file) and folders (kept in their property set)."""

    def setUp(self):
        super().setUp()
        self.copy_samples("harbour.jpg")
        self.notes = self.path("photo.jpg")
        os.rename(self.path("harbour.jpg"), self.notes)
        self.other = self.path("album")
        os.makedirs(self.other)

    def exif_comment(self):
        return exiftool(self.notes, "-XMP-exif:UserComment")[0]

    def test_set_get_unchanged_and_exact_comparison(self):
        r = self.qlm("comment", "set", "--text", "Reviewed", "photo.jpg")
        self.assertEqual((r.code, r.out), (0, "changed      %s  (comment: 8 characters)\n"
                                              "1 changed, 0 unchanged, 0 failed\n" % self.notes))
        self.assertEqual(self.exif_comment(), "Reviewed")
        self.assertEqual(self.qlm("comment", "get", "photo.jpg").out, "Reviewed\n")
        mtime = os.stat(self.notes).st_mtime_ns
        r = self.qlm("comment", "set", "--text", "Reviewed", "photo.jpg")
        self.assertEqual(r.out, "unchanged    %s  (comment: 8 characters)\n0 changed, 1 unchanged, 0 failed\n"
                         % self.notes)
        self.assertEqual(os.stat(self.notes).st_mtime_ns, mtime)
        self.assertIn("changed ", self.qlm("comment", "set", "--text", "reviewed", "photo.jpg").out)
        self.assertEqual(self.qlm("comment", "get", "photo.jpg").out, "reviewed\n")

    def test_text_file_keeps_inner_line_breaks_and_block_form_drops_carriage_returns(self):
        write_bytes(os.path.join(self.work, "c.txt"), b"first\r\nsecond\r\n\r\n")
        self.ok("comment", "set", "--text-file", "c.txt", "photo.jpg", "album")
        self.assertEqual(self.qlm("comment", "get", "photo.jpg").out_bytes, b"first\r\nsecond\n")
        r = self.qlm("comment", "get", "photo.jpg", "album")
        self.assertEqual(r.out, "%s\n  comment:\n    first\n    second\n%s\n  comment:\n    first\n    second\n"
                         % (self.notes, self.other))

    def test_dry_run_and_clear(self):
        self.qlm("comment", "set", "--text", "old", "photo.jpg")
        r = self.qlm("comment", "set", "--dry-run", "--json", "--text", "new", "photo.jpg")
        row = json.loads(r.out)["results"][0]
        self.assertEqual((row["before"], row["after"]), ({"comment": "old"}, {"comment": "new"}))
        self.assertEqual(self.qlm("comment", "get", "photo.jpg").out, "old\n")
        r = self.qlm("comment", "clear", "photo.jpg", "album")
        self.assertEqual(r.out, "changed      %s  (comment: (none))\nunchanged    %s  (comment: (none))\n"
                                "1 changed, 1 unchanged, 0 failed\n" % (self.notes, self.other))
        self.assertEqual(self.qlm("comment", "get", "photo.jpg").out, "")
        self.assertEqual(self.exif_comment(), "-")

    def test_comment_from_standard_input(self):
        self.ok("comment", "set", "--text", "-", "photo.jpg", stdin="caf\u00e9 \U0001F600\n\n".encode("utf-8"))
        self.assertEqual(self.qlm("comment", "get", "photo.jpg").out, "caf\u00e9 \U0001F600\n")
        self.assertEqual(self.exif_comment(), "caf\u00e9 \U0001F600")

    def test_an_image_without_an_embedded_writer_keeps_its_comment_beside_it(self):
        # Nothing can be embedded in a BMP, so the comment lives in the file
        # manager's attribute and the picture's bytes stay as they were.
        path = os.path.join(self.work, "scan.bmp")
        subprocess.run(["convert", "-size", "8x8", "xc:blue", path], check=True)
        before = read_bytes(path)
        r = self.qlm("comment", "set", "--text", "x", "scan.bmp")
        self.assertEqual((r.code, r.err), (0, ""))
        self.assertEqual(os.getxattr(path, "user.xdg.comment"), b"x")
        self.assertEqual(read_bytes(path), before)
        self.assertEqual(self.qlm("comment", "get", "scan.bmp").code, 0)
