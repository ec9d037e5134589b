#!/usr/bin/env python3
"""Gives an installer package the summary information of its sources instead of the moment it
was built, in place.

  msi-fixed-summary.py MSI EPOCH

wixl writes three things into the summary information stream that differ on every run: the
package code (PID_REVNUMBER, a fresh random GUID), the creation and the last-saved time (the
clock). Here the times become EPOCH (the commit's time) and the package code a name-based GUID
of the package's own bytes, taken with the package code field blanked: the same package has the
same code, and any change to a table, a file or the version gives another, as Windows Installer
wants of a package code.

The stream is rewritten where it lies in the compound file, with values of the same length, so
no other byte of the file moves.
"""
import hashlib
import struct
import sys
import uuid

# The namespace of the package codes (a name-based GUID of a package's bytes in it).
PACKAGE_CODE_NAMESPACE = uuid.UUID("6B0F2D7E-4C3A-4E1B-8D9F-5A7C3E1B2D40")
SUMMARY = "\x05SummaryInformation"
FMTID_SUMMARY = uuid.UUID("F29F85E0-4FF9-1068-AB91-08002B27B3D9").bytes_le
PID_REVNUMBER, PID_LASTPRINTED, PID_CREATE_DTM, PID_LASTSAVE_DTM = 9, 11, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64
END = 0xFFFFFFFA  # sector numbers from here up end a chain or mark reserved sectors


class CompoundFile:
    """Just enough of the compound file format to find a stream's bytes in the file."""

    def __init__(self, data):
        self.data = data
        if data[:8] != bytes.fromhex("D0CF11E0A1B11AE1"):
            sys.exit("msi-fixed-summary: not a compound file (an MSI)")
        (self.sector_shift, self.mini_shift, dir_start, self.cutoff, minifat_start,
         difat_start, difat_count) = struct.unpack_from("<HH", data, 30) + \
            struct.unpack_from("<I", data, 48) + struct.unpack_from("<I", data, 56) + \
            struct.unpack_from("<I", data, 60) + struct.unpack_from("<II", data, 68)
        self.sector = 1 << self.sector_shift
        difat = list(struct.unpack_from("<109I", data, 76))
        per = self.sector // 4
        s = difat_start
        for _ in range(difat_count):
            entries = struct.unpack_from(f"<{per}I", data, self.offset(s))
            difat += entries[:-1]
            s = entries[-1]
        self.fat = []
        for s in difat:
            if s < END:
                self.fat += struct.unpack_from(f"<{per}I", data, self.offset(s))
        directory = b"".join(data[self.offset(s):self.offset(s) + self.sector] for s in self.chain(dir_start))
        self.entries = []
        for i in range(len(directory) // 128):
            e = directory[i * 128:(i + 1) * 128]
            name_len = struct.unpack_from("<H", e, 64)[0]
            name = e[:max(name_len - 2, 0)].decode("utf-16-le", "surrogatepass")
            kind = e[66]
            start, size = struct.unpack_from("<IQ", e, 116)
            self.entries.append((name, kind, start, size))
        root = self.entries[0]
        self.mini_stream = self.chain(root[2])
        self.minifat = []
        for s in self.chain(minifat_start):
            self.minifat += struct.unpack_from(f"<{per}I", data, self.offset(s))

    def offset(self, sector):
        return (sector + 1) * self.sector

    def chain(self, start, fat=None):
        fat = self.fat if fat is None else fat
        out = []
        while start < END:
            if start >= len(fat) or len(out) > len(fat):
                sys.exit("msi-fixed-summary: a broken sector chain")
            out.append(start)
            start = fat[start]
        return out

    def extents(self, name):
        """The stream's bytes as (file offset, length) pieces, in order."""
        found = [e for e in self.entries if e[0] == name and e[1] == 2]
        if len(found) != 1:
            sys.exit(f"msi-fixed-summary: the package has {len(found)} streams named {name!r}")
        _, _, start, size = found[0]
        pieces, left = [], size
        if size < self.cutoff:
            mini = 1 << self.mini_shift
            for m in self.chain(start, self.minifat):
                at = m * mini
                sector = self.mini_stream[at // self.sector]
                pieces.append((self.offset(sector) + at % self.sector, min(mini, left)))
                left -= mini
        else:
            for s in self.chain(start):
                pieces.append((self.offset(s), min(self.sector, left)))
                left -= self.sector
        return [p for p in pieces if p[1] > 0]


def filetime(epoch):
    return (int(epoch) + 11644473600) * 10_000_000


def summary_values(stream):
    """{property id: (value offset in the stream, type)} of the summary property set."""
    if struct.unpack_from("<H", stream, 0)[0] != 0xFFFE:
        sys.exit("msi-fixed-summary: the summary information is not a property set")
    count = struct.unpack_from("<I", stream, 24)[0]
    for i in range(count):
        fmtid = stream[28 + 20 * i:44 + 20 * i]
        (at,) = struct.unpack_from("<I", stream, 44 + 20 * i)
        if fmtid == FMTID_SUMMARY:
            break
    else:
        sys.exit("msi-fixed-summary: no summary information property set")
    _, props = struct.unpack_from("<II", stream, at)
    out = {}
    for i in range(props):
        pid, where = struct.unpack_from("<II", stream, at + 8 + 8 * i)
        out[pid] = (at + where, struct.unpack_from("<H", stream, at + where)[0])
    return out


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: msi-fixed-summary.py MSI EPOCH")
    path, epoch = sys.argv[1], int(sys.argv[2])
    with open(path, "rb") as f:
        data = bytearray(f.read())
    cfb = CompoundFile(bytes(data))
    pieces = cfb.extents(SUMMARY)
    stream = bytearray(b"".join(data[o:o + n] for o, n in pieces))
    values = summary_values(stream)

    for pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM, PID_LASTPRINTED):
        if pid in values:
            at, vt = values[pid]
            if vt != VT_FILETIME:
                sys.exit(f"msi-fixed-summary: summary property {pid} is of type {vt}, not a time")
            struct.pack_into("<Q", stream, at + 4, filetime(epoch))
    if PID_REVNUMBER not in values or values[PID_REVNUMBER][1] != VT_LPSTR:
        sys.exit("msi-fixed-summary: the package has no package code (PID_REVNUMBER) as text")
    at = values[PID_REVNUMBER][0]
    (length,) = struct.unpack_from("<I", stream, at + 4)
    if length != 39:
        sys.exit(f"msi-fixed-summary: the package code takes {length} bytes, not a GUID's 39")

    def put_code(code):
        stream[at + 8:at + 8 + 39] = code.encode("ascii") + b"\0"
        done = 0
        for o, n in pieces:
            data[o:o + n] = stream[done:done + n]
            done += n

    put_code("{" + str(uuid.UUID(int=0)).upper() + "}")
    digest = hashlib.sha256(data).hexdigest()
    code = "{" + str(uuid.uuid5(PACKAGE_CODE_NAMESPACE, digest)).upper() + "}"
    put_code(code)
    with open(path, "r+b") as f:
        f.write(data)
    print(f"msi-fixed-summary: {path}: package code {code}, created and saved at {epoch} (the commit's time)")


if __name__ == "__main__":
    main()
