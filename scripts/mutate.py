#!/usr/bin/env python3
"""Mutation test of the readers, run on demand (not in CI).

Takes small tables of the fixtures and of tests/data/real, damages one of
their files at a time and runs tavrin-recover of the sanitizer build over the
damaged copy. Each mutant is sorted as

  crash      a signal, or a sanitizer's report
  hang       no end within HANG_SECONDS
  SILENT     exit status 0, but other output than the intact files give
  mute       a non-zero exit status and nothing on stderr to say why
  detected   a non-zero exit status with a reason on stderr
  unchanged  exit status 0 and the output of the intact files: the damage
             hit nothing that matters

A changed value can only go unsaid in a file that keeps no checksum over it
(MyISAM rows and index counters, .frm, view and trigger texts). A SILENT
mutant of a kind whose pages carry a checksum (every InnoDB page), and every
crash, hang and mute one, is a failure and makes the exit status 1. Every
mutant but the detected and unchanged ones is kept under the output folder
with a note of its damage and a script that runs it again.

    scripts/mutate.py [--mutants N] [--seed S] [--time-limit SECONDS]
                      [--build DIR] [--out DIR] [--table LABEL ...]

--mutants is per damaged file of each table; the files take turns, so a
time limit cuts every file's share alike. The same seed gives the same
mutants. The build is the one `bash scripts/build.sh --sanitize` makes; the
fixtures come from tests/fixture/fixture.py (and its cache).
"""

import argparse
import collections
import dataclasses
import os
import random
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "fixture"))
import fixture  # noqa: E402

HANG_SECONDS = 10
MAX_FLIPPED_BITS = 8
MAX_RANGE = 4096
ENVIRONMENT = {
    "ASAN_OPTIONS": "detect_leaks=1:abort_on_error=1",
    "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
}
SANITIZER_REPORT = re.compile(
    rb"ERROR: (Address|Leak|Memory|Thread)Sanitizer|runtime error:|UndefinedBehaviorSanitizer")
# The worst class a mutant's commands gave is the mutant's class.
CLASSES = ("crash", "hang", "SILENT", "mute", "detected", "unchanged")
FAILING = {"crash", "hang", "mute"}


@dataclasses.dataclass(frozen=True)
class Kind:
    checksum: bool    # a checksum covers the values it holds, so a changed value must be seen
    definition: bool  # it holds the table's definition: structure and check are run too
    block: str        # the unit of page-wise damage: "innodb" (read from the file), bytes, or "" (none)
    values: str       # what a changed value in it is, for the summary


FILE_KINDS = {
    ".frm": Kind(False, True, "", "no checksum: a changed type, default or comment goes unseen"),
    ".MYD": Kind(False, False, "", "rows carry no checksum"),
    ".MYI": Kind(False, False, "1024", "key blocks and counters carry no checksum"),
    ".ibd": Kind(True, False, "innodb",
                 "every page carries a checksum (a classic page-compressed one, its zlib stream's)"),
    ".ibd MySQL 8": Kind(True, True, "innodb", "every page, the SDI ones too, carries a checksum"),
    "ibdata1": Kind(True, False, "innodb", "every page carries a checksum"),
    "view .frm": Kind(False, False, "", "a text with no checksum"),
    ".TRG": Kind(False, False, "", "a text with no checksum"),
}

ROWS = ("rows", "--all", "--full")
STRUCTURE = ("structure", "--sql")
CHECK = ("check",)  # the whole database, which holds only the object's files


@dataclasses.dataclass(frozen=True)
class Layout:
    files: tuple     # (suffix of the object's name, or "ibdata1" of the data folder; kind)
    commands: tuple  # run on every mutant; a definition's damage adds STRUCTURE and CHECK


MYISAM = Layout(((".frm", ".frm"), (".MYD", ".MYD"), (".MYI", ".MYI")), (ROWS,))
INNODB = Layout(((".frm", ".frm"), (".ibd", ".ibd")), (ROWS,))
IN_IBDATA1 = Layout(((".frm", ".frm"), ("ibdata1", "ibdata1")), (ROWS,))
MYSQL8 = Layout(((".ibd", ".ibd MySQL 8"),), (ROWS,))
VIEW = Layout(((".frm", "view .frm"),), (("view",), CHECK))
TRIGGERS = Layout(((".TRG", ".TRG"),), (("trigger",), CHECK))


@dataclasses.dataclass(frozen=True)
class Table:
    label: str     # names it in the summary, in --table and in the kept files
    source: str    # a fixture script of tests/fixtures, or a folder under tests/data ("real...")
    database: str  # its folder in the source's data folder, named as the server names it
    name: str      # the table, view, or table of the triggers
    layout: Layout


# Small tables (a run of rows --all --full takes well under a second under
# the sanitizers) that together hold every kind and format of file read.
TABLES = (
    Table("myisam-fixed", "myisam_rows", "rows", "every_type_fixed", MYISAM),
    Table("myisam-fixed-pages", "myisam_rows", "rows", "pages_fixed", MYISAM),
    Table("myisam-dynamic", "myisam_rows", "rows", "every_type", MYISAM),
    Table("myisam-dynamic-reused", "myisam_rows", "rows", "reuse", MYISAM),
    Table("myisam-packed", "myisam_packed", "packed", "every_type", MYISAM),
    Table("myisam-packed-dynamic", "myisam_packed", "packed", "dynamic_source", MYISAM),
    Table("myisam-10.1", "real/mariadb-10.1.9-datadir", "mysql", "help_category", MYISAM),
    Table("innodb-compact", "innodb_rows", "inno", "every_compact", INNODB),
    Table("innodb-dynamic", "innodb_rows", "inno", "every_dynamic", INNODB),
    Table("innodb-dynamic-apart", "innodb_rows", "inno", "apart_dynamic", INNODB),
    Table("innodb-redundant", "innodb_redundant", "old", "every_redundant", INNODB),
    Table("innodb-compressed-8k", "innodb_compressed", "zip", "every_zip8", INNODB),
    Table("innodb-compressed-1k", "innodb_compressed", "zip", "every_zip1", INNODB),
    Table("innodb-compressed-apart", "innodb_compressed", "zip", "apart_zip4", INNODB),
    Table("innodb-compressed-changed", "innodb_compressed", "zip", "changed_zip16", INNODB),
    Table("innodb-page-compressed", "innodb_page_compressed", "squeezed", "every_squeezed", INNODB),
    Table("innodb-page-compressed-classic", "innodb_page_compressed", "squeezed", "classic_squeezed", INNODB),
    Table("innodb-crc32", "checksum_crc32", "crc", "t", INNODB),
    Table("innodb-5.5", "real", "mysql-5.5.35-sakila", "category", INNODB),
    Table("innodb-4k", "page_size_4k", "sized", "own", INNODB),
    Table("innodb-32k", "page_size_32k", "sized", "own", INNODB),
    Table("innodb-64k", "page_size_64k", "sized", "own", INNODB),
    Table("ibdata1-dynamic", "innodb_system", "shared", "in_system", IN_IBDATA1),
    Table("ibdata1-instant", "innodb_system", "shared", "added_in_place", IN_IBDATA1),
    Table("ibdata1-redundant", "innodb_redundant", "old", "in_system", IN_IBDATA1),
    Table("ibdata1-4k", "page_size_4k", "sized", "in_system", IN_IBDATA1),
    Table("ibdata1-8k", "page_size_8k", "sized", "in_system", IN_IBDATA1),
    Table("ibdata1-32k", "page_size_32k", "sized", "in_system", IN_IBDATA1),
    Table("ibdata1-64k", "page_size_64k", "sized", "in_system", IN_IBDATA1),
    Table("mysql8-actor", "real", "mysql-8.0.40-sakila", "actor", MYSQL8),
    Table("mysql8-category", "real", "mysql-8.0.40-sakila", "category", MYSQL8),
    Table("view", "definitions", "defs", "v_lines", VIEW),
    Table("view-nested", "definitions", "defs", "v_nested", VIEW),
    Table("view-5.7", "real", "triggers-views", "v2", VIEW),
    Table("triggers", "definitions", "defs", "items", TRIGGERS),
    Table("triggers-5.6", "real", "triggers-views", "bug18311187_account", TRIGGERS),
)


@dataclasses.dataclass
class Target:
    """One file of a table that mutants damage."""
    table: Table
    file: str  # its name in the table's copy: in the database folder, or ibdata1 above it
    kind: str
    path: str  # the intact copy
    source: str  # the file it was copied from
    block: int = 0  # bytes of page-wise damage, 0 for none
    flags: int = 0  # an InnoDB file's FSP_SPACE_FLAGS: its format
    donors: list = dataclasses.field(default_factory=list)  # tablespaces of the same page size
    cycle: list = None  # the mutations its mutants take in turn
    _used_pages: list = None

    def used_pages(self, data):
        """The numbers of the pages that hold anything, where damage is worth doing."""
        if self._used_pages is None:
            self._used_pages = used_pages(data, self.block)
        return self._used_pages


@dataclasses.dataclass
class Outcome:
    status: int  # negative: the signal that ended it
    stdout: bytes
    stderr: bytes
    hung: bool = False


@dataclasses.dataclass
class Mutant:
    target: Target
    number: int
    mutation: str
    note: str
    verdict: str
    seconds: float
    commands: list  # (command, class, outcome)

    @property
    def ident(self):
        return f"{self.target.table.label}-{self.target.file}-{self.number}"


# --- the files ---------------------------------------------------------------

def space_flags(path):
    with open(path, "rb") as f:
        header = f.read(58)
    return int.from_bytes(header[54:58], "big")  # FIL_PAGE_DATA (38) + FSP_SPACE_FLAGS (16)


def physical_page_size(flags):
    if flags & 0x10:  # full_crc32: the page size in bits 0-3, never KEY_BLOCK_SIZE pages
        return 512 << (flags & 0xF)
    shift = (flags >> 6) & 0xF
    logical = 512 << shift if shift else 16384
    zip_shift = (flags >> 1) & 0xF
    return min(logical, 512 << zip_shift) if zip_shift else logical


def used_pages(data, block):
    if not block:
        return []
    blank = bytes(block)
    return [n for n in range(len(data) // block) if data[n * block:(n + 1) * block] != blank]


def data_folder(source, log):
    if source.startswith("real"):
        return os.path.join(REPO, "tests", "data", source)
    return os.path.join(fixture.build(os.path.join(REPO, "tests", "fixtures", source + ".sql"), log), "data")


def file_names(table):
    return [(name if name == "ibdata1" else table.name + name, kind) for name, kind in table.layout.files]


def place(folder, table, name):
    """Where a file of the table goes in a data folder."""
    if name == "ibdata1":
        return os.path.join(folder, name)
    return os.path.join(folder, table.database, name)


def copy_intact(table, root, log):
    """Copies the table's files into a data folder of its own and returns its targets."""
    source = data_folder(table.source, log)
    folder = os.path.join(root, "intact", table.label)
    os.makedirs(os.path.join(folder, table.database))
    targets = []
    for name, kind in file_names(table):
        path = place(folder, table, name)
        shutil.copyfile(place(source, table, name), path)
        target = Target(table, name, kind, path, place(source, table, name))
        block = FILE_KINDS[kind].block
        if block == "innodb":
            target.flags = space_flags(path)
            target.block = physical_page_size(target.flags)
        else:
            target.block = int(block or 0)
        targets.append(target)
    return targets


def give_donors(targets):
    """Every InnoDB file is given the others of its page size, for foreign pages: those of its
    own format where there are, as their pages pass its checksum and only their place betrays them."""
    paged = [t for t in targets if FILE_KINDS[t.kind].block == "innodb"]
    for t in paged:
        # Two tables of one fixture share its ibdata1: a copy of the same file is no donor.
        donors = [d for d in paged if d.block == t.block and d.source != t.source]
        donors = [d for d in donors if d.flags == t.flags] or donors
        t.donors = sorted({d.source: d.path for d in donors}.values())


# --- the mutations -------------------------------------------------------------
# Each damages data (a bytearray of the whole file) in place and says how;
# each applies to a file of a size and target it is given.

def page_range(data, target, rng):
    """A random used page of a paged file, or the whole file."""
    pages = target.used_pages(data)
    if not pages:
        return 0, len(data), ""
    n = rng.choice(pages)
    return n * target.block, min(len(data), (n + 1) * target.block), f"page {n}: "


def flip_bits(data, target, rng):
    start, end, where = page_range(data, target, rng)
    flipped = []
    for _ in range(rng.randint(1, MAX_FLIPPED_BITS)):
        offset, bit = rng.randrange(start, end), rng.randrange(8)
        data[offset] ^= 1 << bit
        flipped.append(f"{offset}.{bit}")
    return f"{where}flipped bits (byte.bit) {' '.join(flipped)}"


def zero_page(data, target, rng):
    start, end, where = page_range(data, target, rng)
    data[start:end] = bytes(end - start)
    return f"{where}zeroed bytes {start}..{end - 1}"


def zero_range(data, target, rng):
    start, end, where = page_range(data, target, rng)
    offset = rng.randrange(start, end)
    length = rng.randint(1, min(MAX_RANGE, end - offset))
    data[offset:offset + length] = bytes(length)
    return f"{where}zeroed {length} bytes at {offset}"


def swap(data, target, rng):
    if target.block:
        pages = target.used_pages(data)
        a = rng.choice(pages) if pages else 0
        others = [n for n in pages if n != a] or [n for n in range(len(data) // target.block) if n != a]
        b = rng.choice(others)
        length, first, second = target.block, a * target.block, b * target.block
        what = f"swapped pages {a} and {b}"
    else:
        length = rng.randint(1, min(256, (len(data) - 1) // 2))
        first, second = sorted(rng.sample(range(len(data) - 2 * length + 1), 2))
        second += length  # the two ranges never overlap
        what = f"swapped {length} bytes at {first} with those at {second}"
    data[first:first + length], data[second:second + length] = data[second:second + length], data[first:first + length]
    return what


def foreign_page(data, target, rng):
    donor = rng.choice(target.donors)
    with open(donor, "rb") as f:
        foreign = f.read()
    size = target.block
    blank = bytes(size)
    shared = [n for n in target.used_pages(data) if (n + 1) * size <= len(foreign)]
    rng.shuffle(shared)
    # Rather a page of the donor that holds something, and differs from this one.
    n = next((n for n in shared if foreign[n * size:(n + 1) * size] not in (blank, data[n * size:(n + 1) * size])),
             shared[0] if shared else 0)
    data[n * size:(n + 1) * size] = foreign[n * size:(n + 1) * size]
    return f"page {n} replaced by page {n} of {os.path.relpath(donor, os.path.dirname(os.path.dirname(target.path)))}"


def truncate(data, target, rng):
    length = rng.randrange(len(data))
    del data[length:]
    return f"cut to {length} bytes"


def append_zeros(data, target, rng):
    length = rng.randint(1, 4 * (target.block or 1024))
    data.extend(bytes(length))
    return f"{length} zero bytes appended"


def never_empty(size, target):
    return size > 0


@dataclasses.dataclass(frozen=True)
class Mutation:
    damage: object
    weight: int        # turns in each file's cycle: bit flips, the likeliest damage, take more
    applies: object    # (size, target) -> bool


MUTATIONS = {
    "flip-bits": Mutation(flip_bits, 3, never_empty),
    "zero-page": Mutation(zero_page, 1, lambda size, t: t.block and size >= t.block),
    "zero-range": Mutation(zero_range, 1, never_empty),
    "swap": Mutation(swap, 1, lambda size, t: size >= 2 * t.block if t.block else size >= 3),
    "foreign-page": Mutation(foreign_page, 1, lambda size, t: bool(t.donors) and size >= t.block),
    "truncate": Mutation(truncate, 1, never_empty),
    "append-zeros": Mutation(append_zeros, 1, lambda size, t: True),
}


def mutation_cycle(target, seed, chosen):
    """The order in which a file's mutants take the chosen mutations that apply to it."""
    size = os.path.getsize(target.path)
    cycle = [name for name, m in MUTATIONS.items() if name in chosen and m.applies(size, target)
             for _ in range(m.weight)]
    random.Random(f"{seed}/{target.table.label}/{target.file}").shuffle(cycle)
    return cycle


# --- running and sorting ---------------------------------------------------------

def commands_for(target):
    commands = list(target.table.layout.commands)
    if FILE_KINDS[target.kind].definition:
        commands += [STRUCTURE, CHECK]
    return commands


def argv(tool, command, folder, table):
    if command == CHECK:
        return [tool, "check", folder, table.database]
    return [tool, command[0], folder, table.database, table.name, *command[1:]]


def run(args):
    with subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True,
                          env={**os.environ, **ENVIRONMENT}) as p:
        try:
            out, err = p.communicate(timeout=HANG_SECONDS)
            return Outcome(p.returncode, out, err)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            out, err = p.communicate()
            return Outcome(p.returncode, out, err, hung=True)


def classify(outcome, intact):
    if outcome.hung:
        return "hang"
    if outcome.status < 0 or SANITIZER_REPORT.search(outcome.stderr):
        return "crash"
    if outcome.status != 0:
        return "detected" if outcome.stderr.strip() else "mute"
    return "unchanged" if outcome.stdout == intact.stdout else "SILENT"


def worst(classes):
    return min(classes, key=CLASSES.index)


def is_failure(mutant):
    return mutant.verdict in FAILING or (mutant.verdict == "SILENT" and FILE_KINDS[mutant.target.kind].checksum)


def link_copy(intact_folder, work, damaged_path, data):
    """A copy of the table's data folder whose files are links to the intact ones but the damaged file."""
    shutil.rmtree(work, ignore_errors=True)
    for top, _, names in os.walk(intact_folder):
        there = os.path.join(work, os.path.relpath(top, intact_folder))
        os.makedirs(there, exist_ok=True)
        for name in names:
            path = os.path.join(top, name)
            if path != damaged_path:
                os.link(path, os.path.join(there, name))
    with open(os.path.join(work, os.path.relpath(damaged_path, intact_folder)), "wb") as f:
        f.write(data)


def link_or_copy(source, target):
    """Kept mutants share the intact files (an ibdata1 is up to 80 MB) where the file system allows."""
    try:
        os.link(source, target)
    except OSError:
        shutil.copyfile(source, target)


class Runner:
    def __init__(self, tool, root, seed):
        self.tool, self.root, self.seed = tool, root, seed
        self.intact = {}

    def intact_outcome(self, table, command):
        key = (table.label, command)
        if key not in self.intact:
            folder = os.path.join(self.root, "intact", table.label)
            self.intact[key] = run(argv(self.tool, command, folder, table))
        return self.intact[key]

    def check_intact(self, targets):
        """Tables whose intact files do not read cleanly are left out, with why."""
        broken = set()
        for t in targets:
            for command in commands_for(t):
                o = self.intact_outcome(t.table, command)
                if o.status != 0 or o.hung:
                    print(f"left out {t.table.label}: intact `{' '.join(command)}` ends with {o.status}: "
                          f"{o.stderr.decode(errors='replace').strip()[:300]}", file=sys.stderr)
                    broken.add(t.table.label)
        return [t for t in targets if t.table.label not in broken]

    def mutant(self, target, number):
        started = time.monotonic()
        with open(target.path, "rb") as f:
            data = bytearray(f.read())
        name = target.cycle[number % len(target.cycle)]
        rng = random.Random(f"{self.seed}/{target.table.label}/{target.file}/{number}")
        note = MUTATIONS[name].damage(data, target, rng)
        intact_folder = os.path.join(self.root, "intact", target.table.label)
        work = os.path.join(self.root, "work")
        link_copy(intact_folder, work, target.path, data)
        results = []
        for command in commands_for(target):
            outcome = run(argv(self.tool, command, work, target.table))
            results.append((command, classify(outcome, self.intact_outcome(target.table, command)), outcome))
        verdict = worst(c for _, c, _ in results)
        return Mutant(target, number, name, note, verdict, time.monotonic() - started, results)


# --- keeping and reporting ------------------------------------------------------

def keep(mutant, runner, out):
    """Keeps a failing mutant's data folder with a note of its damage and a script that replays it."""
    folder = os.path.join(out, mutant.verdict, mutant.ident)
    shutil.rmtree(folder, ignore_errors=True)  # the same mutant of an earlier run
    shutil.copytree(os.path.join(runner.root, "work"), os.path.join(folder, "data"), copy_function=link_or_copy)
    table = mutant.target.table
    lines = [f"mutant {mutant.ident} (seed {runner.seed}): {mutant.verdict}",
             f"table {table.database}.{table.name} of {table.source}",
             f"damaged file {mutant.target.file} ({mutant.target.kind}): {mutant.mutation}, {mutant.note}", ""]
    replay = ["#!/bin/sh", "# Runs the commands of the mutant again over its damaged files.", 'cd "$(dirname "$0")"',
              *[f"export {k}={v}" for k, v in ENVIRONMENT.items()]]
    for command, verdict, outcome in mutant.commands:
        args = argv(runner.tool, command, "data", table)
        shown = " ".join(shlex.quote(a) for a in args)
        lines += [f"$ {shown}", f"  {verdict}, exit status {outcome.status}"]
        lines += ["  " + line for line in outcome.stderr.decode(errors="replace").splitlines()[:40]]
        replay.append(shown)
        name = "-".join(command)
        with open(os.path.join(folder, f"{name}.out"), "wb") as f:
            f.write(outcome.stdout)
        with open(os.path.join(folder, f"{name}.intact.out"), "wb") as f:
            f.write(runner.intact_outcome(table, command).stdout)
    with open(os.path.join(folder, "note.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(folder, "replay.sh"), "w") as f:
        f.write("\n".join(replay) + "\n")
    os.chmod(os.path.join(folder, "replay.sh"), 0o755)
    return folder


def summary(mutants, elapsed):
    rows = collections.defaultdict(lambda: collections.Counter())
    seconds = collections.Counter()
    for m in mutants:
        rows[(m.target.kind, m.mutation)][m.verdict] += 1
        seconds[(m.target.kind, m.mutation)] += m.seconds
    head = f"{'file kind':<14}{'mutation':<14}" + "".join(f"{c:>10}" for c in CLASSES) + f"{'all':>7}{'seconds':>9}"
    print(head)
    print("-" * len(head))
    for kind in FILE_KINDS:
        present = [m for m in MUTATIONS if (kind, m) in rows]
        for mutation in present + ["all"] * (len(present) > 1):
            keys = [(kind, m) for m in present] if mutation == "all" else [(kind, mutation)]
            counts = sum((rows[k] for k in keys), collections.Counter())
            print(f"{kind:<14}{mutation:<14}" + "".join(f"{counts[c]:>10}" for c in CLASSES)
                  + f"{sum(counts.values()):>7}{sum(seconds[k] for k in keys):>9.1f}")
    totals = collections.Counter(m.verdict for m in mutants)
    print("-" * len(head))
    print(f"{'all':<28}" + "".join(f"{totals[c]:>10}" for c in CLASSES) + f"{len(mutants):>7}{elapsed:>9.1f}")


def kinds_report(mutants):
    print("\nA changed value must be detected in:")
    for kind, k in FILE_KINDS.items():
        if k.checksum:
            silent = sum(1 for m in mutants if m.target.kind == kind and m.verdict == "SILENT")
            print(f"  {kind:<14}{k.values}  ({silent} SILENT: failures)")
    print("It may go unsaid (SILENT is no failure) in:")
    for kind, k in FILE_KINDS.items():
        if not k.checksum:
            silent = sum(1 for m in mutants if m.target.kind == kind and m.verdict == "SILENT")
            print(f"  {kind:<14}{k.values}  ({silent} SILENT)")


def findings_report(failures):
    print(f"\n{len(failures)} failures" + (":" if failures else "."))
    for m, folder in failures:
        print(f"  {m.verdict:<7} {m.ident}: {m.mutation}, {m.note}")
        print(f"          {os.path.join(folder, 'replay.sh')}")


# --- the run ------------------------------------------------------------------

def parse_args(argv_):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--mutants", type=int, default=20, help="mutants per damaged file of each table")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--time-limit", type=float, default=600, help="seconds; no mutant starts after them")
    p.add_argument("--build", default=os.path.join(REPO, "build-sanitize"))
    p.add_argument("--out", help="where mutants worth a look are kept (BUILD/mutants/seed-S by default)")
    p.add_argument("--mutation", action="append", choices=list(MUTATIONS), metavar="NAME",
                   help="only this mutation of MUTATIONS (again for more)")
    p.add_argument("--table", action="append", choices=[t.label for t in TABLES], metavar="LABEL",
                   help="only this table of TABLES (again for more)")
    return p.parse_args(argv_)


def prepare(tables, mutations, seed, root):
    """The files of the tables that some of the mutations apply to."""
    targets = []
    for table in tables:
        targets += copy_intact(table, root, sys.stderr)
    give_donors(targets)
    for t in targets:
        t.cycle = mutation_cycle(t, seed, mutations)
    return [t for t in targets if t.cycle]


def main(argv_):
    args = parse_args(argv_)
    tool = os.path.abspath(os.path.join(args.build, "tavrin-recover"))
    if not os.access(tool, os.X_OK):
        print(f"no {tool}: build it with bash scripts/build.sh --sanitize", file=sys.stderr)
        return 2
    out = os.path.abspath(args.out or os.path.join(args.build, "mutants", f"seed-{args.seed}"))
    started = time.monotonic()
    root = tempfile.mkdtemp(prefix="tavrin-mutate-")
    mutants, failures = [], []
    try:
        runner = Runner(tool, root, args.seed)
        tables = [t for t in TABLES if not args.table or t.label in args.table]
        targets = runner.check_intact(prepare(tables, args.mutation or list(MUTATIONS), args.seed, root))
        print(f"{len(targets)} files of {len({t.table.label for t in targets})} tables, "
              f"up to {args.mutants} mutants each", file=sys.stderr)
        # The files take turns, so that a time limit cuts each one's share alike.
        for number, target in ((n, t) for n in range(args.mutants) for t in targets):
            if time.monotonic() - started > args.time_limit:
                print("time limit reached", file=sys.stderr)
                break
            m = runner.mutant(target, number)
            mutants.append(m)
            if len(mutants) % 200 == 0:
                print(f"{len(mutants)} mutants, {time.monotonic() - started:.0f} s", file=sys.stderr)
            if m.verdict in FAILING or m.verdict == "SILENT":
                folder = keep(m, runner, out)
                print(f"{m.verdict} {m.ident}: {m.mutation}, {m.note}\n  kept in {folder}", file=sys.stderr)
                if is_failure(m):
                    failures.append((m, folder))
    except KeyboardInterrupt:
        print("interrupted: the summary holds the mutants run so far", file=sys.stderr)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    summary(mutants, time.monotonic() - started)
    kinds_report(mutants)
    findings_report(failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
