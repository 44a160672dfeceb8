"""Tables whose .frm (and ibdata1) are gone, read by the CREATE TABLE
statements a user gives with --definitions: every table of the fixtures by
its server's SHOW CREATE TABLE, a database by what mariadb-dump --no-data
wrote for it, MySQL 5.5's Sakila by the full dump of its rows; rows and
statements must equal those read by the table's own .frm. A definition that
does not fit the pages is refused, and so is a file that is no script."""

import glob
import gzip
import re
import json
import os
import random
import shutil
import subprocess
import tempfile
import unittest

from cli_test import FIXTURES, REAL, data, fixture, recover

# Fixtures whose tables cannot stand without their .frm and ibdata1, and why.
LEFT_OUT = {
    "innodb_system": "its tables live in ibdata1, which a lost .frm leaves no file of",
    "partitions": "partitioned tables are not read from a script yet",
    "lost_tables": "its one live table lives in ibdata1",
}

# Tables that their CREATE TABLE alone does not give back, and why.
NOT_BY_TEXT = {
    ("create_table", "options_hashed"): "partitioned tables are not read from a script yet",
    ("create_table", "options_partitioned"): "partitioned",
    ("hostile", "partition_patch"): "partitioned",
    ("hostile", "parts"): "partitioned",
    ("create_table", "versions"): "system-versioned tables are not read from a script",
    ("structure", "versioned"): "system-versioned",
    ("innodb_redundant", "in_system"): "its rows are in ibdata1, its definition's only file the .frm",
    ("page_size_4k", "in_system"): "in ibdata1",
    ("page_size_8k", "in_system"): "in ibdata1",
    ("page_size_32k", "in_system"): "in ibdata1",
    ("page_size_64k", "in_system"): "in ibdata1",
    ("create_table", "keys_memory"): "a MEMORY table has no file but its .frm",
    ("objects", "memory_t"): "MEMORY",
    ("create_table", "options_aria"): "Aria tables are not read",
    ("create_table", "options_aria2"): "Aria",
    ("create_table", "options_aria3"): "Aria",
    ("objects", "aria_t"): "Aria",
    ("objects", "csv_t"): "CSV tables are not read",
}

SAKILA_55 = os.path.join(REAL, "mysql-5.5.35-sakila")
SAKILA_TABLES = ["actor", "address", "category", "city", "country", "customer", "film", "film_actor",
                 "film_category", "inventory", "language", "staff", "store"]


def recorded_tables():
    """{fixture: [{"database", "name", "create"}]} of the tables the fixtures recorded."""
    tables = {}
    for path in sorted(glob.glob(os.path.join(FIXTURES, "*", "answers", "definitions.json"))):
        script = os.path.basename(os.path.dirname(os.path.dirname(path)))
        with open(path, encoding="utf-8") as f:
            found = [d for d in json.load(f) if d["kind"] == "table"]
        if found and script not in LEFT_OUT:
            tables[script] = found
    return tables


def quoted(name):
    return "`" + name.replace("`", "``") + "`"


def without_definitions(source, target):
    """A copy of the data folder `source` without ibdata1 and without the
    .frm of any table of the user's databases (a view's .frm stays)."""
    shutil.copytree(source, target, symlinks=True)
    fixture.make_writable(target)
    if os.path.exists(os.path.join(target, "ibdata1")):
        os.remove(os.path.join(target, "ibdata1"))
    for path in glob.glob(os.path.join(target, "*", "*.frm")):
        if os.path.basename(os.path.dirname(path)) in ("mysql", "sys", "performance_schema"):
            continue
        with open(path, "rb") as f:
            if f.read(2) == b"\xfe\x01":
                os.remove(path)


def sakila_without_frm(work, relative):
    """MySQL 5.5's Sakila tablespaces in `work`/`relative`, without their .frm
    files, and the full dump shipped beside them unpacked in `work`."""
    folder = os.path.join(work, relative)
    os.makedirs(folder)
    for path in glob.glob(os.path.join(SAKILA_55, "*.ibd")):
        shutil.copy(path, folder)
    dump = os.path.join(work, "sakila.sql")
    with gzip.open(os.path.join(SAKILA_55, "sakila-rows.sql.gz")) as f, open(dump, "wb") as out:
        shutil.copyfileobj(f, out)
    return folder, dump


def rows(folder, database, table, *options):
    return recover("rows", folder, database, table, "--all", "--full", *options)


class EveryFixtureTable(unittest.TestCase):
    def test_rows_by_show_create_equal_rows_by_frm(self):
        with tempfile.TemporaryDirectory() as work:
            for script, tables in recorded_tables().items():
                copy = os.path.join(work, script)
                without_definitions(data(script), copy)
                definitions = os.path.join(work, script + ".sql")
                with open(definitions, "w", encoding="utf-8") as f:
                    for t in tables:
                        f.write(f"USE {quoted(t['database'])};\n{t['create']};\n")
                for t in tables:
                    with self.subTest(script=script, table=t["name"]):
                        own = rows(data(script), t["database"], t["name"])
                        by_text = rows(copy, t["database"], t["name"], "--definitions", definitions)
                        if own[0] != 0 or (script, t["name"]) in NOT_BY_TEXT:
                            self.assertEqual(by_text[0], 1)
                            continue
                        self.assertEqual(by_text[0], own[0], by_text[2])
                        self.assertEqual(by_text[1], own[1])
                        self.assertIn("is read by the CREATE TABLE of " + definitions, by_text[2])


class DumpOfTheServer(unittest.TestCase):
    """What a user has: mariadb-dump --no-data of the databases, with its
    comments, SET statements and versioned comments."""

    def dump(self, script, database, work):
        copy = os.path.join(work, "server")
        shutil.copytree(data(script), copy)
        fixture.make_writable(copy)
        with fixture.running_server(copy, workdir=work) as server:
            out = subprocess.run(["mariadb-dump", "--no-defaults", f"--socket={server.socket}", "-uroot",
                                  "--no-data", "--databases", database], capture_output=True, check=True).stdout
        path = os.path.join(work, "schema.sql")
        with open(path, "wb") as f:
            f.write(out)
        return path

    def test_ibd_only_folder_by_its_dump(self):
        with tempfile.TemporaryDirectory() as work:
            tables = recorded_tables()["innodb_rows"]
            schema = self.dump("innodb_rows", "inno", work)
            copy = os.path.join(work, "lost")
            without_definitions(data("innodb_rows"), copy)
            status, listing, err = recover("list", copy, "--definitions", schema)
            self.assertEqual(status, 0, err)
            for t in tables:
                self.assertIn("        " + t["name"] + "\n", listing)
                own = rows(data("innodb_rows"), "inno", t["name"])
                with self.subTest(table=t["name"]):
                    self.assertEqual(rows(copy, "inno", t["name"], "--definitions", schema)[1], own[1])


class Sakila55(unittest.TestCase):
    """MySQL 5.5's Sakila, its .frm files gone, read by the full dump of its
    rows that MariaDB 5.5 wrote (old TIMESTAMP and DATETIME layouts)."""

    def setUp(self):
        self.work = tempfile.mkdtemp()
        self.folder, self.dump = sakila_without_frm(self.work, "sakila")

    def tearDown(self):
        shutil.rmtree(self.work)

    def test_rows_and_statements_equal_those_by_frm(self):
        database = os.path.basename(SAKILA_55)
        for table in SAKILA_TABLES:
            with self.subTest(table=table):
                self.assertEqual(rows(self.work, "sakila", table, "--definitions", self.dump)[1],
                                 rows(SAKILA_55, database, table)[1])
                ours = recover("structure", self.work, "sakila", table, "--sql", "--time-zone", "UTC",
                               "--definitions", self.dump)
                theirs = recover("structure", SAKILA_55, database, table, "--sql", "--time-zone", "UTC")
                self.assertEqual(ours[1], theirs[1])

    def test_saved_script_equals_that_of_the_frm(self):
        """The script a save writes (proven by the round trips of the save
        tests for tables read by their .frm) is the same, line for line."""
        with_frm = os.path.join(self.work, "with_frm", "sakila")
        shutil.copytree(SAKILA_55, with_frm, ignore=shutil.ignore_patterns("payment.frm", "rental.frm", "*.gz"))
        scripts = []
        for folder, options in ((self.work, ["--definitions", self.dump]), (os.path.dirname(with_frm), [])):
            out = tempfile.mkdtemp()
            self.addCleanup(shutil.rmtree, out)
            status, _, err = recover("save", folder, "sakila", "--script", out, *options)
            self.assertEqual(status, 0, err)
            with open(os.path.join(out, "sakila.sql"), encoding="utf-8") as f:
                scripts.append(f.read().split("\n", 1)[1])  # after the line that names the folder
        self.assertEqual(scripts[0], scripts[1])

    def test_definition_that_does_not_fit_is_refused(self):
        with open(self.dump, encoding="latin-1") as f:
            text = f.read()
        cases = [
            ("address", "  `address2` varchar(50) DEFAULT NULL,\n", "", "short of what follows it"),
            ("inventory", "`film_id` smallint(5) unsigned NOT NULL,", "`film_id` int(10) unsigned NOT NULL,",
             "inside what follows it"),
            ("film", "`rental_rate` decimal(4,2)", "`rental_rate` decimal(12,2)", "inside what follows it"),
            ("category", "`name` varchar(25) NOT NULL,", "`name` varchar(25) NOT NULL,\n  `extra` int(11) NOT NULL,",
             "inside what follows it"),
            ("language", "`last_update` timestamp", "`last_update` datetime", "the definition does not fit"),
        ]
        for table, old, new, reason in cases:
            with self.subTest(table=table):
                wrong = os.path.join(self.work, "wrong.sql")
                with open(wrong, "w", encoding="latin-1") as f:
                    f.write(text.replace(old, new))
                status, out, err = rows(self.work, "sakila", table, "--definitions", wrong)
                self.assertEqual((status, out), (1, ""))
                self.assertIn(f"{table}.ibd page ", err)
                self.assertIn(reason, err)

    def test_ibd_without_definition_is_named_with_what_to_do(self):
        status, _, err = recover("list", self.work)
        self.assertEqual(status, 1)
        self.assertIn("actor.ibd was passed over: no definition of its table (.frm) is in the folder", err)
        self.assertIn("give --definitions FILE.sql with its CREATE TABLE statement", err)

    def test_definitions_first_needs_definitions(self):
        self.assertEqual(recover("list", self.work, "--definitions-first")[0], 2)


class DamagedDefinitionsFile(unittest.TestCase):
    def test_files_that_are_no_script(self):
        with tempfile.TemporaryDirectory() as work:
            folder = os.path.join(work, "sakila")
            os.mkdir(folder)
            shutil.copy(os.path.join(SAKILA_55, "actor.ibd"), folder)
            statement = ("CREATE TABLE `actor` (\n  `actor_id` smallint(5) unsigned NOT NULL AUTO_INCREMENT,\n"
                         "  `first_name` varchar(45) NOT NULL,\n  `last_name` varchar(45) NOT NULL,\n"
                         "  `last_update` timestamp NOT NULL DEFAULT CURRENT_TIMESTAMP,\n  PRIMARY KEY (`actor_id`)\n"
                         ") ENGINE=InnoDB DEFAULT CHARSET=utf8;\n")
            rng = random.Random(1)
            garbage = bytes(rng.choice(b"abc ();,'`\"\n-/*!0123456789") for _ in range(100 << 20))
            cases = [
                ("cut", statement[:120].encode(), "holds no CREATE TABLE statement that could be read"),
                ("binary", b"CREATE TABLE t (a int);\n\0\0\0\xff", "holds zero bytes"),
                ("garbage", garbage, "holds no CREATE TABLE statement that could be read"),
                ("missing", None, "No such file"),
            ]
            for name, content, reason in cases:
                with self.subTest(case=name):
                    path = os.path.join(work, name + ".sql")
                    if content is not None:
                        with open(path, "wb") as f:
                            f.write(content)
                    status, out, err = recover("rows", work, "sakila", "actor", "--definitions", path)
                    self.assertEqual((status, out), (1, ""))
                    self.assertIn("--definitions: ", err)
                    self.assertIn(reason, err)

    def test_a_cut_statement_costs_only_its_table(self):
        with open(os.path.join(REAL, "mysql-5.5.35-sakila", "sakila-rows.sql.gz"), "rb") as f:
            text = gzip.decompress(f.read()).decode("latin-1")
        cut = text[:text.index("CREATE TABLE `film`") + 200]
        with tempfile.TemporaryDirectory() as work:
            folder = os.path.join(work, "sakila")
            os.mkdir(folder)
            for table in ("actor", "film"):
                shutil.copy(os.path.join(SAKILA_55, table + ".ibd"), folder)
            path = os.path.join(work, "cut.sql")
            with open(path, "w", encoding="latin-1") as f:
                f.write(cut)
            status, out, err = recover("list", work, "--definitions", path)
            self.assertEqual(status, 1)
            self.assertIn("line 257: CREATE TABLE film is not read", err)
            self.assertIn("film.ibd was passed over", err)
            self.assertIn("        actor\n", out)


if __name__ == "__main__":
    unittest.main()


def ext4_image(folder, path, size="64M"):
    """An ext4 image of `folder`'s files, made without a mount (mkfs.ext4 -d
    stores files sparse: no block of zeros is written)."""
    subprocess.run(["mkfs.ext4", "-q", "-F", "-b", "4096", "-d", folder, path, size], check=True,
                   capture_output=True)


def lost_lines(source, *options):
    status, out, err = recover("lost", source, *options)
    return status, out.splitlines(), err


class LostTables(unittest.TestCase):
    """Pages that no file names any more: found by scanning any file, named
    by the CREATE TABLE whose definition fits them."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        cls.folder, cls.dump = sakila_without_frm(cls.work, os.path.join("files", "sakila"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def test_deleted_tablespaces_in_a_disk_image(self):
        image = os.path.join(self.work, "disk.ext4")
        ext4_image(os.path.join(self.work, "files"), image)
        for table in ("actor", "film"):
            subprocess.run(["debugfs", "-w", "-R", f"rm sakila/{table}.ibd", image], check=True, capture_output=True)
        status, lines, err = lost_lines(image, "--definitions", self.dump)
        self.assertEqual(status, 0, err)
        # The clustered index of each table with every record the server kept.
        wanted = {"actor": 200, "address": 603, "category": 16, "city": 600, "country": 109, "customer": 599,
                  "film": 1000, "film_actor": 5462, "film_category": 1000, "inventory": 4581, "staff": 2}
        found = {}
        for line in lines:
            if ": table " in line:
                found[line.split(": table ")[1].split(" ")[0]] = int(line.split(" records")[0].rsplit(" ", 1)[1])
        self.assertEqual(found, wanted)
        # Tables whose every record fits another's definition alike are said so, not guessed.
        self.assertTrue(any("fits its records alike: category language" in line for line in lines))
        # The rows of the deleted tablespaces, as the table's own .frm reads them from its file.
        for table in ("actor", "film"):
            line = next(line for line in lines if f": table {table} " in line)
            key = line.rsplit(" --read ", 1)[1]
            status, out, err = recover("lost", image, "--definitions", self.dump, "--read", key)
            self.assertEqual(status, 0, err)
            self.assertEqual(out, rows(SAKILA_55, os.path.basename(SAKILA_55), table, "--time-zone", "UTC")[1])

    def test_a_carved_blob_at_any_512_byte_boundary(self):
        with open(os.path.join(SAKILA_55, "film.ibd"), "rb") as f:
            film = f.read()
        blob = os.path.join(self.work, "carved.bin")
        with open(blob, "wb") as f:
            f.write(bytes(range(256)) * 6 + film[:-5000])  # 1536 bytes before it, its end cut
        status, lines, err = lost_lines(blob, "--definitions", self.dump)
        self.assertEqual(status, 0, err)
        clustered = [line for line in lines if ": table film " in line]
        self.assertEqual(len(clustered), 1, lines)
        self.assertIn("1000 records", clustered[0])

    def test_a_page_found_twice_counts_once(self):
        with open(os.path.join(SAKILA_55, "actor.ibd"), "rb") as f:
            actor = bytearray(f.read())
        page = actor[3 * 16384:4 * 16384]
        stale = os.path.join(self.work, "twice.bin")
        with open(stale, "wb") as f:
            f.write(page + bytes(4096) + actor)
        status, lines, _ = lost_lines(stale)
        self.assertEqual(status, 0)
        self.assertIn("space 1 index 15: 1 pages, 1 leaves, 200 records", lines[0])

    def test_nothing_found_and_no_file(self):
        empty = os.path.join(self.work, "zeros.bin")
        with open(empty, "wb") as f:
            f.write(bytes(1 << 20))
        status, _, err = recover("lost", empty)
        self.assertEqual(status, 1)
        self.assertIn("no InnoDB index page in " + empty, err)
        self.assertEqual(recover("lost", os.path.join(self.work, "none"))[0], 1)


class DroppedTable(unittest.TestCase):
    """A table of the system tablespace dropped after its pages were flushed:
    its index is found among the pages no table owns, and every row comes
    back as the server answered before the drop."""

    def test_every_row_back_from_ibdata1(self):
        with open(os.path.join(FIXTURES, "lost_tables", "script.sql"), encoding="utf-8") as f:
            statement = re.search(r"CREATE TABLE dropped \(.*?\) ENGINE=InnoDB DEFAULT CHARSET=latin1;", f.read(), re.S)
        with tempfile.TemporaryDirectory() as work:
            definitions = os.path.join(work, "dropped.sql")
            with open(definitions, "w", encoding="utf-8") as f:
                f.write("USE gone;\n" + statement.group(0) + "\n")
            status, lines, err = lost_lines(data("lost_tables"), "--definitions", definitions)
            self.assertEqual(status, 0, err)
            found = [line for line in lines if ": table gone.dropped " in line]
            self.assertEqual(len(found), 1, lines)
            self.assertIn("ibdata1 space 0 ", found[0])
            self.assertIn(" 4000 records", found[0])
            status, out, err = recover("lost", data("lost_tables"), "--definitions", definitions,
                                       "--read", found[0].rsplit(" --read ", 1)[1])
            self.assertEqual(status, 0, err)
            with open(os.path.join(FIXTURES, "lost_tables", "answers", "dropped.tsv"), encoding="utf-8") as f:
                self.assertEqual(out, f.read())
