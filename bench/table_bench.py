#!/usr/bin/env python3
"""Full-read benchmark of a MyISAM, an InnoDB, a partitioned InnoDB, a
COMPRESSED InnoDB or a page-compressed InnoDB table.

Builds (once, cached) a table of mixed types with a real server (2 million
rows; the partitioned one 1 million in 8 partitions, the compressed one 1
million in 8 KiB pages, the page-compressed one 1 million), then measures in one run:
  (a) tavrin-recover rows --all --full --format tsv > /dev/null
  (b) the server's own full read: mariadb --batch -e 'SELECT * FROM mixed' > /dev/null
  (c) cat of the data files (.MYD or .ibd) to /dev/null
and prints (a)/(b), (a)/(c), the peak memory of (a) and the time of the first
page (tavrin-recover rows ... --page 1 on the database folder). For InnoDB it
also times the loading of the dictionary of a system tablespace that holds
10 000 tables.

    bench/table_bench.py myisam|innodb|partitioned|compressed|page_compressed [build folder]
"""

import glob
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixture"))
import fixture  # noqa: E402

RUNS = 3

# Per kind of table: the script that makes it and the data files it has.
KINDS = {
    "myisam": ("myisam_table.sql", "mixed.MYD"),
    "innodb": ("innodb_table.sql", "mixed.ibd"),
    "partitioned": ("partitioned_table.sql", "mixed#P#*.ibd"),
    "compressed": ("compressed_table.sql", "mixed.ibd"),
    "page_compressed": ("page_compressed_table.sql", "mixed.ibd"),
}


def best_time(cmd):
    """Best wall time of RUNS runs, output to /dev/null."""
    best = None
    for _ in range(RUNS):
        start = time.perf_counter()
        with open(os.devnull, "wb") as null:
            subprocess.run(cmd, stdout=null, stderr=subprocess.PIPE, check=True)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def peak_memory_kib(cmd):
    """Peak resident memory of one run, measured by a fresh helper process."""
    probe = ("import resource, subprocess, sys, os\n"
             "with open(os.devnull, 'wb') as null: subprocess.run(sys.argv[1:], stdout=null, check=True)\n"
             "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    out = subprocess.run([sys.executable, "-c", probe, *cmd], capture_output=True, text=True, check=True)
    return int(out.stdout.strip())


def main():
    if len(sys.argv) < 2 or sys.argv[1] not in KINDS:
        print(__doc__, file=sys.stderr)
        return 2
    engine = sys.argv[1]
    build = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(HERE, "..", "build"))
    recover = os.path.join(build, "tavrin-recover")
    script, files = KINDS[engine]
    folder = fixture.build(os.path.join(HERE, script))
    data = os.path.join(folder, "data")
    data_files = sorted(glob.glob(os.path.join(data, "bench", files)))
    size = sum(os.path.getsize(f) for f in data_files)
    print(f"{engine} table: {len(data_files)} data files, {size / 1e6:.0f} MB")

    full = [recover, "rows", data, "bench", "mixed", "--all", "--full", "--format", "tsv"]
    a = best_time(full)
    c = best_time(["cat", *data_files])
    first = best_time([recover, "rows", os.path.join(data, "bench"), "bench", "mixed", "--page", "1"])
    peak = peak_memory_kib(full)

    with tempfile.TemporaryDirectory(prefix="tavrin-bench-") as work:
        copy = os.path.join(work, "data")
        shutil.copytree(data, copy)
        fixture.make_writable(copy)
        with fixture.running_server(copy, workdir=work) as server:
            b = best_time(["mariadb", "--no-defaults", f"--socket={server.socket}", "-uroot", "--batch", "bench",
                           "-e", "SELECT * FROM mixed"])

    print(f"(a) tavrin-recover rows --all --full: {a:.2f} s")
    print(f"(b) server SELECT * via mariadb --batch: {b:.2f} s")
    print(f"(c) cat of the data file: {c:.3f} s")
    print(f"(a)/(b) = {a / b:.2f}   (target at most 0.5)")
    print(f"(a)/(c) = {a / c:.1f}   (target at most 4)")
    print(f"peak memory of (a): {peak / 1024:.1f} MB   (target under 64 MB)")
    print(f"first page (whole command): {first * 1000:.1f} ms   (target under 20 ms)")

    if engine == "innodb":
        many = fixture.build(os.path.join(HERE, "dictionary_tables.sql"))
        result = subprocess.run([os.path.join(build, "tavrin-dictionary-bench"), os.path.join(many, "data", "ibdata1")],
                                capture_output=True, text=True, check=True)
        print(result.stdout.strip() + "   (target under 1 s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
