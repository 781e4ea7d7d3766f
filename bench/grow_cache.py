#!/usr/bin/env python3
"""Grows a real cache of a client build from 9506 on to at least COUNT records: its records are
repeated in order, each copy's keys raised past the last so that every key is new, then the end
marker. A record is its 4-byte key, its entry size and that many bytes.
  grow_cache.py <cache> <output> <count>"""
import struct
import sys

source, output, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(source, "rb").read()
header, records, at = data[:24], [], 24
while at + 8 <= len(data):
    key, size = struct.unpack_from("<II", data, at)
    if key == 0:
        break
    records.append((key, data[at + 8:at + 8 + size]))
    at += 8 + size
step = max(key for key, _ in records)
with open(output, "wb") as out:
    out.write(header)
    copies = -(-count // len(records))
    for copy in range(copies):
        for key, fields in records:
            out.write(struct.pack("<II", key + copy * step, len(fields)) + fields)
    out.write(bytes(8))
print(f"{output}: {copies * len(records)} records")
