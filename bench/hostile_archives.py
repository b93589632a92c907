#!/usr/bin/env python3
"""Hostile archives for bench/run_hostile.sh, and one measured run of a tool on one.

  hostile_archives.py make FOLDER
      writes into FOLDER:
        nested42.zip  shaped like the classic 42.zip: 16 archives of 16 archives,
                      five levels deep, each innermost one holding a 4 GiB file of
                      zeros (4.5 PB in all once every level is unpacked)
        overlap.zip   one 20 MiB stream of zeros behind 100 central entries that
                      all point at it (2 GB from about 20 KB)
        zeros4g.zip   one entry of 4 GiB of zeros (zip64 sizes)
  hostile_archives.py run WORKFOLDER TOOL [ARGS...]
      runs TOOL with TMPDIR=WORKFOLDER and prints one line: wall time, peak size
      of WORKFOLDER (sampled every 20 ms), peak RSS, bytes of standard output,
      and the exit status.

The archives are written by hand (deflate streams made once and reused) so that
making them takes seconds, not the hours compressing 4.5 PB would.
"""
import os
import resource
import struct
import subprocess
import sys
import threading
import time
import zlib

ZEROS_4G = 4 * 1024 ** 3


def deflate_zeros(size, block=1 << 20):
    """Raw deflate of `size` zero bytes and their CRC-32."""
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    chunk = bytes(block)
    parts = []
    crc = 0
    left = size
    while left:
        piece = chunk if left >= block else bytes(left)
        parts.append(compressor.compress(piece))
        crc = zlib.crc32(piece, crc)
        left -= len(piece)
    parts.append(compressor.flush())
    return b"".join(parts), crc


class Entry:
    def __init__(self, name, data, crc, size, method=8):
        self.name = name.encode()
        self.data = data  # compressed bytes
        self.crc = crc
        self.size = size
        self.method = method


def zip_bytes(entries, shared_central=None):
    """A ZIP archive of pre-compressed entries; zip64 sizes where needed.

    shared_central: extra names whose central records point at the first
    entry's local header (the overlapping-entry construction)."""
    out = bytearray()
    central = bytearray()
    records = []
    for e in entries:
        offset = len(out)
        big = e.size >= 0xFFFFFFFF or len(e.data) >= 0xFFFFFFFF
        extra = struct.pack("<HHQQ", 1, 16, e.size, len(e.data)) if big else b""
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 45 if big else 20, 0, e.method, 0, 0x21, e.crc,
                           0xFFFFFFFF if big else len(e.data), 0xFFFFFFFF if big else e.size,
                           len(e.name), len(extra))
        out += e.name + extra + e.data
        records.append((e, offset, big))
    for name in shared_central or []:
        first, offset, big = records[0]
        records.append((Entry(name, first.data, first.crc, first.size, first.method), offset, big))
    for e, offset, big in records:
        extra = struct.pack("<HHQQ", 1, 16, e.size, len(e.data)) if big else b""
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 45 if big else 20, 0, e.method, 0, 0x21,
                               e.crc, 0xFFFFFFFF if big else len(e.data), 0xFFFFFFFF if big else e.size,
                               len(e.name), len(extra), 0, 0, 0, 0, offset)
        central += e.name + extra
    start = len(out)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(records), len(records), len(central), start, 0)
    return bytes(out)


def stored_or_deflated(name, payload):
    compressed = zlib.compress(payload, 9)[2:-4]
    return Entry(name, compressed, zlib.crc32(payload), len(payload))


def make(folder):
    os.makedirs(folder, exist_ok=True)
    zeros, crc = deflate_zeros(ZEROS_4G)
    with open(os.path.join(folder, "zeros4g.zip"), "wb") as out:
        out.write(zip_bytes([Entry("zeros.bin", zeros, crc, ZEROS_4G)]))

    # 42.zip's shape: page (one 4 GiB file), then doc, chapter, book, lib, top.
    level = zip_bytes([Entry("0.dat", zeros, crc, ZEROS_4G)])
    for prefix in ("doc", "chapter", "book", "lib"):
        level = zip_bytes([stored_or_deflated("%s%x.zip" % (prefix, i), level) for i in range(16)])
    with open(os.path.join(folder, "nested42.zip"), "wb") as out:
        out.write(level)

    kernel, kernel_crc = deflate_zeros(20 * 1024 * 1024)
    with open(os.path.join(folder, "overlap.zip"), "wb") as out:
        out.write(zip_bytes([Entry("f000", kernel, kernel_crc, 20 * 1024 * 1024)],
                            ["f%03d" % i for i in range(1, 100)]))


def folder_size(folder):
    total = 0
    for root, dirs, files in os.walk(folder):
        for name in files:
            try:
                total += os.lstat(os.path.join(root, name)).st_blocks * 512
            except OSError:
                pass  # removed while we looked
    return total


def run(work, command):
    os.makedirs(work, exist_ok=True)
    env = dict(os.environ, TMPDIR=work)
    peak = [0]
    done = threading.Event()

    def sample():
        while not done.is_set():
            peak[0] = max(peak[0], folder_size(work))
            done.wait(0.02)

    sampler = threading.Thread(target=sample)
    sampler.start()
    started = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    output = 0
    while True:
        block = process.stdout.read(1 << 20)
        if not block:
            break
        output += len(block)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.monotonic() - started
    done.set()
    sampler.join()
    left = folder_size(work)
    print("  wall %.2f s  peak disk %.1f MB  peak RSS %.1f MB  output %d bytes  exit %d  left on disk %d bytes"
          % (elapsed, peak[0] / 1e6, usage.ru_maxrss / 1024, output, os.waitstatus_to_exitcode(status), left))


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "make":
        make(sys.argv[2])
    elif len(sys.argv) >= 4 and sys.argv[1] == "run":
        run(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(__doc__)
