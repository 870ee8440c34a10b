#!/usr/bin/env python3
"""Cuts the fuzz seed corpus from two generated logs: runs of consecutive
frames (every message ID the converter decodes among them), each behind an
option byte that the fuzz target reads first.

usage: make_seeds.py SAMPLE_E5_LOG DCDD_LOG OUT_DIR
"""
import os
import struct
import sys


def frames(data):
    i = 0
    while i + 4 <= len(data):
        if data[i] == 0xA0 and data[i + 1] == 0xA1:
            n = struct.unpack('>H', data[i + 2:i + 4])[0]
            end = i + 4 + n + 3
            if end <= len(data):
                yield data[i:end]
                i = end
                continue
        i += 1


def frame(payload):
    cs = 0
    for b in payload:
        cs ^= b
    return b'\xa0\xa1' + struct.pack('>H', len(payload)) + payload + bytes([cs]) + b'\r\n'


def main():
    e5, dcdd, out = sys.argv[1], sys.argv[2], sys.argv[3]
    os.makedirs(out, exist_ok=True)
    seeds = []
    for path, count, per in ((e5, 24, 40), (dcdd, 12, 30)):
        fr = list(frames(open(path, 'rb').read()))
        step = max(1, (len(fr) - per) // count)
        for k in range(count):
            seeds.append(b''.join(fr[k * step:k * step + per]))
    # Channel status (0xDE) is counted and skipped; no generated log has it.
    seeds.append(frame(bytes([0xDE, 1, 2]) + bytes(30)))
    # The navigation words of each message ID over two minutes: complete
    # ephemeris sets, so that mutations reach the decoders and record writers.
    sample_frames = list(frames(open(e5, 'rb').read()))
    for nav_id in (0xE0, 0xE1, 0xE2, 0xE3, 0xE6):
        picked = [f for f in sample_frames if f[4] == nav_id]
        seeds.append(b''.join(picked[:len(picked) * 2 // 3]))
    # Every ID by itself, so that short inputs reach each decoder at once.
    by_id = {}
    for path in (e5, dcdd):
        for f in frames(open(path, 'rb').read()):
            by_id.setdefault(f[4], f)
    seeds.extend(by_id[i] for i in sorted(by_id))
    for n, body in enumerate(seeds):
        option = [0x7F, 0x00, 0x40, 0x01, 0x48, 0x22][n % 6]
        with open(os.path.join(out, 'seed_%02d' % n), 'wb') as f:
            f.write(bytes([option]) + body)
    # The first two again with the epoch selection and station metadata (bit 7).
    for n in range(2):
        option = [0x7F, 0x00][n] | 0xC0
        with open(os.path.join(out, 'seed_%02d' % (len(seeds) + n)), 'wb') as f:
            f.write(bytes([option]) + seeds[n])


main()
