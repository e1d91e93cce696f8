#!/usr/bin/env python3
"""The demo: a throwaway 64-bit Wine machine (WoW64) seeded with a typical
state, one run of the shipped 32-bit quillmend.exe /S on it, and the registry
values and files before and after, in both registry views: the 32-bit view it
works on, and the 64-bit view it must leave alone. The read-only
quillmend-check.exe (beside quillmend.exe) says before and after the run what
a silent run would still do. Then the job fleets run, on the same machine with
its registrations back: quillmend-run.exe /install from a release folder, its
lines, its CMTrace log, its .reg backup, and that backup put back."""
import argparse
import os
import shutil
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from winemachine import WineMachine, describe_file, extensions_key, product_key  # noqa: E402
from xdisplay import Xvfb  # noqa: E402

DESKTOP = "800x600"


VIEWS = ((32, "32-bit view: the one a 32-bit program such as quillmend.exe sees and changes"),
         (64, "64-bit view: 64-bit programs' own; quillmend.exe must leave it as it is"))


def show_state(m, title):
    print("---- %s ----" % title)
    for view, label in VIEWS:
        print("[%s]" % label)
        for key in (product_key(view), extensions_key(view)):
            print(key)
            values = m.reg_query(key)
            if values is None:
                print("    (key missing)")
                continue
            for name, (kind, data) in sorted(values.items()):
                if name == "ProductVersion" and kind == "REG_DWORD":
                    number = int(data, 16)
                    data += "  (release %d, build %d)" % (number & 0xFFFF, number >> 16)
                print("    %-24s %-10s %s" % (name, kind, data))
    for label, folder in (("roaming", m.roaming()), ("local", m.local())):
        path = m.extend_dat(folder)
        state = "present" if os.path.exists(path) else "absent"
        print("%-8s Extend.dat %-8s %s" % (label, state, os.path.relpath(path, m.prefix)))
    print()


def run_check(m, check_exe, when):
    """quillmend-check.exe's output and exit code, as a deployment engine gets them."""
    print("---- quillmend-check.exe, %s ----" % when)
    code, output = m.run_console([check_exe])
    print(output.replace("\r\n", "\n"), end="")
    print("exit code: %d\n" % code)


def run_fleet_job(m, release):
    """quillmend-run.exe /install as an engine runs it, then the backup it wrote put back."""
    m.reset_registry()
    m.seed_demo()
    folder = m.drive_c("release")
    os.makedirs(folder, exist_ok=True)
    for name in ("quillmend.exe", "quillmend-check.exe", "quillmend-run.exe", "quillmend-logon.exe"):
        shutil.copy(os.path.join(release, name), folder)
    print("---- quillmend-run.exe /install, from C:\\release, as a deployment engine runs it ----")
    code, output = m.run_console([os.path.join(folder, "quillmend-run.exe"), "/install"])
    print(output.replace("\r\n", "\n"), end="")
    print("exit code: %d\n" % code)
    logs = m.drive_c("Program Files (x86)", "Quillmend Logs")
    print("---- its log, C:\\Program Files (x86)\\Quillmend Logs\\quillmend-run.log (CMTrace lines), first three ----")
    with open(os.path.join(logs, "quillmend-run.log"), "rb") as f:
        for line in f.read().decode("utf-8").split("\r\n")[:3]:
            print(line)
    backups = sorted(n for n in os.listdir(logs) if n.endswith(".reg"))
    print("\n---- its backup ----")
    for name in backups:
        print("%s (%d bytes, UTF-16)" % (name, os.path.getsize(os.path.join(logs, name))))
    show_state(m, "after quillmend-run.exe /install")
    if backups:
        print("putting it back: reg import \"C:\\Program Files (x86)\\Quillmend Logs\\%s\" /reg:32" % backups[-1])
        m.wine("reg", "import", m.windows_path(os.path.join(logs, backups[-1])), "/reg:32", check=False)
        show_state(m, "after the import")


def screenshots(display, pause_dir, report, shots_dir, stop):
    """Saves each box as it is shown, then lets the driver answer it."""
    number = 1
    while not stop.is_set():
        shown = os.path.join(pause_dir, "box%d.shown" % number)
        if not os.path.exists(shown):
            time.sleep(0.05)
            continue
        time.sleep(1.0)  # let the 32-bit process under qemu finish painting
        rect = None
        with open(report, "rb") as f:
            boxes = [line.split() for line in f.read().decode("latin-1").splitlines() if line.startswith("box ")]
        if len(boxes) >= number:
            rect = [int(v) for v in boxes[number - 1][6].split(",")]
        names = ["box-result", "box-prompt-roaming", "box-prompt-local"]
        png = os.path.join(shots_dir, (names[number - 1] if number <= len(names) else "box%d" % number) + ".png")
        grab = ["import", "-display", display, "-window", "root"]
        if rect:
            grab += ["-crop", "%dx%d+%d+%d" % (rect[2], rect[3], rect[0], rect[1]), "+repage"]
        subprocess.run(grab + [png], check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print("saved %s" % os.path.relpath(png))
        open(os.path.join(pause_dir, "box%d.go" % number), "w").close()
        number += 1


def run_interactive(m, exe, driver, display, shots_dir):
    """Runs quillmend.exe interactively in a Wine virtual desktop (so that the
    caption bar is drawn), answering OK and then Yes to each prompt."""
    shutil.copy(driver, os.path.join(m.root, "wine_driver.exe"))
    pause_dir = os.path.join(m.root, "pause")
    os.makedirs(pause_dir, exist_ok=True)
    os.makedirs(shots_dir, exist_ok=True)
    report = os.path.join(m.root, "report.txt")
    open(report, "w").close()
    stop = threading.Event()
    watcher = threading.Thread(target=screenshots, args=(display, pause_dir, report, shots_dir, stop))
    watcher.start()
    try:
        m.wine("explorer", "/desktop=Quillmend,%s" % DESKTOP, m.windows_path(os.path.join(m.root, "wine_driver.exe")),
               m.windows_path(report), "ok,yes,yes", m.windows_path(pause_dir), m.windows_path(exe),
               "quillmend.exe", check=False)
        # explorer returns at once; wait for the driver's report to close.
        for _ in range(600):
            with open(report, "rb") as f:
                if b"exit " in f.read():
                    break
            time.sleep(0.1)
    finally:
        stop.set()
        watcher.join()
    with open(report, "rb") as f:
        for line in f.read().decode("latin-1").splitlines():
            parts = line.split(" ")
            if parts[0] == "box":
                text = bytes.fromhex(parts[2]).decode("latin-1").replace("\r\n", " / ")
                print("box [%s] '%s', buttons %s, answered %s" % (bytes.fromhex(parts[1]).decode(), text, parts[3],
                                                               parts[7]))
            else:
                print(line)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--interactive", action="store_true",
                        help="run without /S on a virtual X display, answering Yes, with screenshots")
    parser.add_argument("--driver", help="the test driver (with --interactive)")
    parser.add_argument("--shots", default="docs", help="where the screenshots go (with --interactive)")
    args = parser.parse_args()

    x = None
    if args.interactive:
        x = Xvfb(size=DESKTOP + "x24")
        x.start()
    m = WineMachine(display=x.display if x else None, view=32)
    try:
        print("creating a throwaway 64-bit Wine machine (WoW64) in %s ..." % m.root)
        m.boot()
        m.seed_demo()
        view64 = m.seed_64bit_view()
        print("32-bit view: release 900, build 1000, four registrations; Extend.dat in both folders")
        print("64-bit view: a 64-bit install of its own, release 810, four registrations and another add-in\n")
        show_state(m, "before")

        exe = os.path.join(m.root, "quillmend.exe")
        shutil.copy(args.exe, exe)
        check_exe = os.path.join(os.path.dirname(args.exe), "quillmend-check.exe")
        print("programs: %s\n          %s\n" % (describe_file(args.exe), describe_file(check_exe)))
        shutil.copy(check_exe, m.root)
        check_exe = os.path.join(m.root, "quillmend-check.exe")
        if not args.interactive:
            run_check(m, check_exe, "before the run")
        if args.interactive:
            print("running: quillmend.exe (interactive)")
            run_interactive(m, exe, args.driver, x.display, args.shots)
            print()
        else:
            print("running: quillmend.exe /S")
            code = m.wine(exe, "/S", check=False)
            print("exit code: %d\n" % code)
        show_state(m, "after")
        print("64-bit view after the run: %s\n" % ("unchanged" if m.state_64bit_view() == view64 else "CHANGED"))
        if not args.interactive:
            run_check(m, check_exe, "after the run")
            run_fleet_job(m, os.path.dirname(args.exe))
    finally:
        m.destroy()
        if x:
            x.stop()


if __name__ == "__main__":
    main()
