#!/usr/bin/env python3
"""Writes the hand-made seed corpora of the fuzz targets into fuzz/corpus/.

Run from anywhere; it rewrites only the files it names. Samples from
data/samples/*.air, when present, are added to the image, dump and update
corpora as they are.
"""
import pathlib
import struct
import zlib

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent

INI = b"""[Records]
1f4=Engine limits,record
1f4h=Limits of one engine.|They apply to every engine.
1f5=Type name,text
1f6=Curve,tbl16
1f7=Points,tbldb
1f8=Grid,tbl3d
1f9=Bank,ang16
1fa=Unknown width,1c
341=Lift curve,tbldb
404=Stamp table,tbldb
1199=Revision,text
[1f4]
1=0,int16,Idle speed
1h=Idle speed of the engine
2=2,bool,Has starter
3=6,double,Top temperature
4=e,4,Reserved
5=12,mach,Mach
6=16,aspd,Speed
7=1a,prpm,Prop
8=1c,fwgt,Weight
9=1e,m256,Scaled
10=20,thrust,Thrust
11=24,16pct,Percent
12=26,int8,Small
13=27,text,Label
14=200,int32,Beyond the record
"""

def rec(rid, data):
    return struct.pack("<II", rid, len(data)) + data

def points(n, start=0.0):
    out = struct.pack("<i", n)
    for i in range(n):
        out += struct.pack("<dd", start + i, (start + i) * 0.5)
    return out

def grid(rows, cols):
    out = struct.pack("<ii", rows, cols)
    for i in range(rows * cols):
        out += struct.pack("<d", i * 1.25)
    return out

FIELDS = (struct.pack("<hId", 700, 1, 451.5) + b"\0" * 4 + struct.pack("<iihhhihb", 20480, 128 * 250,
          1000, 512, 6500, 100, 16384, -1) + b"name\0")

IMAGES = {
    "empty": b"",
    "structured": rec(0x1F4, FIELDS) + rec(0x1F5, b"Cessna\0") + rec(0x1F6, struct.pack("<5H", 0, 10, 200, 3000, 65535)),
    "tables": rec(0x1F7, points(3)) + rec(0x1F8, grid(2, 3)) + rec(0x1F9, struct.pack("<h", -16380)),
    "duplicates": rec(0x1F4, FIELDS) + rec(0x1F4, FIELDS[:10]),
    "zero_length": rec(0x1F5, b"") + rec(0x1F6, b"\1\2"),
    "zero_id": rec(0, b"abc") + rec(0x1F6, b"\1\2"),
    "huge_length": struct.pack("<II", 0x1F6, 0xFFFFFFFF) + b"\1\2\3\4",
    "truncated_header": rec(0x1F6, b"\1\2") + b"\7\7\7",
    "short_data": struct.pack("<II", 0x1F5, 40) + b"abc",
    "bad_counts": rec(0x1F7, struct.pack("<i", 0x7FFFFFFF)) + rec(0x1F8, struct.pack("<ii", 0x10000, 0x10001)),
    "stamp": rec(0x404, points(20)) + rec(0x1199, b"\0" * 900) + rec(0x341, points(2)),
    "lists": rec(0x410, struct.pack("<3h", -1, 2, 300)) + rec(0x511, grid(2, 2)) + rec(0x341, points(1)),
}

def write(target, name, data):
    d = HERE / "corpus" / target
    d.mkdir(parents=True, exist_ok=True)
    (d / name).write_bytes(data)

def u16(n):
    return struct.pack("<H", n)

def main():
    samples = sorted((ROOT / "data" / "samples").glob("*.air"))
    for name, img in IMAGES.items():
        write("image", name, u16(len(INI)) + INI + img)
        write("image", name + "_nodefs", u16(0) + img)
    for s in samples:
        write("image", "sample_" + s.stem, u16(len(INI)) + INI + s.read_bytes())

    write("definitions", "example", struct.pack("<I", 0x1F4) + INI)
    write("definitions", "quirks", struct.pack("<I", 0x4A0) + b"""; comment
[RECORDS]
4A0 = " Quoted , INT16 "
4a0h='Two|lines'
[4a0]
1=0x1c,  Int16 ,A,B,Name, with commas
2=1c,20
3=none
4=NONE
201=0,int8,too far
[4a0]
1=dup
""" + b"x" * 300 + b"\n")

    codecs = {
        "int8": (3, b"-128", b"\x80"), "int16": (4, b"32767", b"\xff\x7f"),
        "int32": (5, b"-2147483648", b"\0\0\0\x80"), "double": (6, b"-12.5", struct.pack("<d", 1e300)),
        "text": (7, b"", b"abc\0def"), "prpm": (8, b"9591", struct.pack("<h", -5)),
        "ang16": (9, b"-90", struct.pack("<h", 32767)), "mach": (10, b"3.1999", struct.pack("<i", 1)),
        "aspd": (11, b"16777215.992", struct.pack("<i", 0x7FFFFFFF)), "tbl16": (12, b"", b"\1\2\3\4\5\6\7"),
        "tbldb": (13, b"", points(2)), "fwgt": (14, b"127.996", struct.pack("<h", -1)),
        "m256": (15, b"5021", struct.pack("<h", -32768)), "thrust": (16, b"2147483648", struct.pack("<i", 100)),
        "pct16": (17, b"-100", struct.pack("<h", 8192)), "tbl3d": (18, b"", grid(2, 3)),
        "bool": (2, b"", b"\0\1\0\0"), "raw": (0, b"1c", b"\xde\xad"),
    }
    for name, (code, text, data) in codecs.items():
        write("codecs", name, bytes([code, 7]) + u16(len(text)) + text + data)
    write("codecs", "tbl3d_overflow", bytes([18, 200]) + u16(1) + b"1" + struct.pack("<II", 1, 0x80000000) + b"\0" * 24)

TOOL_INI = INI + b"""[341]
1=0,int16,First
1h=help line
2=1c,ang16,Bank limit
3=0x1c,int16,Prefixed offset
4=1 c,16pct,Blank in offset
; comment=1,int8,x
5=20,text,Label
6=24
[0341]
[1199]
1=0,int32,Mark
[1f9]
1=0,prpm,Prop
2=2,mach,Mach
3=4,aspd,Speed
4=8,fwgt,W
5=a,m256,M
6=c,double,D
7=14,bool,B
8=18,thrust,T
9=1c,int8,S
"""

SCRIPT = b"""; a comment
field 341 1c ang16 12.5
field 341 0 16pct -0.5
field 341 0 int16 70000
field 1f9 0 prpm 2000
field 1f9 c double 1.5e3
field 9999 0 int8 1
text 1200 Hello|World
text revid Revision seven
text 1f5 Replaced name
delete 410
delete 9999
record: 341
Points: 2
0.000000 1.000000
2.500000 3.500000
record: 410
Points: 3
-1 2 30000
record: 511
columns: 2
rows: 2
1 2 3 4
record: 1f4
CANNOT
FIELD 0x341	0x1c	ANG16	12.500000	Bank limit
"""

def write_tool_seeds():
    samples = sorted((ROOT / "data" / "samples").glob("*.air"))
    write("tooldefs", "example", struct.pack("<I", 0x341) + TOOL_INI)
    write("tooldefs", "long_lines", struct.pack("<I", 0x1F4) + b"[records]\n" + b"1f4=" + b"n" * 300 + b",int16\n[1f4]\n1=0,int8," + b"x" * 600 + b"\n")
    images = dict(IMAGES)
    for smp in samples:
        images["sample_" + smp.stem] = smp.read_bytes()
    for name, img in images.items():
        for flags in (0, 1):
            write("dump", "%s_%d" % (name, flags), bytes([flags]) + u16(len(TOOL_INI)) + TOOL_INI + img)
        write("dump", name + "_nodefs", bytes([3]) + u16(0) + img)
        write("update", name, u16(len(TOOL_INI)) + TOOL_INI + u16(len(SCRIPT)) + SCRIPT + img)
    write("update", "comments_only", u16(0) + u16(12) + b"; nothing\n;\n" + IMAGES["stamp"])
    write("update", "unknown_type", u16(0) + u16(33) + b"field 404 4 int64 1\ndelete 404\n" + IMAGES["stamp"])

def recovery_record(edits, path=b"/nowhere/plane.air", version=1):
    """A recovery record: edits are (kind, ordinal, id, offset, label, old, new);
    kinds 0 bytes, 1 record data, 2 insert, 3 remove."""
    out = b"TARLOREC" + struct.pack("<IQ", version, 1700000000)
    out += struct.pack("<I", len(path)) + path + struct.pack("<qqQ", 0, 0, 0) + struct.pack("<I", len(edits))
    for kind, ordinal, rid, offset, label, old, new in edits:
        out += struct.pack("<BIIQ", kind, ordinal, rid, offset)
        for part in (label, old, new):
            out += struct.pack("<I", len(part)) + part
    return out + struct.pack("<I", zlib.crc32(out))

def write_recovery_seeds():
    img = IMAGES["structured"]
    seeds = {
        "bytes": [(0, 0, 0x1F4, 0, b"Edit Idle speed", FIELDS[:2], b"\x10\x02")],
        "all_kinds": [(0, 1, 0x1F5, 0, b"Edit", b"C", b"D"), (1, 2, 0x1F6, 0, b"", img[-10:], b"\1\2\3"),
                      (2, 3, 0x20, 0, b"Add Record 20", b"", b"new\0"), (3, 0, 0x1F4, 0, b"", FIELDS, b"")],
        "mismatch": [(0, 0, 0x1F4, 4, b"", b"\xff", b"\x01")],
        "empty": [],
    }
    for name, edits in seeds.items():
        write("recovery", name, b"\1" + u16(len(img)) + img + recovery_record(edits))
    write("recovery", "future", b"\0" + u16(len(img)) + img + recovery_record([], version=2))
    write("recovery", "insert_into_empty", b"\0" + u16(0) + recovery_record([(2, 0, 0x1F5, 0, b"", b"", b"x\0")]))

if __name__ == "__main__":
    write_tool_seeds()
    write_recovery_seeds()
    main()
