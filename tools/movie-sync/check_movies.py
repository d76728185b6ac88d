#!/usr/bin/env python3
"""Checks the made movies with ffprobe and ffmpeg before anything plays
them: the first pictures decode to their own times, and the sound's packets
start, break off and step back where the manifest says.

    check_movies.py MOVIE_DIR
"""
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sync_common import CELLS, decode_cells, picture_time_ms, read_manifest  # noqa: E402

PICTURES_CHECKED = 40


def audio_packets(path):
    """(pts seconds, duration seconds) of every sound packet in file order."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries", "packet=pts_time,duration_time",
         "-of", "csv=p=0", path], check=True, capture_output=True, text=True).stdout
    packets = []
    for line in out.split():
        fields = line.split(",")
        try:
            packets.append((float(fields[0]), float(fields[1]) if len(fields) > 1 and fields[1] else 0.0))
        except ValueError:
            pass
    return packets


def picture_codes(movie, count):
    """The codes of the first pictures, read from the middle row as decoded."""
    w, h = movie["width"], movie["height"]
    y = (h * 3 // 8) // 2 * 2 + (h // 4) // 4  # inside the band, clear of its edges
    raw = subprocess.run(
        ["ffmpeg", "-v", "error", "-nostdin", "-i", movie["path"], "-frames:v", str(count), "-fps_mode", "passthrough",
         "-vf", f"format=gray,crop={w}:1:0:{y}", "-f", "rawvideo", "-"],
        check=True, capture_output=True).stdout
    codes = []
    for n in range(len(raw) // w):
        row = raw[n * w:(n + 1) * w]
        luma = [row[int((c + 0.5) * w / CELLS)] for c in range(CELLS)]
        codes.append(decode_cells(luma))
    return codes


def main():
    movie_dir = sys.argv[1]
    failures = 0
    for m in read_manifest(movie_dir):
        if not os.path.exists(m["path"]):
            print(f"{m['name']:18} missing", flush=True)
            continue
        problems = []
        codes = picture_codes(m, min(PICTURES_CHECKED, m["frames"]))
        want = [picture_time_ms(n, m["fps"]) for n in range(len(codes))]
        if codes != want or not codes:
            problems.append(f"picture codes {codes[:5]}... want {want[:5]}...")
        packets = audio_packets(m["path"])
        first = packets[0][0] if packets else None
        gap = max((b[0] - (a[0] + a[1]) for a, b in zip(packets, packets[1:])), default=0.0)
        back = min((b[0] - a[0] for a, b in zip(packets, packets[1:])), default=0.0)
        expect_first = 4.0 if m["name"].startswith("e_") else 0.0
        if first is None or abs(first - expect_first) > 0.05:
            problems.append(f"first sound packet at {first}, want {expect_first}")
        if m["name"].startswith("f_") != (gap > 4.5):
            problems.append(f"largest hole between sound packets {gap:.3f} s")
        if m["name"].startswith("g_") != (back < -1.5):
            problems.append(f"largest step back of sound packets {back:.3f} s")
        summary = (f"{m['name']:18} pictures ok ({len(codes)} read), sound packets {len(packets)}, "
                   f"first {first:.3f} s, hole {gap:.3f} s, step {back:+.3f} s")
        if problems:
            failures += 1
            print(summary + "  PROBLEM: " + "; ".join(problems))
        else:
            print(summary)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
