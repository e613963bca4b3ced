"""End-to-end writes on files that are not what their names say, damaged files and crafted metadata:
no crash, no field lost, a refused embedded write leaves the file byte for byte and the value goes to the
chain's next place."""
import os
import shutil
import struct
import subprocess

from qlm_run import SAMPLES, QlmTestCase, exiftool, read_bytes as read, write_bytes as write


def xattr_tags(path):
    try:
        return os.getxattr(path, "user.xdg.tags").decode("utf-8")
    except OSError:
        return None


def with_app1(jpeg, payload):
    """The JPEG with an APP1 segment holding the payload right after SOI."""
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload + jpeg[2:]


def xmp_app1(packet):
    return b"http://ns.adobe.com/xap/1.0/\0" + packet


def ifd(at, entries):
    """A little-endian IFD placed at offset `at` of the TIFF block, its values of more than four bytes
    right after it in tag order. Entries are (tag, type, count, value bytes)."""
    data_at = at + 2 + 12 * len(entries) + 4
    body, data = struct.pack("<H", len(entries)), b""
    for tag, kind, count, value in sorted(entries):
        if len(value) <= 4:
            body += struct.pack("<HHI", tag, kind, count) + value.ljust(4, b"\0")
        else:
            body += struct.pack("<HHII", tag, kind, count, data_at + len(data))
            data += value + b"\0" * (len(value) % 2)
    return body + b"\0\0\0\0" + data


def exif_with_maker_note():
    """An EXIF block as a Sanyo camera writes it: a maker note whose IFD points at its values with
    offsets counted from the TIFF header, so it breaks when anything moves it."""
    def ifd0(exif_at):
        return ifd(8, [(0x010F, 2, 24, b"SANYO Electric Co.,Ltd.\0"), (0x0110, 2, 7, b"VPC-E1\0"),
                       (0x0131, 2, 10, b"Firmware\0\0"), (0x8769, 4, 1, struct.pack("<I", exif_at))])
    exif_at = 8 + len(ifd0(0))
    exposure = struct.pack("<II", 1, 250)
    # The Exif IFD's values follow it: the exposure time, then the maker note.
    note_at = exif_at + 2 + 12 * 3 + 4 + len(exposure)
    note = b"SANYO\0\x01\0" + ifd(note_at + 8, [
        (0x0200, 4, 3, struct.pack("<III", 2, 7, 1)),  # SpecialMode, out of line
        (0x0201, 3, 1, struct.pack("<H", 0x0102)),     # SanyoQuality, inline
        (0x0204, 5, 1, struct.pack("<II", 3, 2)),      # DigitalZoom, out of line
        (0x0213, 3, 1, struct.pack("<H", 1))])         # WideRange
    exif = ifd(exif_at, [(0x829A, 5, 1, exposure), (0x8827, 3, 1, struct.pack("<H", 200)),
                         (0x927C, 7, len(note), note)])
    assert exif.find(note) == note_at - exif_at
    return b"Exif\0\0II*\0" + struct.pack("<I", 8) + ifd0(exif_at) + exif


class HostileFiles(QlmTestCase):
    def setUp(self):
        super().setUp()
        for tool in ("exiftool", "convert"):
            if shutil.which(tool) is None:
                self.skipTest(tool + " is needed")

    def log_text(self):
        return "\n".join(self.log_lines()) if os.path.exists(self.log_path()) else ""

    def test_content_decides_the_parser_not_the_name(self):
        shutil.copy(os.path.join(SAMPLES, "garden.png"), self.path("png-named.jpg"))
        shutil.copy(os.path.join(SAMPLES, "harbour.jpg"), self.path("jpeg-named.png"))
        # A small EPS document: what crashed a write when a ".jpg" was handed to the EPS writer.
        eps = (b"%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n%%EndComments\n"
               b"newpath 0 0 moveto 10 10 lineto stroke\n%%EOF\n")
        write(self.path("document.jpg"), eps)
        write(self.path("movie.jpg"), b"\0\0\0\x18ftypmp42\0\0\0\0mp42isom" + b"\0" * 64)
        self.ok("tag", "add", "--tag", "Odd", "png-named.jpg", "jpeg-named.png", "document.jpg", "movie.jpg")
        self.assertEqual(exiftool(self.path("png-named.jpg"), "-FileType", "-XMP-dc:Subject"), ["PNG", "Odd"])
        self.assertEqual(exiftool(self.path("jpeg-named.png"), "-FileType", "-XMP-dc:Subject", "-IPTC:Keywords"),
                         ["JPEG", "Harbour, Holiday, Odd", "Harbour, Holiday, Odd"])
        # Refused by the embedded step: the bytes stay, the tag goes to the file's property set.
        self.assertEqual(read(self.path("document.jpg")), eps)
        self.assertEqual(xattr_tags(self.path("document.jpg")), "Odd")
        self.assertIn("Embedded metadata write refused for %s: its content is EPS/PostScript"
                      % self.path("document.jpg"), self.log_text())
        self.assertIn("its content is video", self.log_text())
        self.ok("rate", "set", "--stars", "3", "document.jpg")
        self.assertEqual(read(self.path("document.jpg")), eps)

    def test_packet_with_a_duplicated_property_keeps_every_field(self):
        subprocess.run(["convert", "-size", "64x48", "xc:green", self.path("dup.jpg")], check=True)
        packet = ('<?xpacket begin="\ufeff" id="W5M0MpCehiHzreSzNTczkc9d"?>\n'
                  '<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
                  '<rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/"'
                  ' xmlns:photoshop="http://ns.adobe.com/photoshop/1.0/">'
                  '<dc:subject><rdf:Bag><rdf:li>Alpha</rdf:li><rdf:li>B &amp; C</rdf:li></rdf:Bag></dc:subject>'
                  '<dc:creator><rdf:Seq><rdf:li>Ann Example</rdf:li></rdf:Seq></dc:creator>'
                  '<photoshop:City>Lisbon</photoshop:City><photoshop:City>Lisbon</photoshop:City>'
                  '</rdf:Description></rdf:RDF></x:xmpmeta>\n<?xpacket end="w"?>').encode("utf-8")
        write(self.path("dup.jpg"), with_app1(read(self.path("dup.jpg")), xmp_app1(packet)))
        before = read(self.path("dup.jpg"))
        r = self.ok("tag", "add", "--tag", "New", "dup.jpg")
        self.assertIn("(tags: Alpha, B & C, New)", r.out)
        self.assertEqual(read(self.path("dup.jpg")), before)
        self.assertEqual(exiftool(self.path("dup.jpg"), "-XMP-dc:Subject", "-XMP-dc:Creator", "-XMP-photoshop:City"),
                         ["Alpha, B & C", "Ann Example", "Lisbon"])
        self.assertEqual(xattr_tags(self.path("dup.jpg")), "Alpha,B & C,New")

    def test_extended_xmp_is_read_and_never_left_inconsistent(self):
        subprocess.run(["convert", "-size", "64x48", "xc:red", self.path("many.jpg")], check=True)
        keywords = ["keyword number %d" % i for i in range(1, 3001)]
        args = ["-XMP-dc:Subject=" + k for k in keywords]
        subprocess.run(["exiftool", "-q", "-overwrite_original", *args, self.path("many.jpg")], check=True)
        before = read(self.path("many.jpg"))
        r = self.ok("info", "many.jpg")
        self.assertIn("keyword number 2999", r.out)
        r = self.qlm("tag", "clear", "many.jpg")
        self.assertNotIn("changed ", r.out)
        self.assertEqual(read(self.path("many.jpg")), before)

    def test_maker_note_fields_survive_tag_rating_and_comment_writes(self):
        subprocess.run(["convert", "-size", "64x48", "xc:gray", "-strip", self.path("cam.jpg")], check=True)
        write(self.path("cam.jpg"), with_app1(read(self.path("cam.jpg")), exif_with_maker_note()))
        fields = ["-MakerNotes:all", "-ExifIFD:all", "-IFD0:Make", "-IFD0:Model"]
        before = subprocess.run(["exiftool", "-a", "-G1", "-n", *fields, self.path("cam.jpg")], capture_output=True,
                                check=True).stdout.decode("utf-8")
        self.assertIn("Sanyo", before)
        self.assertIn("Digital Zoom                    : 1.5", before)
        image = subprocess.run(["exiftool", "-b", "-ImageDataMD5", self.path("cam.jpg")], capture_output=True).stdout
        for command in (("tag", "add", "--tag", "Camera"), ("rate", "set", "--stars", "4"),
                        ("comment", "set", "--text", "Shot on a Sanyo")):
            self.ok(*command, "cam.jpg")
        after = subprocess.run(["exiftool", "-a", "-G1", "-n", *fields, self.path("cam.jpg")], capture_output=True,
                               check=True).stdout.decode("utf-8")
        # The Exif IFD gains the comment; every other field reads the same.
        self.assertEqual([l for l in after.splitlines() if "User Comment" not in l], before.splitlines())
        self.assertEqual(exiftool(self.path("cam.jpg"), "-IFD0:XPKeywords", "-IFD0:Rating", "-XPComment",
                                  "-XMP-dc:Subject"), ["Camera", "4", "Shot on a Sanyo", "Camera"])
        self.assertEqual(subprocess.run(["exiftool", "-b", "-ImageDataMD5", self.path("cam.jpg")],
                                        capture_output=True).stdout, image)
