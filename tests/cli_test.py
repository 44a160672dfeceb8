"""tavrin-recover run as a user runs it: its output, its errors and exit
statuses, and the view and trigger texts it prints fed back to a real server."""

import csv
import io
import os
import re
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixture"))
import fixture  # noqa: E402

RECOVER = os.environ["TAVRIN_RECOVER"]
FIXTURES = os.environ["TAVRIN_FIXTURES"]
# Files of older servers: the copy in the repository unless the environment names another.
REAL = os.environ.get("TAVRIN_REAL_FIXTURES") or os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "real")


def data(script):
    return os.path.join(FIXTURES, script, "data")


def recover(*args, cwd=None):
    r = subprocess.run([RECOVER, *args], capture_output=True, stdin=subprocess.DEVNULL, cwd=cwd)
    return r.returncode, r.stdout.decode(), r.stderr.decode()


def answer(script, name):
    with open(os.path.join(FIXTURES, script, "answers", name + ".tsv"), "rb") as f:
        return f.read()


class Usage(unittest.TestCase):
    def test_help_names_every_command(self):
        status, out, err = recover("--help")
        self.assertEqual(status, 0)
        for command in ("list FOLDER", "structure FOLDER DATABASE TABLE", "view FOLDER DATABASE VIEW",
                        "trigger FOLDER DATABASE TABLE"):
            self.assertIn(command, out)
        self.assertEqual(err, "")

    def test_wrong_command_lines_exit_2(self):
        for args in ([], ["frobnicate"], ["list"], ["structure", "a", "b"], ["view", "a", "b", "c", "d"]):
            status, out, err = recover(*args)
            self.assertEqual(status, 2, args)
            self.assertEqual(out, "")
            self.assertEqual(len(err.splitlines()), 1, err)


class Failures(unittest.TestCase):
    def assertFailsWith(self, args, text):
        status, out, err = recover(*args)
        self.assertEqual(status, 1, err)
        self.assertEqual(out, "")
        self.assertEqual(len(err.splitlines()), 1, err)
        self.assertIn(text, err)

    def test_missing_things(self):
        shapes = data("structure")
        self.assertFailsWith(["list", "/nonexistent/folder"], "/nonexistent/folder does not exist")
        self.assertFailsWith(["list", os.path.join(shapes, "shapes", "commented.frm")], "commented.frm is not a folder")
        self.assertFailsWith(["structure", shapes, "nodb", "t"], "no database nodb")
        self.assertFailsWith(["structure", shapes, "shapes", "nosuch"], "no table nosuch in database shapes")
        self.assertFailsWith(["view", shapes, "shapes", "nosuch"], "no view nosuch")
        self.assertFailsWith(["trigger", shapes, "shapes", "key_none"], "no trigger file of table key_none")

    def test_folder_without_databases(self):
        with tempfile.TemporaryDirectory() as empty:
            os.makedirs(os.path.join(empty, "sub"))
            with open(os.path.join(empty, "sub", "notes.txt"), "w") as f:
                f.write("x")
            self.assertFailsWith(["list", empty], "neither it nor its sub-folders hold a .frm, .ibd or .TRG file")

    def test_damaged_definition(self):
        with tempfile.TemporaryDirectory() as top:
            db = os.path.join(top, "db")
            os.makedirs(db)
            with open(os.path.join(data("structure"), "shapes", "commented.frm"), "rb") as f:
                whole = f.read()
            with open(os.path.join(db, "cut.frm"), "wb") as f:
                f.write(whole[:len(whole) - 20])
            self.assertFailsWith(["structure", db, "db", "cut"], "cut.frm: the field definitions run past the end")
            with open(os.path.join(db, "v.frm"), "w") as f:
                f.write("TYPE=VIEW\nquery=select \\q\n")
            self.assertFailsWith(["view", db, "db", "v"], "the view's query is damaged")


class Listing(unittest.TestCase):
    def test_tree_of_a_data_folder(self):
        folder = data("definitions")
        status, out, err = recover("list", folder)
        self.assertEqual(status, 0, err)
        lines = out.splitlines()
        self.assertEqual(lines[0], "MYSQL database")
        self.assertEqual(lines[1], "  " + os.path.abspath(folder))
        start = lines.index("    defs")
        self.assertEqual(lines[start:start + 22], [
            "    defs",
            "      Tables",
            "        audit",
            "          Keys",
            "        items",
            "          Keys",
            "        plain",
            "          Keys",
            "      Trigger",
            "        items",
            "        plain",
            "      Views",
            "        v with space",
            "        v_lines",
            "        v_multiline",
            "        v_nested",
            "    mysql",
            "      Tables",
            "        column_stats",
            "          Keys",
            "        columns_priv",
            "          Keys",
        ])

    def test_one_database_folder_from_a_relative_path(self):
        folder = os.path.join(data("definitions"), "defs")
        status, out, err = recover("list", "defs", cwd=os.path.dirname(folder))
        self.assertEqual(status, 0, err)
        lines = out.splitlines()
        # The folder node shows the absolute path (the working folder as the system gives it).
        self.assertEqual(lines[1], "  " + os.path.realpath(folder))
        self.assertEqual(lines[2], "    defs")


class Names(unittest.TestCase):
    """Objects are shown and named as the server names them, whatever their file names."""

    def test_escaped_file_names(self):
        folder = data("objects")
        status, out, err = recover("list", folder)
        self.assertEqual(status, 0, err)
        lines = out.splitlines()
        for database in ("my-db", "Übersicht"):
            self.assertIn("    " + database, lines)
        for name in ("Àéß", "日本", "a$b", "t-1", "v$1"):
            self.assertIn("        " + name, lines)
        self.assertEqual(recover("rows", folder, "my-db", "t-1"), (0, "id\tname\n1\tone\n2\ttwo\n", ""))
        self.assertEqual(recover("rows", folder, "my-db", "Àéß"), (0, "a\n7\n", ""))
        self.assertEqual(recover("rows", folder, "Übersicht", "x"), (0, "a\n", ""))
        status, out, err = recover("view", folder, "my-db", "v$1")
        self.assertEqual(status, 0, err)
        self.assertIn(" VIEW `v$1` AS ", out)
        status, out, err = recover("trigger", folder, "my-db", "t-1")
        self.assertEqual(status, 0, err)
        self.assertIn("CREATE TRIGGER `t-1_bi`", out)


class Structure(unittest.TestCase):
    def test_columns_of_a_table(self):
        status, out, err = recover("structure", data("structure"), "shapes", "key_unique")
        self.assertEqual(status, 0, err)
        self.assertEqual(out,
                         "Column Name\tData Type\tsize\tAllow Nulls\tKey Name\n"
                         "a\tINT\t11\tFalse\tUnique Key\n"
                         "b\tINT\t11\tTrue\tUnique Key\n"
                         "c\tCHAR(5)\t5\tTrue\tUnique Key\n"
                         "d\tINT\t11\tTrue\t\n")

    def test_a_counter_past_its_column_is_damage(self):
        with tempfile.TemporaryDirectory() as top:
            db = os.path.join(top, "defs")
            os.makedirs(db)
            for ext in (".frm", ".MYD", ".MYI"):
                shutil.copyfile(os.path.join(data("definitions"), "defs", "audit" + ext), os.path.join(db, "audit" + ext))
            for counter, past in ((2 ** 31 - 2, False), (2 ** 31, True), (0xFEFFFFFFFFFFFF00, True)):
                with open(os.path.join(db, "audit.MYI"), "r+b") as f:
                    f.seek(92)  # the state's AUTO_INCREMENT counter
                    f.write(struct.pack(">Q", counter))
                status, out, err = recover("structure", db, "defs", "audit", "--sql")
                if not past:
                    self.assertEqual(status, 0, err)
                    self.assertIn(f" AUTO_INCREMENT={counter + 1} ", out)
                    continue
                self.assertEqual(status, 1)
                self.assertNotIn("AUTO_INCREMENT=", out)
                self.assertIn(f"the AUTO_INCREMENT counter {counter + 1} is past what column id can hold", err)
                with tempfile.TemporaryDirectory() as scripts:
                    status, out, err = recover("save", db, "--script", scripts)
                    self.assertEqual(status, 1)
                    self.assertIn("table defs.audit: saved, 0 rows; the AUTO_INCREMENT counter", out)

    def test_read_only_folder_of_another_server(self):
        folder = os.path.join(REAL, "frm-versions")
        status, out, err = recover("structure", folder, "frm-versions", "film_actor")
        self.assertEqual(status, 0, err)
        self.assertEqual(out.splitlines()[1:], ["actor_id\tSMALLINT\t5\tFalse\tPrimary Key",
                                                "film_id\tSMALLINT\t5\tFalse\tPrimary Key",
                                                "last_update\tTIMESTAMP\t19\tFalse\t"])

    def test_upper_case_file_names(self):
        with tempfile.TemporaryDirectory() as top:
            db = os.path.join(top, "db")
            os.makedirs(db)
            shutil.copyfile(os.path.join(data("structure"), "shapes", "key_none.frm"), os.path.join(db, "T1.FRM"))
            status, out, err = recover("structure", db, "db", "T1")
            self.assertEqual(status, 0, err)
            self.assertEqual(len(out.splitlines()), 3)

    def test_catalogue_beside_the_executable_or_missing(self):
        # Run from another folder: the catalogue beside the executable is found.
        status, out, err = recover("structure", data("structure"), "shapes", "all_types_utf8mb4", cwd="/")
        self.assertEqual(status, 0, err)
        self.assertIn("c_varchar\tVARCHAR(300)\t1200\t", out)
        with tempfile.TemporaryDirectory() as top:
            alone = os.path.join(top, "tavrin-recover")
            shutil.copy(RECOVER, alone)
            r = subprocess.run([alone, "structure", data("structure"), "shapes", "all_types_utf8mb4"],
                               capture_output=True, cwd=top, text=True)
            self.assertEqual(r.returncode, 0)
            self.assertIn("c_varchar\tVARCHAR(1200)\t1200\t", r.stdout)
            self.assertIn("collation catalogue", r.stderr)
            # A damaged catalogue in the current folder is passed over for the one beside the executable.
            with open(os.path.join(top, "collation (2)"), "wb") as f:
                f.write(b"\x01garbage")
            status, out, err = recover("structure", data("structure"), "shapes", "all_types_utf8mb4", cwd=top)
            self.assertEqual(status, 0, err)
            self.assertIn("c_varchar\tVARCHAR(300)\t1200\t", out)
            self.assertIn("the collation catalogue ./collation (2) is passed over", err)


def rows_answers(script):
    """The (answer, table) of every `-- rows:` line of a fixture script."""
    pairs = []
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures", script + ".sql")) as f:
        for line in f:
            if line.startswith("-- rows:"):
                name, table = line.split()[2:4]
                pairs.append((name, table))
    return pairs


def assert_rows_equal_the_server(test, script, folder, database, env, status_wanted=0):
    """`rows --all --full` of every table of a script's `-- rows:` lines gives the server's answer."""
    for name, table in rows_answers(script):
        with test.subTest(table=table, folder=folder):
            r = subprocess.run([RECOVER, "rows", folder, database, table, "--all", "--full"], capture_output=True,
                               stdin=subprocess.DEVNULL, env=dict(os.environ, **env))
            test.assertEqual(r.returncode, status_wanted, r.stderr.decode())
            expected = answer(script, name)
            if r.stdout != expected:
                ours, theirs = r.stdout.splitlines(), expected.splitlines()
                first = next(i for i in range(min(len(ours), len(theirs)) + 1)
                             if i == min(len(ours), len(theirs)) or ours[i] != theirs[i])
                test.fail(f"line {first + 1}: ours {ours[first:first + 1]!r} server {theirs[first:first + 1]!r}")


class MyisamRows(unittest.TestCase):
    """`rows --all --full` gives what the server's SELECT gave, line for line."""

    FOLDER = property(lambda self: data("myisam_rows"))
    TZ = {"TZ": "America/New_York"}

    def rows(self, *args):
        r = subprocess.run([RECOVER, "rows", self.FOLDER, "rows", *args], capture_output=True,
                           stdin=subprocess.DEVNULL, env=dict(os.environ, **self.TZ))
        return r.returncode, r.stdout, r.stderr.decode()

    def test_every_table_equals_the_server(self):
        self.assertGreater(len(rows_answers("myisam_rows")), 50)
        assert_rows_equal_the_server(self, "myisam_rows", self.FOLDER, "rows", self.TZ)

    def test_pages(self):
        expected = answer("myisam_rows", "pages_dynamic").splitlines(keepends=True)
        for page in (1, 2, 3):
            status, out, err = self.rows("pages_dynamic", "--page", str(page), "--full")
            self.assertEqual(status, 0, err)
            self.assertEqual(out.splitlines(keepends=True), expected[:1] + expected[1 + 1000 * (page - 1):1 + 1000 * page])
        # Past the last page: the column names alone, and the reason.
        status, out, err = self.rows("pages_dynamic", "--page", "4")
        self.assertEqual((status, out), (1, expected[0]))
        self.assertIn("page 4 is past the last page of rows (3)", err)
        status, out, err = self.rows("pages_dynamic")
        self.assertEqual(len(out.splitlines()), 1001)

    def test_csv(self):
        status, out, err = self.rows("every_type", "--all", "--full", "--format", "csv")
        self.assertEqual(status, 0, err)
        parsed = list(csv.reader(io.StringIO(out.decode(), newline="")))
        tsv = answer("myisam_rows", "every_type").decode().splitlines()
        unescape = {"\\\\": "\\", "\\t": "\t", "\\n": "\n", "\\0": "\0"}
        expected = [[re.sub(r"\\[\\tn0]", lambda m: unescape[m.group(0)], cell) for cell in line.split("\t")]
                    for line in tsv]
        self.assertEqual(parsed, expected)

    def test_wrong_options(self):
        for args in (["--page", "0"], ["--page", "x"], ["--all", "--page", "2"], ["--format", "xml"], ["--bogus"],
                     ["--page"]):
            status, out, err = recover("rows", self.FOLDER, "rows", "lists", *args)
            self.assertEqual(status, 2, args)
            self.assertIn("usage:", err)


def first_difference(ours, theirs):
    ours, theirs = ours.splitlines(), theirs.splitlines()
    for i in range(max(len(ours), len(theirs))):
        a = ours[i] if i < len(ours) else None
        b = theirs[i] if i < len(theirs) else None
        if a != b:
            return f"line {i + 1}: ours {a!r} server {b!r}"
    return None


class PackedMyisam(unittest.TestCase):
    """Tables compressed with myisampack, read as the server reads them."""

    TZ = {"TZ": "America/New_York"}

    def test_every_table_equals_the_server(self):
        assert_rows_equal_the_server(self, "myisam_packed", data("myisam_packed"), "packed", self.TZ)

    def test_without_index_files(self):
        # The data file's start says its rows are compressed; the definition gives the columns.
        with tempfile.TemporaryDirectory() as top:
            copy = os.path.join(top, "data")
            shutil.copytree(data("myisam_packed"), copy)
            fixture.make_writable(copy)
            for name in os.listdir(os.path.join(copy, "packed")):
                if name.endswith(".MYI"):
                    os.remove(os.path.join(copy, "packed", name))
            assert_rows_equal_the_server(self, "myisam_packed", copy, "packed", self.TZ, status_wanted=1)

    def test_structure(self):
        status, out, err = recover("structure", data("myisam_packed"), "packed", "many")
        self.assertEqual(status, 0, err)
        self.assertEqual(out.splitlines()[1], "id\tINT\t11\tFalse\tPrimary Key")

    def test_damaged_copies(self):
        folder = os.path.join(data("myisam_packed"), "packed")

        def header_length(b):
            return struct.unpack_from("<I", b, 4)[0]

        def first_tree(b):
            # After the packing of each column: 16 bits and those of a tree's number.
            with open(os.path.join(folder, "many.MYI"), "rb") as f:
                index = f.read()
            columns = struct.unpack_from(">I", index, struct.unpack_from(">H", index, 12)[0] + 64)[0]
            tree_bits = max(1, (struct.unpack_from("<H", b, 24)[0] - 1).bit_length())
            return 32 + (columns * (16 + tree_bits) + 7) // 8

        def put(offset, data):
            return lambda b: b[:offset(b)] + data + b[offset(b) + len(data):]

        cases = [
            # (change to the data file of `many`, rows read, what the reason says)
            (put(lambda b: header_length(b) + 20, b"\xff\xff\xff"), 5999,
             "1 row passed over: a damaged row (a row's bits end before its length does) (at byte 2580 of "),
            (put(header_length, b"\xfe\xff\xff"), 0,
             "624550 bytes passed over: a row of 65535 bytes, outside the lengths of the table's rows (from byte 2580 of "),
            (lambda b: b[:-100], 5998, "155 bytes passed over: a row runs past the end of the data file"),
            (put(lambda b: first_tree(b) + 8, b"\xff\xff\xff"), 0,
             "many.MYD: a Huffman tree points outside itself (at byte 62)"),
            (put(lambda b: 32, b"\xff"), 0, "many.MYD: a column packed in an unknown way (31) (at byte 35)"),
            (put(lambda b: 4, b"\xff\xff\xff\x00"), 0,
             "many.MYD: the header of the compressed rows says it is 16777215 bytes long"),
            (put(lambda b: 2, b"\x07"), 6000, "the compressed data file does not start as one does (at byte 0 of "),
        ]
        for change, rows, reason in cases:
            with self.subTest(reason=reason), tempfile.TemporaryDirectory() as top:
                copy = os.path.join(top, "data")
                shutil.copytree(data("myisam_packed"), copy)
                fixture.make_writable(copy)
                path = os.path.join(copy, "packed", "many.MYD")
                with open(path, "rb") as f:
                    changed = change(f.read())
                with open(path, "wb") as f:
                    f.write(changed)
                status, out, err = recover("rows", copy, "packed", "many", "--all")
                self.assertEqual((status, len(out.splitlines()) - 1 if out else 0), (1, rows), err)
                self.assertIn(reason, err)


class InnodbRows(unittest.TestCase):
    """`rows --all --full` gives what the server's SELECT gave, line for line;
    `--deleted` the rows that were deleted and not purged."""

    TZ = {"TZ": "America/New_York"}

    def rows(self, folder, database, table, *args):
        r = subprocess.run([RECOVER, "rows", folder, database, table, *args], capture_output=True,
                           stdin=subprocess.DEVNULL, env=dict(os.environ, **self.TZ))
        return r.returncode, r.stdout, r.stderr.decode()

    def check_fixture(self, script, database, folder=None, extra=()):
        pairs = rows_answers(script)
        for name, table in pairs:
            with self.subTest(script=script, table=table):
                args = ["--all", "--full", *extra] + (["--deleted"] if name.endswith("_deleted") else [])
                status, out, err = self.rows(folder or data(script), database, table, *args)
                self.assertEqual(status, 0, err)
                difference = first_difference(out, answer(script, name))
                self.assertIsNone(difference)
        return len(pairs)

    def test_every_table_equals_the_server(self):
        self.assertGreater(self.check_fixture("innodb_rows", "inno"), 20)
        self.check_fixture("innodb_system", "shared")
        self.check_fixture("innodb_deleted", "gone")
        self.assertGreater(self.check_fixture("innodb_redundant", "old"), 10)
        self.assertEqual(self.check_fixture("innodb_instant", "altered"), 6)

    def test_every_page_size(self):
        for size in ("4k", "8k", "32k", "64k"):
            self.assertEqual(self.check_fixture("page_size_" + size, "sized"), 2)
            # Without ibdata1, the table with its own tablespace is read by its definition.
            with tempfile.TemporaryDirectory() as top:
                alone = os.path.join(top, "sized")
                shutil.copytree(os.path.join(data("page_size_" + size), "sized"), alone)
                status, out, err = self.rows(alone, "sized", "own", "--all", "--full")
                self.assertEqual((status, err), (0, ""), size)
                self.assertIsNone(first_difference(out, answer("page_size_" + size, "own")))

    def test_without_the_system_tablespace_the_definition_gives_the_same_rows(self):
        with tempfile.TemporaryDirectory() as top:
            folder = os.path.join(top, "inno")
            shutil.copytree(os.path.join(data("innodb_rows"), "inno"), folder)
            self.check_fixture("innodb_rows", "inno", folder)
            # Named on the command line, the dictionary is used again.
            self.check_fixture("innodb_rows", "inno", folder,
                               ["--ibdata", os.path.join(data("innodb_rows"), "ibdata1")])
        # How a table altered in place keeps its records is in its own tablespace.
        with tempfile.TemporaryDirectory() as top:
            folder = os.path.join(top, "altered")
            shutil.copytree(os.path.join(data("innodb_instant"), "altered"), folder)
            self.check_fixture("innodb_instant", "altered", folder)
        # The record format then comes from the root page, or, where the root
        # is lost, from the leaves the scan finds.
        with tempfile.TemporaryDirectory() as top:
            folder = os.path.join(top, "old")
            shutil.copytree(os.path.join(data("innodb_redundant"), "old"), folder)
            for name in ("every_redundant", "apart", "big"):
                status, out, err = self.rows(folder, "old", name, "--all", "--full")
                self.assertEqual((status, err), (0, ""), name)
                self.assertIsNone(first_difference(out, answer("innodb_redundant", name)), name)
            with open(os.path.join(folder, "big.ibd"), "r+b") as f:
                f.seek(3 * 16384)
                f.write(bytes(16384))
            status, out, err = self.rows(folder, "old", "big", "--all", "--full")
            self.assertEqual(status, 1)
            self.assertIn("its leaf pages were found by scanning the tablespace", err)
            self.assertIsNone(first_difference(out, answer("innodb_redundant", "big")))

    def test_pages_of_a_tree_of_several_levels(self):
        expected = answer("innodb_rows", "big").splitlines(keepends=True)
        for page in (1, 2, 120):
            status, out, err = self.rows(data("innodb_rows"), "inno", "big", "--page", str(page))
            self.assertEqual(status, 0, err)
            self.assertEqual(out.splitlines(keepends=True), expected[:1] + expected[1 + 1000 * (page - 1):1 + 1000 * page])
        status, out, err = self.rows(data("innodb_rows"), "inno", "big", "--page", "999999999999999")
        self.assertEqual((status, out), (1, expected[0]))
        self.assertIn("page 999999999999999 is past the last page of rows (120)", err)

    def test_values_kept_apart_show_a_marker(self):
        status, out, err = self.rows(data("innodb_rows"), "inno", "apart_dynamic")
        self.assertEqual(status, 0, err)
        lines = [line.split(b"\t") for line in out.splitlines()]
        self.assertEqual(lines[1][1:], [b"Large Size Blob Data"] * 3)
        self.assertEqual(lines[2][1:], [b"0x73686F7274", b"short", b"short"])

    def test_compressed_tables(self):
        self.assertEqual(self.check_fixture("innodb_compressed", "zip"), 7)
        status, out, err = self.rows(data("innodb_rows"), "inno", "zipped", "--all")
        self.assertEqual((status, err, out), (0, "", b"id\tv\n1\tz\n"))

    def damaged_copy(self, script, database, table, change, *args):
        """`rows --all --full` of a table whose .ibd `change` (bytes -> bytes) altered, in a copy."""
        with tempfile.TemporaryDirectory() as top:
            folder = os.path.join(top, database)
            shutil.copytree(os.path.join(data(script), database), folder)
            os.chmod(folder, 0o755)
            path = os.path.join(folder, table + ".ibd")
            os.chmod(path, 0o644)
            with open(path, "rb") as f:
                image = f.read()
            with open(path, "wb") as f:
                f.write(change(image))
            return self.rows(folder, database, table, "--all", "--full", *args)

    @staticmethod
    def fill(at, count):
        return lambda image: image[:at] + bytes([0x5A]) * count + image[at + count:]

    def check_damage_cases(self, script, database, cases, rows_left_over=None):
        """Each (table, change, reason, whole): the changed copy exits 1 with the reason; when whole,
        every row still equals the server's, else more than `rows_left_over` lines are read (if given)."""
        for table, change, reason, whole in cases:
            with self.subTest(table=table, reason=reason):
                status, out, err = self.damaged_copy(script, database, table, change)
                self.assertEqual(status, 1)
                self.assertRegex(err, reason)
                if whole:
                    self.assertIsNone(first_difference(out, answer(script, table)))
                elif rows_left_over is not None:
                    self.assertGreater(out.count(b"\n"), rows_left_over)

    def test_damaged_compressed_tables_say_why(self):
        def loop_second_blob_page(image):
            # The first page of a value's stream after its first links to itself.
            at = next(n * 4096 for n in range(len(image) // 4096) if image[n * 4096 + 24:n * 4096 + 26] == b"\0\x0c")
            return image[:at + 12] + (at // 4096).to_bytes(4, "big") + image[at + 16:]

        cases = (
            # The root's stream (1 KiB pages): the tree is passed by, every leaf found by scanning.
            ("big_zip", self.fill(3 * 1024 + 300, 64), r"its leaf pages were found by scanning the tablespace", True),
            # A leaf's stream: its rows are lost, the others read.
            ("big_zip", self.fill(100 * 1024 + 200, 200), r"big_zip\.ibd page 100: [^;]*compressed page", False),
            # The pages of a compressed value kept apart loop: the value is cut short.
            ("apart_zip4", loop_second_blob_page, r"a value kept apart cut short \(the pages of a compressed value", False),
        )
        self.check_damage_cases("innodb_compressed", "zip", cases)

    def test_table_altered_in_place_whose_tree_is_damaged(self):
        # The root's first node pointer (key at byte 126, child page after it) leads outside
        # the file: the first leaf, whose first record says how the table was altered, is found
        # by scanning, and every row read.
        child = 3 * 16384 + 130
        status, out, err = self.damaged_copy("innodb_instant", "altered", "big",
                                             lambda image: image[:child] + b"\xff\xff\xff\x00" + image[child + 4:])
        self.assertEqual(status, 1)
        self.assertRegex(err, r"page 3: a node pointer leads outside the file\); its leaf pages were found by scanning")
        self.assertIsNone(first_difference(out, answer("innodb_instant", "big")))

    def test_tables_compressed_page_by_page(self):
        self.assertEqual(self.check_fixture("innodb_page_compressed", "squeezed"), 4)

    def test_damaged_tables_compressed_page_by_page_say_why(self):
        page = 16384
        cases = (
            # The root's stream: every leaf is found by scanning, each inflated.
            ("big_squeezed", self.fill(3 * page + 60, 40), r"its leaf pages were found by scanning the tablespace", True),
            # A leaf's stream: its rows are lost, the others read.
            ("big_squeezed", self.fill(300 * page + 100, 40),
             r"big_squeezed\.ibd page 300: the compressed page is not a sound zlib stream", False),
            ("classic_squeezed", self.fill(3 * page + 60, 40), r"its leaf pages were found by scanning the tablespace", True),
        )
        self.check_damage_cases("innodb_page_compressed", "squeezed", cases, rows_left_over=15000)

    def test_encrypted_tablespaces_are_refused_with_the_reason(self):
        self.assertEqual(self.check_fixture("innodb_encrypted", "sealed"), 1)
        for script, table in (("innodb_encrypted", "sealed"), ("innodb_encrypted", "sealed_classic"),
                              ("innodb_encrypted", "sealed_squeezed"), ("innodb_encrypted_4k", "sealed")):
            with self.subTest(script=script, table=table):
                status, out, err = self.rows(data(script), "sealed", table)
                self.assertEqual((status, out), (1, b""))
                self.assertRegex(err, table + r"\.ibd page 3: the page is encrypted, and this tool reads no encrypted")

    def test_a_tablespace_found_by_its_space_id(self):
        # As a general tablespace (CREATE TABLESPACE) is named, or a file renamed.
        with tempfile.TemporaryDirectory() as top:
            os.makedirs(os.path.join(top, "inno"))
            shutil.copyfile(os.path.join(data("innodb_rows"), "ibdata1"), os.path.join(top, "ibdata1"))
            for name in ("text_latin1.frm", "no_key.frm", "no_key.ibd"):
                shutil.copyfile(os.path.join(data("innodb_rows"), "inno", name), os.path.join(top, "inno", name))
            shutil.copyfile(os.path.join(data("innodb_rows"), "inno", "text_latin1.ibd"), os.path.join(top, "shared_space.ibd"))
            status, out, err = self.rows(os.path.join(top, "inno"), "inno", "text_latin1", "--all")
            self.assertEqual((status, err), (0, ""))
            self.assertIsNone(first_difference(out, answer("innodb_rows", "text_latin1")))

    def test_tablespace_kept_elsewhere_through_its_link_file(self):
        status, out, err = self.rows(data("elsewhere"), "far", "linked")
        self.assertEqual(status, 1)
        self.assertRegex(err, r"the tablespace file .*/far/linked\.ibd that .*/linked\.isl names is missing")
        moved = os.path.join(FIXTURES, "elsewhere", "elsewhere", "far", "linked.ibd")
        with tempfile.TemporaryDirectory() as top:
            folder = os.path.join(top, "far")
            shutil.copytree(os.path.join(data("elsewhere"), "far"), folder)
            os.chmod(folder, 0o755)
            # The link mended to where the file is now, then the file copied beside the definition.
            os.remove(os.path.join(folder, "linked.isl"))
            with open(os.path.join(folder, "linked.isl"), "w") as f:
                f.write(moved)
            for step in ("linked", "copied"):
                if step == "copied":
                    shutil.copyfile(moved, os.path.join(folder, "linked.ibd"))
                    os.remove(os.path.join(folder, "linked.isl"))
                status, out, err = self.rows(folder, "far", "linked", "--all")
                self.assertEqual((status, err), (0, ""), step)
                self.assertIsNone(first_difference(out, answer("elsewhere", "linked")), step)

    def test_tables_of_mariadb_101_found_through_its_dictionary(self):
        folder = os.path.join(REAL, "mariadb-10.1.9-datadir")
        for table, rows in (("gtid_slave_pos", 0), ("innodb_index_stats", 4), ("innodb_table_stats", 1)):
            status, out, err = recover_env({}, "rows", folder, "mysql", table, "--all")
            self.assertEqual((status, err), (0, ""))
            self.assertEqual(len(out.splitlines()) - 1, rows, table)

    def test_what_the_dictionary_holds_of_a_table_is_said(self):
        with tempfile.TemporaryDirectory() as top:
            shutil.copytree(data("innodb_rows"), os.path.join(top, "data"))
            inno = os.path.join(top, "data", "inno")
            fixture.make_writable(top)
            # Names a server folding case kept in lower case are found all the same.
            for ext in (".frm", ".ibd"):
                os.rename(os.path.join(inno, "computed" + ext), os.path.join(inno, "COMPUTED" + ext))
            status, out, err = recover("rows", os.path.join(top, "data"), "inno", "COMPUTED")
            self.assertEqual((status, err), (0, ""))
            os.remove(os.path.join(inno, "COMPUTED.ibd"))
            status, out, err = recover("rows", os.path.join(top, "data"), "inno", "COMPUTED")
            self.assertEqual(status, 1)
            self.assertRegex(err, r"the InnoDB dictionary has the table \(inno/computed, in tablespace \d+\), "
                                  r"but its tablespace file \(\.ibd\) is missing")
            os.rename(os.path.join(inno, "COMPUTED.frm"), os.path.join(inno, "elsewhere.frm"))
            status, out, err = recover("rows", os.path.join(top, "data"), "inno", "elsewhere")
            self.assertIn("the table inno/elsewhere is not in the InnoDB dictionary, and there is no tablespace "
                          "file (.ibd) of it", err)

    def test_time_zone_as_an_option(self):
        # The zone named on the command line, whatever the process's zone.
        for script, database, table in (("myisam_rows", "rows", "every_type"), ("innodb_rows", "inno", "every_dynamic")):
            status, out, err = recover_env({"TZ": "UTC"}, "rows", data(script), database, table, "--all", "--full",
                                           "--time-zone", "America/New_York")
            self.assertEqual((status, out), (0, answer(script, table)), table)
        # A fixed offset gives what the same offset as the process's zone gives.
        sakila = os.path.join(REAL, "mysql-5.5.35-sakila")
        fixed = recover_env({"TZ": "UTC"}, "rows", sakila, "mysql-5.5.35-sakila", "customer", "--time-zone", "+03:00")
        self.assertEqual(fixed, recover_env({"TZ": "UTC-3"}, "rows", sakila, "mysql-5.5.35-sakila", "customer"))
        status, out, err = recover("rows", data("innodb_rows"), "inno", "every_dynamic", "--time-zone", "Mars/Base")
        self.assertEqual((status, out), (1, ""))
        self.assertIn("--time-zone: unknown time zone Mars/Base", err)
        status, out, err = recover("rows", data("innodb_rows"), "inno", "every_dynamic", "--time-zone", "../../etc/passwd")
        self.assertIn("--time-zone: unknown time zone ../../etc/passwd: give an IANA name or +HH:MM", err)

    def test_sakila_of_mysql_55_without_the_system_tablespace(self):
        folder = os.path.join(REAL, "mysql-5.5.35-sakila")
        dump = parse_dump(os.path.join(folder, "sakila-rows.sql.gz"))
        tables = sorted(f[:-4] for f in os.listdir(folder) if f.endswith(".ibd"))
        self.assertEqual(len(tables), 13)
        for table in tables:
            with self.subTest(table=table):
                status, out, err = recover_env({"TZ": "UTC-3"}, "rows", folder, "mysql-5.5.35-sakila", table,
                                               "--all", "--full")
                self.assertEqual(status, 0, err)
                status, structure, err = recover_env({}, "structure", folder, "mysql-5.5.35-sakila", table)
                binary = [line.split("\t")[1] in ("BLOB", "TINYBLOB", "MEDIUMBLOB", "LONGBLOB")
                          for line in structure.decode().splitlines()[1:]]
                ours = [tsv_cells(line) for line in out.decode().splitlines()[1:]]
                theirs = [["NULL" if v is None else ("0x" + v.hex().upper() if v else "") if b else v.decode()
                           for v, b in zip(row, binary)] for row in dump[table]]
                self.assertEqual(ours, theirs)


class PartitionedRows(unittest.TestCase):
    """A partitioned table is read one partition after the other, in the
    order of its partition file, as the server's SELECT gives it."""

    def rows(self, folder, table, *args):
        r = subprocess.run([RECOVER, "rows", folder, "parts", table, *args], capture_output=True,
                           stdin=subprocess.DEVNULL)
        return r.returncode, r.stdout, r.stderr.decode()

    def test_every_table_equals_the_server(self):
        pairs = rows_answers("partitions")
        self.assertEqual(len(pairs), 5)
        for name, table in pairs:
            status, out, err = self.rows(data("partitions"), table, "--all", "--full")
            self.assertEqual((status, err), (0, ""), table)
            self.assertIsNone(first_difference(out, answer("partitions", name)), table)

    def test_without_partition_files_the_definition_names_the_partitions(self):
        # As MySQL 5.7 keeps InnoDB's partitions, and as a folder that lost its .par files is.
        with tempfile.TemporaryDirectory() as top:
            folder = os.path.join(top, "parts")
            shutil.copytree(os.path.join(data("partitions"), "parts"), folder)
            os.chmod(folder, 0o755)
            for name in os.listdir(folder):
                if name.endswith(".par"):
                    os.remove(os.path.join(folder, name))
            for name, table in rows_answers("partitions"):
                status, out, err = self.rows(folder, table, "--all", "--full")
                self.assertEqual((status, err), (0, ""), table)
                self.assertIsNone(first_difference(out, answer("partitions", name)), table)

    def test_pages_run_across_partitions(self):
        expected = answer("partitions", "by_range").splitlines(keepends=True)
        for page in range(1, 6):
            status, out, err = self.rows(data("partitions"), "by_range", "--page", str(page))
            self.assertEqual(status, 0, err)
            self.assertEqual(out.splitlines(keepends=True), expected[:1] + expected[1 + 1000 * (page - 1):1 + 1000 * page])

    def test_a_lost_partition_costs_only_its_rows(self):
        expected = answer("partitions", "by_range").splitlines(keepends=True)
        with tempfile.TemporaryDirectory() as top:
            folder = os.path.join(top, "parts")
            shutil.copytree(os.path.join(data("partitions"), "parts"), folder)
            os.chmod(folder, 0o755)
            os.remove(os.path.join(folder, "by_range#P#p1.ibd"))
            status, out, err = self.rows(folder, "by_range", "--all")
            self.assertEqual(status, 1)
            self.assertIn("1 partition passed over: a partition that cannot be read", err)
            self.assertIn("by_range#P#p1", err)
            self.assertEqual(out.splitlines(keepends=True), expected[:100] + expected[1000:])
            # A partition file that fails its checksum names itself and the reason.
            par = os.path.join(folder, "by_range.par")
            with open(par, "rb") as f:
                damaged = bytearray(f.read())
            damaged[20] ^= 1
            os.remove(par)
            with open(par, "wb") as f:
                f.write(damaged)
            status, out, err = self.rows(folder, "by_range", "--all")
            self.assertEqual(status, 1)
            self.assertIn("by_range.par: the partition file fails its checksum", err)


def recover_env(env, *args):
    r = subprocess.run([RECOVER, *args], capture_output=True, stdin=subprocess.DEVNULL, env=dict(os.environ, **env))
    return r.returncode, r.stdout, r.stderr.decode()


def tsv_cells(line):
    unescape = {"\\\\": "\\", "\\t": "\t", "\\n": "\n", "\\0": "\0"}
    return [re.sub(r"\\[\\tn0]", lambda m: unescape[m.group(0)], cell) for cell in line.split("\t")]


def parse_dump(path):
    """The rows of every INSERT of a mysqldump file: values as bytes, None for NULL."""
    import gzip
    escapes = {b"0": b"\0", b"n": b"\n", b"r": b"\r", b"t": b"\t", b"Z": b"\x1a", b"b": b"\b"}
    tables = {}
    with gzip.open(path, "rb") as f:
        for line in f:
            m = re.match(rb"INSERT INTO `([^`]+)` VALUES (.*);$", line.rstrip(b"\n"))
            if not m:
                continue
            rows = tables.setdefault(m.group(1).decode(), [])
            text, i = m.group(2), 0
            while i < len(text):
                i += 1  # (
                row = []
                while True:
                    if text[i:i + 1] == b"'":
                        i += 1
                        value = bytearray()
                        while text[i:i + 1] != b"'":
                            if text[i:i + 1] == b"\\":
                                escaped = text[i + 1:i + 2]
                                value += escapes.get(escaped, escaped)
                                i += 2
                            else:
                                value += text[i:i + 1]
                                i += 1
                        i += 1
                        row.append(bytes(value))
                    else:
                        j = i
                        while text[j:j + 1] not in (b",", b")"):
                            j += 1
                        row.append(None if text[i:j] == b"NULL" else text[i:j])
                        i = j
                    if text[i:i + 1] == b")":
                        i += 1
                        break
                    i += 1
                rows.append(row)
                if text[i:i + 1] == b",":
                    i += 1
    return tables


class SessionCommands(unittest.TestCase):
    """`scan` and `export-csv` run the session as the window does."""

    def test_scan_prints_the_output_pane_and_writes_the_log(self):
        with tempfile.TemporaryDirectory() as logs:
            status, out, err = recover("scan", os.path.join(data("definitions"), "defs"), "--log-folder", logs)
            self.assertEqual(status, 0, err)
            self.assertEqual(out.splitlines(), ["Finding Database and tables", "Processing ibdata1 File",
                                                "scanning completed."])
            [log] = os.listdir(logs)
            self.assertTrue(re.fullmatch(r"TavrinMySQLDBRec_log_\d+-\d+-\d{4}-\d+-\d+-\d+\.txt", log), log)
            with open(os.path.join(logs, log), "rb") as f:
                text = f.read()
            self.assertTrue(text.startswith(b"\xff\xfe\r\0\n\0" + "*".encode("utf-16-le") * 80))
            self.assertTrue(text.decode("utf-16-le").endswith("Scanning completed for selected database file(s).\r\n"))
        status, out, err = recover("scan", data("definitions"))
        self.assertEqual((status, err), (1, "tavrin-recover: Please select valid MySQL database folder (" +
                                         data("definitions") + ")\n"))

    def test_the_log_is_never_written_into_the_folder_read(self):
        with tempfile.TemporaryDirectory() as top:
            folder = os.path.join(top, "defs")
            shutil.copytree(os.path.join(data("definitions"), "defs"), folder)
            fixture.make_writable(folder)
            os.makedirs(os.path.join(folder, "logs"))
            for logs in (folder, os.path.join(folder, "logs")):
                status, out, err = recover("scan", folder, "--log-folder", logs, cwd=top)
                self.assertEqual(status, 1)
                self.assertIn("The log file path lies in the database folder", err)
            self.assertEqual(os.listdir(os.path.join(folder, "logs")), [])

    def test_a_full_disk_is_said_with_its_cause(self):
        """Files may grow no further than `limit` bytes, as on a full disk."""
        def run(limit, *args):
            def limited():
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
            r = subprocess.run([RECOVER, *args], capture_output=True, stdin=subprocess.DEVNULL, preexec_fn=limited)
            return r.returncode, r.stdout.decode(), r.stderr.decode()
        folder = os.path.join(data("definitions"), "defs")
        with tempfile.TemporaryDirectory() as logs:
            status, out, err = run(0, "scan", folder, "--log-folder", logs)
            self.assertEqual(status, 1)
            self.assertIn(": File too large", err)
            self.assertEqual(os.listdir(logs), [])
            status, out, err = run(100, "scan", folder, "--log-folder", logs)
            self.assertEqual(status, 1)
            self.assertIn(": File too large", out)
            self.assertTrue(err.endswith(": File too large\n"), err)
        with tempfile.TemporaryDirectory() as scripts:
            status, out, err = run(1000, "save", folder, "defs", "--script", scripts)
            self.assertEqual(status, 1)
            self.assertRegex(out, r"table defs\.items: failed: cannot write .*defs\.sql: File too large")
            self.assertEqual(os.listdir(scripts), [])

    def check_csv_against_rows(self, database_folder, database, table, page):
        with tempfile.TemporaryDirectory() as top:
            target = os.path.join(top, "page.csv")
            status, out, err = recover("export-csv", database_folder, database, table, target, "--page", str(page))
            self.assertEqual((status, err), (0, ""))
            with open(target, "rb") as f:
                raw = f.read()
            self.assertFalse(raw.startswith(b"\xff\xfe"))
            parsed = list(csv.reader(io.StringIO(raw.decode("utf-16-le"), newline="")))
        status, out, err = recover("rows", database_folder, database, table, "--page", str(page))
        self.assertEqual(status, 0, err)
        self.assertEqual(parsed, [tsv_cells(line) for line in out.split("\n")[:-1]])
        return parsed

    def test_export_of_a_page_gives_back_the_grids_cells(self):
        parsed = self.check_csv_against_rows(os.path.join(data("myisam_rows"), "rows"), "rows", "pages_fixed", 2)
        self.assertEqual(len(parsed), 1001)
        self.assertEqual(parsed[1][0], "1001")
        # Commas, quotes, tabs, line ends and backslashes survive the round trip.
        parsed = self.check_csv_against_rows(os.path.join(data("myisam_rows"), "rows"), "rows", "every_type", 1)
        self.assertIn("a\tb\nc\\d", [cell for row in parsed for cell in row])
        self.check_csv_against_rows(os.path.join(data("innodb_rows"), "inno"), "inno", "text_utf8mb4", 1)


class ExportCsv(unittest.TestCase):
    """What export-csv writes, and what it never writes over."""

    def export(self, *args, env=None, cwd=None):
        r = subprocess.run([RECOVER, "export-csv", *args], capture_output=True, stdin=subprocess.DEVNULL,
                           cwd=cwd, env=dict(os.environ, **(env or {})))
        return r.returncode, r.stderr.decode()

    def test_an_existing_file_is_replaced_only_when_asked(self):
        with tempfile.TemporaryDirectory() as top:
            target = os.path.join(top, "t.csv")
            with open(target, "w") as f:
                f.write("keep me")
            status, err = self.export(data("objects"), "my-db", "t-1", target)
            self.assertEqual(status, 1)
            self.assertIn(target + " exists; --force replaces it", err)
            with open(target) as f:
                self.assertEqual(f.read(), "keep me")
            self.assertEqual(self.export(data("objects"), "my-db", "t-1", target, "--force"), (0, ""))
            with open(target, "rb") as f:
                self.assertEqual(f.read().decode("utf-16-le"), "id,name\r\n1,one\r\n2,two\r\n")
            self.assertEqual(os.listdir(top), ["t.csv"])  # no temporary file is left

    def test_nothing_is_written_into_the_folder_being_read(self):
        with tempfile.TemporaryDirectory() as top:
            copy = os.path.join(top, "data")
            shutil.copytree(data("objects"), copy, symlinks=True)
            fixture.make_writable(copy)
            db = os.path.join(copy, "my@002ddb")
            with open(os.path.join(db, "t@002d1.MYD"), "rb") as f:
                before = f.read()
            for target in (os.path.join(db, "t@002d1.MYD"), os.path.join(db, "new.csv")):
                status, err = self.export(copy, "my-db", "t-1", target, "--force")
                self.assertEqual(status, 1, target)
                self.assertIn("nothing is written into the folder being recovered", err)
            with open(os.path.join(db, "t@002d1.MYD"), "rb") as f:
                self.assertEqual(f.read(), before)
            self.assertFalse(os.path.exists(os.path.join(db, "new.csv")))

    def test_folder_forms_of_rows(self):
        with tempfile.TemporaryDirectory() as top:
            target = os.path.join(top, "t.csv")
            # A bare relative database folder, and a data folder naming the database.
            self.assertEqual(self.export("my@002ddb", "my-db", "t-1", target, cwd=data("objects")), (0, ""))
            self.assertEqual(self.export(data("objects"), "my-db", "t-1", target, "--force"), (0, ""))

    def test_a_page_past_the_end_is_reported(self):
        with tempfile.TemporaryDirectory() as top:
            target = os.path.join(top, "t.csv")
            folder = os.path.join(data("myisam_rows"), "rows")
            status, err = self.export(folder, "rows", "pages_fixed", target, "--page", "999999999999999")
            self.assertEqual(status, 1)
            self.assertIn("page 999999999999999 is past the last page of rows (3)", err)
            self.assertFalse(os.path.exists(target))
            self.assertEqual(self.export(folder, "rows", "pages_fixed", target, "--page", "3"), (0, ""))

    def test_no_temporary_folder_is_needed(self):
        with tempfile.TemporaryDirectory() as top:
            status, err = self.export(data("objects"), "my-db", "t-1", os.path.join(top, "t.csv"),
                                      env={"TMPDIR": "/nonexistent"})
            self.assertEqual((status, err), (0, ""))
            self.assertEqual(os.listdir(top), ["t.csv"])


class Robustness(unittest.TestCase):
    """Odd files, odd options and odd environments end with a clear message."""

    def test_special_files_named_like_data_files_do_not_block(self):
        with tempfile.TemporaryDirectory() as top:
            db = os.path.join(top, "db")
            os.makedirs(db)
            for extension in ("frm", "MYI", "TRG"):
                shutil.copy(os.path.join(data("objects"), "my@002ddb", "t@002d1." + extension), db)
            for name in ("fifo.frm", "fifo.TRG", "t@002d1.MYD", "x.frm"):
                path = os.path.join(db, name)
                if os.path.exists(path):
                    os.remove(path)
                os.mkfifo(path)
            os.mkfifo(os.path.join(top, "ibdata1"))
            for args in (["list", top], ["rows", top, "db", "t-1"], ["trigger", top, "db", "fifo"],
                         ["scan", db, "--log-folder", top]):
                r = subprocess.run([RECOVER, *args], capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
                self.assertIn(r.returncode, (0, 1), args)
            status, out, err = recover("list", top)
            self.assertIn("fifo.frm was passed over: " + os.path.join(db, "fifo.frm") + " is not a regular file", err)
            status, out, err = recover("rows", top, "db", "t-1")
            self.assertEqual(status, 1)
            self.assertIn("t@002d1.MYD is not a regular file", err)

    def test_empty_tables_print_their_column_names(self):
        for table in ("empty_myisam", "empty_fixed", "empty_innodb"):
            self.assertEqual(recover("rows", data("objects"), "my-db", table), (0, "a\tb\n", ""), table)

    def test_the_ibdata_option_names_a_system_tablespace(self):
        folder = data("objects")
        for named, reason in (("/nonexistent/ibdata1", "cannot open /nonexistent/ibdata1 for reading"),
                              (folder, "is not a regular file"),
                              (os.path.join(folder, "my@002ddb", "@0G@0p@1j.ibd"), "is not an InnoDB system tablespace")):
            status, out, err = recover("rows", folder, "my-db", "Àéß", "--ibdata", named)
            self.assertEqual((status, out), (1, ""), named)
            self.assertIn("--ibdata: ", err)
            self.assertIn(reason, err)
        self.assertEqual(recover("rows", folder, "my-db", "Àéß", "--ibdata", os.path.join(folder, "ibdata1")),
                         (0, "a\n7\n", ""))

    def test_help_of_a_command(self):
        status, out, err = recover("rows", "--help")
        self.assertEqual((status, err), (0, ""))
        self.assertIn("tavrin-recover rows FOLDER DATABASE TABLE", out)

    def test_every_table_file_is_accounted_for(self):
        objects = os.path.join(data("objects"), "my@002ddb")
        with tempfile.TemporaryDirectory() as top:
            db = os.path.join(top, "db")
            os.makedirs(db)
            for name in ("a@0024b.frm", "hostile.frm", "hostile.ibd"):
                shutil.copy(os.path.join(objects, name), db)
            with open(os.path.join(db, "tiny.frm"), "wb") as f:
                f.write(b"\xfe")
            os.symlink(os.path.join(top, "gone.frm"), os.path.join(db, "dangling.frm"))
            # Files that belong to a table of the folder, and files that do not.
            copies = {"hostile#P#p0.ibd": None, "FTS_00000000000000a6_CONFIG.ibd": None,
                      "tiny.MYD": "its table's definition (.frm) cannot be read",
                      "orphan.ibd": "no definition of its table (.frm) is in the folder, and a tablespace of a "
                                    "server before MySQL 8 keeps none of its own",
                      "lost.MYI": "no definition of its table (.frm) is in the folder",
                      "#sql-ib12.ibd": "a table file that an ALTER TABLE or a temporary table left behind"}
            for name in copies:
                shutil.copyfile(os.path.join(objects, "hostile.ibd"), os.path.join(db, name))
            status, out, err = recover("list", db)
            self.assertEqual(status, 1, err)
            self.assertIn(os.path.join(db, "tiny.frm") + " was passed over: too short for a definition file (1 bytes)", err)
            self.assertIn(os.path.join(db, "dangling.frm") + " was passed over: cannot open", err)
            for name, reason in copies.items():
                if reason is None:
                    self.assertNotIn(name, err)
                else:
                    self.assertIn(os.path.join(db, name) + " was passed over: " + reason, err)
            self.assertTrue(err.endswith("tavrin-recover: 6 files were passed over\n"), err)
            status, out, err = recover("rows", db, "db", "tiny")
            self.assertEqual(status, 1)
            self.assertIn("the table tiny cannot be read: " + os.path.join(db, "tiny.frm") + " was passed over: too short", err)
            status, out, err = recover("check", db, "db")
            self.assertEqual(status, 1)
            self.assertIn(os.path.join(db, "lost.MYI") + ": unreadable: ", out)
            self.assertEqual(err, "tavrin-recover: 7 of 8 objects and files are not sound\n")
            with tempfile.TemporaryDirectory() as scripts:
                status, out, err = recover("save", db, "db", "--script", scripts)
                self.assertEqual(status, 1)
                self.assertIn("file db/orphan.ibd: not saved: no definition of its table", out)
                self.assertIn("table db.hostile: saved, 2 rows\n", out)

    def test_a_trigger_whose_table_is_gone(self):
        with tempfile.TemporaryDirectory() as top:
            db = os.path.join(top, "db")
            os.makedirs(db)
            shutil.copy(os.path.join(data("objects"), "my@002ddb", "t@002d1.TRG"), db)
            status, out, err = recover("list", top)
            self.assertEqual(status, 0, err)
            self.assertIn("      Trigger\n        t-1\n", out)
            status, out, err = recover("trigger", db, "db", "t-1")
            self.assertEqual(status, 0, err)
            self.assertIn("CREATE TRIGGER `t-1_bi`", out)

    def test_tables_of_other_engines_are_named(self):
        for table, engine in (("aria_t", "Aria storage engine (code 42)"), ("csv_t", "CSV storage engine (code 17)"),
                              ("memory_t", "MEMORY storage engine (code 6)")):
            status, out, err = recover("rows", data("objects"), "my-db", table)
            self.assertEqual(status, 1)
            self.assertIn(f"the table {table} uses the {engine}; only MyISAM and InnoDB tables are read", err)

    def test_a_data_file_far_longer_than_its_index_says(self):
        with tempfile.TemporaryDirectory() as top:
            db = os.path.join(top, "db")
            shutil.copytree(os.path.join(data("objects"), "my@002ddb"), db)
            fixture.make_writable(db)
            with open(os.path.join(db, "t@002d1.MYD"), "r+b") as f:
                f.truncate(1 << 40)  # sparse: a terabyte of nothing
            status, out, err = recover("rows", db, "db", "t-1")
            self.assertEqual(out, "id\tname\n1\tone\n2\ttwo\n")
            self.assertEqual(status, 1)
            self.assertIn(f"{(1 << 40) - 40} bytes passed over: the data file is longer than its index says "
                          f"(from byte 40 of {db}/t@002d1.MYD)", err)

    def test_a_data_file_shorter_than_its_index_says(self):
        with tempfile.TemporaryDirectory() as top:
            db = os.path.join(top, "db")
            shutil.copytree(os.path.join(data("objects"), "my@002ddb"), db)
            fixture.make_writable(db)
            data_file = os.path.join(db, "t@002d1.MYD")
            length = os.path.getsize(data_file)
            open(data_file, "wb").close()
            status, out, err = recover("rows", db, "db", "t-1")
            self.assertEqual((status, out), (1, "id\tname\n"))
            self.assertIn(f"{length} bytes passed over: the data file is shorter than its index says "
                          f"(from byte 0 of {data_file})", err)

    def test_the_scan_log_without_a_home(self):
        with tempfile.TemporaryDirectory() as top:
            env = {k: v for k, v in os.environ.items() if k not in ("HOME", "XDG_CONFIG_HOME")}
            r = subprocess.run([RECOVER, "scan", os.path.join(data("objects"), "my@002ddb")], capture_output=True,
                               stdin=subprocess.DEVNULL, cwd=top, env=env)
            self.assertEqual(r.returncode, 0, r.stderr)
            [log] = os.listdir(top)
            self.assertIn("the scan log is " + os.path.join(os.path.realpath(top), log), r.stderr.decode())


class SqlRoundTrip(unittest.TestCase):
    """Rows written as SQL statements, loaded into a server beside the
    original tables, give tables whose checksums equal the originals'."""

    def round_trip(self, script, database):
        tables = [table for _, table in rows_answers(script)]
        source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures", script + ".sql")
        with fixture.server_on_copy(source, data(script)) as server:
            server.client("CREATE DATABASE again;")
            for table in tables:
                status, sql, err = recover_env({}, "rows", data(script), database, table, "--all", "--format", "sql",
                                               "--time-zone", "UTC")
                self.assertEqual((status, err), (0, ""), table)
                server.client(f"CREATE TABLE again.`{table}` LIKE `{database}`.`{table}`;")
                server.client(sql.decode(), "again")
                checks = server.client(f"CHECKSUM TABLE `{database}`.`{table}`, again.`{table}`;").stdout.decode()
                original, loaded = [line.split("\t")[1] for line in checks.splitlines()[1:]]
                self.assertEqual(loaded, original, table)
        return len(tables)

    def test_every_type_of_both_engines(self):
        self.assertGreater(self.round_trip("myisam_rows", "rows"), 50)
        self.assertGreater(self.round_trip("innodb_rows", "inno"), 20)
        self.assertEqual(self.round_trip("objects", "my-db"), 2)


class ConnectionTest(unittest.TestCase):
    """test-connection reaches a real server as the save options do."""

    def test_a_local_server(self):
        with fixture.fresh_server() as server:
            server.client("CREATE USER 'saver'@'localhost' IDENTIFIED BY 'se''cret';")
            def connect(*args, password=None, **kw):
                env = dict(os.environ)
                env.pop("TAVRIN_PASSWORD", None)
                if password is not None:
                    env["TAVRIN_PASSWORD"] = password
                r = subprocess.run([RECOVER, "test-connection", "--socket", server.socket, *args],
                                   capture_output=True, stdin=subprocess.DEVNULL, env=env, **kw)
                return r.returncode, r.stdout.decode(), r.stderr.decode()
            # root has no password here: an empty one is the server's to accept.
            self.assertEqual(connect("--user", "root"), (0, "Connection is successful\n", ""))
            self.assertEqual(connect("--user", "saver", password="se'cret"), (0, "Connection is successful\n", ""))
            status, out, err = connect("--user", "saver", password="wrong")
            self.assertEqual((status, out), (1, ""))
            self.assertIn("Access denied for user 'saver'@'localhost'", err)
            with tempfile.NamedTemporaryFile("w") as secret:
                secret.write("se'cret\nignored\n")
                secret.flush()
                self.assertEqual(connect("--user", "saver", "--password-file", secret.name)[0], 0)
            self.assertEqual(connect("--user", "root", "--port", "0"),
                             (1, "", "tavrin-recover: Please enter port number.\n"))
            self.assertEqual(connect("--user", "")[2], "tavrin-recover: Please enter user name.\n")


class ValuesOfOtherServers(unittest.TestCase):
    """Tables written by MySQL 5.7 (binary JSON) and MariaDB 10.11.4 (UUIDs in
    their old order) give what today's server gives for them."""

    def test_json_and_uuid_values(self):
        real = os.path.join(REAL, "mariadb-test-data")
        with tempfile.TemporaryDirectory(prefix="tavrin-other-") as work:
            copy = os.path.join(work, "data")
            shutil.copytree(data("objects"), copy, symlinks=True)
            fixture.make_writable(copy)
            shutil.copytree(real, os.path.join(copy, "mtd"))
            fixture.make_writable(copy)
            with fixture.running_server(copy, ["--plugin-load-add=type_mysql_json"], workdir=work) as server:
                uuids = server.client("SELECT * FROM uuid_10_11_4;", "mtd").stdout
                # The server reads MySQL's JSON only once the table is converted.
                server.client("ALTER TABLE mysql_json_test FORCE;", "mtd")
                documents = server.client("SELECT * FROM mysql_json_test;", "mtd").stdout
        for table, truth in (("uuid_10_11_4", uuids), ("mysql_json_test", documents)):
            status, out, err = recover_env({}, "rows", real, "mariadb-test-data", table, "--all", "--full")
            self.assertEqual((status, err), (0, ""), table)
            self.assertEqual(out.decode().splitlines(), truth.decode().splitlines(), table)
        status, out, err = recover_env({}, "structure", real, "mariadb-test-data", "mysql_json_test")
        self.assertIn("actual\tJSON\t4294967295\tTrue\t", out.decode())


class DefinitionsRecreateObjects(unittest.TestCase):
    """The printed texts, run on a server after the objects were dropped,
    make the same objects again."""

    VIEWS = {"v_lines": "v_lines", "v_multiline": "v_multiline", "v with space": "v_space",
             "v_nested": "v_nested"}

    def test_views_and_triggers(self):
        folder = data("definitions")
        scripts = []
        for label in self.VIEWS:
            status, out, err = recover("view", folder, "defs", label)
            self.assertEqual(status, 0, err)
            scripts.append(out)
        for table in ("items", "plain"):
            status, out, err = recover("trigger", folder, "defs", table)
            self.assertEqual(status, 0, err)
            self.assertEqual(out.count("DELIMITER $$\nCREATE TRIGGER "), 4 if table == "items" else 1)
            scripts.append(out)
        # Views that use others must come after them.
        order = ["v_lines", "v_multiline", "v with space", "v_nested"]
        self.assertEqual(list(self.VIEWS), order)

        with tempfile.TemporaryDirectory(prefix="tavrin-recreate-") as work:
            copy = os.path.join(work, "data")
            shutil.copytree(folder, copy, symlinks=True)
            fixture.make_writable(copy)
            with fixture.running_server(copy, workdir=work) as server:
                drops = ["DROP VIEW v_nested, v_lines, v_multiline, `v with space`;"]
                drops += [f"DROP TRIGGER {t};" for t in ("items_bi", "items_bi2", "items_au", "items_bd", "plain_bi")]
                server.client("\n".join(drops), "defs")
                gone = server.client("SELECT COUNT(*) FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA='defs';")
                self.assertEqual(gone.stdout.decode().split()[-1], "0")
                for script in scripts:
                    server.client(script, "defs")
                for label, name in self.VIEWS.items():
                    shown = server.client(f"SHOW CREATE VIEW `{label}`;", "defs").stdout
                    self.assertEqual(shown, answer("definitions", "view_" + name), label)
                with open(os.path.join(os.path.dirname(__file__), "fixtures", "definitions.sql")) as f:
                    sql = f.read()
                query = sql[sql.index("SELECT TRIGGER_NAME"):].split(";")[0] + ";"
                self.assertEqual(server.client(query, "defs").stdout, answer("definitions", "triggers"))


if __name__ == "__main__":
    unittest.main()


class Check(unittest.TestCase):
    """check reads every table whole and gives each object a verdict."""

    def test_sound_damaged_and_unreadable(self):
        status, out, err = recover("check", data("definitions"), "defs")
        self.assertEqual((status, err), (0, ""))
        self.assertIn("table defs.items: sound, 0 rows\n", out)
        self.assertIn("triggers of table defs.items: sound\n", out)
        with tempfile.TemporaryDirectory(prefix="tavrin-check-") as work:
            folder = os.path.join(work, "rows")
            os.makedirs(folder)
            for name in ("pages_fixed", "pages_dynamic"):
                for ext in (".frm", ".MYD", ".MYI"):
                    shutil.copyfile(os.path.join(data("myisam_rows"), "rows", name + ext),
                                    os.path.join(folder, name + ext))
            # The second half of a data file is lost.
            data_file = os.path.join(folder, "pages_fixed.MYD")
            os.truncate(data_file, os.path.getsize(data_file) // 2)
            with open(os.path.join(folder, "gone.frm"), "wb") as f:
                f.write(b"\xfe\x01" + b"\0" * 10)
            status, out, err = recover("check", folder)
            lines = sorted(out.splitlines())
            self.assertEqual(status, 1)
            self.assertEqual(err, "tavrin-recover: 2 of 3 objects are not sound\n")
            self.assertEqual(len(lines), 3, out)
            self.assertTrue(lines[0].startswith("table rows.gone: unreadable: "), lines[0])
            self.assertRegex(lines[1], r"^table rows\.pages_dynamic: sound, \d+ rows$")
            self.assertRegex(lines[2], r"^table rows\.pages_fixed: damaged, \d+ rows read; ")
            self.assertIn(data_file, lines[2])
            status, out, err = recover("check", folder, "rows", "pages_dynamic")
            self.assertEqual(status, 0, err)
