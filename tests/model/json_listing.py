#!/usr/bin/env python3
"""`tarlo --list --json` of every sample and fuzz-corpus file is strict JSON
(UTF-8, no NaN or Infinity) and says what `tarlo --list --values` says: the
text listing rebuilt from the JSON equals it line by line, table numbers
compared as numbers.

    json_listing.py TARLO SOURCE_DIR [CORPUS_KIND...]

CORPUS_KIND (image, dump, ...) limits the corpora listed; the test suite lists
the image corpus, whose inputs carry their own definitions (test_model parses
the JSON of every corpus file in-process).
"""
import concurrent.futures
import json
import os
import subprocess
import sys
import tempfile

OUTSIDE = " (outside record)"
NON_FINITE = {"nan", "-nan", "inf", "-inf"}


def escape(text):
    """The listing's escapes of a Latin-1 text (given as code points < 256)."""
    out = []
    for ch in text:
        c = ord(ch)
        assert c < 256, f"not Latin-1: {text!r}"
        if ch in "\r\n\t\\":
            out.append({"\r": "\\r", "\n": "\\n", "\t": "\\t", "\\": "\\\\"}[ch])
        elif c < 0x20 or c == 0x7F:
            out.append(f"\\x{c:02x}")
        else:
            out.append(ch)
    return "".join(out)


def item_text(item):
    if item.get("outside"):
        return item["name"] + OUTSIDE
    return item["name"] + ("=" + item["value"] if "value" in item else "")


def hex_lines(hexes, indent):
    data = bytes.fromhex(hexes)
    for off in range(0, len(data), 16):
        yield f"{indent}{off:04x}: " + " ".join(f"{b:02x}" for b in data[off:off + 16])


def value_lines(item, indent):
    """Expected lines under an item; numbers as floats (None for null)."""
    t = item["type"]
    if item.get("outside"):
        return
    if t == "raw":
        yield from hex_lines(item["hex"], indent)
    elif t == "tbl16":
        for k, v in enumerate(item["values"]):
            yield f"{indent}[{k}] {v}"
    elif t == "tbldb" and "points" in item:
        for k, (x, y) in enumerate(item["points"]):
            yield (f"{indent}[{k}]", x, y)
    elif t == "tbl3d" and "groups" in item:
        if "grid" not in item:
            n = len(item["hex"]) // 2
            yield f"{indent}({item['groups']} x {item['rows']} values do not fit in {n} bytes)"
        else:
            for k, row in enumerate(item["grid"]):
                yield (f"{indent}row {k}:", *row)


def expected_lines(doc):
    yield escape(doc["file"])
    for r in doc["records"]:
        yield f"  {r['idHex']}  " + escape(item_text(r))
        yield from value_lines(r, "    ")
        for f in r.get("fields", []):
            yield "    " + escape(item_text(f))
            yield from value_lines(f, "      ")
    t = doc["trailing"]
    if t:
        yield f"  ({t['length']} trailing bytes)"
        yield from hex_lines(t["hex"], "    ")


def same_line(want, got):
    if isinstance(want, str):
        return want == got
    head, *numbers = want
    if not got.startswith(head + " "):
        return False
    tokens = got[len(head) + 1:].split(" ")
    if len(tokens) != len(numbers):
        return False
    for n, tok in zip(numbers, tokens):
        if n is None:
            if tok not in NON_FINITE:
                return False
        elif float(tok) != n:
            return False
    return True


def reject_constant(name):
    raise ValueError(f"not JSON: {name}")


def check(tarlo, air, defs):
    base = [tarlo, "--list", "--definitions", defs, air]
    j = subprocess.run(base[:2] + ["--json"] + base[2:], capture_output=True)
    t = subprocess.run(base[:2] + ["--values"] + base[2:], capture_output=True)
    if j.returncode != 0 or t.returncode != 0:
        return f"{air}: exit {j.returncode}/{t.returncode}"
    try:
        doc = json.loads(j.stdout.decode("utf-8", errors="strict"), parse_constant=reject_constant)
    except ValueError as e:
        return f"{air}: {e}"
    text = t.stdout.decode("utf-8").split("\n")
    assert text[-1] == ""
    want = list(expected_lines(doc))
    if len(want) != len(text) - 1:
        return f"{air}: {len(want)} lines from JSON, {len(text) - 1} listed"
    for n, (w, g) in enumerate(zip(want, text)):
        if not same_line(w, g):
            return f"{air}: line {n + 1}: {w!r} from JSON, {g!r} listed"
    return None


def main():
    tarlo, source, *kinds = sys.argv[1:]
    sys.path.insert(0, os.path.join(source, "scripts"))
    from listing_inputs import cases
    with tempfile.TemporaryDirectory() as work:
        jobs = list(cases(source, work, kinds))
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            problems = [p for p in pool.map(lambda c: check(tarlo, *c), jobs) if p]
    for p in problems[:20]:
        print(p)
    print(f"{len(jobs)} files listed as JSON, {len(problems)} disagree")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
