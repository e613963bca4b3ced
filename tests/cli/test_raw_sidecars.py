"""End-to-end tests of camera raw files: never rewritten, their metadata in the sidecar other programs use.

Raws are small TIFFs made by ImageMagick with XMP embedded by exiftool, under raw names; the
sidecars are written the way darktable (IMG_1.CR2.xmp) and Lightroom (IMG_1.xmp) write theirs.
Everything is checked with exiftool and exact bytes.
"""
import os
import random
import shutil
import signal
import subprocess
import time
import unittest
import xml.etree.ElementTree as ElementTree

from qlm_run import DATA, QlmTestCase, exiftool, have, read_bytes, temporaries, write_bytes

# Sidecars as darktable (beside IMG_1.CR2 as IMG_1.CR2.xmp) and Lightroom (IMG_1.xmp) write them.
DARKTABLE = read_bytes(os.path.join(DATA, "sidecars", "darktable.CR2.xmp")).decode()
LIGHTROOM = read_bytes(os.path.join(DATA, "sidecars", "lightroom.xmp")).decode()


@unittest.skipUnless(have("convert", "exiftool"), "needs ImageMagick and exiftool")
class RawSidecars(QlmTestCase):
    def setUp(self):
        super().setUp()
        base = self.path("base.tif")
        subprocess.run(["convert", "-size", "64x48", "xc:gray", base], check=True)
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-XMP-dc:Subject=Embedded", "-XMP-xmp:Rating=2",
                        "-XMP-dc:Description=From the camera", "-EXIF:DateTimeOriginal=2023:05:01 10:00:00", base],
                       check=True)
        self.raw_bytes = read_bytes(base)

    def raw(self, name):
        write_bytes(self.path(name), self.raw_bytes)
        return name

    def assert_raw_untouched(self, name):
        self.assertEqual(read_bytes(self.path(name)), self.raw_bytes, name + " was rewritten")

    def test_embedded_xmp_reads_and_a_first_write_makes_the_long_sidecar(self):
        for name in ("IMG_2.dng", "IMG_3.NEF", "IMG_4.arw"):
            self.raw(name)
            row = self.info(name)
            self.assertEqual((row["tags"], row["rating"], row["comment"]), (["Embedded"], 2, "From the camera"))
        self.ok("tag", "add", "--tag", "Harbour", "IMG_2.dng")
        self.ok("rate", "set", "--stars", "5", "IMG_2.dng")
        self.ok("comment", "set", "--text", "Évening & tide", "IMG_2.dng")
        self.assert_raw_untouched("IMG_2.dng")
        self.assertFalse(os.path.exists(self.path("IMG_2.xmp")))
        sidecar = self.path("IMG_2.dng.xmp")
        self.assertEqual(exiftool(sidecar, "-XMP-dc:Subject", "-XMP-xmp:Rating", "-XMP-dc:Description"),
                         ["Embedded, Harbour", "5", "Évening & tide"])
        row = self.info("IMG_2.dng")
        self.assertEqual((row["tags"], row["rating"], row["comment"]), (["Embedded", "Harbour"], 5, "Évening & tide"))
        # No extended attribute took the comment: the sidecar is its one home.
        out = subprocess.run(["getfattr", "-d", "-m", "^user\\.xdg", self.path("IMG_2.dng")],
                             capture_output=True).stdout
        self.assertNotIn(b"comment", out)

    def test_darktable_sidecar_keeps_its_history_byte_for_byte(self):
        self.raw("IMG_1.CR2")
        sidecar = self.path("IMG_1.CR2.xmp")
        write_bytes(sidecar, DARKTABLE.encode())
        # The sidecar wins over the embedded rating.
        self.assertEqual(self.info("IMG_1.CR2")["rating"], 1)
        self.ok("rate", "set", "--stars", "4", "IMG_1.CR2")
        self.assertEqual(read_bytes(sidecar).decode(), DARKTABLE.replace('xmp:Rating="1"', 'xmp:Rating="4"'))
        self.ok("tag", "add", "--tag", "Boats", "IMG_1.CR2")
        text = read_bytes(sidecar).decode()
        # The one change: the keyword list, declared on the description and put last into it.
        expected = DARKTABLE.replace('xmp:Rating="1"', 'xmp:Rating="4"').replace(
            'darktable:history_end="2">',
            'darktable:history_end="2" xmlns:dc="http://purl.org/dc/elements/1.1/">').replace(
            "   </darktable:history>\n",
            "   </darktable:history>\n   <dc:subject>\n    <rdf:Bag>\n     <rdf:li>Boats</rdf:li>\n"
            "     <rdf:li>Embedded</rdf:li>\n    </rdf:Bag>\n   </dc:subject>\n")
        self.assertEqual(text, expected)
        original = self.path("original.xmp")
        write_bytes(original, DARKTABLE.encode())
        self.assertEqual(exiftool(sidecar, "-XMP-dc:Subject", "-XMP-darktable:all"),
                         ["Boats, Embedded"] + exiftool(original, "-XMP-darktable:all"))
        self.assertFalse(os.path.exists(self.path("IMG_1.xmp")))
        self.assert_raw_untouched("IMG_1.CR2")

    def test_lightroom_sidecar_is_used_and_keeps_its_develop_settings(self):
        self.raw("IMG_1.CR2")
        sidecar = self.path("IMG_1.xmp")
        write_bytes(sidecar, LIGHTROOM.encode())
        row = self.info("IMG_1.CR2")
        self.assertEqual((row["tags"], row["rating"], row["comment"]), (["Paris"], 4, "From the camera"))
        self.ok("tag", "remove", "--tag", "Paris", "IMG_1.CR2")
        self.ok("tag", "add", "--tag", "Rome", "IMG_1.CR2")
        self.ok("rate", "clear", "IMG_1.CR2")
        self.assertFalse(os.path.exists(self.path("IMG_1.CR2.xmp")), "a second sidecar was made")
        expected = LIGHTROOM.replace('xmp:Rating="4"', 'xmp:Rating="0"').replace(
            "<rdf:li>Paris</rdf:li>", "<rdf:li>Rome</rdf:li>")
        self.assertEqual(read_bytes(sidecar).decode(), expected)
        self.assertEqual(exiftool(sidecar, "-XMP-crs:Exposure2012", "-XMP-crs:ToneCurvePV2012", "-XMP-dc:Subject"),
                         ["+0.35", "0, 0, 255, 255", "Rome"])
        self.assert_raw_untouched("IMG_1.CR2")

    def test_writers_killed_at_random_moments_leave_every_sidecar_whole(self):
        """kill -9 during sidecar writes: an existing darktable or Lightroom
        sidecar and a first, new sidecar are each the old file or a whole new
        one after every kill, never torn or empty; the next write sweeps the
        dead writer's temporaries. Half the kills land while qlm holds its
        temporary (strace delays its fsync)."""
        kills = int(os.environ.get("QLM_CRASH_KILLS", "20"))
        raws = {"IMG_1.CR2": "IMG_1.CR2.xmp", "IMG_2.NEF": "IMG_2.xmp", "IMG_3.dng": "IMG_3.dng.xmp"}
        for name in raws:
            self.raw(name)
        write_bytes(self.path("IMG_1.CR2.xmp"), DARKTABLE.encode())
        write_bytes(self.path("IMG_2.xmp"), LIGHTROOM.encode())
        hold = shutil.which("strace")
        rng = random.Random(11)
        landed = 0
        for kill in range(kills):
            before = {sidecar: read_bytes(self.path(sidecar)) if os.path.exists(self.path(sidecar)) else None
                      for sidecar in raws.values()}
            args = ("tag", "add", "--tag", "k%d" % kill, *raws)
            if hold and kill % 2:
                process = self.start_held(*args, delay_us=1000000)
                self.wait_for_temporary(process)
                # The writer itself, not strace, takes the kill.
                with open("/proc/%d/task/%d/children" % (process.pid, process.pid)) as children:
                    for child in children.read().split():
                        try:
                            os.kill(int(child), signal.SIGKILL)
                        except ProcessLookupError:
                            pass  # it finished and was reaped first: its sidecars are whole too
            else:
                process = self.start(*args)
                time.sleep(rng.uniform(0.0, 0.12))
                process.send_signal(signal.SIGKILL)
            process.communicate()
            for name, sidecar in raws.items():
                path = self.path(sidecar)
                self.assert_raw_untouched(name)
                if not os.path.exists(path):
                    self.assertIsNone(before[sidecar], (kill, sidecar))
                    continue
                data = read_bytes(path)
                if data == before[sidecar]:
                    continue
                landed += 1
                # A whole new sidecar: it parses, keeps what the other program wrote and holds this run's tag.
                root = ElementTree.fromstring(data)
                self.assertTrue(root.tag.endswith("xmpmeta"), (kill, sidecar))
                self.assertIn(b"<rdf:li>k%d</rdf:li>" % kill, data, (kill, sidecar))
                if sidecar == "IMG_1.CR2.xmp":
                    self.assertIn(b'darktable:operation="exposure"', data, kill)
                if sidecar == "IMG_2.xmp":
                    self.assertIn(b'crs:Exposure2012="+0.35"', data, kill)
            self.assertFalse(os.path.exists(self.path("IMG_1.xmp")) or os.path.exists(self.path("IMG_2.NEF.xmp")),
                             kill)

        done = self.qlm("tag", "add", "--tag", "last", *raws)
        self.assertEqual(done.code, 0, done.out + done.err)
        self.assertEqual(temporaries(self.work), [])
        for name, sidecar in raws.items():
            self.assertIn("last", exiftool(self.path(sidecar), "-XMP-dc:Subject")[0].split(", "), sidecar)
            self.assertIn("last", self.info(name)["tags"], name)
        print("\n%d kills, %d sidecars replaced whole" % (kills, landed))

    def test_a_damaged_sidecar_is_left_alone(self):
        self.raw("IMG_5.dng")
        sidecar = self.path("IMG_5.dng.xmp")
        garbage = b"<x:xmpmeta><rdf:RDF><rdf:Description xmp:Rating=\"3\"\x00\xff"
        write_bytes(sidecar, garbage)
        for args in (("rate", "set", "--stars", "4"), ("tag", "add", "--tag", "X"), ("comment", "set", "--text", "c")):
            r = self.qlm(*args, "IMG_5.dng")
            self.assertEqual(r.code, 1, r.out + r.err)
        self.assertEqual(read_bytes(sidecar), garbage)
        # Nothing went anywhere else instead: no attribute, no second sidecar.
        self.assertEqual(os.listxattr(self.path("IMG_5.dng")), [])
        self.assertFalse(os.path.exists(self.path("IMG_5.xmp")))
        self.assert_raw_untouched("IMG_5.dng")
        self.assertEqual(self.info("IMG_5.dng")["tags"], ["Embedded"])


if __name__ == "__main__":
    unittest.main()
