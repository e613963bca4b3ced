"""End-to-end tests of metadata shared with other programs: file-manager attributes and audio files.

Audio files are made by lame, flac, oggenc and ffmpeg and read back with mutagen.
"""
import struct
import subprocess
import sys
import unittest
import wave

from qlm_run import QlmTestCase, have, read_bytes, write_bytes

try:
    import mutagen
except ImportError:  # a Python of its own (pyenv) beside Debian's python3-mutagen
    sys.path.append("/usr/lib/python3/dist-packages")
    try:
        import mutagen
    except ImportError:
        mutagen = None

if mutagen:
    from mutagen.flac import FLAC
    from mutagen.id3 import COMM, ID3, POPM, TIT2
    from mutagen.mp4 import MP4
    from mutagen.oggvorbis import OggVorbis


def getfattr(path):
    """Every user attribute of the file as a dict of UTF-8 texts."""
    out = subprocess.run(["getfattr", "-d", "-m", "^user\\.", "--absolute-names", "-e", "text", path],
                         capture_output=True, check=True).stdout.decode("utf-8")
    values = {}
    for line in out.splitlines():
        if "=" in line and not line.startswith("#"):
            name, value = line.split("=", 1)
            values[name] = value[1:-1] if value.startswith('"') else value
    return values


class FileManagerAttributes(QlmTestCase):
    """What Dolphin set is read by the property-set unit tests; here, what a command leaves for it."""

    def test_tags_stay_sorted_and_a_comment_is_the_one_attribute(self):
        for name in ("k.txt", "notes.txt"):
            write_bytes(self.path(name), b"text")
        subprocess.run(["setfattr", "-n", "user.xdg.tags", "-v", "Red,Blue", self.path("k.txt")], check=True)
        self.ok("tag", "add", "-t", "Green", "k.txt")
        # Keywords are stored sorted, as everywhere else.
        self.assertEqual(getfattr(self.path("k.txt"))["user.xdg.tags"], "Blue,Green,Red")

        self.assertEqual(self.qlm("comment", "set", "--text", "Hi", "notes.txt").code, 0)
        self.assertEqual(getfattr(self.path("notes.txt")), {"user.xdg.comment": "Hi"})
        self.assertEqual(self.qlm("comment", "clear", "notes.txt").code, 0)
        self.assertEqual(getfattr(self.path("notes.txt")), {})


@unittest.skipUnless(mutagen and have("lame", "flac", "oggenc", "ffmpeg"), "needs mutagen, lame, flac, oggenc, ffmpeg")
class AudioFiles(QlmTestCase):
    def setUp(self):
        super().setUp()
        wav = self.path("tone.wav")
        with wave.open(wav, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(44100)
            w.writeframes(b"".join(struct.pack("<h", (i * 37) % 2000 - 1000) for i in range(22050)))
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, "check": True}
        subprocess.run(["lame", "--quiet", wav, self.path("song.mp3")], **quiet)
        subprocess.run(["flac", "--silent", "-o", self.path("song.flac"), wav], **quiet)
        subprocess.run(["oggenc", "--quiet", "-o", self.path("song.ogg"), wav], **quiet)
        subprocess.run(["ffmpeg", "-v", "quiet", "-i", wav, "-c:a", "aac", self.path("song.m4a")], **quiet)

    def test_mp3_rating_and_comment_live_in_id3(self):
        mp3 = self.path("song.mp3")
        tags = ID3()
        tags.add(POPM(email="quodlibet@lists.sacredchao.net", rating=51, count=3))
        tags.add(COMM(encoding=3, lang="deu", desc="iTunNORM", text="x"))
        tags.save(mp3, v2_version=3)
        # Windows' own frame is absent: the player's is read in its scale
        # (Quod Libet's 51 is one star of five spread over 0-255).
        self.assertEqual(self.info("song.mp3")["rating"], 1)
        tags.add(POPM(email="player@example.org", rating=196, count=12))
        tags.save(mp3, v2_version=3)
        self.assertEqual(self.info("song.mp3")["rating"], 4)

        self.ok("rate", "set", "--stars", "2", "song.mp3")
        r = self.qlm("comment", "set", "--text", "Live take \u00e9", "song.mp3")
        self.assertEqual((r.code, r.out.split()[0]), (0, "changed"), r.out + r.err)
        tags = ID3(mp3)
        self.assertEqual(tags.version[:2], (2, 3))
        ratings = {p.email: (p.rating, getattr(p, "count", 0)) for p in tags.getall("POPM")}
        self.assertEqual(ratings, {"Windows Media Player 9 Series": (64, 0), "player@example.org": (64, 12),
                                   "quodlibet@lists.sacredchao.net": (102, 3)})
        comments = {(c.desc, c.lang): c.text for c in tags.getall("COMM")}
        self.assertEqual(comments, {("", "eng"): ["Live take \u00e9"], ("iTunNORM", "deu"): ["x"]})
        self.assertEqual(getfattr(mp3), {})
        row = self.info("song.mp3")
        self.assertEqual((row["rating"], row["comment"]), (2, "Live take \u00e9"))

        self.assertEqual(self.qlm("rate", "clear", "song.mp3").code, 0)
        self.assertEqual(self.qlm("comment", "clear", "song.mp3").code, 0)
        tags = ID3(mp3)
        self.assertEqual(sorted((p.email, p.rating) for p in tags.getall("POPM")),
                         [("player@example.org", 0), ("quodlibet@lists.sacredchao.net", 0)])
        self.assertEqual([c.desc for c in tags.getall("COMM")], ["iTunNORM"])
        self.assertEqual(self.info("song.mp3")["rating"], 0)
        # MP3 files take no tags.
        self.assertNotEqual(self.qlm("tag", "add", "-t", "x", "song.mp3").code, 0)

        # Windows' frame with a play count keeps the count when the rating goes.
        tags = ID3(mp3)
        tags.delall("POPM")
        tags.add(POPM(email="Windows Media Player 9 Series", rating=255, count=7))
        tags.save(mp3, v2_version=3)
        self.assertEqual(self.info("song.mp3")["rating"], 5)
        self.assertEqual(self.qlm("rate", "clear", "song.mp3").code, 0)
        self.assertEqual([(p.email, p.rating, p.count) for p in ID3(mp3).getall("POPM")],
                         [("Windows Media Player 9 Series", 0, 7)])
        self.assertEqual(self.info("song.mp3")["rating"], 0)

    def test_mp3_comment_changes_one_frame_and_keeps_id3v1_in_step(self):
        mp3 = self.path("song.mp3")
        tags = ID3()
        tags.add(TIT2(encoding=0, text="Song"))
        tags.add(COMM(encoding=0, lang="deu", desc="", text="Deutsch"))
        tags.add(COMM(encoding=0, lang="eng", desc="", text="English"))
        tags.save(mp3, v2_version=3, v1=2)
        self.assertEqual(self.info("song.mp3")["comment"], "English")

        r = self.qlm("comment", "set", "--text", "Caf\u00e9 live", "song.mp3")
        self.assertEqual((r.code, r.out.split()[0]), (0, "changed"), r.out + r.err)
        comments = [(c.lang, c.text) for c in ID3(mp3, load_v1=False).getall("COMM")]
        self.assertEqual(comments, [("deu", ["Deutsch"]), ("eng", ["Caf\u00e9 live"])])
        with open(mp3, "rb") as f:
            f.seek(-128, 2)
            v1 = f.read(128)
        self.assertEqual(v1[:3], b"TAG")
        self.assertEqual(v1[97:125].rstrip(b"\0"), "Caf\u00e9 live".encode("latin-1"))

        self.ok("comment", "clear", "song.mp3")
        self.assertNotIn(b"COMM", read_bytes(mp3))
        with open(mp3, "rb") as f:
            f.seek(-128, 2)
            v1 = f.read(128)
        self.assertEqual((v1[:3], v1[3:33].rstrip(b"\0"), v1[97:125].rstrip(b"\0")), (b"TAG", b"Song", b""))
        self.assertEqual(self.info("song.mp3")["comment"], "")

    def test_flac_ogg_and_m4a_keep_the_comment_where_players_read_it(self):
        for name, reader, key in (("song.flac", FLAC, "comment"), ("song.ogg", OggVorbis, "comment"),
                                  ("song.m4a", MP4, "\u00a9cmt")):
            r = self.qlm("comment", "set", "--text", "Nice\nmix", name)
            self.assertEqual((r.code, r.out.split()[0]), (0, "changed"), name + r.out + r.err)
            self.assertEqual(reader(self.path(name)).tags[key], ["Nice\nmix"], name)
            self.assertEqual(getfattr(self.path(name)), {}, name)
            self.assertEqual(self.info(name)["comment"], "Nice\nmix", name)
            self.assertEqual(self.qlm("comment", "clear", name).code, 0)
            self.assertNotIn(key, reader(self.path(name)).tags or {}, name)

        # The scales players write: 0-100, 1-5 stars, and FMPS_RATING's fraction.
        for name, reader in (("song.flac", FLAC), ("song.ogg", OggVorbis)):
            for fields, stars in (({"RATING": "80"}, 4), ({"RATING": "4"}, 4), ({"FMPS_RATING": "0.6"}, 3),
                                  ({"RATING:BANSHEE": "60"}, 3)):
                audio = reader(self.path(name))
                audio.delete()
                audio = reader(self.path(name))
                for field, value in fields.items():
                    audio[field] = value
                audio.save()
                self.assertEqual(self.info(name)["rating"], stars, (name, fields))

            # A rating is written 0-100, and a player's fraction follows it.
            audio = reader(self.path(name))
            audio.delete()
            audio = reader(self.path(name))
            audio["FMPS_RATING"] = "0.2"
            audio["DESCRIPTION"] = "From the tagger"
            audio.save()
            self.assertEqual(self.info(name)["comment"], "From the tagger", name)
            r = self.qlm("rate", "set", "--stars", "4", name)
            self.assertEqual(r.code, 0, name + r.out + r.err)
            tags = reader(self.path(name)).tags
            self.assertEqual((tags["RATING"], tags["FMPS_RATING"], tags["DESCRIPTION"]),
                             (["80"], ["0.8"], ["From the tagger"]), name)
            self.assertEqual(getfattr(self.path(name)), {}, name)
            self.assertEqual(self.qlm("rate", "clear", name).code, 0)
            tags = reader(self.path(name)).tags
            self.assertNotIn("RATING", tags, name)
            self.assertNotIn("FMPS_RATING", tags, name)

        # M4A keeps its rating in the rate atom, 0-100.
        self.ok("rate", "set", "--stars", "3", "song.m4a")
        self.assertEqual(MP4(self.path("song.m4a")).tags["rate"], ["60"])
        self.assertEqual(self.info("song.m4a")["rating"], 3)
        self.assertEqual(getfattr(self.path("song.m4a")), {})
        self.assertEqual(self.qlm("rate", "clear", "song.m4a").code, 0)
        self.assertNotIn("rate", MP4(self.path("song.m4a")).tags or {})

    def test_damaged_audio_is_never_rewritten(self):
        for name in ("bad.mp3", "bad.flac", "bad.m4a"):
            with open(self.path(name), "wb") as f:
                f.write(b"ID3\x03\x00\x00\x7f\x7f\x7f\x7f" + b"\xff" * 300 if name == "bad.mp3" else b"fLaC\x00junk")
            before = read_bytes(self.path(name))
            r = self.qlm("comment", "set", "--text", "x", name)
            self.assertEqual(read_bytes(self.path(name)), before, name + r.out + r.err)


MWG_REGIONS = ("-XMP-mwg-rs:RegionInfo={AppliedToDimensions={W=64,H=48,Unit=pixel},RegionList=["
               "{Area={X=0.5,Y=0.5,W=0.25,H=0.5,Unit=normalized},Name=Ann,Type=Face},"
               "{Area={X=48,Y=12,W=16,H=24,Unit=pixel},Name=Bo,Type=Face},"
               "{Area={X=0.1,Y=0.1,W=0.1,H=0.1,Unit=normalized},Name=Rex,Type=Pet}]}")

# What a tag write may change beside the keyword lists: file times and size,
# and the tools that wrote the XMP and IPTC last.
# exiftool's digest of the IPTC data follows the keywords; its warning about
# Exiv2's spelling of the MicrosoftPhoto namespace comes with LastKeywordXMP.
VOLATILE = {"FileSize", "FileModifyDate", "FileAccessDate", "FileInodeChangeDate", "XMPToolkit", "CodedCharacterSet",
            "ExifToolVersion", "CurrentIPTCDigest", "Warning"}


def exiftool_fields(path):
    """exiftool -a -G1 -s as {(group, tag): value}, without the volatile ones."""
    out = subprocess.run(["exiftool", "-a", "-G1", "-s", path], capture_output=True, check=True).stdout.decode("utf-8")
    fields = {}
    for line in out.splitlines():
        group, rest = line[1:].split("]", 1)
        tag, value = rest.split(":", 1)
        if tag.strip() not in VOLATILE:
            fields[(group, tag.strip())] = value.strip()
    return fields


@unittest.skipUnless(have("exiftool", "convert"), "needs exiftool and ImageMagick")
class SharedPhoto(QlmTestCase):
    """A photo tagged by Lightroom, digiKam and Windows alike, with MWG faces and a cp1252 IPTC caption.
    The caption's decoding and the 64-byte IPTC keyword are the image handler's unit tests'."""

    def setUp(self):
        super().setUp()
        self.photo = self.path("p.jpg")
        subprocess.run(["convert", "-size", "64x48", "xc:red", self.photo], check=True)
        subprocess.run([
            "exiftool", "-q", "-overwrite_original",
            "-XMP-dc:Subject=Paris", "-XMP-dc:Subject=Louvre", "-XMP-dc:Subject=Anne",
            "-IPTC:Keywords=Paris", "-IPTC:Keywords=Louvre", "-IPTC:Keywords=Anne", "-XPKeywords=Paris;Louvre;Anne",
            "-XMP-lr:HierarchicalSubject=Places|Paris", "-XMP-lr:HierarchicalSubject=Places|Paris|Louvre",
            "-XMP-lr:HierarchicalSubject=People|Anne",
            "-XMP-digiKam:TagsList=Places/Paris", "-XMP-digiKam:TagsList=People/Anne",
            "-XMP-mediapro:CatalogSets=Places|paris", "-XMP-mediapro:CatalogSets=Art|Louvre",
            "-XMP-microsoft:LastKeywordXMP=Places/Paris", "-XMP-microsoft:LastKeywordXMP=Louvre",
            "-IPTC:Caption-Abstract=Price 5\u20ac \u201cquoted\u201d", "-IPTC:ObjectName=Caf\u00e9",
            MWG_REGIONS, self.photo], check=True)

    def changes(self, *args):
        """Runs qlm on the photo; the exiftool fields that changed, as {(group, tag): (before, after)}."""
        before = exiftool_fields(self.photo)
        self.ok(*args, "p.jpg")
        after = exiftool_fields(self.photo)
        return {k: (before.get(k), after.get(k)) for k in set(before) | set(after) if before.get(k) != after.get(k)}

    def test_removing_a_tag_removes_its_hierarchy_and_nothing_else_changes(self):
        self.assertEqual(self.changes("tag", "remove", "-t", "PARIS"), {
            ("XMP-dc", "Subject"): ("Paris, Louvre, Anne", "Anne, Louvre"),
            ("IPTC", "Keywords"): ("Paris, Louvre, Anne", "Anne, Louvre"),
            ("IFD0", "XPKeywords"): ("Paris;Louvre;Anne", "Anne;Louvre"),
            ("XMP-lr", "HierarchicalSubject"): ("Places|Paris, Places|Paris|Louvre, People|Anne",
                                                "Places|Paris|Louvre, People|Anne"),
            ("XMP-digiKam", "TagsList"): ("Places/Paris, People/Anne", "People/Anne"),
            ("XMP-mediapro", "CatalogSets"): ("Places|paris, Art|Louvre", "Art|Louvre"),
            ("XMP-microsoft", "LastKeywordXMP"): ("Places/Paris, Louvre", "Louvre"),
        })
        # An added tag is a top-level entry of every tree (never an invented
        # hierarchy), and Windows' own lists keep their forms: no IPTC record
        # appears. Clearing takes every tag's entries along.
        self.assertEqual(self.changes("tag", "add", "-t", "Nice"), {
            ("XMP-dc", "Subject"): ("Anne, Louvre", "Anne, Louvre, Nice"),
            ("IPTC", "Keywords"): ("Anne, Louvre", "Anne, Louvre, Nice"),
            ("IFD0", "XPKeywords"): ("Anne;Louvre", "Anne;Louvre;Nice"),
            ("XMP-lr", "HierarchicalSubject"): ("Places|Paris|Louvre, People|Anne", "Places|Paris|Louvre, People|Anne, Nice"),
            ("XMP-digiKam", "TagsList"): ("People/Anne", "People/Anne, Nice"),
            ("XMP-mediapro", "CatalogSets"): ("Art|Louvre", "Art|Louvre, Nice"),
            ("XMP-microsoft", "LastKeywordXMP"): ("Louvre", "Louvre, Nice"),
        })
        changed = self.changes("tag", "clear")
        self.assertEqual({k: after for k, (before, after) in changed.items()}, dict.fromkeys([
            ("XMP-dc", "Subject"), ("IPTC", "Keywords"), ("IFD0", "XPKeywords"), ("XMP-lr", "HierarchicalSubject"),
            ("XMP-digiKam", "TagsList"), ("XMP-mediapro", "CatalogSets"), ("XMP-microsoft", "LastKeywordXMP")]))

    def test_people_are_the_union_of_both_region_kinds(self):
        subprocess.run(["exiftool", "-q", "-overwrite_original",
                        "-XMP-MP:RegionInfoMP={Regions=[{PersonDisplayName=Bob Jones,Rectangle=0.1|, 0.1|, 0.2|, 0.2},"
                        "{PersonDisplayName=Ann,Rectangle=0.5|, 0.5|, 0.2|, 0.2}]}", self.photo], check=True)
        self.assertEqual(self.info("p.jpg")["people"], ["Bob Jones", "Ann", "Bo"])

    def test_a_file_with_only_a_tree_reads_its_leaves(self):
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-XMP-dc:Subject=", "-IPTC:Keywords=", "-XPKeywords=",
                        "-XMP-lr:HierarchicalSubject=", self.photo], check=True)
        self.assertEqual(self.info("p.jpg")["tags"], ["Paris", "Anne"])
