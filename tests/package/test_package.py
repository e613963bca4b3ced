"""The Debian package of a build: what it installs, that the installed qlm
runs from its own root, that its completions and manual pages work in the
real shells and in man, and that lintian finds no error in it.

Run by ctest with QLM_BUILD_DIR set to the build folder, which it packs
itself; scripts/test runs it on the packages scripts/package made, named by
QLM_PACKAGE_DEB and QLM_PACKAGE_ZIP (the Windows zip)."""

import json
import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest
import zipfile

BUILD = pathlib.Path(os.environ.get("QLM_BUILD_DIR", "build")).resolve()
SOURCE = pathlib.Path(__file__).resolve().parents[2]


def run(args, timeout=120, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout, **kwargs)


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="qlm-package-"))
        if os.environ.get("QLM_PACKAGE_DEB"):
            cls.deb = pathlib.Path(os.environ["QLM_PACKAGE_DEB"]).resolve()
        else:
            packed = run(["cpack", "-G", "DEB", "--config", str(BUILD / "CPackConfig.cmake"),
                          "-B", str(cls.work / "out")], timeout=600)
            if packed.returncode != 0:
                raise AssertionError("cpack failed:\n" + packed.stdout + packed.stderr)
            cls.deb = next((cls.work / "out").glob("*.deb"))
        cls.root = cls.work / "root"
        subprocess.run(["dpkg-deb", "-x", str(cls.deb), str(cls.root)], check=True, timeout=60)
        cls.version = run([str(BUILD / "qlm"), "--version"]).stdout.strip()
        # A fresh profile, so that the installed qlm seeds its settings from
        # the Content/ it finds beside itself.
        cls.home = cls.work / "home"
        cls.home.mkdir()
        cls.env = dict(os.environ, HOME=str(cls.home), XDG_DATA_HOME=str(cls.home / "data"),
                       PATH=f"{cls.root / 'usr/bin'}:{os.environ['PATH']}", LC_ALL="C.UTF-8")
        cls.default_tags = [tag["name"] for tag in json.loads(
            (SOURCE / "content/Configurations/All Tags.json").read_text(encoding="utf-8"))["tags"]]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_contents_and_control_fields(self):
        self.assertEqual(self.deb.name, f"qlm_{self.version}_amd64.deb")
        for name in ["All Tags.json", "High Level Settings.json"]:
            shipped = self.root / "usr/lib/qlm/Content/Configurations" / name
            self.assertEqual(shipped.read_bytes(), (SOURCE / "content/Configurations" / name).read_bytes())
        for folder in ["GeoData", "Icons"]:
            self.assertTrue((self.root / "usr/lib/qlm/Content" / folder).is_dir())
        # Every file the package holds, folders aside: nothing missing, nothing stray.
        listing = run(["dpkg-deb", "-c", str(self.deb)]).stdout.splitlines()
        files = {line.split(" ./", 1)[1].split(" -> ")[0] for line in listing if not line.startswith("d")}
        expected = {"usr/lib/qlm/qlm", "usr/lib/qlm/qlm-engine.so", "usr/lib/qlm/sortwell-batch",
                    "usr/share/doc/qlm/copyright", "usr/share/doc/qlm/changelog.gz"}
        for program in ["qlm", "sortwell-batch"]:
            expected |= {f"usr/bin/{program}", f"usr/share/man/man1/{program}.1.gz",
                         f"usr/share/bash-completion/completions/{program}",
                         f"usr/share/zsh/vendor-completions/_{program}",
                         f"usr/share/fish/vendor_completions.d/{program}.fish"}
            self.assertEqual(os.readlink(self.root / "usr/bin" / program), f"../lib/qlm/{program}")
        expected |= {"usr/lib/qlm/Content/" + str(path.relative_to(SOURCE / "content"))
                     for path in (SOURCE / "content").rglob("*") if path.is_file() and path.name != ".keep"}
        # The local AI service: its launcher, its own files and (when npm
        # installed them for the build) its packages with the three models it runs.
        service = SOURCE / "services/ai_service"
        expected |= {"usr/lib/qlm/Quillmark.AutoTagging.Service"}
        expected |= {"usr/lib/qlm/ai_service/" + str(path.relative_to(service))
                     for path in [*service.glob("*.*"), *(service / "src").rglob("*")] if path.is_file()}
        if (service / "node_modules").is_dir():
            expected |= {"usr/share/lintian/overrides/qlm"}
        modules = {name for name in files if name.startswith("usr/lib/qlm/ai_service/node_modules/")}
        self.assertEqual(files - modules, expected)
        if (service / "node_modules").is_dir():
            models = {name.rsplit("/", 1)[1] for name in modules if "/@vladmandic/human/models/" in name}
            self.assertEqual(models, {f"{m}.{e}" for m in ["blazeface", "faceres", "centernet"] for e in ["json", "bin"]})
            for needed in ["@tensorflow/tfjs-backend-wasm/dist/tfjs-backend-wasm-simd.wasm",
                           "@vladmandic/human/dist/human.node-wasm.js", "sharp/package.json"]:
                self.assertIn("usr/lib/qlm/ai_service/node_modules/" + needed, modules)
            self.assertFalse([name for name in modules if name.endswith(".map") or "/human/demo/" in name])
        # The changelog names this version, as dpkg-parsechangelog reads it.
        changelog = self.work / "changelog"
        changelog.write_bytes(subprocess.run(["gzip", "-dc", str(self.root / "usr/share/doc/qlm/changelog.gz")],
                                             capture_output=True, check=True).stdout)
        parsed = run(["dpkg-parsechangelog", "-l", str(changelog), "-S", "Version"])
        self.assertEqual(parsed.stdout.strip(), self.version)
        # The dependencies come from what the binary links, not from a list.
        depends = run(["dpkg-deb", "-f", str(self.deb), "Depends"]).stdout
        for library in ["libc6", "libexiv2", "libfmt", "libstdc++6"]:
            self.assertIn(library, depends)
        self.assertIn("nodejs (>= 18)", depends)

    def test_installed_qlm_runs_through_its_link(self):
        installed = str(self.root / "usr/bin/qlm")
        self.assertEqual(run([installed, "--version"], env=self.env).stdout, self.version + "\n")
        self.assertEqual(run([installed, "help", "--json"], env=self.env).stdout,
                         run([str(BUILD / "qlm"), "help", "--json"], env=self.env).stdout)
        # The default tag list is read from Content/ beside the real file;
        # a link in another folder must not change where that is.
        elsewhere = self.work / "elsewhere"
        elsewhere.mkdir()
        (elsewhere / "qlm").symlink_to(self.root / "usr/bin/qlm")
        for program in [installed, str(elsewhere / "qlm")]:
            listed = run([program, "tag", "list"], env=self.env)
            self.assertEqual((listed.returncode, listed.stdout.splitlines()), (0, self.default_tags), listed.stderr)

    def test_lintian_finds_no_error(self):
        if not shutil.which("lintian"):
            self.skipTest("lintian is not installed (scripts/install-packages installs it)")
        checked = run(["lintian", "--no-tag-display-limit", str(self.deb)], timeout=600)
        errors = [line for line in checked.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [], checked.stdout + checked.stderr)

    def bash_complete(self, words, cwd, env=None):
        """The sorted words that the program's (words[0]) bash completion offers."""
        script = (f'source "{self.root}/usr/share/bash-completion/completions/{words[0]}"\n'
                  'COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))\n'
                  f'_{words[0].replace("-", "_")}; printf "%s\\n" "${{COMPREPLY[@]}}"\n')
        done = run(["bash", "-c", script, "bash", *words], env=env or self.env, cwd=cwd)
        self.assertEqual(done.stderr, "")
        return sorted(line for line in done.stdout.splitlines() if line)

    def fish_complete(self, line, cwd, env=None):
        fish_script = self.root / "usr/share/fish/vendor_completions.d/qlm.fish"
        done = run(["fish", "--no-config", "-c", f"source {fish_script}; complete -C '{line}'"],
                   env=env or self.env, cwd=cwd)
        self.assertEqual(done.stderr, "")
        return sorted(entry.split("\t")[0] for entry in done.stdout.splitlines())

    def render_man(self, program):
        """The program's manual page as man shows it, which must warn of nothing."""
        page = self.root / f"usr/share/man/man1/{program}.1.gz"
        shown = run(["man", "--warnings", "-E", "UTF-8", "-l", str(page)], env=dict(self.env, MANWIDTH="200"))
        self.assertEqual((shown.returncode, shown.stderr), (0, ""))
        return shown.stdout.replace("\u2010", "-").replace("\u2212", "-")

    def test_installed_sortwell_batch(self):
        installed = str(self.root / "usr/bin/sortwell-batch")
        shown = run([installed, "--help"], env=self.env)
        self.assertEqual(shown.returncode, 0, shown.stderr)
        self.assertIn("set_rating", shown.stdout)
        # The manual page lists the same actions as the help.
        text = self.render_man("sortwell-batch")
        actions = [line.split()[0] for line in shown.stdout.split("Actions", 1)[1].split("Exit codes")[0].splitlines()
                   if line.startswith("  ") and not line.startswith("      ")]
        self.assertGreater(len(actions), 10)
        for action in actions:
            self.assertIn(action, text)
        # Completion: the options, then job files.
        folder = self.work / "jobs"
        folder.mkdir()
        (folder / "tag job.json").write_text("{}")
        for words, expected in [(["sortwell-batch", "--d"], ["--delete"]), (["sortwell-batch", "ta"], ["tag job.json"])]:
            self.assertEqual(self.bash_complete(words, folder), expected)

    def test_bash_completion(self):
        loaded = run(["bash", "-c", f'source "{self.root}/usr/share/bash-completion/completions/qlm"; complete -p qlm'])
        self.assertEqual(loaded.stdout, "complete -F _qlm qlm\n")
        folder = self.work / "bash-files"
        folder.mkdir()
        for name in ["a photo.jpg", "b.pdf"]:
            (folder / name).write_bytes(b"")
        cases = [
            (["qlm", "ta"], ["tag"]),
            (["qlm", "tag", "a"], ["add"]),
            (["qlm", "--json", "r"], ["rate"]),
            (["qlm", "rate", "set", "--s"], ["--stars"]),
            (["qlm", "rate", "set", "--stars", ""], ["0", "1", "2", "3", "4", "5"]),
            (["qlm", "tag", "add", "--tag", "To"], ["To\\ Do"]),
            (["qlm", "tag", "add", "-t", "To"], ["To\\ Do"]),
            (["qlm", "tag", "add", "-t", "Work", "--dry-run", "b"], ["b.pdf"]),
            (["qlm", "tag", "add", "--tag", "Work", "--dry-run", ""], ["a photo.jpg", "b.pdf"]),
            (["qlm", "comment", "set", "--text", ""], []),
            (["qlm", "comment", "set", "--text-file", "b"], ["b.pdf"]),
            (["qlm", "tag", "list", ""], []),
            (["qlm", "help", "c"], ["comment"]),
            (["qlm", "--v"], ["--version"]),
        ]
        self.assertIn("To Do", self.default_tags)
        for words, expected in cases:
            with self.subTest(words=words):
                self.assertEqual(self.bash_complete(words, folder), expected)

    def test_completion_writes_nothing(self):
        # A profile that qlm never ran in: pressing Tab leaves it empty.
        home = self.work / "untouched-home"
        home.mkdir()
        env = dict(self.env, HOME=str(home), XDG_DATA_HOME=str(home / "data"))
        self.assertEqual(self.bash_complete(["qlm", "tag", "add", "-t", "Do"], self.work, env), ["Done"])
        self.assertEqual(list(home.iterdir()), [])
        self.assertEqual(self.fish_complete("qlm tag add -t Do", self.work, env), ["Done"])
        # fish keeps its own files there; nothing of ours.
        self.assertEqual(list(home.rglob("Verandel")), [])

    def test_fish_and_zsh_completions(self):
        zsh_script = self.root / "usr/share/zsh/vendor-completions/_qlm"
        # compinit finds the function where zsh looks and binds it to qlm.
        bound = run(["zsh", "-f", "-c", f"fpath=({zsh_script.parent} $fpath); autoload -Uz compinit; "
                     "compinit -u -D; print -r -- $_comps[qlm]"], env=self.env)
        self.assertEqual(bound.stdout, "_qlm\n")
        for number, (line, expected) in enumerate([
            ("qlm ta", ["tag"]),
            ("qlm rate set --stars ", ["0", "1", "2", "3", "4", "5"]),
            ("qlm tag add --tag Do", ["Done"]),
            ("qlm tag add -t Do", ["Done"]),
            ("qlm help ", ["comment", "help", "info", "rate", "tag"]),
        ]):
            with self.subTest(line=line):
                output = self.work / f"zsh-{number}.txt"
                run(["zsh", "-f", str(pathlib.Path(__file__).with_name("zsh_complete.zsh")), str(zsh_script.parent),
                     str(output), line], env=self.env, cwd=self.work)
                offered = output.read_text().splitlines() if output.exists() else []
                self.assertEqual(sorted(set(word for word in offered if word)), expected)
        folder = self.work / "fish-files"
        folder.mkdir()
        (folder / "photo.jpg").write_bytes(b"")
        cases = [
            ("qlm ta", ["tag"]),
            ("qlm rate s", ["set"]),
            ("qlm rate set --stars ", ["0", "1", "2", "3", "4", "5"]),
            ("qlm tag add --tag Do", ["Done"]),
            ("qlm tag add -t Do", ["Done"]),
            ("qlm tag add --tag Work ph", ["photo.jpg"]),
            ("qlm tag list ph", []),
        ]
        for line, expected in cases:
            with self.subTest(line=line):
                self.assertEqual(self.fish_complete(line, folder), expected)

    def test_manual_page_renders_every_command_without_warnings(self):
        text = self.render_man("qlm")
        description = json.loads(run([str(BUILD / "qlm"), "help", "--json"]).stdout)
        for command in description["commands"]:
            self.assertIn(command["usage"], text)
            self.assertIn(command["example"], text)
        for code in description["exit_codes"].values():
            self.assertIn(code, text)


@unittest.skipUnless(os.environ.get("QLM_PACKAGE_ZIP"), "QLM_PACKAGE_ZIP names no Windows zip")
class WindowsZip(unittest.TestCase):
    def test_contents(self):
        path = pathlib.Path(os.environ["QLM_PACKAGE_ZIP"])
        self.assertRegex(path.name, r"^qlm-[0-9.]+-win64\.zip$")
        with zipfile.ZipFile(path) as archive:
            self.assertIsNone(archive.testzip())
            names = {name for name in archive.namelist() if not name.endswith("/")}
            self.assertEqual(archive.read("README.md"), (SOURCE / "README.md").read_bytes())
            self.assertEqual(archive.read("qlm.exe")[:2], b"MZ")
            self.assertEqual(archive.read("sortwell-batch.exe")[:2], b"MZ")
        expected = {"qlm.exe", "sortwell-batch.exe", "README.md"}
        expected |= {"Content/" + path.relative_to(SOURCE / "content").as_posix()
                     for path in (SOURCE / "content").rglob("*") if path.is_file() and path.name != ".keep"}
        self.assertEqual(names, expected)


if __name__ == "__main__":
    unittest.main()
