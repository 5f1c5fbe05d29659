#!/usr/bin/env python3
"""Seed corpora for the fuzz targets (fuzz/), made from what our generators and test data give:
the sample map the build writes (examples/, build/examples/map), the test standard
(tests/data/standard) and its saved queries.

Usage: fuzz-seeds.py MAPDIR OUTDIR
Writes OUTDIR/{block,dbf,access_sql,standard,gdaldriver,review}/ (see fuzz/FuzzInput.h for the block and dbf format).
"""
import os
import sqlite3
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BLOCK_NAMES = ["tn.crd", "tn.lin", "tn.are", "tn.pnt", "tn.tbx", "tn.ttx", "info.txt"]
# fuzz_gdaldriver's names: the block's files, then its tables of kind 1.
DRIVER_NAMES = BLOCK_NAMES + ["p0001.dbf", "l0001.dbf", "b0001.dbf"]


def record(index, data):
    return bytes([index]) + struct.pack("<I", len(data)) + data


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(map_dir, out):
    for sub in ("block", "dbf", "access_sql", "standard", "gdaldriver", "review"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)

    # Blocks of the sample map, and their attribute tables.
    n = 0
    for block in sorted(os.listdir(map_dir)):
        path = os.path.join(map_dir, block)
        if not os.path.isdir(path):
            continue
        seed = b""
        for i, name in enumerate(BLOCK_NAMES):
            p = os.path.join(path, name)
            if os.path.isfile(p):
                with open(p, "rb") as f:
                    seed += record(i, f.read())
        write(os.path.join(out, "block", block), seed)
        for i, name in enumerate(DRIVER_NAMES[len(BLOCK_NAMES):], len(BLOCK_NAMES)):
            p = os.path.join(path, name)
            if os.path.isfile(p):
                with open(p, "rb") as f:
                    seed += record(i, f.read())
        write(os.path.join(out, "gdaldriver", block), seed)
        for table in sorted(os.listdir(path)):
            if table.lower().endswith(".dbf"):
                with open(os.path.join(path, table), "rb") as f:
                    dbf = f.read()
                # The first field's name for a filter term.
                field = dbf[32:43].split(b"\0")[0] if len(dbf) > 43 else b"X"
                write(os.path.join(out, "dbf", "%s-%s" % (block, table)),
                      record(0, dbf) + record(1, field + b" = 1"))
                write(os.path.join(out, "dbf", "%s-%s-text" % (block, table)),
                      record(0, dbf) + record(1, field + b" = 'A'"))
                n += 1

    # The test standard: Jet files, damaged ones, and the SQLite form.
    std_dir = os.path.join(ROOT, "tests", "data", "standard")
    for name in ("StandardGXD.mdb", "StandardGXD_pw.mdb", "StandardGXD_badid.mdb"):
        with open(os.path.join(std_dir, name), "rb") as f:
            write(os.path.join(out, "standard", name), f.read())
    damaged_dir = os.path.join(std_dir, "damaged")
    for name in sorted(os.listdir(damaged_dir)):
        if name.endswith((".mdb", ".sqlite")):
            with open(os.path.join(damaged_dir, name), "rb") as f:
                write(os.path.join(out, "standard", "damaged-" + name), f.read())
    sqlite_path = os.path.join(out, "standard", "StandardGXD.sqlite")
    if os.path.exists(sqlite_path):
        os.remove(sqlite_path)
    db = sqlite3.connect(sqlite_path)
    with open(os.path.join(std_dir, "StandardGXD.sql"), encoding="utf-8") as f:
        db.executescript(f.read())
    queries = [row[0] for row in db.execute("select SQL from Dotazy")]
    db.commit()
    db.close()

    # Access SQL: the saved queries, and one of them as a saved query of another.
    extra = [
        "SELECT * FROM TestTab WHERE [Druh] Like \"A*\" And Len(Nz([Meno],\"\"))>0 ORDER BY 1;",
        "UPDATE TestTab SET TestTab.Plocha = IIf(IsNull([Plocha]), 0, CDbl([Plocha]) \\ 2) WHERE True;",
        "SELECT q.* FROM q INNER JOIN TestTab ON q.Cislo = TestTab.Cislo;",
        "DELETE FROM TestTab WHERE Cislo In (SELECT Cislo FROM q);",
    ]
    for i, q in enumerate(queries + extra):
        write(os.path.join(out, "access_sql", "q%02d" % i), q.encode("utf-8") + b"\0" + queries[0].encode("utf-8"))

    # The review: run files as the history writes them, and a dBASE table of the map as
    # the exceptions (the fuzzer finds the exceptions' own fields from its header).
    run = ("vexa-run\t1\nid\t20200101-000000-000\ndate\t2020-01-01 00:00:00\nversion\t1\nstandard\ts.mdb\n"
           "description\t\noptions\tlines 63\nchecked\tLE_00001.blk\tLE_00002.blk\nskipped\tLE_00009.blk: x\n"
           "complete\t0\nmerge\t0\nduration\t1.5\nfindings\t2\nnew\t1\npersisting\t1\nfixed\t1\nexcepted\t0\n"
           "F\tLE_00001.blk\tL\t3\t-11\t2\tnew\t\tneprípustná línia\n"
           "F\tLE_00002.blk\tB\t\t-92\t\tpersisting\t20191231-000000-000\tDB b0001.dbf neexistuje\n"
           "X\tLE_00002.blk\tT\t1\t-52\t3\t\t\tuhol otočenia\nend\n").encode("utf-8")
    tables = sorted(os.path.join(d, t) for d, _, ts in os.walk(map_dir) for t in ts if t.lower().endswith(".dbf"))
    for i, table in enumerate(tables[:4]):
        with open(table, "rb") as f:
            write(os.path.join(out, "review", "r%02d" % i), record(0, run) + record(1, run[:200]) + record(2, f.read()))
    write(os.path.join(out, "review", "run-only"), record(0, run))
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
