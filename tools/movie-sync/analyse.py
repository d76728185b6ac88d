#!/usr/bin/env python3
"""Sets the pictures a movie_sync run handed on against the sound it mixed.

    analyse.py --movies MOVIE_DIR RUN_DIR [RUN_DIR ...]   # details, then a table
    analyse.py --tones FILE.wav                           # the tones a sound file holds

A run directory holds pictures.csv and mix.wav (see movie_sync.cpp). On
the mix's own frame clock, for every second s of the movie: when its tone
(500 + 50 s Hz) starts, and when the picture of time s * 1000 ms first
reached the screen (the present after the frame it was handed on in; a
picture replaced within its frame never does, and the next one on the
screen stands for it); the offset is tone minus picture, so positive means
the sound comes late. Also: the pictures handed on out of the movie's, how long the
run took, how far the pictures fell behind the run's own clock, runs of
exact zeros of 20 ms or more where the file has sound (the movies carry a
quiet hum wherever they have sound, so any such run is a break), and sound
still coming out after the movie ended.

Standard library only.
"""
import argparse
import array
import math
import os
import struct
import sys
import wave

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sync_common import read_manifest  # noqa: E402

BREAK_MS = 20
MIN_TONE_MS = 20  # a shorter burst is a click at the edge of a break
BLOCK = 44  # about 1 ms at 44.1 kHz
TONE_BASE, TONE_STEP, TONE_KINDS = 500, 50, 61


# ---- Sound -------------------------------------------------------------------

def read_wav(path):
    """(rate, left channel, right channel) as arrays of int16."""
    with open(path, "rb") as f:
        data = f.read()
    rate, channels, offset = 44100, 2, 46
    try:
        with wave.open(path, "rb") as w:
            rate, channels = w.getframerate(), w.getnchannels()
            frames = w.readframes(w.getnframes())
            if w.getsampwidth() != 2:
                sys.exit(f"{path}: not 16-bit")
            data, offset = frames, 0
    except (wave.Error, EOFError):
        pass  # a capture whose header was never written: the mix follows 46 bytes of room
    samples = array.array("h")
    usable = (len(data) - offset) // (2 * channels) * 2 * channels
    samples.frombytes(data[offset:offset + usable])
    if sys.byteorder != "little":
        samples.byteswap()
    if channels == 1:
        return rate, samples, samples
    return rate, samples[0::channels], samples[1::channels]


def high_pass(x, rate, cutoff=300.0):
    """Second-order Butterworth high-pass: the 100 Hz hum drops by 20 dB, the tones stay."""
    w0 = 2 * math.pi * cutoff / rate
    alpha = math.sin(w0) / math.sqrt(2)
    cw = math.cos(w0)
    a0 = 1 + alpha
    b0, b1, b2 = (1 + cw) / 2 / a0, -(1 + cw) / a0, (1 + cw) / 2 / a0
    a1, a2 = -2 * cw / a0, (1 - alpha) / a0
    out = array.array("f", bytes(4 * len(x)))
    x1 = x2 = y1 = y2 = 0.0
    for i, v in enumerate(x):
        y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
        out[i] = y
        x2, x1, y2, y1 = x1, v, y1, y
    return out


def goertzel_power(x, start, n, freq, rate):
    k = 2 * math.cos(2 * math.pi * freq / rate)
    s1 = s2 = 0.0
    for v in x[start:start + n]:
        s1, s2 = v + k * s1 - s2, s1
    return s1 * s1 + s2 * s2 - k * s1 * s2


def find_tones(x, rate):
    """[(onset frame, second, length ms)] of every burst in the sound: a tone,
    or a piece of one, or a click (shorter than MIN_TONE_MS)."""
    hp = high_pass(x, rate)
    env = [max(max(hp[i:i + BLOCK]), -min(hp[i:i + BLOCK])) for i in range(0, len(hp) - BLOCK, BLOCK)]
    if not env:
        return []
    top = max(env)
    if top < 200:
        return []
    loud = sorted(v for v in env if v > 0.2 * top)
    level = loud[len(loud) // 2]
    threshold = 0.3 * level
    tones = []
    i, quiet = 0, 1000
    while i < len(env):
        if env[i] <= threshold:
            quiet += 1
            i += 1
            continue
        if quiet < 30:  # within a burst already (or a tone right after one)
            quiet = 0
            i += 1
            continue
        # Onset: the first sample over half the threshold, from a block back.
        first = max(i - 1, 0) * BLOCK
        onset = next((j for j in range(first, first + 3 * BLOCK) if abs(hp[j]) > threshold * 0.5), i * BLOCK)
        j, below = i, 0
        while j < len(env) and below < 10:
            below = below + 1 if env[j] <= threshold else 0
            j += 1
        length_ms = (j - below - i) * BLOCK * 1000 / rate
        span = min(int(0.08 * rate), max(int((length_ms - 10) / 1000 * rate), int(0.02 * rate)))
        at = onset + int(0.005 * rate)
        powers = [goertzel_power(hp, at, span, TONE_BASE + TONE_STEP * k, rate) for k in range(TONE_KINDS)]
        best = max(range(TONE_KINDS), key=lambda k: powers[k])
        tones.append((onset, best, length_ms))
        quiet = 0
        i = j
    return tones


def zero_runs(left, right, min_frames):
    """[(first frame, end frame)] of runs of exact silence on both sides."""
    runs = []
    start = None
    n = len(left)
    for i in range(n):
        if left[i] == 0 and right[i] == 0:
            if start is None:
                start = i
        elif start is not None:
            if i - start >= min_frames:
                runs.append((start, i))
            start = None
    if start is not None and n - start >= min_frames:
        runs.append((start, n))
    return runs


# ---- A run ---------------------------------------------------------------------

def read_log(path):
    meta, rows = {}, []
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line.startswith("#"):
                for part in line[1:].split():
                    if "=" in part:
                        k, v = part.split("=", 1)
                        meta[k] = v
            elif line and not line.startswith("wall_us"):
                fields = [int(v) for v in line.split(",")]
                if len(fields) == 4:  # a log without the loop's frames
                    fields += [-1, fields[1]]
                rows.append(tuple(fields))
    return meta, rows


def analyse_run(run_dir, movies):
    meta, rows = read_log(os.path.join(run_dir, "pictures.csv"))
    rate, left, right = read_wav(os.path.join(run_dir, "mix.wav"))
    movie = movies.get(os.path.basename(meta["movie"]))
    if movie is None:
        sys.exit(f"{run_dir}: {meta['movie']} is not in the manifest")
    ms = 1000.0 / rate
    start_f = int(meta["start_mix_frames"])
    end_f = int(meta["end_mix_frames"])
    start_us, end_us = int(meta["start_wall_us"]), int(meta["end_wall_us"])
    r = {"run": os.path.basename(run_dir.rstrip("/")), "movie": movie["name"], "seconds": movie["seconds"],
         "ending": meta.get("ending", "?"), "run_s": (end_us - start_us) / 1e6, "meta": meta}

    # Pictures: those handed on up to the end (the load's included); those
    # on the screen: the last handed on in their frame, once presented.
    played = [row for row in rows if row[3] <= 1]
    codes = [row[2] for row in played]
    valid = [c for c in codes if c >= 0]
    r["unreadable"] = len(codes) - len(valid)
    r["shown"] = len(set(valid))
    r["frames"] = movie["frames"]
    r["repeats"] = sum(1 for a, b in zip(valid, valid[1:]) if b == a)
    r["backwards"] = sum(1 for a, b in zip(valid, valid[1:]) if b < a)
    screen = [row for i, row in enumerate(played)
              if row[5] >= 0 and (i + 1 == len(played) or played[i + 1][4] != row[4] or row[4] < 0)]
    r["on_screen"] = len({row[2] for row in screen if row[2] >= 0})
    first_show, first_hand = {}, {}
    for wall, frames, code, phase, frame, present in screen:
        if code >= 0 and code not in first_show:
            first_show[code] = present
    for wall, frames, code, phase, frame, present in played:
        if code >= 0 and code not in first_hand:
            first_hand[code] = frames
    # How far each picture reached the screen after its time on the run's
    # own clock (mix frames since the start), first against last.
    # (The picture of time 0 is the load's, on the screen before the start.)
    late = sorted(((present - start_f) * ms - code, code) for code, present in first_show.items() if code > 0)
    late.sort(key=lambda v: v[1])
    r["late_first_ms"] = late[0][0] if late else None
    r["late_last_ms"] = late[-1][0] if late else None
    r["late_worst_ms"] = max((v for v, _ in late), default=None)
    r["late_median_ms"] = sorted(v for v, _ in late)[len(late) // 2] if late else None
    # The first picture after the load's to reach the screen: a movie that
    # shows nothing for a long while shows it here.
    later = [(present, code) for code, present in first_show.items() if code > 0]
    r["first_new"] = ((min(later)[1], (min(later)[0] - start_f) * ms) if later else None)
    # The latest picture that reached the screen: where a frozen movie stopped.
    r["last_shown"] = max(first_show) if first_show else None

    # Tones.
    bursts = find_tones(left, rate)
    tones = [t for t in bursts if t[2] >= MIN_TONE_MS]
    r["clicks"] = len(bursts) - len(tones)
    heard = {}
    for onset, second, length in tones:
        heard.setdefault(second, []).append((onset, length))
    r["tones_expected"] = len(movie["tones"])
    r["tones_heard"] = sum(1 for s in movie["tones"] if s in heard)
    r["tones_extra"] = sorted(s for s in heard if s not in movie["tones"])
    r["tones_repeated"] = sorted(s for s, v in heard.items() if len(v) > 1)
    offsets, hand_offsets, clock = [], [], []
    detail = []
    for s in movie["tones"]:
        if s not in heard:
            detail.append(f"  {s:3d} s  tone missing")
            continue
        onset = heard[s][0][0]
        clock_off = (onset - start_f) * ms - s * 1000
        clock.append(clock_off)
        want = s * 1000
        shown = first_show.get(want)
        approx = ""
        if shown is None:
            later = [c for c in first_show if c >= want]
            if later and min(later) - want < 200:
                shown, approx = first_show[min(later)], f" (picture {min(later)} ms: {want} ms never shown)"
        if shown is None:
            detail.append(f"  {s:3d} s  tone at {(onset - start_f) * ms:9.1f} ms of the run, no picture of it")
            continue
        off = (onset - shown) * ms
        offsets.append(off)
        hand = ""
        if want in first_hand:
            hand_offsets.append((onset - first_hand[want]) * ms)
            hand = f", handed on {(first_hand[want] - start_f) * ms:9.1f} ms"
        detail.append(f"  {s:3d} s  tone {(onset - start_f) * ms:9.1f} ms, picture on screen "
                      f"{(shown - start_f) * ms:9.1f} ms{hand}, offset {off:+8.1f} ms{approx}")
    r["offsets"] = offsets
    r["hand_mean_ms"] = sum(hand_offsets) / len(hand_offsets) if hand_offsets else None
    r["mean_ms"] = sum(offsets) / len(offsets) if offsets else None
    r["worst_ms"] = max(offsets, key=abs) if offsets else None
    r["clock_mean_ms"] = sum(clock) / len(clock) if clock else None
    r["detail"] = detail

    # Breaks: exact silence of 20 ms or more, after the first sound of the
    # run and before its end, outside the spans where the file has none.
    runs = zero_runs(left, right, int(BREAK_MS / ms))
    sound_frames = [i for i in range(start_f, min(end_f, len(left)), BLOCK) if left[i] or right[i]]
    first_sound = sound_frames[0] if sound_frames else None

    def movie_time(frame):
        """The movie's time then, by the pictures: the last one handed on, plus the time since."""
        t = None
        for row in played:
            if row[1] > frame:
                break
            if row[2] >= 0:
                t = row[2] + (frame - row[1]) * ms
        return t

    breaks, expected = [], []
    for a, b in runs:
        # Silence that runs into the end is the sound's end, told apart below.
        if first_sound is None or b <= first_sound or b >= end_f:
            continue
        ta, tb = movie_time(a), movie_time(b)
        inside = any(ta is not None and tb is not None and lo * 1000 - 500 <= ta and tb <= hi * 1000 + 500
                     for lo, hi in movie["silent"])
        (expected if inside else breaks).append((a, b, ta))
    r["breaks"] = len(breaks)
    r["break_ms"] = sum(b - a for a, b, _ in breaks) * ms
    r["break_list"] = [((a - start_f) * ms, (b - a) * ms, t) for a, b, t in breaks]
    r["expected_silence_ms"] = sum(b - a for a, b, _ in expected) * ms
    r["lead_ms"] = (first_sound - start_f) * ms if first_sound is not None else None
    # How long before the movie ended its sound did (the file's sound runs to its end).
    r["sound_end_ms"] = max((end_f - (sound_frames[-1] + BLOCK)) * ms, 0) if sound_frames else None
    # Sound after the end: 10 ms pieces that are not silent, from 0.6 s on
    # (the half second written ahead may still play out).
    after = range(end_f + int(0.6 * rate), len(left) - 441, 441)
    r["after_end_ms"] = sum(10 for i in after if any(left[j] for j in range(i, i + 441, 7)))
    r["after_end_tones"] = sorted(s for onset, s, _ in tones if onset > end_f + int(0.1 * rate))
    r["tail_s"] = max(len(left) - end_f, 0) / rate
    return r


def fmt(v, form="+.0f"):
    return "-" if v is None else format(v, form)


def cpu_share(meta):
    """The process's processor time against its run time, in percent of one processor."""
    if "cpu_s" not in meta or not float(meta.get("process_s", 0)):
        return "-"
    return f"{100 * float(meta['cpu_s']) / float(meta['process_s']):.0f}"


def mb(kb):
    """Megabytes from a log's kB figure, None where the log has none."""
    return None if kb is None else int(kb) / 1024


def print_details(r):
    m = r["meta"]
    cores = "the machine's" if m.get("cores", "0") == "0" else m["cores"]
    print(f"== {r['run']}: {r['movie']} ({r['seconds']} s; pace {m.get('pace')}, audio {m.get('audio')}, "
          f"hold {m.get('hold')}, decoder cores {cores})")
    print(f"  run {r['run_s']:.2f} s for a {r['seconds']} s movie, ended by {r['ending']}; "
          f"load {int(m.get('load_us', 0)) / 1000:.0f} ms; peak resident {fmt(mb(m.get('start_hwm_kb')), '.0f')} MB "
          f"before the load, {fmt(mb(m.get('load_hwm_kb')), '.0f')} MB after it, "
          f"{fmt(mb(m.get('peak_rss_kb')), '.0f')} MB at the end; processor time {m.get('cpu_s', '-')} s "
          f"of the process's {m.get('process_s', '-')} s")
    print(f"  pictures: {r['shown']} of {r['frames']} handed on, {r['on_screen']} reached the screen; "
          f"{r['unreadable']} unreadable, {r['repeats']} repeated, {r['backwards']} backwards")
    print(f"  pictures on screen behind the run's clock: first {fmt(r['late_first_ms'])} ms, "
          f"last {fmt(r['late_last_ms'])} ms, median {fmt(r['late_median_ms'])} ms, "
          f"worst {fmt(r['late_worst_ms'])} ms")
    if r["first_new"]:
        print(f"  first picture after the load's on screen: its time {r['first_new'][0]} ms, "
              f"at {r['first_new'][1]:.0f} ms of the run; the latest on screen: its time {r['last_shown']} ms")
    else:
        print("  no picture after the load's reached the screen")
    print(f"  updates {m.get('updates')}: median {m.get('update_us_median')} us, p99 {m.get('update_us_p99')} us, "
          f"max {m.get('update_us_max')} us; longest frame {int(m.get('frame_gap_us_max', 0)) / 1000:.1f} ms")
    print(f"  tones heard {r['tones_heard']} of {r['tones_expected']}"
          + (f", unexpected {r['tones_extra']}" if r["tones_extra"] else "")
          + (f", in pieces or more than once {r['tones_repeated']}" if r["tones_repeated"] else "")
          + (f", {r['clicks']} clicks" if r["clicks"] else ""))
    print(f"  tone - picture on screen: mean {fmt(r['mean_ms'])} ms, worst {fmt(r['worst_ms'])} ms; "
          f"tone - picture handed on: mean {fmt(r['hand_mean_ms'])} ms; "
          f"tone - (start + s): mean {fmt(r['clock_mean_ms'])} ms")
    for line in r["detail"]:
        print(line)
    print(f"  sound: first after {fmt(r['lead_ms'], '.0f')} ms; breaks {r['breaks']} ({r['break_ms']:.0f} ms), "
          f"silence where the file has none {r['expected_silence_ms']:.0f} ms; "
          f"silent for the last {fmt(r['sound_end_ms'], '.0f')} ms before the end; "
          f"sound {r['after_end_ms']} ms in the {r['tail_s']:.1f} s after the end"
          + (f" (tones {r['after_end_tones']})" if r["after_end_tones"] else ""))
    for at, length, t in r["break_list"][:12]:
        where = f"movie {t / 1000:.2f} s" if t is not None else "movie time unknown"
        print(f"    break at {at / 1000:7.3f} s of the run ({where}): {length:.0f} ms")
    if len(r["break_list"]) > 12:
        print(f"    ... {len(r['break_list']) - 12} more")


def print_table(results):
    head = ["run", "handed", "on screen", "tones", "mean ms", "worst ms", "snd-clk ms", "pic late med/max",
            "run s/movie s", "ended", "max frame ms", "open ms", "peak MB", "cpu %", "breaks (ms)", "mute end ms",
            "after end ms"]
    lines = []
    for r in results:
        lines.append([
            r["run"], f"{r['shown']}/{r['frames']}", f"{r['on_screen']}/{r['frames']}",
            f"{r['tones_heard']}/{r['tones_expected']}",
            fmt(r["mean_ms"]), fmt(r["worst_ms"]), fmt(r["clock_mean_ms"]),
            f"{fmt(r['late_median_ms'])}/{fmt(r['late_worst_ms'])}",
            f"{r['run_s']:.2f}/{r['seconds']}", r["ending"],
            f"{int(r['meta'].get('frame_gap_us_max', 0)) / 1000:.0f}",
            f"{int(r['meta'].get('load_us', 0)) / 1000:.0f}", fmt(mb(r["meta"].get("peak_rss_kb")), ".0f"),
            cpu_share(r["meta"]),
            f"{r['breaks']} ({r['break_ms']:.0f})",
            fmt(r["sound_end_ms"], ".0f"), str(r["after_end_ms"]),
        ])
    widths = [max(len(h), *(len(l[i]) for l in lines)) for i, h in enumerate(head)]
    print("| " + " | ".join(h.ljust(w) for h, w in zip(head, widths)) + " |")
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for l in lines:
        print("| " + " | ".join(v.ljust(w) for v, w in zip(l, widths)) + " |")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--movies", help="the folder make-movies.sh made (with movies.tsv)")
    ap.add_argument("--tones", help="print the tones of a WAV file and stop")
    ap.add_argument("--table-only", action="store_true")
    ap.add_argument("runs", nargs="*")
    args = ap.parse_args()
    if args.tones:
        rate, left, _ = read_wav(args.tones)
        for onset, second, length in find_tones(left, rate):
            print(f"{onset / rate * 1000:10.1f} ms  second {second:2d}  ({TONE_BASE + TONE_STEP * second} Hz)  "
                  f"{length:.0f} ms")
        return
    if not args.movies or not args.runs:
        ap.error("--movies and at least one run directory are needed")
    movies = {m["file"]: m for m in read_manifest(args.movies)}
    results = []
    for run in args.runs:
        if not os.path.exists(os.path.join(run, "pictures.csv")):
            print(f"== {run}: no pictures.csv (the run failed)")
            continue
        r = analyse_run(run, movies)
        results.append(r)
        if not args.table_only:
            print_details(r)
            print()
    if results:
        print_table(results)


if __name__ == "__main__":
    main()
