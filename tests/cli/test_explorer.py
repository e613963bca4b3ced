"""End to end: what Explorer (and a Linux file manager) gets from tag and
rating writes: a folder's overlay icon and the per-user handler registration."""
import glob
import json
import os
import shutil
import struct
import subprocess

from qlm_run import SAMPLES, QlmTestCase, read_bytes

SUITE = "{931CC9DD-9E0F-4FA1-AA06-229D0372956A}"


def icon_pixel(path, x, y):
    """RGBA of one pixel of the icon's image, as ImageMagick decodes it."""
    return tuple(subprocess.run(["convert", "ico:" + path, "-crop", "1x1+%d+%d" % (x, y), "-depth", "8", "rgba:-"],
                                capture_output=True, check=True).stdout)


class ExplorerIntegration(QlmTestCase):
    def setUp(self):
        super().setUp()
        shutil.copytree(os.path.join(SAMPLES, "Trip 2026"), os.path.join(self.work, "Trip"))
        self.copy_samples("harbour.jpg")
        self.folder = os.path.join(self.work, "Trip")

    def hive(self):
        with open(os.path.join(self.profile, "Verandel", "Quillmark", "Registry", "HKCU.json"), "rb") as f:
            return json.loads(f.read().decode("utf-8"))

    def overlays(self):
        return sorted(glob.glob(os.path.join(self.folder, "sw_tagged_*.ico")))

    def ini_text(self):
        data = read_bytes(os.path.join(self.folder, "desktop.ini"))
        self.assertEqual(data[:2], b"\xff\xfe")
        return data[2:].decode("utf-16-le")

    def test_a_tagged_folder_shows_its_tag_icon_until_the_tags_go(self):
        r = self.qlm("tag", "add", "--tag", "Work", "--tag", "Beach", "Trip")
        self.assertEqual((r.code, r.err), (0, ""))
        self.assertIn("Tags=Beach;Work\r\n", self.ini_text())
        icons = self.overlays()
        self.assertEqual(len(icons), 1)
        name = os.path.basename(icons[0])
        self.assertRegex(name, r"^sw_tagged_\d\d\.\d{7}-\d\d\.ico$")
        self.assertIn("IconResource=%s,0\r\n" % icons[0], self.ini_text())
        data = read_bytes(icons[0])
        self.assertEqual(data[:6], b"\0\0\1\0\1\0")
        self.assertEqual(struct.unpack("<BBBBHHII", data[6:22]), (0, 0, 0, 0, 1, 32, len(data) - 22, 22))
        # The shipped Work icon (blue, tagged) sits at the left of the bottom edge.
        red, green, blue, alpha = icon_pixel(icons[0], 50, 212)
        self.assertEqual(alpha, 255)
        self.assertGreater(blue, red + 100)
        attributes = subprocess.run(["getfattr", "--only-values", "-n", "user.qlm.attributes", icons[0]],
                                    capture_output=True).stdout
        self.assertEqual(int(attributes, 16) & 0x2, 0x2)  # hidden

        r = self.qlm("rate", "set", "--stars", "2", "Trip")
        self.assertEqual(r.out, "changed      %s  (rating: 2)\n1 changed, 0 unchanged, 0 failed\n" % self.folder)
        self.assertIn("Rating=2\r\n", self.ini_text())
        self.assertEqual(len(self.overlays()), 1)
        self.assertNotEqual(self.overlays(), icons)

        self.assertEqual(self.qlm("tag", "clear", "Trip").code, 0)
        self.assertEqual(self.qlm("rate", "clear", "Trip").code, 0)
        self.assertEqual(self.overlays(), [])
        self.assertNotIn("IconResource", self.ini_text())
        self.assertFalse(os.path.exists(os.path.join(self.folder, ".directory")))

    def test_a_rated_photo_registers_the_suite_handlers_for_its_type(self):
        self.ok("rate", "set", "--stars", "3", "harbour.jpg")
        classes = self.hive()["keys"]["Software"]["keys"]["Classes"]["keys"]
        jpg = classes["SystemFileAssociations"]["keys"][".jpg"]
        shell_ex = jpg["keys"]["ShellEx"]["keys"]
        # Which keys get the handlers is shell_registration_test's; here, that the hive file holds them.
        self.assertEqual(shell_ex["IconHandler"]["values"], [{"name": "", "type": "REG_SZ", "data": SUITE}])
        self.assertIn("INFO] Registered icon handler for file extension: .jpg",
                      "\n".join(self.log_lines()))
