"""sortwell-batch with the real local AI service (services/ai_service) on the
photos of samples/ai: auto tags that replace themselves, and a person named
in one photo named in its twin. Skipped when the service's packages are not
installed or another service holds the port.

SORTWELL_BATCH names the host built beside the service's launcher.
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "batch_host"))
from batch_run import REPO, HostCase, write_job  # noqa: E402  (the batch host suite's helpers)

SERVICE = os.path.join(REPO, "services", "ai_service")
PORT = 44002


def port_taken():
    try:
        socket.create_connection(("127.0.0.1", PORT), timeout=1).close()
        return True
    except OSError:
        return False


def exiftool(tag, path):
    return subprocess.run(["exiftool", "-s3", "-sep", ";", tag, path], capture_output=True,
                          check=True).stdout.decode("utf-8").strip()


@unittest.skipUnless(os.path.isdir(os.path.join(SERVICE, "node_modules")) and shutil.which("node"),
                     "the AI service's node_modules are not installed")
class RealServiceTest(HostCase):
    def setUp(self):
        deadline = time.time() + 45  # a stand-in of another test run idles out after 30 s
        while port_taken() and time.time() < deadline:
            time.sleep(1)
        if port_taken():
            self.skipTest("another service holds port 44002")
        super().setUp()
        self.photos = os.path.join(self.root, "photos")
        shutil.copytree(os.path.join(REPO, "samples", "ai"), self.photos)
        self.env.update(QLM_AI_SERVICE_IDLE_MS="20000", QLM_AI_SERVICE_LOG=os.path.join(self.root, "service.log"))
        self.launcher = os.path.join(os.path.dirname(os.environ["SORTWELL_BATCH"]), "Quillmark.AutoTagging.Service")
        self.set_settings("insightor", **{"people_recognition.enabled": True,
                                          "people_recognition.consent_accepted": True})

    def tearDown(self):
        # The service this test started would hold the port for its idle time.
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                if os.readlink("/proc/%s/exe" % pid) == os.path.realpath(self.launcher):
                    os.kill(int(pid), 15)
            except OSError:
                pass

    def run_job(self, action, names):
        write_job(self.job, action, "", [os.path.join(self.photos, n) for n in names])
        code, out, err = self.run_host(self.job, timeout=300)
        self.assertEqual(code, 0, out + err)
        return out

    def test_auto_tags_replace_themselves_and_faces_are_named_from_a_twin(self):
        portrait = os.path.join(self.photos, "eileen_collins.jpg")
        camera = os.path.join(self.photos, "cameraman.jpg")
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-XMP-dc:Subject=Holiday", portrait], check=True)
        for _ in range(2):
            self.run_job("auto_tag", ["eileen_collins.jpg", "cameraman.jpg", "coffee.jpg"])
            self.assertEqual(sorted(exiftool("-XMP-dc:Subject", portrait).split(";")), ["Holiday", "People", "Square"])
            self.assertEqual(sorted(exiftool("-XMP-dc:Subject", camera).split(";")), ["Black and white", "People", "Square"])
        self.assertIn("Landscape", exiftool("-XMP-dc:Subject", os.path.join(self.photos, "coffee.jpg")).split(";"))

        twin = os.path.join(self.photos, "eileen_collins_twin.jpg")
        out = self.run_job("recognize_faces", ["eileen_collins_twin.jpg", "cameraman.jpg", "chelsea_the_cat.jpg"])
        self.assertEqual(exiftool("-XMP-MP:RegionPersonDisplayName", twin), "Eileen Collins")
        # The rectangle is the face's: mirrored, it lies right of the centre.
        rectangle = [float(v) for v in exiftool("-XMP-MP:RegionRectangle", twin).split(",")]
        self.assertTrue(0.35 < rectangle[0] < 0.5 and 0.05 < rectangle[1] < 0.2, rectangle)
        self.assertEqual(exiftool("-XMP-MP:RegionPersonDisplayName", camera), "")
        self.assertTrue(out.endswith("unidentified faces: 1\n"), out)
        store = os.path.join(self.env["XDG_DATA_HOME"], "Verandel", "Quillmark", "Faces", "face_store.json")
        with open(store, encoding="utf-8") as text:
            self.assertEqual(list(json.load(text)["people"]), ["Eileen Collins"])


if __name__ == "__main__":
    unittest.main()
