"""The window's save into a server: the window tests run against a
throw-away MariaDB whose socket they are given."""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixture"))
import fixture  # noqa: E402

WINDOW_TESTS = os.environ["TAVRIN_WINDOW_TESTS"]


class SaveIntoAServer(unittest.TestCase):
    def test_the_checked_table_is_made_on_the_server(self):
        with fixture.fresh_server() as server:
            env = dict(os.environ, TAVRIN_TEST_SOCKET=server.socket, QT_QPA_PLATFORM="offscreen")
            r = subprocess.run([WINDOW_TESTS, "saveIntoAServer"], capture_output=True, text=True,
                               stdin=subprocess.DEVNULL, env=env)
            self.assertEqual(r.returncode, 0, r.stdout[-3000:] + r.stderr[-3000:])
            self.assertIn("PASS   : tavrin::ui::WindowTest::saveIntoAServer()", r.stdout)


if __name__ == "__main__":
    unittest.main()
