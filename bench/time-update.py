#!/usr/bin/env python3
"""Times `patchwise update` with the 10,000-line script on the inputs that
`bench_tool --write-files DIR [--repeated ...]` writes, against the same duty
for a plain copy: `cp FILE COPY && sync COPY` (coreutils sync given a file
fsyncs it; the update fsyncs its new file, its log and their folder).

    bench/time-update.py DIR PATCHWISE [OLD_PATCHWISE]

Every run starts from a fresh copy in a scratch folder beside DIR (the same
file system). Prints, per input and program, the best of RUNS (default 3)
wall and CPU (user + system, in microseconds from the kernel) times, each over
cp + sync's, and the peak memory (maximum resident set) over the file's size.
The first row is the program's start alone (`--version`)."""
import glob
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time


def measure(cmd, prepare, runs):
    """Best wall and best CPU seconds over runs, and the largest peak memory in KB."""
    best_wall = best_cpu = float("inf")
    peak = 0
    for _ in range(runs):
        prepare()
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env=dict(os.environ, SOURCE_DATE_EPOCH="0"))
        wall = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        best_wall, best_cpu = min(best_wall, wall), min(best_cpu, cpu)
        peak = max(peak, after.ru_maxrss)  # the largest child so far
    return best_wall, best_cpu, peak


def main():
    folder, new = sys.argv[1], sys.argv[2]
    programs = [("new", new)] + ([("old", sys.argv[3])] if len(sys.argv) > 3 else [])
    runs = int(os.environ.get("RUNS", "3"))
    work = tempfile.mkdtemp(prefix="time-update.", dir=os.path.join(folder, ".."))
    run = os.path.join(work, "run")
    try:
        print(f"{'input':15} {'program':8} {'wall':>8} {'cpu':>8} | {'wall/cp':>7} {'cpu/cp':>7} | {'peak mem':>8} {'/size':>6}")
        for label, prog in programs:
            w, c, _ = measure([prog, "--version"], lambda: None, runs)
            print(f"{'(start)':15} {label:8} {w:7.3f}s {c:7.3f}s")
        for air in sorted(glob.glob(os.path.join(folder, "*.air"))):
            base, name = air[:-4], os.path.basename(air)[:-4]
            size = os.stat(air).st_size

            def fresh():
                shutil.rmtree(run, ignore_errors=True)
                os.mkdir(run)
                shutil.copyfile(air, os.path.join(run, "u.air"))

            cw, cc, _ = measure(["sh", "-c", 'cp "$1" "$2" && sync "$2"', "sh", air,
                                 os.path.join(run, "copy.air")], fresh, runs)
            print(f"{name:15} {'cp+sync':8} {cw:7.3f}s {cc:7.3f}s")
            for label, prog in programs:
                # Peak memory: the largest child ever, so each program is measured in its own process.
                out = subprocess.run([sys.executable, __file__, "--one", base, prog, run, str(runs), air],
                                     capture_output=True, text=True, check=True).stdout.split()
                w, c, peak = float(out[0]), float(out[1]), int(out[2])
                print(f"{name:15} {label:8} {w:7.3f}s {c:7.3f}s | {w / cw:6.1f}x {c / max(cc, 1e-3):6.1f}x |"
                      f" {peak / 1024:5.0f} MB {peak * 1024 / size:5.2f}x")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def one():
    base, prog, run, runs, air = sys.argv[2:7]

    def fresh():
        shutil.rmtree(run, ignore_errors=True)
        os.mkdir(run)
        shutil.copyfile(air, os.path.join(run, "u.air"))

    w, c, peak = measure([prog, "update", "--definitions", base + ".ini", "--log", os.path.join(run, "log.txt"),
                          os.path.join(run, "u.air"), base + ".txt"], fresh, int(runs))
    print(w, c, peak)


if __name__ == "__main__":
    one() if sys.argv[1] == "--one" else main()
