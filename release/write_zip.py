#!/usr/bin/python3
"""Writes the release zip so that the same files give the same bytes.

Every entry carries the same date (the moment given, in UTC, as a DOS date),
the same permissions (0755 for a file that is executable here, else 0644,
as if made on Unix), deflate at level 9, no extra fields and no comment. The
entries keep the order they are given in. The zip is written beside TARGET
and moved into place, so a failed run leaves no half-written zip.

usage: write_zip.py TARGET EPOCH FILE...
"""
import os
import sys
import time
import zipfile

DOS_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC, the earliest date a zip can hold
CREATED_ON_UNIX = 3
COMPRESS_LEVEL = 9


def dos_date_time(epoch):
    stamp = time.gmtime(max(epoch, DOS_EPOCH))
    # A DOS time counts seconds in twos; rounding here rather than in zipfile
    # keeps what is written and what a reader gets back the same.
    return stamp[:5] + (stamp.tm_sec - stamp.tm_sec % 2,)


def write(target, epoch, paths):
    date_time = dos_date_time(epoch)
    partial = target + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for path in paths:
            entry = zipfile.ZipInfo(os.path.basename(path), date_time)
            entry.create_system = CREATED_ON_UNIX
            mode = 0o755 if os.access(path, os.X_OK) else 0o644
            entry.external_attr = (0o100000 | mode) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=COMPRESS_LEVEL)
    os.replace(partial, target)


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__.strip().splitlines()[-1])
    write(sys.argv[1], int(sys.argv[2]), sys.argv[3:])
    return 0


if __name__ == "__main__":
    sys.exit(main())
