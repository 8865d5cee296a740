#!/usr/bin/env python3
"""Reads a ZIP archive back with python's zipfile: one line per member,
name TAB compression type TAB size TAB sha1 of the content; exits 1 when a
member's CRC does not match."""
import hashlib
import sys
import zipfile

with zipfile.ZipFile(sys.argv[1]) as z:
    if z.testzip() is not None:
        sys.exit(1)
    for info in z.infolist():
        data = z.read(info)
        print("%s\t%d\t%d\t%s" % (info.filename, info.compress_type, len(data),
                                  hashlib.sha1(data).hexdigest()))
