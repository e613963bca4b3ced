"""End-to-end tests of how photos meet other programs' conventions: Dolphin's attributes on every photo,
ratings other programs store, and text in the encodings they write. Checked with exiftool and getfattr."""
import json
import shutil
import subprocess
import unittest

from qlm_run import QlmTestCase, exiftool, have, write_bytes


def getfattr(path, name):
    """One user attribute's text, None when absent."""
    r = subprocess.run(["getfattr", "--only-values", "-n", name, path], capture_output=True)
    return r.stdout.decode("utf-8") if r.returncode == 0 else None


def setfattr(path, name, value):
    subprocess.run(["setfattr", "-n", name, "-v", value, path], check=True)


@unittest.skipUnless(have("exiftool", "convert", "getfattr", "setfattr"), "needs exiftool, ImageMagick and attr")
class PhotoConventions(QlmTestCase):
    def setUp(self):
        super().setUp()
        self.photo = self.path("b.jpg")
        subprocess.run(["convert", "-size", "64x48", "xc:skyblue", self.photo], check=True)

    def test_dolphin_sees_every_write_and_its_own_changes_win_until_the_next(self):
        self.ok("tag", "add", "--tag", "Sea", "--tag", "Sky", "b.jpg")
        self.ok("rate", "set", "--stars", "4", "b.jpg")
        self.ok("comment", "set", "--text", "Über", "b.jpg")
        self.assertEqual([getfattr(self.photo, n) for n in ("user.xdg.tags", "user.baloo.rating", "user.xdg.comment")],
                         ["Sea,Sky", "8", "Über"])
        # A write that keeps the rating and comment leaves their mirrors (and qlm's bases) as they are.
        self.ok("tag", "add", "--tag", "Sun", "b.jpg")
        names = ("user.xdg.tags", "user.baloo.rating", "user.xdg.comment", "user.qlm.mirror.rating",
                 "user.qlm.mirror.comment")
        self.assertEqual([getfattr(self.photo, n) for n in names], ["Sea,Sky,Sun", "8", "Über", "8", "Über"])
        self.ok("tag", "remove", "--tag", "Sun", "b.jpg")
        # Dolphin adds a tag, drops one and sets 2.5 stars: qlm shows it, and its next write keeps it in the file.
        setfattr(self.photo, "user.xdg.tags", "Sky,Boat")
        setfattr(self.photo, "user.baloo.rating", "5")
        row = self.info("b.jpg")
        self.assertEqual((row["tags"], row["rating"], row["comment"]), (["Sky", "Boat"], 3, "Über"))
        self.ok("comment", "set", "--text", "Later", "b.jpg")
        self.assertEqual(exiftool(self.photo, "-XMP-dc:Subject", "-XMP-xmp:Rating"), ["Sky, Boat", "3"])
        self.assertEqual(getfattr(self.photo, "user.xdg.tags"), "Sky,Boat")
        # Another program edits the file: with the attributes as qlm left them, the file's value stands.
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-XMP-dc:Subject=Rock", self.photo], check=True)
        self.assertEqual(self.info("b.jpg")["tags"], ["Rock"])

    def test_ratings_other_programs_store_are_rewritten(self):
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-XMP-xmp:Rating=-1", self.photo], check=True)
        r = self.ok("rate", "clear", "--json", "b.jpg")
        self.assertEqual(json.loads(r.out)["results"][0]["status"], "changed")
        self.assertEqual(exiftool(self.photo, "-XMP-xmp:Rating"), ["-"])
        notes = self.path("f.txt")
        write_bytes(notes, b"x")
        setfattr(notes, "user.baloo.rating", "7")
        self.ok("rate", "set", "--stars", "4", "f.txt")
        self.assertEqual(getfattr(notes, "user.baloo.rating"), "8")

    def test_text_in_the_encodings_other_programs_write(self):
        # UTF-8 IPTC without the character-set marker reads as UTF-8 and stays so after a write.
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-charset", "iptc=UTF8", "-IPTC:Keywords=Café",
                        self.photo], check=True)
        self.assertEqual(self.info("b.jpg")["tags"], ["Café"])
        self.ok("tag", "add", "--tag", "Sea", "b.jpg")
        self.assertEqual(exiftool(self.photo, "-IPTC:Keywords"), ["Café, Sea"])
        # A ";" in a tag and a big-endian UserComment: image_handler_test.

    def test_the_iptc_digest_follows_a_change_of_the_iptc(self):
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-IPTC:Keywords=Old", "-Photoshop:IPTCDigest=new",
                        self.photo], check=True)
        self.ok("tag", "add", "--tag", "New", "b.jpg")
        out = subprocess.run(["exiftool", "-validate", "-warning", "-a", "-s3", self.photo], capture_output=True,
                             check=True).stdout.decode("utf-8")
        self.assertNotIn("IPTCDigest", out)
        self.assertEqual(exiftool(self.photo, "-IPTC:Keywords"), ["New, Old"])

    def test_validation_finds_nothing_in_our_writes_that_exiftools_own_write_lacks(self):
        theirs = self.path("theirs.jpg")
        shutil.copy(self.photo, theirs)
        self.ok("rate", "set", "--stars", "4", "b.jpg")
        self.ok("comment", "set", "--text", "Hi", "b.jpg")
        self.ok("tag", "add", "--tag", "Sea", "b.jpg")
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-XMP-xmp:Rating=4", "-XMP-microsoft:RatingPercent=75",
                        "-IFD0:Rating=4", "-IFD0:RatingPercent=75", "-XMP-exif:UserComment=Hi", "-XPComment=Hi",
                        "-ExifIFD:UserComment=Hi", "-XMP-dc:Subject=Sea", "-IPTC:Keywords=Sea", "-XPKeywords=Sea",
                        theirs], check=True)

        def warnings(path):
            out = subprocess.run(["exiftool", "-validate", "-warning", "-a", "-s", path], capture_output=True,
                                 check=True).stdout.decode("utf-8")
            return {line.split(":", 1)[1].strip() for line in out.splitlines() if line.startswith("Warning")}

        self.assertEqual(warnings(self.photo) - warnings(theirs), set())


if __name__ == "__main__":
    unittest.main()
