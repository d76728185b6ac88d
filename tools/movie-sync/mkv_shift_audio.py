#!/usr/bin/env python3
"""Moves the times of a Matroska file's sound blocks at or after a point by
a fixed amount, in place, leaving their order and content alone:

    mkv_shift_audio.py --from 5 --by -2 FILE.mkv

A muxer keeps every stream's times rising, so a file whose sound steps back
cannot be written by one; here each block's 16-bit time relative to its
cluster is rewritten where it lies, which changes no size anywhere.
"""
import argparse
import struct
import sys

SEGMENT, INFO, TIMESCALE = 0x18538067, 0x1549A966, 0x2AD7B1
TRACKS, TRACK_ENTRY, TRACK_NUMBER, TRACK_TYPE = 0x1654AE6B, 0xAE, 0xD7, 0x83
CLUSTER, CLUSTER_TIME, SIMPLE_BLOCK, BLOCK_GROUP, BLOCK = 0x1F43B675, 0xE7, 0xA3, 0xA0, 0xA1
AUDIO_TYPE = 2


def read_vint(data, pos, keep_marker):
    first = data[pos]
    length = 1
    while length <= 8 and not first & (0x80 >> (length - 1)):
        length += 1
    if length > 8:
        raise ValueError(f"bad variable-length number at {pos}")
    value = first if keep_marker else first & (0xFF >> length)
    for b in data[pos + 1:pos + length]:
        value = value << 8 | b
    unknown = not keep_marker and value == (1 << (7 * length)) - 1
    return value, length, unknown


def elements(data, start, end):
    """(id, payload start, payload end) of each element in [start, end)."""
    pos = start
    while pos < end:
        ident, n, _ = read_vint(data, pos, True)
        size, m, unknown = read_vint(data, pos + n, False)
        body = pos + n + m
        stop = end if unknown else min(body + size, end)
        yield ident, body, stop
        pos = stop


def uint(data, start, end):
    return int.from_bytes(data[start:end], "big")


def write_moved(path, data, moved, what, by):
    """Writes the file back, unless nothing of what was to move moved."""
    if not moved:
        sys.exit(f"no {what} moved")
    with open(path, "wb") as f:
        f.write(data)
    print(f"moved {moved} {what} by {by:+g} s", file=sys.stderr)


def read_settings(data, child, body, end, scale, audio):
    """Reads what a segment's info or tracks say: returns the timescale (the
    one given when the element is no info), and adds the numbers of the
    sound tracks to audio."""
    if child == INFO:
        for e, b, s in elements(data, body, end):
            if e == TIMESCALE:
                scale = uint(data, b, s)
    elif child == TRACKS:
        for e, b, s in elements(data, body, end):
            if e != TRACK_ENTRY:
                continue
            fields = {k: uint(data, kb, ks) for k, kb, ks in elements(data, b, s) if k in (TRACK_NUMBER, TRACK_TYPE)}
            if fields.get(TRACK_TYPE) == AUDIO_TYPE:
                audio.add(fields[TRACK_NUMBER])
    return scale


def read_shift_arguments(doc, from_help):
    """The arguments of a shift of sound times (--from, --by, the file), and
    the file's bytes."""
    ap = argparse.ArgumentParser(description=doc.splitlines()[0])
    ap.add_argument("--from", dest="start", type=float, required=True, help=from_help)
    ap.add_argument("--by", type=float, required=True, help="seconds (negative: earlier)")
    ap.add_argument("file")
    args = ap.parse_args()
    with open(args.file, "rb") as f:
        return args, bytearray(f.read())


def main():
    args, data = read_shift_arguments(__doc__, "seconds")

    scale = 1000000  # nanoseconds a tick, Matroska's default
    audio = set()
    moved = 0
    for ident, body, end in elements(data, 0, len(data)):
        if ident != SEGMENT:
            continue
        for child, cbody, cend in elements(data, body, end):
            if child in (INFO, TRACKS):
                scale = read_settings(data, child, cbody, cend, scale, audio)
            elif child == CLUSTER:
                if not audio:
                    sys.exit("no sound track before the first cluster")
                start_ticks = round(args.start * 1e9 / scale)
                by_ticks = round(args.by * 1e9 / scale)
                cluster_time = 0
                blocks = []
                for e, b, s in elements(data, cbody, cend):
                    if e == CLUSTER_TIME:
                        cluster_time = uint(data, b, s)
                    elif e == SIMPLE_BLOCK:
                        blocks.append(b)
                    elif e == BLOCK_GROUP:
                        blocks.extend(gb for ge, gb, _ in elements(data, b, s) if ge == BLOCK)
                for b in blocks:
                    track, n, _ = read_vint(data, b, False)
                    if track not in audio:
                        continue
                    (relative,) = struct.unpack_from(">h", data, b + n)
                    if cluster_time + relative < start_ticks:
                        continue
                    shifted = relative + by_ticks
                    if not -32768 <= shifted <= 32767:
                        sys.exit(f"a block at {cluster_time + relative} ticks cannot move that far in its cluster")
                    struct.pack_into(">h", data, b + n, shifted)
                    moved += 1
    write_moved(args.file, data, moved, "sound blocks", args.by)


if __name__ == "__main__":
    main()
