#!/usr/bin/env python3
"""Moves the times of an MPEG-TS file's sound at or after a point by a fixed
amount, in place, leaving the order and content of everything alone:

    ts_shift_audio.py --from 5 --by -5 FILE.ts

Times count from the file's first sound time. MPEG-TS tells its readers that
its times may break (a broadcast restarts its clock), yet a muxer writes them
rising; here each sound PES header's PTS (and DTS) is rewritten where it lies,
which changes no size anywhere.
"""
import sys

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
from mkv_shift_audio import read_shift_arguments, write_moved  # noqa: E402

PACKET = 188
CLOCK = 90000
WRAP = 1 << 33
AUDIO_STREAM_TYPES = {0x03, 0x04, 0x0F, 0x11, 0x81}


def payload(packet):
    """(payload start, payload unit start) of one TS packet, or (None, _) with no payload."""
    if packet[0] != 0x47:
        raise ValueError("lost the packets' sync")
    start = bool(packet[1] & 0x40)
    control = packet[3] >> 4 & 3
    if not control & 1:
        return None, start
    at = 4
    if control & 2:
        at += 1 + packet[4]
    return (at if at < PACKET else None), start


def pid_of(packet):
    return (packet[1] & 0x1F) << 8 | packet[2]


def read_time(b, at):
    return ((b[at] >> 1 & 7) << 30 | b[at + 1] << 22 | (b[at + 2] >> 1) << 15 | b[at + 3] << 7 | b[at + 4] >> 1)


def write_time(b, at, value):
    value %= WRAP
    b[at] = (b[at] & 0xF1) | (value >> 30 & 7) << 1 | 1
    b[at + 1] = value >> 22 & 0xFF
    b[at + 2] = (value >> 15 & 0x7F) << 1 | 1
    b[at + 3] = value >> 7 & 0xFF
    b[at + 4] = (value & 0x7F) << 1 | 1


def audio_pids(data):
    """The sound streams' PIDs, from the first program map."""
    pmt_pids = set()
    for pos in range(0, len(data) - PACKET + 1, PACKET):
        p = data[pos:pos + PACKET]
        at, start = payload(p)
        if at is None or not start:
            continue
        pid = pid_of(p)
        section = at + 1 + p[at]  # past the pointer field
        if pid == 0:
            length = (p[section + 1] & 0x0F) << 8 | p[section + 2]
            for e in range(section + 8, section + 3 + length - 4, 4):
                if p[e] << 8 | p[e + 1]:
                    pmt_pids.add((p[e + 2] & 0x1F) << 8 | p[e + 3])
        elif pid in pmt_pids:
            length = (p[section + 1] & 0x0F) << 8 | p[section + 2]
            end = section + 3 + length - 4
            e = section + 12 + ((p[section + 10] & 0x0F) << 8 | p[section + 11])
            found = set()
            while e + 5 <= end:
                if p[e] in AUDIO_STREAM_TYPES:
                    found.add((p[e + 1] & 0x1F) << 8 | p[e + 2])
                e += 5 + ((p[e + 3] & 0x0F) << 8 | p[e + 4])
            return found
    return set()


def main():
    args, data = read_shift_arguments(__doc__, "seconds after the first sound")
    if len(data) % PACKET:
        sys.exit("not a whole number of 188-byte packets")
    pids = audio_pids(data)
    if not pids:
        sys.exit("no sound stream in the program map")

    first = None
    by = round(args.by * CLOCK)
    moved = 0
    for pos in range(0, len(data), PACKET):
        at, start = payload(data[pos:pos + PACKET])
        if at is None or not start or pid_of(data[pos:pos + PACKET]) not in pids:
            continue
        pes = pos + at
        if data[pes:pes + 3] != b"\0\0\1" or not data[pes + 7] & 0x80:
            continue
        pts = read_time(data, pes + 9)
        if first is None:
            first = pts
        if (pts - first) % WRAP < round(args.start * CLOCK):
            continue
        write_time(data, pes + 9, pts + by)
        if data[pes + 7] & 0x40:
            write_time(data, pes + 14, read_time(data, pes + 14) + by)
        moved += 1
    write_moved(args.file, data, moved, "sound PES times", args.by)


if __name__ == "__main__":
    main()
