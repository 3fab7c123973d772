#!/usr/bin/python3
"""Checks that the 32-bit program can load and run on Windows 2000 and XP.

Reads the program's PE headers, import table and version resource, and
disassembles its code, then holds them against what Windows 2000 on a
Pentium-class processor offers. Exits 1 naming every problem found.

usage: check_pe.py PROGRAM ALLOW_LIST OBJDUMP VERSION
"""
import re
import subprocess
import sys

import pefile

MACHINE_I386 = 0x14C
SUBSYSTEM_WINDOWS_GUI = 2
SSE_PATTERN = re.compile(r"\b(xmm\d+|mxcsr|ldmxcsr|stmxcsr|movaps|movups|movss|movsd\s+%xmm)\b")
CMOV_PATTERN = re.compile(r"\bcmov[a-z]+\b")


def read_allow_list(path):
    allowed = {}
    dll = None
    for line in open(path, encoding="ascii"):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("["):
            dll = line.strip("[]").lower()
            allowed[dll] = set()
        else:
            allowed[dll].add(line)
    return allowed


def check_headers(pe, problems):
    if pe.FILE_HEADER.Machine != MACHINE_I386:
        problems.append("machine is 0x%x, not i386" % pe.FILE_HEADER.Machine)
    optional = pe.OPTIONAL_HEADER
    if optional.Subsystem != SUBSYSTEM_WINDOWS_GUI:
        problems.append("subsystem is %d, not the Windows GUI" % optional.Subsystem)
    for field in ("Subsystem", "OperatingSystem"):
        version = (getattr(optional, "Major%sVersion" % field), getattr(optional, "Minor%sVersion" % field))
        if version > (5, 0):
            problems.append("%s version %d.%d is above 5.0" % (field, version[0], version[1]))


def check_imports(pe, allowed, problems):
    if not hasattr(pe, "DIRECTORY_ENTRY_IMPORT"):
        problems.append("no import table")
        return
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        dll = entry.dll.decode("ascii").lower()
        if dll not in allowed:
            problems.append("imports from %s, which is not a Windows 2000 system DLL we allow" % dll)
            continue
        for imported in entry.imports:
            name = imported.name.decode("ascii") if imported.name else "#%d" % imported.ordinal
            if name not in allowed[dll]:
                problems.append("%s!%s is not on the Windows 2000 allow-list" % (dll, name))
    if hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"):
        problems.append("has delay-load imports")


def check_version_resource(pe, version, problems):
    expected = {
        "FileDescription": "Verolund Wizard",
        "ProductName": "Verolund Wizard",
        "FileVersion": version,
        "ProductVersion": version,
        "OriginalFilename": "Verolund.exe",
    }
    found = {}
    for info in getattr(pe, "FileInfo", None) or []:
        for block in info:
            for table in getattr(block, "StringTable", []):
                for key, value in table.entries.items():
                    found[key.decode("ascii")] = value.decode("ascii")
    for key, value in expected.items():
        if found.get(key) != value:
            problems.append("version resource %s is %r, not %r" % (key, found.get(key), value))


def check_instructions(objdump, program, problems):
    listing = subprocess.run([objdump, "-d", program], check=True, capture_output=True, text=True).stdout
    # SSE came with the Pentium III, CMOV with the Pentium Pro.
    for pattern, what in ((SSE_PATTERN, "SSE"), (CMOV_PATTERN, "CMOV")):
        hits = [line.strip() for line in listing.splitlines() if pattern.search(line)]
        if hits:
            problems.append("the program holds %s instructions, e.g. %s" % (what, hits[0]))


def main():
    program, allow_list, objdump, version = sys.argv[1:5]
    problems = []
    pe = pefile.PE(program)
    check_headers(pe, problems)
    check_imports(pe, read_allow_list(allow_list), problems)
    check_version_resource(pe, version, problems)
    check_instructions(objdump, program, problems)
    for problem in problems:
        print("FAIL: " + problem)
    if not problems:
        print("%s: loads on Windows 2000 and XP" % program)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
