#!/usr/bin/env python3
"""Writes the UTF-8 text read from standard input into a file in the given
encoding, as another program would: an independent writer for the import
tests.

usage: write_text.py OUT ENCODING [--bom] [--crlf]
"""
import sys

out, encoding = sys.argv[1], sys.argv[2]
text = sys.stdin.buffer.read().decode("utf-8")
if "--crlf" in sys.argv[3:]:
    text = text.replace("\n", "\r\n")
data = text.encode(encoding)
if "--bom" in sys.argv[3:]:
    data = b"\xef\xbb\xbf" + data
with open(out, "wb") as f:
    f.write(data)
