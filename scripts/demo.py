#!/usr/bin/env python3
"""The demo: a throwaway Wine machine seeded with a typical state, one run of
quillmend.exe /S on it, and the registry values and files before and after."""
import argparse
import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from winemachine import EXTENSIONS_KEY, LADDER, PRODUCT_KEY, WineMachine, reg_value_line  # noqa: E402


def show_state(m, title):
    print("---- %s ----" % title)
    for key in (PRODUCT_KEY, EXTENSIONS_KEY):
        print(key)
        values = m.reg_query(key)
        if values is None:
            print("    (key missing)")
            continue
        for name, (kind, data) in sorted(values.items()):
            print("    %-24s %-10s %s" % (name, kind, data))
    for label, folder in (("roaming", m.roaming()), ("local", m.local())):
        path = os.path.join(folder, "Microsoft", "Outlook", "Extend.dat")
        state = "present" if os.path.exists(path) else "absent"
        print("%-8s Extend.dat %-8s %s" % (label, state, os.path.relpath(path, m.prefix)))
    print()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    args = parser.parse_args()

    m = WineMachine()
    try:
        print("creating a throwaway Wine machine in %s ..." % m.root)
        m.boot()
        m.reg_import([
            (PRODUCT_KEY, [reg_value_line("ProductVersion", "dword", (1000 << 16) | 900)]),
            (EXTENSIONS_KEY, [reg_value_line(n, "sz", "4.0;C:\\Program Files\\Kestrin\\%s.dll;1" % n)
                              for n in LADDER]),
        ])
        for folder in (m.roaming(), m.local()):
            os.makedirs(os.path.join(folder, "Microsoft", "Outlook"), exist_ok=True)
            with open(os.path.join(folder, "Microsoft", "Outlook", "Extend.dat"), "wb") as f:
                f.write(b"extension cache")
        print("release 900, build 1000; four registrations; Extend.dat in both folders\n")
        show_state(m, "before")

        exe = os.path.join(m.root, "quillmend.exe")
        shutil.copy(args.exe, exe)
        print("running: quillmend.exe /S")
        code = m.wine(exe, "/S", check=False)
        print("exit code: %d\n" % code)
        show_state(m, "after")
    finally:
        m.destroy()


if __name__ == "__main__":
    main()
