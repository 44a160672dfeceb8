#!/usr/bin/env python3
"""Save benchmark: a table of one million rows, MyISAM and InnoDB.

Builds (once, cached) the tables with a real server, then measures per table:
  (a) tavrin-recover save ... --server: into a fresh server
  (b) loading that table's mariadb-dump into the same fresh server with mariadb
  (c) tavrin-recover save ... --script: writing the script
  (d) mariadb-dump of the table from a running server
and prints (a)/(b) (goal: at most 1) and (c)/(d) (goal: at most 0.5), each
time the best of RUNS runs. Both loads end with the same table (checked by
CHECKSUM TABLE).

    bench/save_bench.py [build folder]
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixture"))
import fixture  # noqa: E402

RUNS = 3


def timed(cmd, stdin=None, stdout=None):
    start = time.perf_counter()
    subprocess.run(cmd, stdin=stdin, stdout=stdout or subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)
    return time.perf_counter() - start


def best(runs):
    return min(run() for run in [runs] * RUNS)


def client(server):
    return ["mariadb", "--no-defaults", f"--socket={server.socket}", "-uroot"]


def checksum(server, table):
    out = server.client(f"CHECKSUM TABLE bench.{table} EXTENDED;").stdout.decode()
    return out.splitlines()[1].split("\t")[1]


def measure(recover, data, table, source, target, work):
    dump = os.path.join(work, f"{table}.sql")
    dump_command = ["mariadb-dump", "--no-defaults", f"--socket={source.socket}", "-uroot", "bench", table]

    def reset():
        target.client("DROP DATABASE IF EXISTS bench; CREATE DATABASE bench;")

    def save_to_server():
        reset()
        return timed([recover, "save", data, "bench", table, "--server", "localhost", "--socket", target.socket,
                      "--user", "root"])

    def load_dump():
        reset()
        with open(dump, "rb") as f:
            return timed(client(target) + ["bench"], stdin=f)

    def write_script():
        return timed([recover, "save", data, "bench", table, "--script", work, "--force"])

    def write_dump():
        with open(dump, "wb") as f:
            return timed(dump_command, stdout=f)

    d = best(write_dump)
    c = best(write_script)
    a = best(save_to_server)
    saved = checksum(target, table)
    b = best(load_dump)
    loaded = checksum(target, table)
    print(f"{table}: (a) save into a server {a:.2f} s, (b) load of its dump {b:.2f} s, (a)/(b) = {a / b:.2f} "
          f"(goal at most 1); (c) script {c:.2f} s, (d) mariadb-dump {d:.2f} s, (c)/(d) = {c / d:.2f} "
          f"(goal at most 0.5); checksums {'equal' if saved == loaded else 'DIFFER'}")


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build"))
    recover = os.path.join(build, "tavrin-recover")
    data = os.path.join(fixture.build(os.path.join(HERE, "save_tables.sql")), "data")
    with tempfile.TemporaryDirectory(prefix="tavrin-bench-") as work:
        copy = os.path.join(work, "data")
        shutil.copytree(data, copy)
        fixture.make_writable(copy)
        with fixture.running_server(copy, workdir=work) as source, fixture.fresh_server() as target:
            for table in ("mixed_myisam", "mixed_innodb"):
                measure(recover, data, table, source, target, work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
