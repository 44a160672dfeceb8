"""MySQL 8's Sakila read from its tablespaces alone (no .frm, no ibdata1):
each table's definition against MySQL 8's Sakila schema, its rows against a
dump of the same sample data, and damaged copies."""

import os
import shutil
import tempfile
import unicodedata
import unittest
import zlib

from cli_test import REAL, fixture, parse_dump, recover, recover_env, tsv_cells
from save_test import rows_of

FOLDER = os.path.join(REAL, "mysql-8.0.40-sakila")
DATABASE = "mysql-8.0.40-sakila"
PAGE = 16384
SDI_ROOT = 3  # as page 0 names it in every file of the folder


def crc32c(data):
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (0x82F63B78 if crc & 1 else 0)
    return crc ^ 0xFFFFFFFF


def sealed(damage, page):
    """`damage`, then the crc32 checksum of `page` made that of its new bytes,
    so that the damage passes for what the server wrote."""
    def seal(data):
        damage(data)
        at = page * PAGE
        checksum = (crc32c(data[at + 4:at + 26]) ^ crc32c(data[at + 38:at + PAGE - 8])).to_bytes(4, "big")
        data[at:at + 4] = data[at + PAGE - 8:at + PAGE - 4] = checksum
    return seal


TIMESTAMP_COLUMN = "timestamp NOT NULL DEFAULT current_timestamp() ON UPDATE current_timestamp()"

# The columns and keys of MySQL 8's Sakila (its sakila-schema.sql), as the
# server's own SHOW CREATE TABLE would list them.
SCHEMA = {
    "actor": ["`actor_id` smallint(5) unsigned NOT NULL AUTO_INCREMENT", "`first_name` varchar(45) NOT NULL",
              "`last_name` varchar(45) NOT NULL", "`last_update` " + TIMESTAMP_COLUMN, "PRIMARY KEY (`actor_id`)",
              "KEY `idx_actor_last_name` (`last_name`)"],
    "address": ["`address_id` smallint(5) unsigned NOT NULL AUTO_INCREMENT", "`address` varchar(50) NOT NULL",
                "`address2` varchar(50) DEFAULT NULL", "`district` varchar(20) NOT NULL",
                "`city_id` smallint(5) unsigned NOT NULL", "`postal_code` varchar(10) DEFAULT NULL",
                "`phone` varchar(20) NOT NULL", "`location` geometry NOT NULL", "`last_update` " + TIMESTAMP_COLUMN,
                "PRIMARY KEY (`address_id`)", "KEY `idx_fk_city_id` (`city_id`)",
                "SPATIAL KEY `idx_location` (`location`)"],
    "category": ["`category_id` tinyint(3) unsigned NOT NULL AUTO_INCREMENT", "`name` varchar(25) NOT NULL",
                 "`last_update` " + TIMESTAMP_COLUMN, "PRIMARY KEY (`category_id`)"],
    "city": ["`city_id` smallint(5) unsigned NOT NULL AUTO_INCREMENT", "`city` varchar(50) NOT NULL",
             "`country_id` smallint(5) unsigned NOT NULL", "`last_update` " + TIMESTAMP_COLUMN,
             "PRIMARY KEY (`city_id`)", "KEY `idx_fk_country_id` (`country_id`)"],
    "country": ["`country_id` smallint(5) unsigned NOT NULL AUTO_INCREMENT", "`country` varchar(50) NOT NULL",
                "`last_update` " + TIMESTAMP_COLUMN, "PRIMARY KEY (`country_id`)"],
    "customer": ["`customer_id` smallint(5) unsigned NOT NULL AUTO_INCREMENT",
                 "`store_id` tinyint(3) unsigned NOT NULL", "`first_name` varchar(45) NOT NULL",
                 "`last_name` varchar(45) NOT NULL", "`email` varchar(50) DEFAULT NULL",
                 "`address_id` smallint(5) unsigned NOT NULL", "`active` tinyint(1) NOT NULL DEFAULT 1",
                 "`create_date` datetime NOT NULL",
                 "`last_update` timestamp NULL DEFAULT current_timestamp() ON UPDATE current_timestamp()",
                 "PRIMARY KEY (`customer_id`)", "KEY `idx_fk_store_id` (`store_id`)",
                 "KEY `idx_fk_address_id` (`address_id`)", "KEY `idx_last_name` (`last_name`)"],
    "film": ["`film_id` smallint(5) unsigned NOT NULL AUTO_INCREMENT", "`title` varchar(128) NOT NULL",
             "`description` text DEFAULT NULL", "`release_year` year(4) DEFAULT NULL",
             "`language_id` tinyint(3) unsigned NOT NULL", "`original_language_id` tinyint(3) unsigned DEFAULT NULL",
             "`rental_duration` tinyint(3) unsigned NOT NULL DEFAULT 3",
             "`rental_rate` decimal(4,2) NOT NULL DEFAULT 4.99", "`length` smallint(5) unsigned DEFAULT NULL",
             "`replacement_cost` decimal(5,2) NOT NULL DEFAULT 19.99",
             "`rating` enum('G','PG','PG-13','R','NC-17') DEFAULT 'G'",
             "`special_features` set('Trailers','Commentaries','Deleted Scenes','Behind the Scenes') DEFAULT NULL",
             "`last_update` " + TIMESTAMP_COLUMN, "PRIMARY KEY (`film_id`)", "KEY `idx_title` (`title`)",
             "KEY `idx_fk_language_id` (`language_id`)",
             "KEY `idx_fk_original_language_id` (`original_language_id`)"],
    "film_actor": ["`actor_id` smallint(5) unsigned NOT NULL", "`film_id` smallint(5) unsigned NOT NULL",
                   "`last_update` " + TIMESTAMP_COLUMN, "PRIMARY KEY (`actor_id`,`film_id`)",
                   "KEY `idx_fk_film_id` (`film_id`)"],
    "film_category": ["`film_id` smallint(5) unsigned NOT NULL", "`category_id` tinyint(3) unsigned NOT NULL",
                      "`last_update` " + TIMESTAMP_COLUMN, "PRIMARY KEY (`film_id`,`category_id`)",
                      "KEY `fk_film_category_category` (`category_id`)"],
    # The full-text index's document id is the server's own column, shown nowhere.
    "film_text": ["`film_id` smallint(5) unsigned NOT NULL", "`title` varchar(255) NOT NULL",
                  "`description` text DEFAULT NULL", "PRIMARY KEY (`film_id`)",
                  "FULLTEXT KEY `idx_title_description` (`title`,`description`)"],
    "inventory": ["`inventory_id` mediumint(8) unsigned NOT NULL AUTO_INCREMENT",
                  "`film_id` smallint(5) unsigned NOT NULL", "`store_id` tinyint(3) unsigned NOT NULL",
                  "`last_update` " + TIMESTAMP_COLUMN, "PRIMARY KEY (`inventory_id`)",
                  "KEY `idx_fk_film_id` (`film_id`)", "KEY `idx_store_id_film_id` (`store_id`,`film_id`)"],
    "language": ["`language_id` tinyint(3) unsigned NOT NULL AUTO_INCREMENT", "`name` char(20) NOT NULL",
                 "`last_update` " + TIMESTAMP_COLUMN, "PRIMARY KEY (`language_id`)"],
    "staff": ["`staff_id` tinyint(3) unsigned NOT NULL AUTO_INCREMENT", "`first_name` varchar(45) NOT NULL",
              "`last_name` varchar(45) NOT NULL", "`address_id` smallint(5) unsigned NOT NULL",
              "`picture` blob DEFAULT NULL", "`email` varchar(50) DEFAULT NULL",
              "`store_id` tinyint(3) unsigned NOT NULL", "`active` tinyint(1) NOT NULL DEFAULT 1",
              "`username` varchar(16) NOT NULL",
              "`password` varchar(40) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin DEFAULT NULL",
              "`last_update` " + TIMESTAMP_COLUMN, "PRIMARY KEY (`staff_id`)",
              "KEY `idx_fk_store_id` (`store_id`)", "KEY `idx_fk_address_id` (`address_id`)"],
    "store": ["`store_id` tinyint(3) unsigned NOT NULL AUTO_INCREMENT",
              "`manager_staff_id` tinyint(3) unsigned NOT NULL", "`address_id` smallint(5) unsigned NOT NULL",
              "`last_update` " + TIMESTAMP_COLUMN, "PRIMARY KEY (`store_id`)",
              "UNIQUE KEY `idx_unique_manager` (`manager_staff_id`)", "KEY `idx_fk_address_id` (`address_id`)"],
}

# Where MySQL 8's sample data is not the dump's: it added address.location
# and with it a new last_update to every address, and gave the staff other
# last_update values and Jon no password. The dump lost the accents of its
# letters outside ASCII: dropped (Yaoundé is Yaound there) or kept as the
# bare letter (Huánuco is Huanuco).
NEW_COLUMNS = {"address": {"location"}}
LEFT_OUT = {"address": {"location", "last_update"}, "staff": {"password", "last_update"}}


def as_the_dump_has_it(ours, theirs):
    """Our value, or the dump's where it is ours without its accents."""
    dropped = "".join(c for c in ours if ord(c) < 128)
    bare = "".join(c for c in unicodedata.normalize("NFKD", ours) if ord(c) < 128)
    return theirs if theirs in (dropped, bare) else ours


def first_sdi_record(path):
    """Where the first SDI record of a tablespace lies: its origin in the SDI
    root page, after the infimum's link."""
    with open(path, "rb") as f:
        f.seek(SDI_ROOT * PAGE)
        page = f.read(PAGE)
    return SDI_ROOT * PAGE + 99 + int.from_bytes(page[97:99], "big", signed=True)


class Sakila(unittest.TestCase):
    def test_the_folder_lists_the_user_tables_alone(self):
        status, out, err = recover("list", FOLDER)
        self.assertEqual((status, err), (0, ""))
        tables = [line.strip() for line in out.splitlines() if line.startswith("        ") and "Keys" not in line]
        self.assertEqual(tables, sorted(SCHEMA))

    def test_each_definition_is_mysql_8_sakilas(self):
        for table, lines in SCHEMA.items():
            with self.subTest(table=table):
                status, out, err = recover("structure", FOLDER, DATABASE, table, "--sql")
                self.assertEqual((status, err), (0, ""))
                statement = out.splitlines()
                self.assertEqual(statement[0], "CREATE TABLE `%s` (" % table)
                self.assertEqual([line.strip().rstrip(",") for line in statement[1:-1]], lines)
                self.assertEqual(statement[-1], ") ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;")

    def test_rows_are_the_dumps(self):
        dump = parse_dump(os.path.join(REAL, "mysql-5.5.35-sakila", "sakila-rows.sql.gz"))
        for table in SCHEMA:
            with self.subTest(table=table):
                # The timestamps agree with the dump's as UTC.
                status, out, err = recover_env({"TZ": "UTC"}, "rows", FOLDER, DATABASE, table, "--all", "--full")
                self.assertEqual((status, err), (0, ""))
                lines = out.decode().splitlines()
                header = lines[0].split("\t")
                theirs_header = [h for h in header if h not in NEW_COLUMNS.get(table, ())]
                kept = [h for h in header if h not in LEFT_OUT.get(table, ())]
                binary = {"picture"}
                ours = [[v for h, v in zip(header, tsv_cells(line)) if h in kept] for line in lines[1:]]
                theirs = [[("0x" + v.hex().upper() if h in binary else v.decode()) if v is not None else "NULL"
                           for h, v in zip(theirs_header, row) if h in kept] for row in dump[table]]
                self.assertEqual(len(ours), len(theirs))
                self.assertEqual([[as_the_dump_has_it(a, b) for a, b in zip(x, y)] for x, y in zip(ours, theirs)],
                                 theirs)

    def test_saved_into_a_server_as_read(self):
        with fixture.fresh_server() as server:
            status, out, err = recover("save", FOLDER, "--server", "localhost", "--socket", server.socket,
                                       "--user", "root")
            self.assertEqual((status, err), (0, ""))
            self.assertEqual(len(out.splitlines()), 1 + len(SCHEMA), out)
            # The server shows GEOMETRY and BLOB values as their bytes, tavrin-recover in hexadecimal.
            for table in set(SCHEMA) - {"address", "staff"}:
                status, ours, err = recover_env({"TZ": "UTC"}, "rows", FOLDER, DATABASE, table, "--all")
                self.assertEqual(sorted(ours.split(b"\n")[1:]), rows_of(server, DATABASE, table), table)

    def test_damaged_copies_name_the_file_and_the_damage(self):
        record = first_sdi_record(os.path.join(FOLDER, "actor.ibd"))

        def bad_json(data):
            # A sound stream of text that is not JSON, padded to the old length.
            length = int.from_bytes(data[record + 29:record + 33], "big")
            stream = zlib.compress(b'{"dd_object": [1, 2')
            data[record + 25:record + 29] = len(b'{"dd_object": [1, 2').to_bytes(4, "big")
            data[record + 33:record + 33 + length] = stream + bytes(length - len(stream))

        def set_bytes(offset, value):
            def damage(data):
                data[offset:offset + len(value)] = value
            return damage

        sdi_root_at = 10505 + 4  # after the extent descriptors and the encryption key's room
        cases = [
            ("a bad deflate stream", set_bytes(record + 33, b"\xff" * 8), "not a sound zlib stream"),
            ("a stream cut short", set_bytes(record + 25, (10 ** 6).to_bytes(4, "big")), "ends after"),
            ("bad JSON", bad_json, "not JSON at byte 19: an array without its closing bracket"),
            ("an SDI page that is not one", set_bytes(SDI_ROOT * PAGE + 24, b"\x45\xbf"), "not a page of the SDI index"),
            ("an SDI root past the end", sealed(set_bytes(sdi_root_at, b"\x00\x01\x00\x00"), 0), "past the end of the file"),
            ("a damaged page 0", set_bytes(sdi_root_at, b"\x00\x01\x00\x00"), "actor.ibd page 0: the page fails its checksum"),
        ]
        for what, damage, reason in cases:
            with self.subTest(damage=what), tempfile.TemporaryDirectory() as top:
                copy = os.path.join(top, "sakila", "actor.ibd")
                os.makedirs(os.path.dirname(copy))
                shutil.copyfile(os.path.join(FOLDER, "actor.ibd"), copy)
                with open(copy, "rb") as f:
                    data = bytearray(f.read())
                damage(data)
                with open(copy, "wb") as f:
                    f.write(data)
                for command in ("structure", "rows"):
                    status, out, err = recover(command, os.path.join(top, "sakila"), "sakila", "actor")
                    self.assertEqual((status, out), (1, ""), command)
                    self.assertIn(copy, err)
                    self.assertIn(reason, err)
                # The folder's commands name the file, and do not end as if all were well.
                status, out, err = recover("list", os.path.join(top, "sakila"))
                self.assertEqual(status, 1)
                self.assertIn(copy + " was passed over: ", err)
                status, out, err = recover("check", os.path.join(top, "sakila"))
                self.assertEqual(status, 1)
                self.assertIn(copy + ": unreadable: ", out)


if __name__ == "__main__":
    unittest.main()
