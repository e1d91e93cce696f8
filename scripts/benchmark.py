#!/usr/bin/env python3
"""Benchmark: median wall time of `quillmend.exe /S` on the demo machine
against do-nothing GUI programs of the same build, in paired runs under
wine64. The machine is seeded again before every run, so each run does the
whole job (three deletions, the setup value, two files)."""
import argparse
import os
import shutil
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from winemachine import WineMachine  # noqa: E402


def timed(m, exe, *args):
    started = time.perf_counter()
    m.wine(exe, *args)
    return time.perf_counter() - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/win64")
    parser.add_argument("--shipped", default="build/win32/quillmend.exe")
    parser.add_argument("--pairs", type=int, default=41)
    args = parser.parse_args()

    m = WineMachine()
    try:
        m.boot()
        programs = {}
        for name, path in (("quillmend", "quillmend.exe"), ("nothing", "bench/do_nothing.exe"),
                           ("nothing+dlls", "bench/do_nothing_same_imports.exe")):
            programs[name] = os.path.join(m.root, os.path.basename(path))
            shutil.copy(os.path.join(args.build, path), programs[name])
        times = {name: [] for name in programs}
        for name in programs:  # warm the caches once
            m.seed_demo()
            timed(m, programs[name], "/S")
        for i in range(args.pairs):
            order = list(programs) if i % 2 == 0 else list(reversed(programs))
            for name in order:
                m.seed_demo()
                times[name].append(timed(m, programs[name], "/S"))
        median = {name: statistics.median(t) for name, t in times.items()}
        print("paired runs under wine64: %d" % args.pairs)
        for name, value in median.items():
            print("  median %-13s %7.1f ms" % (name, value * 1000))
        print("ratio quillmend / do-nothing with the same DLLs: %.3f (goal 1.10 or less)"
              % (median["quillmend"] / median["nothing+dlls"]))
        print("ratio quillmend / bare do-nothing:               %.3f" % (median["quillmend"] / median["nothing"]))
        for label, path in (("shipped quillmend.exe (win32)", args.shipped),
                            ("x86_64 quillmend.exe", os.path.join(args.build, "quillmend.exe"))):
            if os.path.exists(path):
                print("size of %s: %d bytes" % (label, os.path.getsize(path)))
    finally:
        m.destroy()


if __name__ == "__main__":
    main()
