#!/usr/bin/env python3
"""Writes NAME.expected.tsv beside each real table: the values a reader must
see, decoded here independently of the C++ reader.

One line per record that is not marked deleted ('*'), one tab-separated cell
per field: \\N for null, T/F for logicals, YYYY-MM-DD for dates, numbers with
repr(), texts with backslash, tab and line breaks escaped. Texts are decoded
from the code page of the header's language driver (1250 when unknown), with
"?" for a byte the code page does not define.

Run it again only when a table here changes: python3 expect.py
"""
import glob
import os
import struct

# Language driver byte -> code page, for the drivers of these tables.
DRIVERS = {0x01: 437, 0x02: 850, 0x03: 1252, 0x57: 1252, 0x64: 852, 0x65: 866, 0xC8: 1250, 0xC9: 1251}


def code_page(ldid):
    return DRIVERS.get(ldid, 1250)


def decode(raw, cp):
    return raw.decode("cp%d" % cp, errors="replace").replace("\ufffd", "?")


def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def number(text):
    text = text.strip()
    if not text or text.startswith("*"):
        return None
    try:
        return float(text)
    except ValueError:
        return None


def memo(path, version, field_width, raw, cp):
    base = os.path.splitext(path)[0]
    fox = version in (0x30, 0x31, 0x32, 0xF5)
    candidates = [base + e for e in ((".fpt", ".FPT") if fox else (".dbt", ".DBT"))]
    memo_path = next((c for c in candidates if os.path.exists(c)), None)
    if field_width == 4:
        block = struct.unpack("<I", raw)[0]
    else:
        try:
            block = int(raw.strip() or b"0")
        except ValueError:
            return None
    if block == 0 or memo_path is None:
        return None
    data = open(memo_path, "rb").read()
    if fox:
        size = struct.unpack(">H", data[6:8])[0]
        at = block * size
        kind, length = struct.unpack(">II", data[at:at + 8])
        if kind != 1:
            return None
        text = data[at + 8:at + 8 + length]
    else:
        at = block * 512
        end = data.find(b"\x1a", at)
        text = data[at:end if end >= 0 else len(data)]
    text = text.rstrip(b"\0 ")
    return decode(text, cp) if text else None


def cell(path, version, field, raw, cp):
    name, kind, width, decimals = field
    if kind == "C":
        text = raw.rstrip(b" \0")
        return escape(decode(text, cp)) if text else None
    if kind in "NF":
        v = number(raw.decode("ascii", "replace"))
        return None if v is None else repr(v)
    if kind == "L":
        t = raw.strip()[:1]
        return "T" if t in (b"T", b"t", b"Y", b"y") else "F" if t in (b"F", b"f", b"N", b"n") else None
    if kind == "D":
        t = raw.strip()
        if len(t) != 8 or not t.isdigit():
            return None
        y, m, d = int(t[:4]), int(t[4:6]), int(t[6:])
        import datetime
        try:
            datetime.date(y, m, d)
        except ValueError:
            return None
        return "%04d-%02d-%02d" % (y, m, d)
    if kind == "I" and width == 4:
        return repr(float(struct.unpack("<i", raw)[0]))
    if kind == "B" and width == 8:
        return repr(struct.unpack("<d", raw)[0])
    if kind == "Y" and width == 8:
        return repr(struct.unpack("<q", raw)[0] / 10000.0)
    if kind == "M":
        v = memo(path, version, width, raw, cp)
        return None if v is None else escape(v)
    return None


def fields_of(data):
    header_length, record_length = struct.unpack("<HH", data[8:12])
    fields, pos = [], 32
    while pos + 32 <= header_length and data[pos] != 0x0D:
        d = data[pos:pos + 32]
        fields.append([d[:11].split(b"\0")[0], chr(d[11]), d[16], d[17]])
        pos += 32
    if sum(f[2] for f in fields) + 1 != record_length:
        for f in fields:  # wide character fields: the decimals byte is the width's high byte
            if f[1] == "C":
                f[2] += 256 * f[3]
                f[3] = 0
    return fields


def expect(path):
    data = open(path, "rb").read()
    version = data[0]
    count = struct.unpack("<I", data[4:8])[0]
    header_length, record_length = struct.unpack("<HH", data[8:12])
    cp = code_page(data[29])
    fields = fields_of(data)
    lines = []
    for r in range(count):
        rec = data[header_length + r * record_length:header_length + (r + 1) * record_length]
        if rec[:1] == b"*":
            continue
        at, cells = 1, []
        for f in fields:
            v = cell(path, version, f, rec[at:at + f[2]], cp)
            cells.append("\\N" if v is None else v)
            at += f[2]
        lines.append("\t".join(cells))
    with open(path + ".expected.tsv", "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines) + ("\n" if lines else ""))


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for p in sorted(glob.glob(os.path.join(here, "*.dbf")) + glob.glob(os.path.join(here, "*.DBF"))):
        expect(p)
