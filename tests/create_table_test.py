"""The CREATE TABLE statements of `structure --sql` against the server: equal,
byte for byte, to its SHOW CREATE TABLE of every table it wrote (every one
matches: none is let off), and making the same table when fed back to a
server. Statements of older servers' files must make the same table as their
own SHOW CREATE TABLE does."""

import contextlib
import glob
import json
import os
import re
import shutil
import tempfile
import unittest

from cli_test import FIXTURES, REAL, data, fixture, recover

# The one thing in a statement that may differ: the counter is read from the
# data files, which may keep another value than the server had in memory.
AUTO_INCREMENT = re.compile(r" AUTO_INCREMENT=(\d+)")

# Tables that no server makes again from the server's own statement.
NOT_GIVEN_BACK = {
    # CONVERT TO CHARACTER SET ucs2 kept the ENUM and SET names as single
    # bytes, which are no UCS-2 characters: the server shows each as '?',
    # and refuses a list of equal names.
    ("structure", "all_types_ucs2"): "names that are no characters of their set",
}


def without_counter(statement):
    return AUTO_INCREMENT.sub("", statement)


# A table made with DATA DIRECTORY names where its fixture's server kept it;
# a copy is made in a folder of the test's own.
DATA_DIRECTORY = re.compile(r" DATA DIRECTORY='[^']*'")


def recorded_tables():
    """(fixture, {"database", "name", "create"}) of every table the fixtures recorded."""
    tables = []
    for path in sorted(glob.glob(os.path.join(FIXTURES, "*", "answers", "definitions.json"))):
        script = os.path.basename(os.path.dirname(os.path.dirname(path)))
        with open(path, encoding="utf-8") as f:
            tables += [(script, d) for d in json.load(f) if d["kind"] == "table"]
    return tables


def server_zone(script):
    """The time zone the fixture's server ran in, which its TIMESTAMP defaults are shown in."""
    with open(os.path.join(FIXTURES, script, "script.sql"), encoding="utf-8") as f:
        zone = re.search(r"^--\s*server-env:.*\bTZ=(\S+)", f.read(), re.MULTILINE)
    return zone.group(1) if zone else "UTC"


def statement_of(folder, database, table, zone="UTC"):
    status, out, err = recover("structure", folder, database, table, "--sql", "--time-zone", zone)
    if status != 0:
        raise AssertionError(f"structure --sql {database}.{table} failed: {err}")
    return out


def quoted(name):
    return "`" + name.replace("`", "``") + "`"


def show_creates(server, database, tables):
    """SHOW CREATE TABLE of each table of a database of the server."""
    sql = "".join(f"SHOW CREATE TABLE {quoted(t)};\n" for t in tables)
    rows = fixture.batch_rows(server.client(sql, database).stdout)
    return {rows[i][0]: rows[i][1] for i in range(1, len(rows), 2)}


def in_its_layouts(statement):
    """A statement whose temporal columns keep the layouts before 5.6 runs
    where the server still makes them."""
    if "/* mariadb-5.3 */" not in statement:
        return statement
    return f"SET GLOBAL mysql56_temporal_format = OFF;\n{statement}SET GLOBAL mysql56_temporal_format = ON;\n"


SERVER = contextlib.ExitStack()


def setUpModule():
    global server
    # A key of its own makes the encrypted tables (ENCRYPTED=YES) again.
    server = SERVER.enter_context(fixture.fresh_server(encryption_key="1;" + "0123456789abcdef" * 4))
    # Compressed InnoDB tables (KEY_BLOCK_SIZE) are read-only by default.
    server.client("SET GLOBAL innodb_read_only_compressed = OFF;")


def tearDownModule():
    SERVER.close()


class EveryRecordedTable(unittest.TestCase):
    def setUp(self):
        self.tables = recorded_tables()
        self.assertGreater(len(self.tables), 100)

    def test_statement_is_the_servers(self):
        for script, d in self.tables:
            with self.subTest(fixture=script, table=f"{d['database']}.{d['name']}"):
                ours = statement_of(data(script), d["database"], d["name"], server_zone(script))
                self.assertTrue(ours.endswith(";\n"), ours)
                ours = ours[:-2]
                self.assertEqual(without_counter(ours), without_counter(d["create"]))
                counted = AUTO_INCREMENT.search(ours)
                if counted:
                    self.assertEqual(counted.group(0), AUTO_INCREMENT.search(d["create"]).group(0))

    def test_server_makes_the_same_table_from_it(self):
        by_database = {}
        for script, d in self.tables:
            by_database.setdefault((script, d["database"]), []).append(d)
        elsewhere = tempfile.mkdtemp(prefix="tavrin-data-directory-")
        self.addCleanup(shutil.rmtree, elsewhere, True)
        for n, ((script, database), tables) in enumerate(sorted(by_database.items())):
            copy = f"copy{n}"
            server.client(f"CREATE DATABASE {copy};")
            made = []
            for d in tables:
                with self.subTest(fixture=script, table=f"{database}.{d['name']}"):
                    statement = in_its_layouts(statement_of(data(script), database, d["name"], server_zone(script)))
                    statement = DATA_DIRECTORY.sub(f" DATA DIRECTORY='{elsewhere}/'", statement)
                    r = server.client(statement, copy, check=False)
                    if (script, d["name"]) in NOT_GIVEN_BACK:
                        self.assertNotEqual(r.returncode, 0)
                        continue
                    self.assertEqual(r.returncode, 0, r.stderr.decode(errors="replace"))
                    made.append(d)
            shown = show_creates(server, copy, [d["name"] for d in made])
            for d in made:
                with self.subTest(fixture=script, table=f"{database}.{d['name']}"):
                    self.assertEqual(DATA_DIRECTORY.sub("", without_counter(shown[d["name"]])),
                                     DATA_DIRECTORY.sub("", without_counter(d["create"])))


# What Debian's server lacks: an engine and the row formats only it knows,
# and the FULLTEXT parser plugin of MySQL's tests.
FOREIGN_ENGINE = re.compile(r"ENGINE=TokuDB|ROW_FORMAT=TOKUDB_\w+")
FOREIGN_PARSER = re.compile(r" /\*!50100 WITH PARSER `simple_parser` \*/ ")

# Tables that the server takes only outside strict mode, from their own
# server's statement as from ours.
NOT_STRICT = {
    # Names equal but for case, in a collation that ignores case.
    "enum_test": "an ENUM list with names equal but for case",
}


def runnable(statement):
    statement = FOREIGN_PARSER.sub("", statement)
    return FOREIGN_ENGINE.sub(lambda m: "ENGINE=InnoDB" if m.group(0).startswith("ENGINE") else "", statement)


class OlderServersFiles(unittest.TestCase):
    """Files of MySQL 5.x and older MariaDB: the statement is one the server
    takes, and makes the table their server's own statement makes."""

    def older_tables(self):
        tables = []
        for frm in sorted(glob.glob(os.path.join(REAL, "*", "*.frm")) +
                          glob.glob(os.path.join(REAL, "*", "mysql", "*.frm"))):
            with open(frm, "rb") as f:
                if f.read(2) != b"\xfe\x01":
                    continue  # a view
            folder = os.path.dirname(frm)
            name = os.path.splitext(os.path.basename(frm))[0]
            own = os.path.splitext(frm)[0] + ".sql"
            tables.append((os.path.dirname(folder), os.path.basename(folder), name,
                           own if os.path.isfile(own) else None))
        return tables

    def test_server_takes_them_and_makes_the_same_tables(self):
        tables = self.older_tables()
        self.assertGreater(len(tables), 60)
        for n, (top, database, name, own) in enumerate(tables):
            with self.subTest(table=f"{database}/{name}"):
                ours, theirs = f"ours{n}", f"theirs{n}"
                mode = "SET SESSION sql_mode = '';\n" if name in NOT_STRICT else ""
                statement = runnable(statement_of(top, database, name))
                server.client(f"CREATE DATABASE {ours};\nUSE {ours};\n{mode}{statement}")
                if own is None:
                    continue
                with open(own, encoding="utf-8") as f:
                    server.client(f"CREATE DATABASE {theirs};\nUSE {theirs};\n{mode}{runnable(f.read())}")
                self.assertEqual(show_creates(server, ours, [name]), show_creates(server, theirs, [name]))


if __name__ == "__main__":
    unittest.main()
