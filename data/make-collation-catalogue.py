#!/usr/bin/env python3
"""Writes the collation catalogue "collation (2)" from the server's own lists.

Starts a throw-away MariaDB server, reads every collation id with its character
set (information_schema) and the character set's largest character, and writes
one record per id: id, smallest and largest bytes per character, the character
set name and the collation name (integers little-endian, names length-prefixed).

    data/make-collation-catalogue.py [OUTPUT]
"""

import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixture"))
import fixture  # noqa: E402

# Every other character set has single-byte characters at least.
MIN_BYTES = {"ucs2": 2, "utf16": 2, "utf16le": 2, "utf32": 4}

QUERY = """
SELECT a.ID, a.CHARACTER_SET_NAME, a.FULL_COLLATION_NAME, c.MAXLEN
FROM information_schema.COLLATION_CHARACTER_SET_APPLICABILITY a
JOIN information_schema.CHARACTER_SETS c ON c.CHARACTER_SET_NAME = a.CHARACTER_SET_NAME
ORDER BY a.ID;
"""


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "collation (2)")
    with fixture.fresh_server() as server:
        answer = server.client(QUERY).stdout.decode()
    records = bytearray()
    count = 0
    for line in answer.splitlines()[1:]:
        ident, charset, collation, maxlen = line.split("\t")
        name1, name2 = charset.encode(), collation.encode()
        records += struct.pack("<iiii", int(ident), MIN_BYTES.get(charset, 1), int(maxlen), len(name1))
        records += name1 + struct.pack("<i", len(name2)) + name2
        count += 1
    with open(output, "wb") as f:
        f.write(records)
    print(f"{output}: {count} collations")


if __name__ == "__main__":
    main()
