#!/usr/bin/env python3
"""Gives a type library that widl wrote a fixed creation time, so that the same IDL makes the
same bytes whenever and however it is built.

widl, as MIDL does, stores two custom data items in the library: the text "Created by WIDL
version V at <ctime>" and the same moment as a VT_UI4 time_t right after it. Both are set here
to the epoch (0): the time of a build is no property of the sources. (Not SOURCE_DATE_EPOCH:
the release sets it for its packing, and a DLL built there must be the bytes of one built by
the tests or by a user from the same commit.)
  tlb-fixed-time.py FILE.tlb
"""
import re
import struct
import sys
import time

path = sys.argv[1]
data = bytearray(open(path, "rb").read())
m = re.search(rb"Created by WIDL version [^\n\0]* at ([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4})\n", data)
if not m:
    sys.exit(f"tlb-fixed-time: no creation text in {path}")
epoch = 0
data[m.start(1):m.end(1)] = time.asctime(time.gmtime(epoch)).encode()
# The time_t: after the text's padding (0x57 bytes), a VT_UI4 (0x0013) and its four bytes.
at = m.end()
while at < len(data) and data[at] == 0x57:
    at += 1
if data[at:at + 2] != b"\x13\x00":
    sys.exit(f"tlb-fixed-time: no creation time value after the text in {path}")
data[at + 2:at + 6] = struct.pack("<I", epoch & 0xFFFFFFFF)
open(path, "wb").write(data)
