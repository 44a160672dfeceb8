"""A crafted data folder must not run anything where its saved script is
loaded. Every text of the files goes into the script as a text, and a text
that would end its statement early is refused with why.

The fixture `hostile` holds texts that look like SQL and client commands,
which a server keeps as they are: they come back exactly. Copies of its
files are overwritten as a crafted folder would be: those objects are
refused. Each script is loaded with a plain client into a throw-away server
holding a canary database, which must survive; no client command may run."""

import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixture"))
import fixture  # noqa: E402
from save_test import recorded_definitions, show_create, without_auto_increment  # noqa: E402

RECOVER = os.environ["TAVRIN_RECOVER"]
FIXTURES = os.environ["TAVRIN_FIXTURES"]
SHOP = os.path.join(FIXTURES, "hostile", "data", "shop")
CANARY = "CREATE DATABASE canary; CREATE TABLE canary.alive (a INT); INSERT INTO canary.alive VALUES (1);"
# The folder a crafted path leads into: its name would be SQL and a client command.
HOSTILE_FOLDER = "inj\nDROP DATABASE canary;\n\\! touch PWNED\n-- x"


def view_file(query):
    return b"TYPE=VIEW\nquery=" + query + b"\nalgorithm=0\ndefiner_user=root\ndefiner_host=localhost\nsuid=2\n"


def trigger_file(statement):
    return b"TYPE=TRIGGERS\ntriggers='" + statement + b"'\nsql_modes=1411383296\n"


TRIGGER_HEAD = b"CREATE DEFINER=`root`@`localhost` TRIGGER trigger_patch_bi BEFORE INSERT ON trigger_patch FOR EACH ROW "

# Overwrites of a copy of the fixture's database folder: the file, the text
# it is given (a placeholder of the same length is overwritten in place, else
# the whole file), the object refused, and what its refusal says.
CRAFTED = [
    ("db.opt", b"default-character-set=latin1 */; DROP DATABASE canary; /*\ndefault-collation=latin1_swedish_ci\n",
     "database shop: saved; db.opt names the character set"),
    ("view_patch.frm", view_file(b"select 1 AS `x`; DROP DATABASE canary; SELECT 1"),
     "view shop.view_patch: failed: not one statement"),
    ("view_patch.frm", view_file(b"select 1 AS `x`\\n\\\\! touch PWNED"), "view shop.view_patch: failed: not one statement"),
    ("view_patch.frm", view_file(b"select 1 AS `x`\\nDELIMITER ;;\\nDROP DATABASE canary;;"),
     "view shop.view_patch: failed: not one statement"),
    ("view_patch.frm", view_file(b"select '\\0' AS `x`"), "view shop.view_patch: failed: not one statement"),
    ("view_patch.frm", view_file(b"select 1 AS `x` /*! ; DROP DATABASE canary */"),
     "view shop.view_patch: failed: not one statement"),
    ("trigger_patch.TRG", trigger_file(TRIGGER_HEAD + b"SET NEW.a = 1; DROP DATABASE canary"),
     "trigger shop.trigger_patch_bi: failed: not one statement"),
    ("trigger_patch.TRG", trigger_file(TRIGGER_HEAD + b"BEGIN END; DROP DATABASE canary; SELECT 1 END"),
     "trigger shop.trigger_patch_bi: failed: not one statement"),
    ("trigger_patch.TRG", trigger_file(TRIGGER_HEAD + b"SET NEW.a = 1\\n\\\\! touch PWNED"),
     "trigger shop.trigger_patch_bi: failed: not one statement"),
    ("trigger_patch.TRG", trigger_file(b"system touch PWNED\\n" + TRIGGER_HEAD + b"SET NEW.a = 1"),
     "trigger shop.trigger_patch_bi: failed: not one statement"),
    ("expression_patch.frm", (b"'EXPRESSION_TO_PATCH_0123456789_0123456789_0123456789'",
                              b"'')); DROP DATABASE canary; #"), "table shop.expression_patch: failed: column a: its default"),
    ("check_patch.frm", (b"'CHECK_TO_PATCH_0123456789_0123456789_0123456789'",
                         b"1) SELECT load_file('/etc/passwd'"), "table shop.check_patch: failed: the constraint c"),
    ("partition_patch.frm", (b"'PARTITION_TO_PATCH_0123456789_0123456789_0123456789'",
                             b"'' ENGINE=InnoDB); DROP DATABASE canary; \\! touch PWNED"),
     "table shop.partition_patch: failed: "),
    ("partition_patch.frm", (b"'PARTITION_TO_PATCH_0123456789_0123456789_0123456789'", b"'x\0'"),
     "table shop.partition_patch: failed: the partitioning"),
]


def craft(folder, file, text):
    path = os.path.join(folder, file)
    if isinstance(text, tuple):
        placeholder, replacement = text
        with open(path, "rb") as f:
            content = f.read()
        assert placeholder in content, (file, placeholder)
        text = content.replace(placeholder, replacement.ljust(len(placeholder), b" "))
    with open(path, "wb") as f:
        f.write(text)


def recover(*args):
    r = subprocess.run([RECOVER, *args], capture_output=True, stdin=subprocess.DEVNULL)
    return r.returncode, r.stdout.decode(errors="replace"), r.stderr.decode(errors="replace")


class HostileTexts(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.stack = contextlib.ExitStack()
        cls.server = cls.stack.enter_context(fixture.fresh_server())
        cls.legit = [d for d in recorded_definitions("hostile") if "patch" not in d["name"]]

    @classmethod
    def tearDownClass(cls):
        cls.stack.close()

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tavrin-hostile-")
        self.fresh_target()

    def tearDown(self):
        shutil.rmtree(self.work)

    def fresh_target(self):
        self.server.client("DROP DATABASE IF EXISTS shop; DROP DATABASE IF EXISTS canary; " + CANARY)

    def copy(self, parent):
        folder = os.path.join(self.work, parent, "shop")
        shutil.copytree(SHOP, folder)
        fixture.make_writable(folder)
        return folder

    def save_script(self, folder):
        scripts = tempfile.mkdtemp(prefix="out-", dir=self.work)
        status, out, err = recover("save", folder, "shop", "--script", scripts)
        return status, out + err, os.path.join(scripts, "shop.sql")

    def load(self, script):
        """Loads a script with the plain client, in a folder of its own where a
        command of the client would leave its file."""
        with open(script, "rb") as f:
            r = subprocess.run(["mariadb", "--no-defaults", f"--socket={self.server.socket}", "-uroot"], stdin=f,
                               capture_output=True, cwd=self.work)
        return r.returncode, r.stderr.decode()

    def assertUnharmed(self):
        self.assertEqual(self.server.client("SELECT a FROM canary.alive").stdout, b"a\n1\n")
        self.assertFalse(os.path.exists(os.path.join(self.work, "PWNED")))

    def assertLegitObjectsCameBack(self):
        for d in self.legit:
            made = show_create(self.server, d["kind"], d["database"], d["name"])
            self.assertEqual(without_auto_increment(made), without_auto_increment(d["create"]), d["name"])
        self.assertEqual(self.server.client("SELECT COUNT(*) FROM shop.notes").stdout, b"COUNT(*)\n2\n")

    def test_texts_a_server_keeps_come_back_as_texts(self):
        folder = self.copy(HOSTILE_FOLDER)
        status, out, script = self.save_script(folder)
        self.assertEqual(status, 0, out)
        # A name's line break cannot start a report line of its own.
        self.assertIn("table shop.new\\nline: saved, 0 rows\n", out)
        with open(script, encoding="utf-8") as f:
            quoted = folder.replace("\\", "\\\\").replace("\n", "\\n")
            self.assertEqual(f.readline(), f"-- Tables saved by tavrin-recover from '{quoted}'\n")
        self.assertEqual(self.load(script), (0, ""))
        self.assertUnharmed()
        self.assertLegitObjectsCameBack()

    def test_crafted_texts_are_refused_and_the_rest_is_saved(self):
        for i, (file, text, refusal) in enumerate(CRAFTED):
            with self.subTest(file=file, text=text):
                self.fresh_target()
                folder = self.copy(f"crafted-{i}")
                craft(folder, file, text)
                status, out, script = self.save_script(folder)
                self.assertEqual(status, 1, out)
                self.assertIn(refusal, out)
                self.assertEqual(self.load(script), (0, ""))
                self.assertUnharmed()
                self.assertLegitObjectsCameBack()

    def test_into_a_server_the_same_texts_are_refused(self):
        for file, text, refusal in (CRAFTED[0], CRAFTED[6]):
            with self.subTest(file=file):
                folder = self.copy(f"server-{file}")
                craft(folder, file, text)
                status, out, err = recover("save", folder, "shop", "--server", "localhost", "--socket",
                                           self.server.socket, "--user", "root")
                self.assertEqual(status, 1, out + err)
                self.assertIn(refusal, out)
                self.assertUnharmed()
                self.assertLegitObjectsCameBack()
                self.server.client("DROP DATABASE shop;")

    def test_names_no_statement_can_carry_are_refused(self):
        folder = self.copy("names")
        for name in (b"bad\xffname", b"nul@@@name"):
            for ext in (b".frm", b".MYD", b".MYI"):
                shutil.copyfile(os.path.join(folder, "trigger_patch" + ext.decode()),
                                os.path.join(folder.encode(), name + ext))
        status, out, script = self.save_script(folder)
        self.assertEqual(status, 1, out)
        self.assertEqual(len([line for line in out.splitlines() if "failed: not one statement" in line]), 2, out)
        status, out, err = recover("rows", folder, "shop", b"bad\xffname", "--format", "sql")
        self.assertEqual((status, out), (1, ""))
        self.assertIn("the table's names cannot go into an INSERT statement", err)
        self.assertEqual(self.load(script), (0, ""))
        self.assertUnharmed()


if __name__ == "__main__":
    unittest.main()
