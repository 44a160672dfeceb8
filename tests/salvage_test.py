"""Damaged copies of tables written by a real server: each damage costs at
most the rows of the page or block it hit, every row that comes back is one
of the server's rows, and the damage is named."""

import collections
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixture"))
import fixture  # noqa: E402,F401

RECOVER = os.environ["TAVRIN_RECOVER"]
FIXTURES = os.environ["TAVRIN_FIXTURES"]
DATABASE = "salvage"
PAGE = 16384


def source(name):
    return os.path.join(FIXTURES, "salvage", "data", DATABASE, name)


def server_rows(table):
    with open(os.path.join(FIXTURES, "salvage", "answers", table + ".tsv"), "rb") as f:
        lines = f.read().splitlines()
    return lines[0], lines[1:]


def write_at(path, offset, data):
    with open(path, "r+b") as f:
        f.seek(offset)
        f.write(data)


def read_at(path, offset, size):
    with open(path, "rb") as f:
        f.seek(offset)
        return f.read(size)


def zero_page(path, page):
    write_at(path, page * PAGE, bytes(PAGE))


def page_header(path, page):
    head = read_at(path, page * PAGE, 76)
    return {"previous": int.from_bytes(head[8:12], "big"), "next": int.from_bytes(head[12:16], "big"),
            "type": int.from_bytes(head[24:26], "big"), "level": int.from_bytes(head[64:66], "big"),
            "index": int.from_bytes(head[66:74], "big")}


def leaf_pages(path):
    """The leaf pages of the clustered index of a table's own tablespace (its
    root is page 3), in the order of their chain."""
    index = page_header(path, 3)["index"]
    leaves = {}
    for page in range(os.path.getsize(path) // PAGE):
        h = page_header(path, page)
        if h["type"] == 17855 and h["level"] == 0 and h["index"] == index:
            leaves[page] = h
    page = next(p for p, h in leaves.items() if h["previous"] == 0xFFFFFFFF)
    chain = []
    while page != 0xFFFFFFFF:
        chain.append(page)
        page = leaves[page]["next"]
    return chain


class Salvage(unittest.TestCase):
    """The base of the damage cases: a writable copy of the fixture's
    database folder, damaged by a case, read with `rows --all --full`."""

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tavrin-salvage-")
        self.folder = os.path.join(self.work, DATABASE)
        shutil.copytree(os.path.dirname(source("db.opt")), self.folder)
        for name in os.listdir(self.folder):
            os.chmod(os.path.join(self.folder, name), 0o600)

    def tearDown(self):
        shutil.rmtree(self.work)

    def path(self, name):
        return os.path.join(self.folder, name)

    def recovered(self, table, *args):
        r = subprocess.run([RECOVER, "rows", self.folder, DATABASE, table, "--all", "--full", *args],
                           capture_output=True, stdin=subprocess.DEVNULL, env=dict(os.environ, TZ="UTC"))
        return r.returncode, r.stdout.splitlines(), r.stderr.decode()

    def assertSalvaged(self, table, lost_at_most, reason, ordered=True):
        """At most `lost_at_most` of the server's rows are missing, none is
        invented or repeated, the order is the server's where `ordered`, and
        stderr names the damage with `reason`."""
        heading, expected = server_rows(table)
        status, lines, err = self.recovered(table)
        self.assertEqual(lines[:1], [heading], err)
        got = lines[1:]
        invented = collections.Counter(got) - collections.Counter(expected)
        self.assertEqual(len(invented), 0, f"rows that the server does not have: {[r[:40] for r in invented][:3]}")
        self.assertGreaterEqual(len(got), len(expected) - lost_at_most, err)
        if ordered:
            kept = set(got)
            self.assertEqual(got, [row for row in expected if row in kept])
        self.assertIn(reason, err)
        self.assertNotEqual(status, 0)
        return got


def records_on(path, page):
    return int.from_bytes(read_at(path, page * PAGE + 54, 2), "big")


class InnodbDamage(Salvage):
    """A damaged page costs its rows; the other leaves are found by scanning
    the tablespace when the tree or the chain of leaves is broken."""

    def zero_leaf(self, table, which):
        path = self.path(table + ".ibd")
        leaves = leaf_pages(path)
        page = leaves[which(len(leaves))]
        lost = records_on(path, page)
        zero_page(path, page)
        return lost

    def test_damage_cases(self):
        middle = lambda n: n // 2  # noqa: E731
        cases = [
            # (table, damage, ordered, what stderr says)
            ("inno_int", lambda: self.zero_leaf("inno_int", middle), True, "every byte of the page is zero"),
            ("inno_int", lambda: self.zero_leaf("inno_int", lambda n: 0), True, "found by scanning"),
            ("inno_rowid", lambda: self.zero_leaf("inno_rowid", middle), True, "found by scanning"),
            ("inno_text", lambda: self.zero_leaf("inno_text", lambda n: n - 1), True, "every byte of the page is zero"),
            ("inno_int", lambda: self.break_link("inno_int", 0xFFFFFFFF), True, "the chain of leaf pages ends early"),
            ("inno_int", lambda: self.break_link("inno_int", 3), True, "not a leaf page of the table"),
            ("inno_int", lambda: zero_page(self.path("inno_int.ibd"), 3) or 0, True, "the index tree is damaged"),
            ("inno_rowid", lambda: zero_page(self.path("inno_rowid.ibd"), 3) or 0, True, "the index tree is damaged"),
            # Leaves that are not in the order of their keys come back all the same.
            ("inno_text", lambda: zero_page(self.path("inno_text.ibd"), 3) or 0, False, "the index tree is damaged"),
            # The freed leaves still hold the deleted rows: they must not come back.
            ("inno_freed", lambda: zero_page(self.path("inno_freed.ibd"), 3) or 0, True, "the index tree is damaged"),
            ("inno_int", lambda: self.flip_unused_byte("inno_int"), True, "whose checksum fails, read all the same"),
            # Page 0 gone: the page size and format come from the pages after it, every row from the tree.
            ("inno_int", lambda: zero_page(self.path("inno_int.ibd"), 0) or 0, True,
             "inno_int.ibd page 0: every byte of the page is zero; the pages after it give 16384-byte pages, "
             "full_crc32 checksums"),
            # Pages of a table of the same definition in another tablespace.
            ("inno_int", lambda: self.copy_twin_page(lambda leaves: leaves[len(leaves) // 2]), True,
             self.claim_of("inno_twin", "page {}")),
            ("inno_int", lambda: self.copy_twin_page(lambda leaves: 3), True, self.claim_of("inno_twin", "page 3")),
        ]
        for number, (table, damage, ordered, reason) in enumerate(cases):
            with self.subTest(case=number, table=table, reason=reason):
                self.tearDown()
                self.setUp()
                lost = damage()
                self.assertSalvaged(table, lost, reason() if callable(reason) else reason, ordered)

    def test_a_table_whose_only_page_is_another_tablespaces(self):
        """inno_one's root, its one leaf, replaced by its twin's: none of the
        twin's rows comes back, and rows and check say whose the page is."""
        twin = self.path("inno_one_twin.ibd")
        write_at(self.path("inno_one.ibd"), 3 * PAGE, read_at(twin, 3 * PAGE, PAGE))
        self.copied = 3
        claim = self.claim_of("inno_one_twin", "page {}")()
        status, lines, err = self.recovered("inno_one")
        self.assertEqual((status, lines), (1, []))
        self.assertIn(claim, err)
        r = subprocess.run([RECOVER, "check", self.folder, DATABASE, "inno_one"], capture_output=True,
                           stdin=subprocess.DEVNULL)
        self.assertEqual(r.returncode, 1)
        self.assertRegex(r.stdout.decode(), rf"^table {DATABASE}\.inno_one: unreadable: .*{claim}")

    def copy_twin_page(self, which):
        """inno_twin's page in place of inno_int's of the same number: a leaf of both, or the root."""
        mine, twin = self.path("inno_int.ibd"), self.path("inno_twin.ibd")
        page = which([p for p in leaf_pages(mine) if p in set(leaf_pages(twin))])
        self.copied = page
        lost = records_on(mine, page) if page != 3 else 0
        write_at(mine, page * PAGE, read_at(twin, page * PAGE, PAGE))
        return lost

    def claim_of(self, table, where):
        """What a page of `table` copied elsewhere says it is, as reports name it."""
        path = source(table + ".ibd")
        space = int.from_bytes(read_at(path, 34, 4), "big")
        return lambda: f"{where.format(self.copied)} belongs to tablespace {space}, index {page_header(path, 3)['index']}"

    def break_link(self, table, target):
        path = self.path(table + ".ibd")
        leaves = leaf_pages(path)
        write_at(path, leaves[len(leaves) // 3] * PAGE + 12, target.to_bytes(4, "big"))
        return 0

    def flip_unused_byte(self, table):
        """A byte between the records and the page directory: the rows stay
        as they were, the checksum fails."""
        path = self.path(table + ".ibd")
        page = leaf_pages(path)[1]
        heap_top = int.from_bytes(read_at(path, page * PAGE + 40, 2), "big")
        at = page * PAGE + heap_top + 4
        write_at(path, at, bytes([read_at(path, at, 1)[0] ^ 0x5A]))
        return 0

    def test_a_damaged_dictionary_leaves_the_definition(self):
        """With the pages of SYS_COLUMNS or SYS_INDEXES gone from ibdata1, the
        tables that have their own tablespace are read by their .frm."""
        system = os.path.join(self.work, "ibdata1")
        for page, reason in ((10, "read by its definition (.frm) alone"), (11, "")):
            with self.subTest(page=page):
                shutil.copyfile(os.path.join(FIXTURES, "salvage", "data", "ibdata1"), system)
                zero_page(system, page)
                heading, expected = server_rows("inno_int")
                status, lines, err = self.recovered("inno_int")
                self.assertEqual(lines, [heading] + expected, err)
                self.assertIn(reason, err)


class WrongDefinition(Salvage):
    def test_dates_no_server_stores_are_counted(self):
        """The data of one table read by the .frm of another of the same
        record length: the values are shown as their bytes give them, and
        the impossible dates and times make the read a damaged one."""
        shutil.copyfile(self.path("my_times.frm"), self.path("my_numbers.frm"))
        status, lines, err = self.recovered("my_numbers")
        self.assertEqual(len(lines), 3)
        self.assertEqual(status, 1)
        self.assertIn("4 values impossible as dates or times", err)
        self.assertEqual(self.recovered("my_times")[0], 0)


# The blocks of a dynamic-format data file: by type, the bytes of the row's
# length, of the block's row bytes, of spare length, and of the next block's
# position; type 0 is a deleted block of 3 length bytes.
BLOCK_HEADERS = {1: (0, 2, 0, 0), 2: (0, 3, 0, 0), 3: (0, 2, 1, 0), 4: (0, 3, 1, 0), 5: (2, 2, 0, 8),
                 6: (3, 3, 0, 8), 7: (0, 2, 0, 0), 8: (0, 3, 0, 0), 9: (0, 2, 1, 0), 10: (0, 3, 1, 0),
                 11: (0, 2, 0, 8), 12: (0, 3, 0, 8), 13: (4, 3, 0, 8)}
FIRST_BLOCKS = {1, 2, 3, 4, 5, 6, 13}


def blocks(path):
    """(position, type) of every block of a sound dynamic-format data file."""
    data = read_at(path, 0, os.path.getsize(path))
    p, found = 0, []
    while p < len(data):
        kind = data[p]
        found.append((p, kind))
        if kind == 0:
            p += int.from_bytes(data[p + 1:p + 4], "big")
            continue
        record, length, spare, following = BLOCK_HEADERS[kind]
        at = p + 1 + record
        size = int.from_bytes(data[at:at + length], "big") + (data[at + length] if spare else 0)
        p = at + length + spare + following + size
    return found


class MyisamDamage(Salvage):
    """Each case damages one file of a MyISAM table; the rows around the
    damage come back, and `rows` and `check` name it."""

    def middle_block(self, table, types):
        found = [(p, t) for p, t in blocks(self.path(table + ".MYD")) if t in types]
        return found[len(found) // 2][0]

    def set_byte(self, table, ext, at, value):
        write_at(self.path(table + ext), at, bytes([value]))

    def cut_half(self, table):
        path = self.path(table + ".MYD")
        half = os.path.getsize(path) // 2
        os.truncate(path, half)
        return half

    def rows_cut_by_half_dynamic(self):
        """The rows that may lose a piece to the cut: those that start after
        it, and every row of more than one block."""
        path = self.path("my_dynamic.MYD")
        half = os.path.getsize(path) // 2
        return sum(1 for p, t in blocks(path) if t in FIRST_BLOCKS and (p + 20 > half or t in (5, 6, 13)))

    def rows_cut_by_half_fixed(self):
        path = self.path("my_fixed.MYD")
        data = read_at(path, 0, os.path.getsize(path))
        length = len(data) // 5000  # every row the script inserted is still in place
        self.assertEqual(len(data) % 5000, 0)
        kept = sum(1 for r in range(len(data) // 2 // length) if data[r * length] != 0)
        return len(server_rows("my_fixed")[1]) - kept

    def empty(self, table, ext):
        open(self.path(table + ext), "wb").close()

    def test_damage(self):
        everything = len(server_rows("my_dynamic")[1])
        cases = [
            # name, table, damage, rows lost at most, the reason named
            ("the first block's type", "my_dynamic", lambda: self.set_byte("my_dynamic", ".MYD", 0, 0xEE), 1,
             "a block of unknown type 238"),
            ("a wrong byte in a block's length", "my_dynamic",
             lambda: self.set_byte("my_dynamic", ".MYD", self.middle_block("my_dynamic", {1}) + 1, 0x41), 1,
             "(from byte "),
            ("a bad block type", "my_dynamic",
             lambda: self.set_byte("my_dynamic", ".MYD", self.middle_block("my_dynamic", {5}), 0x77), 1,
             "a block of unknown type 119"),
            ("a row's first block made its last", "my_dynamic",
             lambda: self.set_byte("my_dynamic", ".MYD", self.middle_block("my_dynamic", {1}), 7), 1,
             f"the index file counts {everything} rows, the data file gave {everything - 1}"),
            ("the dynamic data file cut in half", "my_dynamic", lambda: self.cut_half("my_dynamic"),
             self.rows_cut_by_half_dynamic(), "the data file is shorter than its index says"),
            ("the fixed data file cut in half", "my_fixed", lambda: self.cut_half("my_fixed"),
             self.rows_cut_by_half_fixed(), "the data file is shorter than its index says"),
            ("the index file deleted", "my_dynamic", lambda: os.remove(self.path("my_dynamic.MYI")), 0,
             "the index file my_dynamic.MYI is missing"),
            ("an empty index file", "my_dynamic", lambda: self.empty("my_dynamic", ".MYI"), 0,
             "the index file is too short for its header"),
            ("a zeroed index file", "my_fixed",
             lambda: write_at(self.path("my_fixed.MYI"), 0, bytes(os.path.getsize(self.path("my_fixed.MYI")))), 0,
             "the index file does not start as a MyISAM index file does"),
            ("an empty data file", "my_dynamic", lambda: self.empty("my_dynamic", ".MYD"), everything,
             f"the index file counts {everything} rows, the data file gave 0"),
        ]
        for name, table, damage, lost, reason in cases:
            with self.subTest(name):
                self.tearDown()
                self.setUp()
                damage()
                self.assertSalvaged(table, lost, reason)
                r = subprocess.run([RECOVER, "check", self.folder, DATABASE, table], capture_output=True,
                                   stdin=subprocess.DEVNULL)
                self.assertRegex(r.stdout.decode(), rf"^table {DATABASE}\.{table}: damaged, \d+ rows read; ")
                self.assertIn(reason, r.stdout.decode())
