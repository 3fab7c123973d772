#!/usr/bin/python3
"""Builds the release twice and checks that it is reproducible and complete.

Runs scripts/release into two build directories and two out directories
under one temporary directory, then checks that both builds give the same
program and the same zip, and that the zip holds what a technician needs:
Verolund.exe with no time stamp, README.txt readable in Notepad on Windows
2000, and SHA256SUMS that sha256sum -c accepts. Prints one PASS or FAIL line
per check and exits 1 if any failed.

usage: /usr/bin/python3 tests/release/check_release.py    (from anywhere)
"""
import hashlib
import io
import os
import re
import subprocess
import sys
import tempfile
import time
import zipfile

import pefile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NAMES = ["Verolund.exe", "README.txt", "SHA256SUMS"]
WIDTH = 78
# What a technician looks for in README.txt, whatever the README's wording
# around it.
KEY_PHRASES = [
    "Would you like to continue.?",
    "This utility will run only in Windows 2000 and in Windows XP",
    "Cannot open the Filter Key",
    "%windir%\\Temp\\Verolund.log",
]
KEY_LOG_LINES = [
    "Fail - Missing PartMgr",
    "Fail - Missing Service Key for PartMgr",
    "Fail - Cannot create PartMgr in Filter",
    "After create PartMgr in UpperFilters values: PartMgr",
]

failures = []


def check(ok, what, detail=""):
    print("%s %s%s" % ("PASS" if ok else "FAIL", what, "" if ok or not detail else ": " + detail))
    if not ok:
        failures.append(what)
    return ok


def release(base):
    build, out = os.path.join(base, "build"), os.path.join(base, "dist")
    run = subprocess.run([os.path.join(ROOT, "scripts", "release"), "--build-dir", build, "--out", out],
                         capture_output=True, text=True)
    if not check(run.returncode == 0, "scripts/release into %s exits 0" % base,
                 "exit %d\n%s%s" % (run.returncode, run.stdout[-3000:], run.stderr[-3000:])):
        return None
    zips = sorted(os.listdir(out))
    if not check(len(zips) == 1 and re.fullmatch(r"Verolund-\d+\.\d+\.\d+\.zip", zips[0]),
                 "%s holds one Verolund-x.y.z.zip" % out, repr(zips)):
        return None
    with open(os.path.join(build, "Verolund.exe"), "rb") as exe:
        program = exe.read()
    with open(os.path.join(out, zips[0]), "rb") as archive:
        return zips[0], program, archive.read()


def readme_log_lines():
    """The log lines of the table in "Reading the log": the code spans of each row's first cell."""
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as readme:
        _, found, section = readme.read().partition("\n### Reading the log\n")
    section = section.split("\n#", 1)[0] if found else ""
    rows = [line for line in section.splitlines() if line.startswith("| `")]
    lines = []
    for row in rows:
        first_cell = re.split(r"(?<!\\)\|", row)[1]
        lines.extend(span.replace("\\|", "|") for span in re.findall(r"`([^`]+)`", first_cell))
    return lines


def file_version(program):
    pe = pefile.PE(data=program)
    for info in getattr(pe, "FileInfo", None) or []:
        for block in info:
            for table in getattr(block, "StringTable", []):
                if b"FileVersion" in table.entries:
                    return table.entries[b"FileVersion"].decode("ascii")
    return None


def check_program(program, built):
    check(program == built, "Verolund.exe in the zip is the program just built")
    pe = pefile.PE(data=program)
    check(pe.FILE_HEADER.TimeDateStamp == 0, "Verolund.exe has no time stamp in its PE header",
          "TimeDateStamp is 0x%x" % pe.FILE_HEADER.TimeDateStamp)


def check_readme(data, version):
    ascii_only = all(byte == 0x0D or byte == 0x0A or 0x20 <= byte <= 0x7E for byte in data)
    check(ascii_only, "README.txt is printable ASCII")
    text = data.decode("ascii", "replace")
    check(re.search(r"\r(?!\n)|(?<!\r)\n", text) is None and text.endswith("\r\n"),
          "README.txt ends every line with CR LF, and nothing else")
    lines = text.splitlines()
    wide = [line for line in lines if len(line) > WIDTH]
    check(not wide, "README.txt has no line over %d columns" % WIDTH, "%d, e.g. %r" % (len(wide), wide[:1]))
    markup = [line for line in lines if "`" in line or "\\|" in line or line.lstrip().startswith(("#", "|"))]
    check(not markup, "README.txt has no Markdown markup left", repr(markup[:3]))
    check(bool(lines) and lines[0] == "Verolund Wizard %s" % version,
          "README.txt starts with the product name and version", repr(lines[:1]))
    flowing = " ".join(" ".join(lines).split())
    missing = [phrase for phrase in KEY_PHRASES if phrase not in flowing]
    check(not missing, "README.txt holds the boxes' texts and the log's place", repr(missing))
    # A technician holds the log up against these, so each stays on one line.
    log_lines = readme_log_lines()
    check(len(log_lines) >= len(KEY_LOG_LINES), "README.md's log table is found",
          "%d log lines" % len(log_lines))
    wanted = dict.fromkeys(log_lines + KEY_LOG_LINES)
    missing = [want for want in wanted if not any(want in line for line in lines)]
    check(not missing, "README.txt holds each log line of the table unbroken", repr(missing))


def check_sums(entries, scratch):
    sums = entries["SHA256SUMS"].decode("ascii", "replace")
    expected = "".join("%s  %s\n" % (hashlib.sha256(entries[name]).hexdigest(), name) for name in NAMES[:2])
    check(sums == expected, "SHA256SUMS holds the SHA-256 of Verolund.exe and README.txt", repr(sums))
    for name, data in entries.items():
        with open(os.path.join(scratch, name), "wb") as out:
            out.write(data)
    run = subprocess.run(["sha256sum", "--strict", "-c", "SHA256SUMS"], cwd=scratch,
                         capture_output=True, text=True)
    check(run.returncode == 0, "sha256sum -c accepts SHA256SUMS", (run.stdout + run.stderr).strip())


def check_zip(name, data, built, scratch):
    archive = zipfile.ZipFile(io.BytesIO(data))
    infos = archive.infolist()
    check([info.filename for info in infos] == NAMES, "the zip holds %s, in that order" % ", ".join(NAMES),
          repr([info.filename for info in infos]))
    entries = {info.filename: archive.read(info) for info in infos}
    if not all(name in entries for name in NAMES):
        return
    version = file_version(entries["Verolund.exe"])
    check(name == "Verolund-%s.zip" % version, "the zip is named after the program's version",
          "%s, program version %s" % (name, version))
    check_program(entries["Verolund.exe"], built)
    check_readme(entries["README.txt"], version)
    check_sums(entries, scratch)

    commit = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"], capture_output=True,
                            text=True, check=True).stdout.strip()
    stamp = time.gmtime(int(commit))
    dos = stamp[:5] + (stamp.tm_sec - stamp.tm_sec % 2,)  # zip times count seconds in twos
    dates = sorted({info.date_time for info in infos})
    check(dates == [dos], "every entry is dated at HEAD's commit time (UTC)", "%r, not %r" % (dates, dos))
    plain = all(not info.extra and not info.comment and info.compress_type == zipfile.ZIP_DEFLATED
                for info in infos) and not archive.comment
    check(plain, "the entries are deflated, with no extra fields and no comments")


def main():
    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="verolund-release-") as scratch:
        first = release(os.path.join(scratch, "one"))
        second = release(os.path.join(scratch, "two"))
        if first and second:
            check(first[1] == second[1], "the two builds give byte-identical programs",
                  "%s != %s" % (hashlib.sha256(first[1]).hexdigest(), hashlib.sha256(second[1]).hexdigest()))
            check(first[2] == second[2], "the two builds give byte-identical zips",
                  "%s != %s" % (hashlib.sha256(first[2]).hexdigest(), hashlib.sha256(second[2]).hexdigest()))
            os.mkdir(os.path.join(scratch, "unpacked"))
            check_zip(first[0], first[2], first[1], os.path.join(scratch, "unpacked"))
    print("%s: %d check(s) failed (%.0f s)" % ("FAIL", len(failures), time.monotonic() - started)
          if failures else "PASS: the release is reproducible and complete (%.0f s)" % (time.monotonic() - started))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
