#!/usr/bin/env python3
"""The DLL's version resource carries the licence's copyright line, word for word.
  copyright_line.py LICENSE Vantorelix.dll"""
import sys

licence, dll = sys.argv[1], sys.argv[2]
lines = [l.strip() for l in open(licence, encoding="utf-8") if l.startswith("Copyright")]
if len(lines) != 1:
    sys.exit(f"FAIL: {licence} has {len(lines)} copyright lines, one expected")
data = open(dll, "rb").read()
# VERSIONINFO strings are UTF-16LE, the value followed by its terminating zero.
wanted = "LegalCopyright".encode("utf-16-le")
at = data.find(wanted)
if at < 0:
    sys.exit(f"FAIL: {dll} has no LegalCopyright value")
if (lines[0] + "\0").encode("utf-16-le") not in data[at:at + 512]:
    sys.exit(f"FAIL: the LegalCopyright value of {dll} is not {lines[0]!r}")
print(f"LegalCopyright is {lines[0]!r}, as in {licence}")
