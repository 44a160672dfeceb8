#!/usr/bin/env python3
"""Throughput of `tavrin-recover lost` over a large image against cat.

Writes (once, kept) an image of SIZE GiB of bytes that are no pages (a
random block repeated, so no part of it is sparse) with one table's
tablespace (MySQL 5.5's Sakila film.ibd) in its middle, then times in one
run, each best of table_bench's runs with the file in the page cache:
  (a) tavrin-recover lost IMAGE > /dev/null
  (b) cat IMAGE > /dev/null
and prints the rates, (a)/(b) of the rates and the peak memory of (a).

    bench/lost_bench.py [SIZE_GIB [build folder [image path]]]
"""

import os
import subprocess
import sys

from table_bench import best_time, peak_memory_kib

HERE = os.path.dirname(os.path.abspath(__file__))
FILM = os.path.join(HERE, "..", "tests", "data", "real", "mysql-5.5.35-sakila", "film.ibd")


def make_image(path, gib):
    if os.path.exists(path) and os.path.getsize(path) >= gib << 30:
        return
    block = os.urandom(8 << 20)
    with open(FILM, "rb") as f:
        film = f.read()
    with open(path + ".part", "wb") as out:
        for i in range((gib << 30) // len(block)):
            out.write(block)
            if i == ((gib << 30) // len(block)) // 2:
                out.write(film)
    os.replace(path + ".part", path)


def main():
    gib = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    build = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(HERE, "..", "build"))
    image = sys.argv[3] if len(sys.argv) > 3 else f"/tmp/tavrin-lost-bench-{gib}g.img"
    make_image(image, gib)
    size = os.path.getsize(image)
    lost = [os.path.join(build, "tavrin-recover"), "lost", image]
    out = subprocess.run(lost, capture_output=True, text=True, check=True).stdout
    print(f"image: {size / 2**30:.1f} GiB; found: {out.strip()}")
    a = best_time(lost)
    b = best_time(["cat", image])
    peak = peak_memory_kib(lost)
    print(f"(a) lost: {a:.2f} s, {size / a / 1e6:.0f} MB/s")
    print(f"(b) cat:  {b:.2f} s, {size / b / 1e6:.0f} MB/s")
    print(f"rate (a)/(b) = {b / a:.2f}   (goal at least 0.5)")
    print(f"peak memory of (a): {peak / 1024:.1f} MB   (goal under 256 MB)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
