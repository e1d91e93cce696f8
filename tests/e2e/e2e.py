#!/usr/bin/env python3
"""End-to-end tests of quillmend.exe on a real Windows API (Wine).

Each group runs in a throwaway WoW64 Wine prefix of its own and checks what a
user would see: registry values after the run, files, message boxes and the
exit code. Prints one line a scenario and a closing 'N passed, N failed'.

--view 32 runs the shipped i686 program: its values are seeded and checked in
the 32-bit view, and after every run the 64-bit view, seeded with a machine of
its own, must be exactly as it was. --make-template DIR boots one prefix for
the groups to copy (--template DIR).
"""
import argparse
import os
import shutil
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenarios  # noqa: E402
from winemachine import WineMachine, describe_file  # noqa: E402
from xdisplay import Xvfb  # noqa: E402


def make_template(directory):
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    machine = WineMachine(root=directory)
    seconds = machine.boot()
    machine.shutdown()
    print("template prefix booted in %.1f s: %s" % (seconds, directory))
    print("1 passed, 0 failed")
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", help="quillmend.exe: the shipped i686 build (--view 32) or the x86_64 build")
    parser.add_argument("--driver", help="the x86_64 test driver (raw command lines, boxes)")
    parser.add_argument("--view", type=int, choices=(32, 64), default=64,
                        help="the registry view the program sees: 32 for the i686 build")
    parser.add_argument("--group", action="append", help="run only these groups")
    parser.add_argument("--template", help="a booted prefix to copy instead of booting one a group")
    parser.add_argument("--make-template", metavar="DIR", help="boot a template prefix into DIR and stop")
    args = parser.parse_args()
    if args.make_template:
        return make_template(args.make_template)
    if not args.exe or not args.driver:
        parser.error("--exe and --driver are required")

    started = time.time()
    print("program under test: %s; %d-bit registry view" % (describe_file(args.exe), args.view), flush=True)
    passed = failed = 0
    display = Xvfb()
    display.start()
    for name, group in scenarios.GROUPS:
        if args.group and name not in args.group:
            continue
        context = scenarios.Context(args.exe, args.driver, display.display, args.view, args.template)
        try:
            context.start()
            print("group %s: machine ready in %.1f s" % (name, context.boot_seconds), flush=True)
            for case_name, case in group(context):
                try:
                    # Without a display Wine's message boxes return at once unseen.
                    if display.process is None or display.process.poll() is not None:
                        raise RuntimeError("the X display is gone")
                    case()
                    passed += 1
                    print("  ok    %s/%s" % (name, case_name), flush=True)
                except AssertionError as e:
                    failed += 1
                    print("  FAIL  %s/%s: %s" % (name, case_name, e), flush=True)
                except Exception:  # a broken scenario is a failure too
                    failed += 1
                    print("  ERROR %s/%s:\n%s" % (name, case_name, traceback.format_exc()), flush=True)
        finally:
            context.stop()
    display.stop()
    print("end-to-end suite took %.1f s" % (time.time() - started))
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
