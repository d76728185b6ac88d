#!/usr/bin/env python3
"""Writes a Matroska file's blocks anew, in clusters of its own making, so
that sound blocks can carry times no muxer would write, or come in an order
no muxer would choose:

    mkv_retime.py --audio-at 5.5 --by 1000 FILE.mkv     # one sound block 1000 s ahead
    mkv_retime.py --every-other-audio --by 1000 FILE.mkv  # every second sound block
    mkv_retime.py --audio-first FILE.mkv                # all the sound before the first picture

A muxer keeps each stream's times rising and the streams interleaved by
time. A cluster holds block times only within 32.767 s of its own (a signed
16-bit tick count), so a block that jumps far needs a cluster of its own:
the blocks are laid into new clusters in the order chosen, a new one
whenever a block's time does not fit the current one. The segment's other
elements (its info, tracks and tags) are kept; its seek head and cues are
dropped, since the positions they name no longer hold.
"""
import argparse
import struct
import sys

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
from mkv_shift_audio import (BLOCK, BLOCK_GROUP, CLUSTER, CLUSTER_TIME, SEGMENT, SIMPLE_BLOCK,  # noqa: E402
                             elements, read_settings, read_vint, uint)

SEEK_HEAD, CUES, VOID = 0x114D9B74, 0x1C53BB6B, 0xEC
CLUSTER_BYTES = 4 << 20


def encode_id(ident):
    return ident.to_bytes((ident.bit_length() + 7) // 8, "big")


def encode_size(size, width=8):
    return ((1 << (7 * width)) | size).to_bytes(width, "big")


def size_bytes(size):
    for width in range(1, 9):
        if size < (1 << (7 * width)) - 1:
            return encode_size(size, width)
    raise ValueError(size)


def element(ident, payload):
    return encode_id(ident) + size_bytes(len(payload)) + payload


class Block:
    """One SimpleBlock, or one BlockGroup with its Block, at an absolute time in ticks."""

    __slots__ = ("kind", "raw", "block_at", "track", "track_len", "time")

    def __init__(self, data, kind, body, end, cluster_time):
        self.kind = kind
        if kind == SIMPLE_BLOCK:
            self.raw, self.block_at = bytes(data[body:end]), 0
        else:
            self.raw = bytes(data[body:end])
            self.block_at = next(b - body for e, b, _ in elements(data, body, end) if e == BLOCK)
        self.track, self.track_len, _ = read_vint(self.raw, self.block_at, False)
        (relative,) = struct.unpack_from(">h", self.raw, self.block_at + self.track_len)
        self.time = cluster_time + relative

    def bytes_at(self, cluster_time):
        raw = bytearray(self.raw)
        struct.pack_into(">h", raw, self.block_at + self.track_len, self.time - cluster_time)
        return element(self.kind, bytes(raw))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--audio-at", type=float, help="move the first sound block at or after this many seconds")
    ap.add_argument("--every-other-audio", action="store_true", help="move every second sound block")
    ap.add_argument("--by", type=float, default=0.0, help="seconds to move them by")
    ap.add_argument("--audio-first", action="store_true", help="all sound blocks first, then the rest")
    ap.add_argument("file")
    args = ap.parse_args()
    with open(args.file, "rb") as f:
        data = bytearray(f.read())

    scale = 1000000
    audio = set()
    head, kept, blocks = b"", [], []
    for ident, body, end in elements(data, 0, len(data)):
        if ident != SEGMENT:  # the EBML header
            head += element(ident, bytes(data[body:end]))
            continue
        for child, cbody, cend in elements(data, body, end):
            scale = read_settings(data, child, cbody, cend, scale, audio)
            if child == CLUSTER:
                cluster_time = 0
                for e, b, s in elements(data, cbody, cend):
                    if e == CLUSTER_TIME:
                        cluster_time = uint(data, b, s)
                    elif e in (SIMPLE_BLOCK, BLOCK_GROUP):
                        blocks.append(Block(data, e, b, s, cluster_time))
            elif child not in (SEEK_HEAD, CUES, VOID):
                kept.append(element(child, bytes(data[cbody:cend])))
    if not audio:
        sys.exit("no sound track")

    ticks = round(args.by * 1e9 / scale)
    sound = [b for b in blocks if b.track in audio]
    moved = 0
    if args.audio_at is not None:
        at = round(args.audio_at * 1e9 / scale)
        target = next((b for b in sound if b.time >= at), None)
        if target is None:
            sys.exit("no sound block that late")
        target.time += ticks
        moved = 1
    if args.every_other_audio:
        for b in sound[1::2]:
            b.time += ticks
            moved += 1
    if args.audio_first:
        blocks = sound + [b for b in blocks if b.track not in audio]

    clusters, current, cluster_time = [], [], None
    size = 0

    def close():
        if current:
            clusters.append(element(CLUSTER, element(CLUSTER_TIME, cluster_time.to_bytes(8, "big").lstrip(b"\0")
                                                     or b"\0") + b"".join(current)))

    for b in blocks:
        if cluster_time is None or not 0 <= b.time - cluster_time <= 32767 or size > CLUSTER_BYTES:
            close()
            current, cluster_time, size = [], b.time, 0
        piece = b.bytes_at(cluster_time)
        current.append(piece)
        size += len(piece)
    close()

    body = b"".join(kept) + b"".join(clusters)
    with open(args.file, "wb") as f:
        f.write(head + encode_id(SEGMENT) + encode_size(len(body)) + body)
    print(f"{len(blocks)} blocks in {len(clusters)} clusters; {moved} sound blocks moved by {args.by:+g} s"
          + (", the sound first" if args.audio_first else ""), file=sys.stderr)


if __name__ == "__main__":
    main()
