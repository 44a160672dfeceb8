#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/TARGET/) from the
server fixtures (~/.cache/tavrin-fixtures) and the files of older servers
(tests/data/real). Page images are cut to the few pages a reader needs, and
their links rewritten to stay inside the cut."""

import glob
import gzip
import json
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CACHE = os.path.expanduser(os.environ.get("TAVRIN_FIXTURE_CACHE", "~/.cache/tavrin-fixtures"))
REAL = os.path.join(ROOT, "tests", "data", "real")
OUT = os.path.join(ROOT, "fuzz", "corpus")
NO_PAGE = 0xFFFFFFFF


def fixture(script, relative):
    found = sorted(glob.glob(os.path.join(CACHE, script + "-*", "data", relative)))
    if not found:
        sys.exit(f"no fixture {script}/{relative}: run the tests once to build the fixtures")
    return found[0]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(target, name, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def page_size(image):
    flags = struct.unpack_from(">I", image, 54)[0]
    shift = flags & 0xF if flags & 0x10 else (flags >> 6) & 0xF
    return 512 << shift if 3 <= shift <= 7 else 16384


def pages(image, numbers):
    size = page_size(image)
    return [bytearray(image[n * size:(n + 1) * size]) for n in numbers]


def link(page, previous, following):
    struct.pack_into(">II", page, 8, previous, following)


def place(page, number):
    """A page moved in a cut says it is where it now is (FIL_PAGE_OFFSET)."""
    struct.pack_into(">I", page, 4, number)


def myi_header(image):
    # Up to the first index block: all that the state reader reads.
    return image[:struct.unpack_from(">Q", image, struct.unpack_from(">H", image, 12)[0])[0]]


def definition_seeds():
    for name in ["v1.frm", "v2.frm", "v3.frm"]:
        write("view_definition", name, read(os.path.join(REAL, "triggers-views", name)))
    write("view_definition", "v@00241.frm", read(fixture("objects", "my@002ddb/v@00241.frm")))
    for name in ["bug18311187_account.TRG", "sys_config.TRG"]:
        write("trigger_definition", name, read(os.path.join(REAL, "triggers-views", name)))
    write("trigger_definition", "t@002d1.TRG", read(fixture("objects", "my@002ddb/t@002d1.TRG")))
    frms = [fixture("myisam_rows", "rows/every_type.frm"), fixture("page_size_4k", "sized/own.frm"),
            fixture("objects", "my@002ddb/hostile.frm"), fixture("myisam_rows", "rows/computed.frm"),
            fixture("myisam_rows", "rows/own_types.frm"), fixture("myisam_rows", "rows/lists.frm")]
    frms += [os.path.join(REAL, "frm-versions", n + ".frm")
             for n in ["bit_test", "blob_test", "enum_test", "float_test", "temporal_test", "film", "tokudb_test_0"]]
    for path in frms:
        write("frm", os.path.basename(path), read(path))


def myisam_seeds():
    tables = ["every_type", "every_type_fixed", "reuse"]  # the order of fuzz/myisam_rows.cpp
    for selector, table in enumerate(tables):
        index = myi_header(read(fixture("myisam_rows", f"rows/{table}.MYI")))
        data = read(fixture("myisam_rows", f"rows/{table}.MYD"))[:8192]
        write("myi_state", table + ".MYI", index)
        write("myisam_rows", table, bytes([selector]) + struct.pack("<H", len(index)) + index + data)
    for name in ["uuid_10_11_4.MYI", "mysql_json_test.MYI"]:
        write("myi_state", name, myi_header(read(os.path.join(REAL, "mariadb-test-data", name))))


def packed_seeds():
    # The order of fuzz/myisam_packed.cpp, whose definitions are these tables' as fuzz/definitions/packed_TABLE.frm.
    tables = ["every_type", "fixed_source", "dynamic_source", "spaces"]
    for selector, table in enumerate(tables):
        data = read(fixture("myisam_packed", f"packed/{table}.MYD"))
        header = struct.unpack_from("<I", data, 4)[0]
        write("myisam_packed", "packed_" + table, bytes([selector]) + data[:header + 4096])


def innodb_seeds():
    own = read(fixture("page_size_4k", "sized/own.ibd"))
    # The root (page 3) names leaves 29 and 30; leaf 30 holds row 100, whose
    # MEDIUMTEXT starts on BLOB page 4. The cut: pages 0-2, the root, the two
    # leaves as pages 4 and 5, the first BLOB page as page 6, the value cut
    # to that page.
    header, bitmap, inode, root, first, second, blob = pages(own, [0, 1, 2, 3, 29, 30, 4])
    struct.pack_into(">I", root, 126 + 4, 4)
    link(first, NO_PAGE, 5)
    link(second, 4, NO_PAGE)
    reference = second.find(bytes.fromhex("80000064")) + 4 + 6 + 7 + 7
    part = struct.unpack_from(">I", blob, 38)[0]
    struct.pack_into(">IIIQ", second, reference, 5, 6, 38, part)
    struct.pack_into(">I", blob, 38 + 4, NO_PAGE)
    for number, page in enumerate([first, second, blob], start=4):
        place(page, number)
    write("innodb_table", "own-tree", b"".join([header, bitmap, inode, root, first, second, blob]))
    # The leaf with its value alone, as the root of a one-page tree.
    link(second, NO_PAGE, NO_PAGE)
    struct.pack_into(">I", second, reference + 4, 4)
    place(second, 3)
    place(blob, 4)
    write("innodb_table", "own-leaf", b"".join([header, bitmap, inode, second, blob]))
    # A leaf against where it was read: its own place, another place, another tablespace's.
    leaf = bytes(pages(own, [30])[0][:128])
    space, index = struct.unpack_from(">I", leaf, 34)[0], struct.unpack_from(">Q", leaf, 66)[0]
    for name, known, expected_space, number, expected_index in (("own", 1, space, 30, index),
                                                               ("elsewhere", 1, space, 31, index),
                                                               ("another-space", 1, space + 1, 30, 0),
                                                               ("space-unknown", 0, 0, 30, index + 1)):
        write("page_owner", name, struct.pack(">BIQQ", known, expected_space, number, expected_index) + leaf)
    write("innodb_page", "compact-leaf", bytes(pages(own, [30])[0]))
    write("innodb_page", "compact-node", bytes(root))

    system = read(fixture("page_size_4k", "ibdata1"))
    write("dictionary", "ibdata1-4k", b"".join(pages(system, range(13))))
    write("innodb_page", "redundant-leaf", bytes(pages(system, [11])[0]))


def sdi_seeds():
    # The first pages of MySQL 8 tablespaces: page 0 names the SDI root, page 3.
    sakila = os.path.join(REAL, "mysql-8.0.40-sakila")
    for table in ["actor", "film", "staff", "fts_0000000000000451_config"]:
        image = read(os.path.join(sakila, table + ".ibd"))
        write("sdi", table, b"".join(pages(image, range(4))))
        # The table's definition: the first SDI record's stream, inflated.
        root = pages(image, [3])[0]
        origin = 99 + struct.unpack_from(">h", root, 97)[0]
        length, compressed = struct.unpack_from(">II", root, origin + 25)
        write("sdi_json", table + ".json", zlib.decompress(bytes(root[origin + 33:origin + 33 + compressed])))


def zip_seeds():
    # The logical page size's shift (14: 16 KiB), then a page of each KEY_BLOCK_SIZE: roots, a
    # node page and a leaf of a tree of three levels, the first page of a compressed BLOB.
    for table, size, numbers in (("every_zip1", 1024, [3]), ("big_zip", 1024, [3, 40, 100]),
                                 ("apart_zip4", 4096, [3, 9]), ("every_zip16", 16384, [3])):
        image = read(fixture("innodb_compressed", f"zip/{table}.ibd"))
        for n in numbers:
            write("innodb_zip_page", f"{table}-{n}", bytes([14 % 3]) + image[n * size:(n + 1) * size])


def page_compressed_seeds():
    # full_crc32 with zlib in its flags (the first byte 0x03), then the classic format (0x00):
    # the root, a leaf and a BLOB page, each as deflated by the server.
    for table, first, numbers in (("every_squeezed", 0x03, [3, 9]), ("big_squeezed", 0x03, [3, 200]),
                                  ("classic_squeezed", 0x00, [3, 6])):
        image = read(fixture("innodb_page_compressed", f"squeezed/{table}.ibd"))
        for n in numbers:
            page = image[n * 16384:(n + 1) * 16384]
            written = (struct.unpack_from(">H", page, 24)[0] & 0x7FFF) << 8 if first else 40 + struct.unpack_from(">H", page, 38)[0]
            write("innodb_page_compressed", f"{table}-{n}", bytes([first]) + page[:written])


def sql_text_seeds():
    """Every definition the fixtures' servers showed, each as a plain statement
    (a trigger as a compound one); the first byte picks the kind."""
    for script in ("definitions", "hostile", "create_table"):
        found = sorted(glob.glob(os.path.join(CACHE, script + "-*", "answers", "definitions.json")))
        if not found:
            sys.exit(f"no fixture {script}: run the tests once to build the fixtures")
        with open(found[0], encoding="utf-8") as f:
            definitions = json.load(f)
        for i, d in enumerate(definitions[:40]):
            kind = b"\x01" if d["kind"] == "trigger" else b"\x00"
            write("sql_text", f"{script}-{i}", kind + d["create"].encode("utf-8"))


def definitions_script_seeds():
    """The fixtures' CREATE TABLE statements as the servers showed them, one
    script each, and the head of a real dump with its comments."""
    for script in ("create_table", "innodb_rows", "myisam_rows"):
        found = sorted(glob.glob(os.path.join(CACHE, script + "-*", "answers", "definitions.json")))
        if not found:
            sys.exit(f"no fixture {script}: run the tests once to build the fixtures")
        with open(found[0], encoding="utf-8") as f:
            definitions = [d for d in json.load(f) if d["kind"] == "table"]
        for i, d in enumerate(definitions[:30]):
            write("definitions_script", f"{script}-{i}", ("USE `db`;\n" + d["create"] + ";\n").encode("utf-8"))
    dump = os.path.join(REAL, "mysql-5.5.35-sakila", "sakila-rows.sql.gz")
    with gzip.open(dump) as f:
        write("definitions_script", "sakila-dump-head", f.read(12000))


def page_carver_seeds():
    """Leaves of a 4 KiB-page table, one after another with bytes between."""
    image = read(fixture("page_size_4k", "sized/own.ibd"))
    leaves = [image[n * 4096:(n + 1) * 4096] for n in range(len(image) // 4096)
              if image[n * 4096 + 24:n * 4096 + 26] == b"\x45\xbf"]
    write("page_carver", "leaves", b"".join(leaves[:4]))
    write("page_carver", "apart", b"\x00" * 512 + b"".join(p + b"\x11" * 512 for p in leaves[:2]))


def render_seeds():
    write("render", "every_type-row", read(fixture("myisam_rows", "rows/every_type.MYD"))[:1024])


if __name__ == "__main__":
    definition_seeds()
    myisam_seeds()
    packed_seeds()
    innodb_seeds()
    sdi_seeds()
    zip_seeds()
    page_compressed_seeds()
    render_seeds()
    sql_text_seeds()
    definitions_script_seeds()
    page_carver_seeds()
