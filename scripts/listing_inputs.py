"""The files the listing checks run `tarlo --list` on: the samples, and every
fuzz-corpus file. Image corpus inputs are split as the fuzz target reads them
(a 16-bit little-endian length, that many bytes of definitions, then the AIR
image) into WORK and listed with their own definitions; every other file is
listed as an AIR file with data/Tarlo.ini.
"""
import os


def cases(source, work, kinds=()):
    """Yields (air, definitions) pairs; KINDS (image, dump, ...) limits the corpora."""
    defs = os.path.join(source, "data", "Tarlo.ini")
    samples = os.path.join(source, "data", "samples")
    for name in sorted(os.listdir(samples)):
        if name.endswith(".air"):
            yield os.path.join(samples, name), defs
    corpus = os.path.join(source, "fuzz", "corpus")
    for kind in sorted(os.listdir(corpus)):
        if kinds and kind not in kinds:
            continue
        for name in sorted(os.listdir(os.path.join(corpus, kind))):
            path = os.path.join(corpus, kind, name)
            if kind != "image":
                yield path, defs
                continue
            data = open(path, "rb").read()
            n = int.from_bytes(data[:2].ljust(2, b"\0"), "little")
            base = os.path.join(work, name)
            with open(base + ".ini", "wb") as f:
                f.write(data[2:2 + n])
            with open(base + ".air", "wb") as f:
                f.write(data[2 + n:])
            yield base + ".air", base + ".ini"
