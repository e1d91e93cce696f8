#!/usr/bin/env python3
"""End-to-end tests of quillmend.exe on a real Windows API (Wine).

Each group runs in a throwaway Wine prefix of its own and checks what a user
would see: registry values after the run, files, message boxes and the exit
code. Prints one line a scenario and a closing 'N passed, N failed'.
"""
import argparse
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenarios  # noqa: E402
from xdisplay import Xvfb  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True, help="the x86_64 build of quillmend.exe")
    parser.add_argument("--driver", required=True, help="the x86_64 test driver (raw command lines, boxes)")
    parser.add_argument("--group", action="append", help="run only these groups")
    args = parser.parse_args()

    started = time.time()
    passed = failed = 0
    display = Xvfb()
    display.start()
    for name, group in scenarios.GROUPS:
        if args.group and name not in args.group:
            continue
        context = scenarios.Context(args.exe, args.driver, display.display)
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
