#!/usr/bin/env python3
"""`patchwise diff --json` is strict JSON (UTF-8, no NaN or Infinity) and says
what the text diff says: the listing rebuilt from the JSON equals
`patchwise diff` line by line (table numbers compared as numbers), and both
exit alike. Pairs: the samples, edits of the sample (every kind of difference,
hostile texts among them), and neighbouring files of the dump fuzz corpus.

    json_diff.py PATCHWISE SOURCE_DIR
"""
import concurrent.futures
import json
import os
import random
import struct
import subprocess
import sys
import tempfile

NON_FINITE = {"nan", "-nan", "inf", "-inf"}


def printable(text):
    out = []
    for ch in text:
        c = ord(ch)
        assert c < 256, f"not Latin-1: {text!r}"
        esc = {"\n": "\\n", "\r": "\\r", "\t": "\\t", "\\": "\\\\", '"': '\\"'}
        if ch in esc:
            out.append(esc[ch])
        elif c < 0x20 or c == 0x7F:
            out.append(f"\\x{c:02x}")
        else:
            out.append(ch)
    return "".join(out)


def header(r):
    occ = f" (record {r['occurrence'] + 1} with this id)" if r["occurrence"] else ""
    return f"Record: {r['idHex']} {r['name']}{occ}"


def none_or(side, item, fmt):
    return fmt(item[side]) if side in item else "(none)"


def number(v):
    return None if v is None else float(v)


def change_lines(c):
    """Expected lines of one change: a string, or (head, numbers...) for tables."""
    k = c["kind"]
    if k == "field":
        if c["old"] is None or c["new"] is None:
            return []
        if c["type"] == "TEXT":
            return [f"  {c['name']} (TEXT at 0x{c['offset']:x}): \"{printable(c['old'])}\" -> "
                    f"\"{printable(c['new'])}\""]
        return [f"  {c['name']} ({c['type']} at 0x{c['offset']:x}): {c['old']} -> {c['new']}"]
    if k == "tableSize":
        o, n = c["old"], c["new"]
        if c["table"] == "grid":
            return [f"  columns: {o['columns']}  rows: {o['rows']} -> columns: {n['columns']}  rows: {n['rows']}"]
        return [f"  Points: {o['rows']} -> {n['rows']}"]
    if k == "value":
        return [f"  value[{c['index']}]: " + none_or("old", c, str) + " -> " + none_or("new", c, str)]
    if k == "point":
        sides = [tuple(number(x) for x in c[s]) if s in c else "(none)" for s in ("old", "new")]
        return [(f"  point[{c['index']}]:", sides)]
    if k == "cell":
        sides = [(number(c[s]),) if s in c else "(none)" for s in ("old", "new")]
        return [(f"  cell[{c['row']}][{c['column']}]:", sides)]
    assert k == "bytes", k
    return [byte_line(c)]


def byte_line(c):
    spaced = lambda h: " ".join(h[i:i + 2] for i in range(0, len(h), 2)) or "(none)"
    where = f"byte 0x{c['from']:x}" if c["to"] - c["from"] == 1 else f"bytes 0x{c['from']:x}-0x{c['to'] - 1:x}"
    assert c["to"] > c["from"]
    return f"  {where}: {spaced(c['old'])} -> {spaced(c['new'])}"


def hex_block(h):
    data = bytes.fromhex(h)
    lines = [f"Points: {len(data)}"]
    for off in range(0, len(data), 16):
        lines.append("".join(f"{b:02x} " for b in data[off:off + 16]))
    return lines


def expected(doc):
    """The listing as blocks of lines, each block after a blank line."""
    blocks = []
    if "revision" in doc:
        r = doc["revision"]
        blocks.append([f"Revision text: \"{printable(r['old'])}\" -> \"{printable(r['new'])}\""])
    for r in doc["records"]:
        if r["change"] == "only-old":
            blocks.append([f"Only in OLD: {header(r)}", f"Length {r['length']}"])
        elif r["change"] == "only-new":
            blocks.append([f"Only in NEW: {header(r)}", ("body", r["hex"])])
        else:
            lines = [header(r)]
            if r["oldLength"] != r["newLength"]:
                lines.append(f"Length {r['oldLength']} -> {r['newLength']}")
            for c in r["changes"]:
                lines += change_lines(c)
            blocks.append(lines)
    if doc["moved"]:
        blocks.append(["The records are in another order."] + [f"Moved: {header(m)}" for m in doc["moved"]])
    if doc["trailer"]:
        blocks.append(["Bytes after the last record:"] + [byte_line(c) for c in doc["trailer"]])
    if doc["different"] and not blocks:
        blocks.append(["The files differ."])
    return blocks


def same_line(want, got):
    if isinstance(want, str):
        return want == got
    head, sides = want
    if not got.startswith(head + " "):
        return False
    parts = got[len(head) + 1:].split(" -> ")
    if len(parts) != 2:
        return False
    for side, text in zip(sides, parts):
        if side == "(none)":
            if text != "(none)":
                return False
            continue
        tokens = text.split("\t")
        if len(tokens) != len(side):
            return False
        for n, tok in zip(side, tokens):
            if (n is None) != (tok in NON_FINITE) or (n is not None and abs(float(tok) - n) > 5e-7 * max(1, abs(n))):
                return False
    return True


def agree(blocks, text):
    got = text.split("\n")
    if got[-1] == "":
        got.pop()
    want = []
    for b in blocks:
        want.append("")
        want += b
    if want:
        want.pop(0)
    i = 0
    for w in want:
        if isinstance(w, tuple) and w[0] == "body":
            # A new record's body: its bytes in hex, or the dump's table listing.
            start = i
            while i < len(got) and got[i] != "":
                i += 1
            body = got[start:i]
            if body != hex_block(w[1]) and not (body and body[0].split(":")[0] in ("Points", "columns")):
                return f"line {start + 1}: body {body[:3]!r} is not the record's bytes"
            continue
        if i >= len(got):
            return f"the listing ends before {w!r}"
        if not same_line(w, got[i]):
            return f"line {i + 1}: {w!r} from JSON, {got[i]!r} listed"
        i += 1
    if i != len(got):
        return f"line {i + 1}: {got[i]!r} listed, nothing from JSON"
    return None


def reject_constant(name):
    raise ValueError(f"not JSON: {name}")


def check(pw, old, new, defs):
    base = [pw, "diff", "--definitions", defs]
    j = subprocess.run(base + ["--json", old, new], capture_output=True)
    t = subprocess.run(base + [old, new], capture_output=True)
    name = f"{os.path.basename(old)} {os.path.basename(new)}"
    if j.returncode != t.returncode or j.returncode not in (0, 1):
        return f"{name}: exit {j.returncode} (JSON) / {t.returncode}: {j.stderr!r}"
    try:
        doc = json.loads(j.stdout.decode("utf-8", errors="strict"), parse_constant=reject_constant)
    except ValueError as e:
        return f"{name}: {e}"
    if doc["different"] != (j.returncode == 1):
        return f"{name}: different={doc['different']} but exit {j.returncode}"
    problem = agree(expected(doc), t.stdout.decode("latin-1"))
    return f"{name}: {problem}" if problem else None


def records(data):
    out, pos = [], 0
    while pos + 8 <= len(data):
        rid, n = struct.unpack_from("<II", data, pos)
        if pos + 8 + n > len(data):
            break
        out.append([rid, bytearray(data[pos + 8:pos + 8 + n])])
        pos += 8 + n
    return out, data[pos:]


def image(recs, trailer=b""):
    return b"".join(struct.pack("<II", r, len(d)) + bytes(d) for r, d in recs) + trailer


def edits(sample):
    """Edited copies of the sample: each kind of difference, alone and together."""
    rng = random.Random(25)
    recs, trailer = records(sample)

    def copy():
        return [[r, bytearray(d)] for r, d in recs]

    def with_text(rid, text):
        c = copy()
        for r in c:
            if r[0] == rid:
                r[1] = bytearray(text)
                break
        return c

    yield "hostile-text", image(with_text(0x1F5, b'Qu"ote\\back\x01\x7f\n\t\xe9\xff caf\xe9\0'))
    yield "hostile-maker", image(with_text(0x106, b"\x1b[31m\xa0\\\"\0"))
    for k in range(12):
        c = copy()
        for _ in range(1 + k % 4):
            r = rng.choice([r for r in c if r[1]])
            i = rng.randrange(len(r[1]))
            r[1][i] ^= 1 << rng.randrange(8)
        yield f"flips{k}", image(c)
    c = copy()
    del c[3]
    c.append([0x7777, bytearray(b"\x01\x02" * 11)])
    c.append([0x410, bytearray(b"\x05\x00\x06\x00")])
    yield "deleted-added", image(c)
    c = copy()
    c[1], c[5] = c[5], c[1]
    yield "moved", image(c)
    yield "trailer", image(copy(), b"xyz")
    c = copy()
    for r in c:
        if r[0] == 0x410:  # a list one value shorter
            r[1] = r[1][:-2]
        elif r[0] == 0x341:  # a point table one point shorter
            r[1] = r[1][:-16]
            r[1][0:4] = struct.pack("<i", (len(r[1]) - 4) // 16)
        elif r[0] == 0x511:  # grid cells that are not finite
            r[1][8:16] = struct.pack("<d", float("nan"))
            r[1][16:24] = struct.pack("<d", float("-inf"))
    yield "tables", image(c)
    c = copy()
    for r in c:
        if r[0] == 0x1F4:
            r[1] += b"\x01\x02\x03"
    yield "longer", image(c)


def cases(source, work):
    defs = os.path.join(source, "data", "Tarlo.ini")
    samples = os.path.join(source, "data", "samples")
    names = sorted(os.path.join(samples, n) for n in os.listdir(samples) if n.endswith(".air"))
    for a in names:
        for b in names:
            yield a, b, defs
    sample = os.path.join(samples, "sample.air")
    data = open(sample, "rb").read()
    for name, bytes_ in edits(data):
        path = os.path.join(work, name + ".air")
        with open(path, "wb") as f:
            f.write(bytes_)
        yield sample, path, defs
        yield path, sample, defs
    corpus = os.path.join(source, "fuzz", "corpus", "dump")
    files = sorted(os.path.join(corpus, n) for n in os.listdir(corpus))
    for a, b in zip(files[::3], files[1::3]):
        yield a, b, defs


def main():
    pw, source = sys.argv[1:]
    with tempfile.TemporaryDirectory() as work:
        jobs = list(cases(source, work))
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            problems = [p for p in pool.map(lambda c: check(pw, *c), jobs) if p]
    for p in problems[:20]:
        print(p)
    print(f"{len(jobs)} pairs compared as JSON, {len(problems)} disagree")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
