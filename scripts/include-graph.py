#!/usr/bin/env python3
"""Include graph of the code folders: prints which folder includes which (with
counts) and fails on any include against the layering below, or on a Qt header
in a pure folder.

    scripts/include-graph.py [ROOT]        (ROOT defaults to the checkout)
"""
import os
import re
import sys

# Layering, lowest first. A folder may include itself and the folders named
# here; "*" means any folder. Folders that do not exist yet are simply empty.
# "pure" folders are plain C++: no Qt header may appear in them.
#
#   folder     pure  may include
RULES = """
    base       yes   -
    diff       yes   base
    model      yes   base diff
    tool       yes   base diff model
    tool-qt    no    base diff model tool
    ui         no    base diff model
    document   no    base diff model ui
    hexedit    no    base diff model ui document
    tables     no    base diff model ui document
    browser    no    base diff model ui document hexedit tables
    editor     no    base diff model ui document hexedit tables browser
    tests      no    *
    bench      no    *
    fuzz       no    *
"""
# tool-qt is Patchwise's dialog and program (these files of tool/); the rest
# of tool/ is its pure core.
TOOL_QT_FILES = {"ToolDialog.h", "ToolDialog.cpp", "main.cpp"}

# >>> Switch to True once base/ holds the file I/O and byte helpers: the
# >>> tool core then may not include model/ at all. Until then it may include
# >>> these model headers only.
TOOL_CORE_WITHOUT_MODEL = True
TOOL_CORE_MODEL_HEADERS = {"model/FileIO.h", "model/Bytes.h"}

SOURCE_EXT = (".h", ".hpp", ".cpp", ".cc", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^Qt[A-Za-z]*/|^Q[A-Z][A-Za-z0-9]*$|^q[a-z0-9_]+\.h$")


def parse_rules():
    rules = {}
    for line in RULES.strip().splitlines():
        folder, pure, *allowed = line.split()
        allowed = [] if allowed == ["-"] else allowed
        rules[folder] = (pure == "yes", set(allowed))
    return rules


def group(rel):
    """The rules' name for a file given relative to the root."""
    parts = rel.split("/")
    if parts[0] == "tool" and len(parts) == 2 and parts[1] in TOOL_QT_FILES:
        return "tool-qt"
    return parts[0]


def resolve(root, includer, name):
    """The included file relative to root, as the build's include paths find
    it (the including file's folder, the root, tests/), else None."""
    for base in (os.path.dirname(os.path.join(root, includer)), root, os.path.join(root, "tests")):
        path = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(path):
            rel = os.path.relpath(path, root)
            return None if rel.startswith("..") else rel.replace(os.sep, "/")
    # A header of a folder that is not there (yet): named by its folder.
    return name if "/" in name else None


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    rules = parse_rules()
    folders = sorted({f.split("-")[0] for f in rules}, key=list(rules).index)
    edges, qt, bad = {}, {}, []
    for top in folders:
        for dirpath, _, files in os.walk(os.path.join(root, top)):
            for f in sorted(files):
                if not f.endswith(SOURCE_EXT):
                    continue
                rel = os.path.relpath(os.path.join(dirpath, f), root).replace(os.sep, "/")
                src = group(rel)
                pure, allowed = rules[src]
                with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as fh:
                    for n, line in enumerate(fh, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        kind, name = m.groups()
                        close = ">" if kind == "<" else '"'
                        where = f"{rel}:{n}: {kind}{name}{close}"
                        target_rel = None if kind == "<" else resolve(root, rel, name)
                        if not target_rel:
                            if QT_HEADER.search(name):
                                qt[src] = qt.get(src, 0) + 1
                                if pure:
                                    bad.append(f"{where}  Qt header in pure {src}/")
                            continue
                        dst = group(target_rel)
                        if dst not in rules:
                            continue
                        edges.setdefault(src, {}).setdefault(dst, 0)
                        edges[src][dst] += 1
                        if dst == src or "*" in allowed:
                            continue
                        if dst not in allowed:
                            bad.append(f"{where}  {src}/ may not include {dst}/")
                        elif src == "tool" and dst == "model":
                            if TOOL_CORE_WITHOUT_MODEL:
                                bad.append(f"{where}  the tool core may not include model/ (base/ serves it)")
                            elif target_rel not in TOOL_CORE_MODEL_HEADERS:
                                only = " and ".join(sorted(TOOL_CORE_MODEL_HEADERS))
                                bad.append(f"{where}  the tool core takes only {only} from model/")

    print("folder     includes (files' #include lines per folder)")
    for src in rules:
        if src not in edges and src not in qt:
            continue
        row = ", ".join(f"{d} {c}" for d, c in sorted(edges.get(src, {}).items(), key=lambda e: list(rules).index(e[0])))
        if src in qt:
            row += f"{', ' if row else ''}Qt {qt[src]}"
        print(f"{src:<10} {row}")
    if bad:
        print(f"\n{len(bad)} include(s) against the layering:", file=sys.stderr)
        for b in bad:
            print("  " + b, file=sys.stderr)
        return 1
    print("\ninclude layering kept")
    return 0


if __name__ == "__main__":
    sys.exit(main())
