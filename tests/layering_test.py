"""The folders keep their layers: a file includes only headers of its own
folder and of the folders its library is linked to, as the build's
layers.txt lists them (one line a folder: "folder: used folders")."""

import os
import re
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.MULTILINE)


def layers(path):
    with open(path, encoding="utf-8") as f:
        return {folder: set(uses.split()) for folder, uses in (line.split(":", 1) for line in f if line.strip())}


def edges_against_the_layers(allowed):
    wrong = []
    for folder, uses in allowed.items():
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if not name.endswith((".h", ".cpp")):
                continue
            with open(os.path.join(ROOT, folder, name), encoding="utf-8") as f:
                for used in INCLUDE.findall(f.read()):
                    if used != folder and used not in uses and used in allowed:
                        wrong.append(f"{folder}/{name} includes {used}/")
    return wrong


class Layering(unittest.TestCase):
    def test_no_include_runs_against_the_layers(self):
        allowed = layers(os.environ.get("TAVRIN_LAYERS") or sys.argv[1])
        self.assertIn("base", allowed)
        self.assertEqual(edges_against_the_layers(allowed), [])


if __name__ == "__main__":
    unittest.main()
