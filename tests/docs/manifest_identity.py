#!/usr/bin/env python3
"""The assemblyIdentity element that installation.md tells readers to copy into their
application manifest is the one of the manifest embedded in the DLL (resource 2 of type 24),
attribute for attribute; only the version may be that of another release.
  manifest_identity.py installation.md Vantorelix.dll"""
import re
import sys

doc, dll = sys.argv[1], sys.argv[2]
ELEMENT = re.compile(r"<assemblyIdentity\b[^>]*/>")
ATTRIBUTE = re.compile(r'([A-Za-z]+)="([^"]*)"')

shown = ELEMENT.findall(open(doc, encoding="utf-8").read())
if len(shown) != 1:
    sys.exit(f"FAIL: {doc} shows {len(shown)} assemblyIdentity elements, one expected")
embedded = ELEMENT.findall(open(dll, "rb").read().decode("latin-1"))
if len(embedded) != 1:
    sys.exit(f"FAIL: {dll} embeds {len(embedded)} assemblyIdentity elements, one expected")

doc_attrs, dll_attrs = dict(ATTRIBUTE.findall(shown[0])), dict(ATTRIBUTE.findall(embedded[0]))
if not re.fullmatch(r"[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+", doc_attrs.get("version", "")):
    sys.exit(f"FAIL: the version shown in {doc} is no four-part version: {shown[0]}")
doc_attrs.pop("version")
dll_attrs.pop("version", None)
if doc_attrs != dll_attrs:
    sys.exit(f"FAIL: {doc} shows {shown[0]}, the DLL's manifest has {embedded[0]}")
print(f"{doc} shows the DLL's identity: {embedded[0]}")
