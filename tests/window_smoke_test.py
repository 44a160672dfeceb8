"""The window in a real X server: it starts on a fixture folder, its window
appears with its title, a second copy ends with its message, and a picture
of the window is written."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

REPAIR = os.environ["TAVRIN_REPAIR"]
FIXTURES = os.environ["TAVRIN_FIXTURES"]
TITLE = "Tavrin MySQL Database Repair"


def wait_for(predicate, seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.2)
    return None


class Smoke(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tavrin-smoke-")
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(runtime, mode=0o700)
        self.display = ":97"
        self.xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env = dict(os.environ, DISPLAY=self.display, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb",
                        HOME=self.work)
        self.assertTrue(wait_for(lambda: subprocess.run(["xdotool", "getmouselocation"], env=self.env,
                                                        capture_output=True).returncode == 0))

    def tearDown(self):
        self.xvfb.kill()
        self.xvfb.wait()
        shutil.rmtree(self.work, ignore_errors=True)

    def windows_named(self, name):
        r = subprocess.run(["xdotool", "search", "--name", name], env=self.env, capture_output=True, text=True)
        return r.stdout.split()

    def test_starts_refuses_a_second_copy_and_draws_itself(self):
        folder = os.path.join(FIXTURES, "myisam_rows", "data", "rows")
        first = subprocess.Popen([REPAIR, folder], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            self.assertTrue(wait_for(lambda: self.windows_named("^" + TITLE + "$")), "the window did not appear")
            # A second copy shows its message and ends; the first goes on.
            second = subprocess.Popen([REPAIR], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            box = wait_for(lambda: self.windows_named(TITLE))
            self.assertTrue(box)
            time.sleep(1)
            subprocess.run(["xdotool", "key", "--clearmodifiers", "Return"], env=self.env)
            self.assertEqual(second.wait(timeout=30), 0)
            self.assertIsNone(first.poll())
            picture = os.path.join(self.work, "screen.png")
            subprocess.run(["import", "-window", "root", picture], env=self.env, check=True)
            self.assertGreater(os.path.getsize(picture), 10000)
            # TAVRIN_SCREENSHOTS names a folder to keep the pictures in, for a person to look at.
            keep = os.environ.get("TAVRIN_SCREENSHOTS")
            if keep:
                shutil.copyfile(picture, os.path.join(keep, "smoke.png"))
        finally:
            first.kill()
            first.wait()
        # The window drawn by itself into a picture, after the scan and the first table's page.
        shot = os.path.join(self.work, "window.png")
        r = subprocess.run([REPAIR, "--screenshot", shot, folder], env=self.env, capture_output=True, timeout=120)
        self.assertEqual(r.returncode, 0, r.stderr.decode())
        self.assertGreater(os.path.getsize(shot), 10000)
        if os.environ.get("TAVRIN_SCREENSHOTS"):
            shutil.copyfile(shot, os.path.join(os.environ["TAVRIN_SCREENSHOTS"], "window.png"))


if __name__ == "__main__":
    unittest.main()
