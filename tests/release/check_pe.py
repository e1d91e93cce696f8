#!/usr/bin/env python3
"""Checks a shipped program the way a security reviewer would: PE32 for
i386, GUI subsystem (console with --console), ASLR (with relocations to make it real) and DEP, imports
from ADVAPI32, KERNEL32, SHELL32 and USER32 only, a load configuration whose
DependentLoadFlags restrict the loader's DLL search to System32, an embedded manifest that
runs as invoker, a version resource, no link timestamp, and a size of at most
8 KiB (16 KiB for quillmend-check.exe, whose wide look-up of folders a run
cannot name takes room; 40 KiB for quillmend-run.exe, which holds the check,
the stages and the fleet layer; 16 KiB for quillmend-logon.exe, the user half alone), not counting an Authenticode signature; no program imports anything that starts a process, loads a DLL by
name, or changes file times, the clock or token privileges. With --read-only,
also that it imports no Windows function that changes the registry or files or
shows a box. With --messages PAGE, that its message table holds exactly the
Event Log IDs the page's table lists, each with the page's text and the
record's own text (%1) after it. Prints what it found."""
import re
import argparse
import struct
import sys

MAX_SIZE = 8 * 1024
MAX_SIZES = {"quillmend-check.exe": 16 * 1024, "quillmend-run.exe": 40 * 1024, "quillmend-logon.exe": 16 * 1024}
ALLOWED_IMPORTS = {"ADVAPI32.DLL", "KERNEL32.DLL", "SHELL32.DLL", "USER32.DLL"}
RT_MESSAGETABLE, RT_VERSION, RT_MANIFEST = 11, 16, 24
# A row of the page's ID table: | 1001 | Information | The registry was cleaned. |
ID_ROW = re.compile(r"^\|\s*(\d{4})\s*\|\s*\w+\s*\|\s*(.+?)\s*\|", re.M)
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
DEPENDENT_LOAD_FLAGS_OFFSET = 54  # in IMAGE_LOAD_CONFIG_DIRECTORY32, a WORD
# Nothing the programs do needs these; each would widen what a run could be made to do.
NEVER_IMPORTED = {name + suffix for suffix in "AW" for name in (
    "CreateProcess", "CreateProcessAsUser", "ShellExecute", "ShellExecuteEx", "LoadLibrary", "LoadLibraryEx")} | {
    "WinExec", "CreateProcessWithLogonW", "CreateProcessWithTokenW", "SetFileTime", "AdjustTokenPrivileges",
    "SetTokenInformation", "SetSystemTime", "SetLocalTime", "ImpersonateLoggedOnUser"}
WRITING_FUNCTIONS = {name + suffix for suffix in "AW" for name in (
    "RegSetValueEx", "RegDeleteValue", "RegOpenKey", "RegCreateKey", "RegCreateKeyEx", "RegDeleteKey", "DeleteFile",
    "CreateFile", "MoveFile", "MoveFileEx", "RemoveDirectory", "CreateDirectory", "SetFileAttributes", "MessageBox",
    "SetNamedSecurityInfo", "SetFileSecurity")} | {
    # The check reads its own token and the clock: nothing may change either, or a file's times.
    "AdjustTokenPrivileges", "SetTokenInformation", "SetSystemTime", "SetLocalTime", "SetFileTime"}


def message_table(blob):
    """ID -> text of a MESSAGE_RESOURCE_DATA: blocks of IDs, each entry's
    length (its header and padding included), flags (1: UTF-16) and text."""
    messages = {}
    for block in range(struct.unpack_from("<I", blob, 0)[0]):
        low, high, at = struct.unpack_from("<III", blob, 4 + 12 * block)
        for message in range(low, high + 1):
            length, flags = struct.unpack_from("<HH", blob, at)
            text = blob[at + 4:at + length].decode("utf-16-le" if flags & 1 else "cp1252")
            messages[message] = text.rstrip("\0")
            at += length
    return messages


def main(path, console=False, read_only=False, messages_page=None):
    max_size = next((size for name, size in MAX_SIZES.items() if path.endswith(name)), MAX_SIZE)
    data = open(path, "rb").read()
    problems = []

    def u16(o):
        return struct.unpack_from("<H", data, o)[0]

    def u32(o):
        return struct.unpack_from("<I", data, o)[0]

    pe = u32(0x3C)
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        print("not a PE file")
        return 1
    coff = pe + 4
    machine, sections, stamp, optional_size = u16(coff), u16(coff + 2), u32(coff + 4), u16(coff + 16)
    opt = coff + 20
    magic, subsystem, dll_chars = u16(opt), u16(opt + 68), u16(opt + 70)
    directories = opt + 96
    table = opt + optional_size

    def rva_to_offset(rva):
        for i in range(sections):
            s = table + 40 * i
            vsize, vaddr, raw_size, raw_ptr = u32(s + 8), u32(s + 12), u32(s + 16), u32(s + 20)
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                return raw_ptr + rva - vaddr
        raise ValueError("RVA %#x outside every section" % rva)

    def directory(index):
        return u32(directories + 8 * index), u32(directories + 8 * index + 4)

    def c_string(offset):
        return data[offset:data.index(b"\0", offset)].decode("ascii")

    # Imports: the DLLs, and the functions named through each lookup table.
    imports, functions = [], []
    rva, _ = directory(1)
    if rva:
        at = rva_to_offset(rva)
        while u32(at + 12):
            imports.append(c_string(rva_to_offset(u32(at + 12))).upper())
            entry = rva_to_offset(u32(at) or u32(at + 16))
            while u32(entry):
                if not u32(entry) & 0x80000000:
                    functions.append(c_string(rva_to_offset(u32(entry)) + 2))
                entry += 4
            at += 20

    # Resource types at the root of the resource tree, and each type's first resource.
    resource_types = set()
    resources = {}
    rsrc_rva, _ = directory(2)
    if rsrc_rva:
        root = rva_to_offset(rsrc_rva)
        named, numbered = u16(root + 12), u16(root + 14)
        for i in range(named + numbered):
            entry = root + 16 + 8 * i
            type_id = u32(entry)
            resource_types.add(type_id)
            node = root + (u32(entry + 4) & 0x7FFFFFFF)
            while True:  # follow the first entry down to the data
                child = u32(node + 16 + 4)
                if child & 0x80000000:
                    node = root + (child & 0x7FFFFFFF)
                    continue
                leaf = root + child
                resources[type_id] = data[rva_to_offset(u32(leaf)):rva_to_offset(u32(leaf)) + u32(leaf + 4)]
                break
    manifest = resources.get(RT_MANIFEST, b"")
    reloc_rva, reloc_size = directory(5)
    # An Authenticode signature is appended after the program (its directory
    # entry holds a file offset); the size limit is the program's own.
    signature_offset, signature_size = directory(4)
    program_size = signature_offset if signature_size else len(data)

    # The load configuration: its size field must reach DependentLoadFlags, and
    # the directory entry must name the same size (lld copies it from the
    # record; any other value means the loader may not read what we wrote).
    config_rva, config_dir_size = directory(10)
    config_size = load_flags = None
    if config_rva:
        config = rva_to_offset(config_rva)
        config_size = u32(config)
        if config_size >= DEPENDENT_LOAD_FLAGS_OFFSET + 2:
            load_flags = u16(config + DEPENDENT_LOAD_FLAGS_OFFSET)

    print("file:            %s" % path)
    if signature_size:
        print("size:            %d bytes signed, %d bytes unsigned (limit %d)" % (len(data), program_size, max_size))
    else:
        print("size:            %d bytes (limit %d)" % (len(data), max_size))
    print("machine:         %#x, optional header magic %#x" % (machine, magic))
    print("subsystem:       %d" % subsystem)
    print("dll flags:       %#06x" % dll_chars)
    print("relocations:     %d bytes" % reloc_size)
    print("link timestamp:  %d" % stamp)
    print("imports:         %s" % ", ".join(imports))
    print("functions:       %s" % ", ".join(functions))
    print("resource types:  %s" % sorted(resource_types))
    print("load config:     directory %d bytes, record %s bytes, DependentLoadFlags %s"
          % (config_dir_size, config_size, "%#x" % load_flags if load_flags is not None else "absent"))

    if program_size > max_size:
        problems.append("larger than %d bytes" % max_size)
    if signature_size and signature_offset + signature_size != len(data):
        problems.append("the signature is not at the end of the file")
    if machine != 0x14C or magic != 0x10B:
        problems.append("not PE32 for i386")
    if subsystem != (3 if console else 2):
        problems.append("not the %s subsystem" % ("console" if console else "GUI"))
    if NEVER_IMPORTED & set(functions):
        problems.append("imports functions no program needs: %s" % sorted(NEVER_IMPORTED & set(functions)))
    if read_only and WRITING_FUNCTIONS & set(functions):
        problems.append("imports functions that change things: %s" % sorted(WRITING_FUNCTIONS & set(functions)))
    if not dll_chars & 0x0040:
        problems.append("ASLR (DYNAMIC_BASE) not set")
    if not reloc_rva or not reloc_size:
        problems.append("no relocations: the image cannot really move")
    if not dll_chars & 0x0100:
        problems.append("DEP (NX_COMPAT) not set")
    if stamp != 0:
        problems.append("a link timestamp makes builds differ")
    if not imports or set(imports) - ALLOWED_IMPORTS:
        problems.append("imports beyond the system DLLs: %s" % sorted(set(imports) - ALLOWED_IMPORTS))
    if load_flags != LOAD_LIBRARY_SEARCH_SYSTEM32:
        problems.append("DependentLoadFlags do not restrict the loader's DLL search to System32")
    elif config_dir_size != config_size:
        problems.append("the load configuration directory's size differs from its record's")
    if RT_VERSION not in resource_types:
        problems.append("no version resource")
    if RT_MANIFEST not in resource_types:
        problems.append("no manifest")
    elif b'requestedExecutionLevel level="asInvoker"' not in manifest:
        problems.append("the manifest does not run as invoker")

    if messages_page:
        documented = {int(number): text for number, text in ID_ROW.findall(open(messages_page).read())}
        table = message_table(resources.get(RT_MESSAGETABLE, b"\0\0\0\0"))
        print("messages:        %s" % ", ".join("%d %r" % item for item in sorted(table.items())))
        shipped = {number: text.split("%n")[0] for number, text in table.items()}
        if not documented or shipped != documented:
            problems.append("the message table differs from %s: %s" % (messages_page, sorted(
                set(shipped.items()) ^ set(documented.items()))))
        if any(not text.rstrip().endswith("%n%n%1") for text in table.values()):
            problems.append("a message does not end with the record's own text (%1)")

    for p in problems:
        print("PROBLEM: " + p)
    print("%d passed, %d failed" % (0 if problems else 1, 1 if problems else 0))
    return 1 if problems else 0


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("path")
    parser.add_argument("--console", action="store_true", help="a console program")
    parser.add_argument("--read-only", action="store_true", help="must import nothing that changes anything")
    parser.add_argument("--messages", metavar="PAGE", help="the page whose table lists the Event Log IDs")
    args = parser.parse_args()
    sys.exit(main(args.path, args.console, args.read_only, args.messages))
