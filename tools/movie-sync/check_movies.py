#!/usr/bin/env python3
"""Checks the made movies with ffprobe and ffmpeg before anything plays
them: the pictures decode to their own times, and the sound's packets start,
break off, jump and step back where each movie means them to.

    check_movies.py MOVIE_DIR

A movie that passed is not checked again until it is made again (its
.checked file holds the .stamp it passed with).
"""
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sync_common import CELLS, decode_cells, picture_time_ms, read_manifest  # noqa: E402

PICTURES_CHECKED = 40


def probe(path, *args):
    return subprocess.run(["ffprobe", "-v", "error", *args, path], check=True, capture_output=True,
                          text=True).stdout


def packets(path, stream):
    """(pts seconds, duration seconds) of every packet of one stream ("a:0", "v:0") in file order."""
    out = probe(path, "-select_streams", stream, "-show_entries", "packet=pts_time,duration_time", "-of", "csv=p=0")
    found = []
    for line in out.split():
        fields = line.split(",")
        try:
            pts = float(fields[0])
        except ValueError:
            continue
        try:
            duration = float(fields[1])
        except (IndexError, ValueError):
            duration = 0.0  # one-sample packets in Matroska's milliseconds have none
        found.append((pts, duration))
    return found


def start_time(path):
    try:
        return float(probe(path, "-show_entries", "format=start_time", "-of", "csv=p=0").strip())
    except ValueError:
        return 0.0


def picture_codes(movie, count):
    """The codes of the first count pictures, read from a row of the band,
    every picture scaled to the movie's first size (some movies grow)."""
    w, h = movie["width"], movie["height"]
    y = (h * 3 // 8) // 2 * 2 + (h // 4) // 4  # inside the band, clear of its edges
    raw = subprocess.run(
        ["ffmpeg", "-v", "error", "-nostdin", "-i", movie["path"], "-frames:v", str(count), "-fps_mode", "passthrough",
         "-vf", f"scale={w}:{h}:flags=neighbor,format=gray,crop={w}:1:0:{y}", "-f", "rawvideo", "-"],
        check=True, capture_output=True).stdout
    codes = []
    for n in range(len(raw) // w):
        row = raw[n * w:(n + 1) * w]
        luma = [row[int((c + 0.5) * w / CELLS)] for c in range(CELLS)]
        codes.append(decode_cells(luma))
    return codes


def frame_sizes(path):
    """[(width, height, pixel format)] of every decoded picture."""
    out = probe(path, "-select_streams", "v:0", "-show_entries", "frame=width,height,pix_fmt", "-of", "csv=p=0")
    return [tuple(f for f in line.split(",") if f) for line in out.split()]


def stream_order(path):
    """The stream kinds of the packets in file order: a string of "a" and "v"."""
    out = probe(path, "-show_entries", "packet=codec_type", "-of", "csv=p=0")
    return "".join(line[0] for line in out.split())


def check_kind(m, audio, video, problems):
    """What each kind of movie is made to hold, beyond its pictures' times."""
    name, path = m["name"], m["path"]
    steps = [b[0] - a[0] for a, b in zip(audio, audio[1:])]
    if name == "i_two_clocks" and sum(1 for s in steps if s < -900) < len(audio) // 3:
        problems.append(f"only {sum(1 for s in steps if s < -900)} sound packets step back 1000 s")
    if name == "i_ts_joined":
        back = min((b[0] - a[0] for a, b in zip(video, video[1:])), default=0.0)
        if not -10.5 < back < -9.5:
            problems.append(f"pictures step back {back:.3f} s at the join, want -10")
    if name.startswith("k_sound"):
        want = 10.0 if name == "k_sound10s" else 30.0
        if not audio or any(abs(d - want) > 0.01 for _, d in audio):
            problems.append(f"sound packets last {[round(d, 3) for _, d in audio[:4]]} s, want {want}")
    if name.startswith("l_grow"):
        sizes = frame_sizes(path)
        half = m["frames"] // 2
        big = "3840,2160" if name == "l_grow2160" else "1920,1080"
        first, second = {",".join(s) for s in sizes[:half]}, {",".join(s) for s in sizes[half:]}
        want_second = big + (",yuv420p10le" if name == "l_grow1080p10" else ",yuv420p")
        if len(sizes) != m["frames"] or first != {"320,240,yuv420p"} or second != {want_second}:
            problems.append(f"{len(sizes)} pictures, first half {first}, second half {second}")
    if name.startswith("m_raw"):
        codec = probe(path, "-select_streams", "v:0", "-show_entries", "stream=codec_name", "-of", "csv=p=0").strip()
        if codec != "rawvideo" or len(video) != m["frames"]:
            problems.append(f"{codec}, {len(video)} pictures")
    if name.startswith("n_sound_first"):
        order = stream_order(path)
        samples = int(name.rsplit("_", 1)[1])
        want = -(-300 * 8000 // samples)
        if order.rstrip("v") != "a" * len(audio) or order.count("v") != m["frames"] or len(audio) != want:
            problems.append(f"{len(audio)} sound packets (want {want}), file order {order[:3]}...{order[-3:]}, "
                            f"first picture after {order.find('v')} packets")


def main():
    movie_dir = sys.argv[1]
    failures = 0
    for m in read_manifest(movie_dir):
        path = m["path"]
        if not os.path.exists(path):
            print(f"{m['name']:18} missing", flush=True)
            continue
        stamp = open(path + ".stamp").read() if os.path.exists(path + ".stamp") else None
        checked = path + ".checked"
        if stamp and os.path.exists(checked) and open(checked).read() == stamp:
            print(f"{m['name']:18} checked when made")
            continue
        name = m["name"]
        problems = []
        # All of a short or sparse movie's pictures, and both halves of a joined one.
        count = m["frames"] if name.startswith(("i_ts_joined", "j_", "l_grow")) else min(PICTURES_CHECKED, m["frames"])
        codes = picture_codes(m, count)
        want = [picture_time_ms(n, m["fps"]) for n in range(len(codes))]
        if codes != want or len(codes) != count:
            bad = next((i for i, (c, w) in enumerate(zip(codes, want)) if c != w), len(codes))
            problems.append(f"{len(codes)} pictures read; picture {bad}: {codes[bad:bad + 3]}... "
                            f"want {want[bad:bad + 3]}...")
        origin = start_time(path)
        audio = packets(path, "a:0")
        video = packets(path, "v:0")
        first = audio[0][0] - origin if audio else None
        gap = max((b[0] - (a[0] + a[1]) for a, b in zip(audio, audio[1:])), default=0.0)
        back = min((b[0] - a[0] for a, b in zip(audio, audio[1:])), default=0.0)
        expect_first = 4.0 if name.startswith("e_") else 0.0
        # (lowest, highest) of the largest hole and the largest step back.
        expect_gap, expect_back = (-1, 4.5), (-1.5, 1e18)
        if name.startswith("f_"):
            expect_gap = (4.5, 5.5)
        elif name.startswith("g_"):
            expect_back = (-2.5, -1.5)
        elif name in ("i_jump1000", "i_two_clocks"):
            expect_gap, expect_back = (990, 1010), (-1010, -990)
        elif name == "i_jump1e9":
            expect_gap, expect_back = (0.99e9, 1.01e9), (-1.01e9, -0.99e9)
        elif name == "i_ts_restart":
            expect_back = (-5.5, -4.5)
        elif name == "i_ts_joined":
            expect_back = (-10.5, -9.5)
        if first is None or abs(first - expect_first) > 0.05:
            problems.append(f"first sound packet at {first}, want {expect_first}")
        if not expect_gap[0] < gap < expect_gap[1]:
            problems.append(f"largest hole between sound packets {gap:.3f} s, want {expect_gap}")
        if not expect_back[0] < back < expect_back[1]:
            problems.append(f"largest step back of sound packets {back:.3f} s, want {expect_back}")
        check_kind(m, audio, video, problems)
        summary = (f"{name:18} pictures ok ({len(codes)} read), sound packets {len(audio)}, "
                   f"first {first if first is None else round(first, 3)} s, hole {gap:.3f} s, step {back:+.3f} s")
        if problems:
            failures += 1
            print(summary + "  PROBLEM: " + "; ".join(problems), flush=True)
        else:
            print(summary, flush=True)
            if stamp:
                with open(checked, "w") as f:
                    f.write(stamp)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
