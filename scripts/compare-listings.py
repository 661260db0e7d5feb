#!/usr/bin/env python3
"""Compares the `tarlo --list` output of two builds on the sample files and the
fuzz corpora, with and without --sorted, --values and --json.

    scripts/compare-listings.py OLD_TARLO NEW_TARLO [--strip-hex] [--json | --text] [CORPUS_KIND...]

The inputs are those of scripts/listing_inputs.py.
--strip-hex drops the new build's hex lines of raw bytes (under --values)
before comparing, for an old build that did not write them. --json and --text
limit the comparison to the JSON or the text listings. CORPUS_KIND
(image, dump, ...) limits the corpora listed. Prints each difference as it is
found and exits 1 when there is one.
"""
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

from listing_inputs import cases

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OPTIONS = [[], ["--sorted"], ["--values"], ["--values", "--sorted"], ["--json"], ["--json", "--sorted"]]
HEX_LINE = re.compile(rb"^ +[0-9a-f]{4,}:( [0-9a-f]{2}){1,16}$")


def listing(tarlo, options, air, defs):
    r = subprocess.run([tarlo, "--list", *options, "--definitions", defs, air], capture_output=True)
    return r.returncode, r.stdout, r.stderr


def compare(old, new, strip, air, defs, options):
    a = listing(old, options, air, defs)
    b = listing(new, options, air, defs)
    if strip:
        b = (b[0], b"".join(l for l in b[1].splitlines(True) if not HEX_LINE.match(l.rstrip(b"\n"))), b[2])
    if a == b:
        return None
    d = f"{' '.join(options) or '(plain)'} {air}"
    print("differs:", d, flush=True)
    return d


def main():
    flags = {"--strip-hex", "--json", "--text"}
    args = [a for a in sys.argv[1:] if a not in flags]
    strip = "--strip-hex" in sys.argv
    options = OPTIONS
    if "--json" in sys.argv:
        options = [o for o in OPTIONS if "--json" in o]
    elif "--text" in sys.argv:
        options = [o for o in OPTIONS if "--json" not in o]
    if len(args) < 2:
        sys.exit(__doc__)
    old, new, *kinds = args
    with tempfile.TemporaryDirectory() as work:
        jobs = [(air, defs, o) for air, defs in cases(SOURCE, work, kinds) for o in options]
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            diffs = [d for d in pool.map(lambda j: compare(old, new, strip, *j), jobs) if d]
    print(f"{len(jobs)} listings compared, {len(diffs)} differ")
    sys.exit(1 if diffs else 0)


if __name__ == "__main__":
    main()
