"""Photos far larger than their metadata: a sparse 300 MB JPEG is tagged in bounded memory, keeps its image data
byte for byte and its holes, and a damaged one is left exactly as it was."""
import hashlib
import os
import struct
import subprocess

from qlm_run import SAMPLES, QlmTestCase, exiftool, first_scan, read_bytes, write_bytes

HOLE = 300 << 20


def digest(path, start=0):
    """SHA-256 of the file from `start` on; holes read as zeros without touching the disk."""
    sha = hashlib.sha256()
    with open(path, "rb") as f:
        f.seek(start)
        for block in iter(lambda: f.read(8 << 20), b""):
            sha.update(block)
    return sha.hexdigest()


def write_sparse_jpeg(path, head):
    """The sample photo with a hole of HOLE bytes in its scan data, just before its end-of-image marker."""
    with open(path, "wb") as f:
        f.write(head[:-2])
        f.seek(HOLE, os.SEEK_CUR)
        f.write(head[-2:])


class BigPhotos(QlmTestCase):
    def run_measured(self, *args):
        """qlm's exit code and peak memory in bytes."""
        with open(os.path.join(self.root, "out"), "wb") as out:
            child = subprocess.Popen(self.command(*args), cwd=self.work, env=self.environment(), stdout=out,
                                     stderr=out)
            _, status, usage = os.wait4(child.pid, 0)
            child.returncode = os.waitstatus_to_exitcode(status)
        return child.returncode, usage.ru_maxrss * 1024

    def small_photo_peak(self):
        """The peak memory of the same write on the small sample photo (a sanitizer build's is far higher)."""
        if not hasattr(self, "_small_peak"):
            os.makedirs(os.path.join(self.root, "small"))
            small = os.path.join(self.root, "small", "small.jpg")
            write_bytes(small, read_bytes(os.path.join(SAMPLES, "harbour.jpg")))
            code, self._small_peak = self.run_measured("tag", "add", "-t", "Big", small)
            self.assertEqual(code, 0)
        return self._small_peak

    def test_a_sparse_photo_is_tagged_in_bounded_memory_and_stays_sparse(self):
        sample = read_bytes(os.path.join(SAMPLES, "harbour.jpg"))
        photo = self.path("big.jpg")
        write_sparse_jpeg(photo, sample)
        size = os.path.getsize(photo)
        image_data = digest(photo, first_scan(sample))

        code, peak = self.run_measured("tag", "add", "-t", "Big", "-t", "Harbour", "big.jpg")
        self.assertEqual(code, 0, read_bytes(os.path.join(self.root, "out")))
        self.assertLess(peak, self.small_photo_peak() + (64 << 20))
        self.assertEqual(self.qlm("rate", "set", "--stars", "4", "big.jpg").code, 0)

        self.assertEqual(exiftool(photo, "-XMP-dc:Subject", "-XMP-xmp:Rating"), ["Big, Harbour, Holiday", "4"])
        with open(photo, "rb") as f:
            head = f.read(1 << 20)
        scan = first_scan(head)
        self.assertEqual(digest(photo, scan), image_data)
        self.assertEqual(os.path.getsize(photo) - scan, size - first_scan(sample))
        self.assertLess(os.stat(photo).st_blocks * 512, 4 << 20, "the hole was written out")
        self.assertEqual(sorted(os.listdir(self.work)), ["big.jpg"])

    def test_a_damaged_big_photo_is_left_byte_for_byte(self):
        sample = read_bytes(os.path.join(SAMPLES, "harbour.jpg"))
        # The second segment's marker byte lost; and a header cut inside its last segment.
        second = 4 + struct.unpack(">H", sample[4:6])[0]
        damaged = sample[:second] + b"\x00" + sample[second + 1:]
        comments = b"".join(b"\xff\xfe\xff\xff" + bytes(65533) for _ in range(24))
        cut = (sample[:2] + comments)[:-4000]
        for name, bytes_ in (("damaged.jpg", damaged), ("cut.jpg", cut)):
            photo = self.path(name)
            if name == "damaged.jpg":
                write_sparse_jpeg(photo, bytes_)
            else:
                write_bytes(photo, bytes_)
            before, blocks = digest(photo), os.stat(photo).st_blocks
            code, peak = self.run_measured("tag", "add", "-t", "Big", name)
            self.assertLess(peak, self.small_photo_peak() + (64 << 20), name)
            self.assertEqual(digest(photo), before, name)
            self.assertEqual(os.stat(photo).st_blocks, blocks, name)
            self.assertNotIn("Big", exiftool(photo, "-XMP-dc:Subject")[0], name)
        self.assertEqual([n for n in os.listdir(self.work) if ".qlm-" in n], [])
