#!/usr/bin/env python3
"""The installed program: `cmake --install` into a temporary DESTDIR, the installed desktop entry and
metainfo validated, then the installed programs run from there with a temporary HOME on Qt's offscreen
platform. Usage: install_test.py BUILD_DIR"""
import ctypes
import os
import select
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import time
import unittest

BUILD = os.path.abspath(sys.argv.pop(1))
APP_ID = "io.github.munyaro.Munyaro"
DEADLINE = 60  # seconds for a start on a loaded machine


def wait_for(what, check, deadline=DEADLINE):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        if check():
            return
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def tree(top):
    """Every path under top with its size and modification time, to see that nothing changed."""
    out = {}
    for base, dirs, files in os.walk(top):
        for name in dirs + files:
            p = os.path.join(base, name)
            st = os.lstat(p)
            out[os.path.relpath(p, top)] = (st.st_size, st.st_mtime_ns, stat.S_IMODE(st.st_mode))
    return out


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="munyaro-install-")
        cls.dest = os.path.join(cls.tmp, "dest")
        env = dict(os.environ, DESTDIR=cls.dest)
        subprocess.run(["cmake", "--install", BUILD, "--prefix", "/usr"], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        cls.prefix = os.path.join(cls.dest, "usr")
        cls.share = os.path.join(cls.prefix, "share")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def setUp(self):
        self.home = tempfile.mkdtemp(dir=self.tmp, prefix="home-")
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        self.env.update(HOME=self.home, QT_QPA_PLATFORM="offscreen")
        self.data = os.path.join(self.home, ".local/share/munyaro")

    def start(self, *args):
        """Starts the installed window program and waits until its start-up has made its data folder
        the current directory (after creating it), the last step before the windows and the loop."""
        proc = subprocess.Popen([os.path.join(self.prefix, "bin/munyaro"), *args], env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.addCleanup(lambda: (proc.kill(), proc.wait(), proc.stderr.close()))

        def entered():
            if proc.poll() is not None:
                raise AssertionError("munyaro ended: " + proc.stderr.read().decode(errors="replace"))
            try:
                return os.readlink(f"/proc/{proc.pid}/cwd") == self.data
            except OSError:
                return False
        wait_for("the data folder", entered)
        return proc

    def test_files_are_where_a_desktop_expects_them_and_validate(self):
        for path in ["bin/munyaro", "bin/munyaro-cli",
                     f"share/applications/{APP_ID}.desktop", f"share/metainfo/{APP_ID}.metainfo.xml",
                     "share/icons/hicolor/scalable/apps/munyaro.svg", "share/icons/hicolor/256x256/apps/munyaro.png",
                     "share/man/man1/munyaro-cli.1", "share/munyaro/materia/setup.ini",
                     "share/munyaro/materia/DomeinList.dat", "share/munyaro/materia/FTPSetting.dat",
                     "share/munyaro/logs/access_log_20261207"]:
            self.assertTrue(os.path.isfile(os.path.join(self.prefix, path)), path)
        desktop = os.path.join(self.share, f"applications/{APP_ID}.desktop")
        subprocess.run(["desktop-file-validate", desktop], check=True)
        with open(desktop, encoding="utf-8") as f:
            entry = f.read()
        self.assertIn("Name=むにゃろ\n", entry)
        self.assertIn("Exec=munyaro %f\n", entry)
        self.assertIn("application/gzip", entry)
        subprocess.run(["appstreamcli", "validate", "--no-net", os.path.join(self.share, f"metainfo/{APP_ID}.metainfo.xml")],
                       check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(self.share, "icons/hicolor/256x256/apps/munyaro.png"), "rb") as f:
            head = f.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", head[16:24]), (256, 256))
        man = subprocess.run(["man", "-l", os.path.join(self.share, "man/man1/munyaro-cli.1")], capture_output=True,
                             env=dict(self.env, MANWIDTH="100"), check=False)
        if man.returncode == 0:  # man-db may be absent; the page is then checked as text
            self.assertIn(b"--materia", man.stdout.replace(b"\xe2\x80\x90", b"-"))
        else:
            with open(os.path.join(self.share, "man/man1/munyaro-cli.1"), "rb") as f:
                self.assertIn(b".TH MUNYARO-CLI 1", f.read())

    def test_first_start_makes_the_users_folder_later_starts_keep_it_and_the_prefix_stays(self):
        before = tree(self.dest)
        self.start().kill()
        shipped = os.path.join(self.share, "munyaro")
        for name in ["setup.ini", "DomeinList.dat", "CheckDomeinList.dat", "SERobotsList.dat", "FTPSetting.dat"]:
            with open(os.path.join(shipped, "materia", name), "rb") as a, \
                    open(os.path.join(self.data, "materia", name), "rb") as b:
                self.assertEqual(a.read(), b.read(), name)
        self.assertEqual(stat.S_IMODE(os.stat(os.path.join(self.data, "materia/FTPSetting.dat")).st_mode), 0o600)
        self.assertTrue(os.path.isfile(os.path.join(self.data, "logs/access_log_20261207")))

        mine = os.path.join(self.data, "materia/DomeinList.dat")
        with open(mine, "wb") as f:
            f.write(b"my.example\r\n")
        self.start().kill()
        with open(mine, "rb") as f:
            self.assertEqual(f.read(), b"my.example\r\n")
        self.assertEqual(tree(self.dest), before)

    def test_a_log_named_on_the_command_line_is_read_at_start(self):
        log = os.path.join(self.tmp, "given.log")
        with open(log, "wb") as f:
            f.write(b'10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] "GET / HTTP/1.1" 200 5 "-" "-"\n')
        libc = ctypes.CDLL(None, use_errno=True)
        fd = libc.inotify_init1(os.O_CLOEXEC)
        self.assertGreaterEqual(fd, 0)
        self.addCleanup(os.close, fd)
        IN_OPEN = 0x20
        self.assertGreaterEqual(libc.inotify_add_watch(fd, log.encode(), IN_OPEN), 0)
        proc = subprocess.Popen([os.path.join(self.prefix, "bin/munyaro"), "given.log"], cwd=self.tmp,
                                env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (proc.kill(), proc.wait()))
        # The file is opened by the analysis (which may keep it mapped), and by nothing else.
        ready, _, _ = select.select([fd], [], [], DEADLINE)
        self.assertTrue(ready, "the log was never read")
        self.assertIsNone(proc.poll())

    def test_the_cli_reads_the_shipped_lists_until_the_users_folder_exists(self):
        cli = os.path.join(self.prefix, "bin/munyaro-cli")
        log = os.path.join(self.share, "munyaro/logs/access_log_20261207")
        run = subprocess.run([cli, "report", "--summary", log], env=self.env, capture_output=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertFalse(os.path.exists(self.data))  # the terminal tool creates nothing
        os.makedirs(os.path.join(self.data, "materia"))
        run = subprocess.run([cli, "report", "--summary", log], env=self.env, capture_output=True)
        self.assertEqual(run.returncode, 1)
        self.assertIn(os.path.join(self.data, "materia").encode(), run.stderr)
        other = os.path.join(self.tmp, "lists")
        shutil.copytree(os.path.join(self.share, "munyaro/materia"), other, dirs_exist_ok=True)
        run = subprocess.run([cli, "report", "--summary", "--materia", other, log], env=self.env, capture_output=True)
        self.assertEqual(run.returncode, 0, run.stderr)

    def test_the_installed_cli_finds_the_installed_keyring_module(self):
        """--password-keyring loads the module from the installation (lib/munyaro/), not from the build:
        without a session bus it is the keyring that does not answer, not the module that is missing."""
        modules = [os.path.join(base, f) for base, _, files in os.walk(self.prefix) for f in files
                   if f == "munyaro-keyring.so"]
        self.assertEqual(len(modules), 1, modules)
        self.assertNotIn("/bin/", modules[0])
        env = dict(self.env, DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/bus")
        run = subprocess.run([os.path.join(self.prefix, "bin/munyaro-cli"), "fetch", "--host", "127.0.0.1", "--user",
                              "u", "--password-keyring", "x"], env=env, capture_output=True)
        self.assertEqual(run.returncode, 1)
        err = run.stderr.decode()
        self.assertIn("キーリングを使えません: ", err)
        self.assertNotIn("munyaro-keyring.so", err)


if __name__ == "__main__":
    unittest.main(verbosity=2)
