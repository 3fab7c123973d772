#!/usr/bin/env python3
"""Writes the ANSI code page tables that hiveseam/codepage.cpp includes.

Usage: make_codepage_tables.py OUTPUT

For each single-byte page: the 256 code units its bytes stand for, and the same
pairs sorted by code unit for the way back. Python's codec leaves some bytes
undefined (0x81 in 1252 ...); Windows passes those through as U+0000 + byte, so
they do here too, and so they come back to the same byte.
"""

import sys

CODE_PAGES = (874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258)


def byte_to_unit(code_page):
    units = []
    for byte in range(256):
        try:
            text = bytes([byte]).decode("cp%d" % code_page)
        except UnicodeDecodeError:
            text = chr(byte)
        if len(text) != 1 or ord(text) > 0xFFFF:
            sys.exit("cp%d: byte 0x%02X is not one UTF-16 code unit" % (code_page, byte))
        units.append(ord(text))
    if len(set(units)) != 256:
        sys.exit("cp%d: two bytes stand for one code unit, no way back" % code_page)
    return units


def rows(values, per_row, indent="        "):
    return ",\n".join(indent + ", ".join(values[i:i + per_row])
                      for i in range(0, len(values), per_row))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = ["// Written by hiveseam/make_codepage_tables.py from Python's codecs; do not edit.",
           "constexpr CodePageTable kCodePages[] = {"]
    for code_page in CODE_PAGES:
        units = byte_to_unit(code_page)
        back = sorted((unit, byte) for byte, unit in enumerate(units))
        out.append("    {%d," % code_page)
        out.append("     {")
        out.append(rows(["0x%04X" % u for u in units], 8) + "},")
        out.append("     {")
        out.append(rows(["{0x%04X, 0x%02X}" % pair for pair in back], 6) + "}},")
    out.append("};")
    with open(sys.argv[1], "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
