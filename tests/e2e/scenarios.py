"""The scenario groups of the end-to-end suite, each table-driven."""
import os
import shutil

from winemachine import (EXTENSIONS_KEY, LADDER, PRODUCT_KEY, SETUP_DATA, WineMachine, reg_value_line)

NEEDS_DISPLAY = set()


class Context:
    def __init__(self, exe, driver):
        self.exe = exe
        self.driver = driver
        self.machine = None
        self.boot_seconds = 0.0

    def start(self, group_needs_display=False):
        self.machine = WineMachine()
        self.boot_seconds = self.machine.boot()

    def stop(self):
        if self.machine:
            self.machine.destroy()

    def run_silent(self, args="/S"):
        m = self.machine
        exe = os.path.join(m.root, "quillmend.exe")
        if not os.path.exists(exe):
            shutil.copy(self.exe, exe)
        return m.wine(exe, *([args] if args else []), check=False)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def product_value(kind, data):
    return [(PRODUCT_KEY, [reg_value_line("ProductVersion", kind, data)])]


def entries(names, data="4.0;kestrin.dll;1"):
    return [(EXTENSIONS_KEY, [reg_value_line(n, "sz", data) for n in names])]


# ---- smoke: the program runs, silently, with the product present and absent ----

def smoke(ctx):
    m = ctx.machine

    def absent():
        m.reset_registry()
        m.reg_import(entries(LADDER))
        code = ctx.run_silent()
        check(code == 0, "exit code %d" % code)
        after = m.reg_query(EXTENSIONS_KEY)
        check(sorted(after) == sorted(LADDER), "values after the run: %s" % sorted(after))

    def present():
        m.reset_registry()
        m.reg_import(product_value("dword", (1000 << 16) | 900) + entries(LADDER))
        code = ctx.run_silent()
        check(code == 0, "exit code %d" % code)
        after = m.reg_query(EXTENSIONS_KEY)
        check(after is not None, "the Extensions key is gone")
        check("Outlook Setup Extension" in after and after["Outlook Setup Extension"] == ("REG_SZ", SETUP_DATA),
              "setup extension value: %s" % (after.get("Outlook Setup Extension"),))
        check("KestrinCorp90" in after, "KestrinCorp90 was deleted")

    return [("no product: nothing written", absent), ("release 900: runs and writes", present)]


GROUPS = [("smoke", smoke)]
