#!/usr/bin/env python3
"""Writes bench/README.md from one sitting: the performance anchors (pixman and
SDL2, ../shared/anchors) and every benchmark program of the build, run in
alternating rounds pinned to one core, side by side with their ratios.

  python3 bench/compare_anchors.py                  # build/, 5 rounds, writes bench/README.md
  python3 bench/compare_anchors.py --simd avx2      # and every program again with the AVX2 kernels forced
  python3 bench/compare_anchors.py --rounds 5 --cpu 3 --build build --out -   # print instead
  python3 bench/compare_anchors.py --only blit32,font_draw                   # a quick look, printed

Every build/bench_* program gets a section: its description is the leading
comment of bench/<name>.cpp, its figures what it reports (Mpix/s, Mchar/s,
fps, items/s, else time per run), all on the wall clock as the anchors time
theirs. A case whose name is an anchor case (or is listed in ANCHOR_OF) is
set against the best anchor on the same work; a case listed in SAME_RUN is
set against another case of its own program instead. A ratio is the median
of the rounds' own ratios, with their range.
"""
import argparse
import datetime
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# Project case -> the anchor cases that do the same work, where the names
# differ; the best of them is the yardstick. Sizes (@64x64...) carry over.
ANCHOR_OF = {
    "b.alpha_pp_sprite_runtable": ["b.alpha_pp_sprite", "b.alpha_pp_sprite_RLE"],
    "e.multiply": ["e.multiply_inrev_ca", "e.multiply"],
    "i.alpha_pp_rand_565": ["i.alpha_pp_rand_8888_to_565"],
    "i.alpha_pp_sprite_565": ["i.alpha_pp_sprite_8888_to_565"],
    "i.alpha_pp_sprite_runtable_565": ["i.alpha_pp_sprite_8888_to_565"],
    "l.tri_textured_rot30_scale1.5_alpha_sprite": ["g.rotate30_scale1.5_alpha_sprite"],
    "l.tri_solid_fullscreen_quad": ["l.tri_solid_fullscreen_quad"],
    "font.mono_line": ["font.mono_line_nomask", "font.mono_line_mask"],
    "font.aa_line": ["font.aa_line_nomask", "font.aa_line_mask"],
    # Four bytes read and four written per pixel, as in the 32-bit copy.
    "conv.argb_to_565a": ["conv.argb_to_argb"],
}
# Project case -> (case of the same program that is its yardstick, the yardstick's name): for work
# that no anchor does, measured against an established library in the same run.
# Cases that must also keep up with another path of the project on the same work: base name -> that path's.
OWN_PATH_OF = {
    "b.alpha_pp_sprite_runtable": "b.alpha_pp_sprite",
    "i.alpha_pp_sprite_runtable_565": "i.alpha_pp_sprite_565",
}

SAME_RUN = {
    "movie.decode_convert@640x480": ("movie.theora_swscale@640x480", "libtheora decode + libswscale conversion"),
    "movie.convert@640x480": ("movie.swscale_convert@640x480", "libswscale conversion"),
    "net.framed_recv@64": ("net.plain_recv@64", "plain blocking send/recv pair"),
    "net.framed_recv@65536": ("net.plain_recv@65536", "plain blocking send/recv pair"),
    "net.framed_send@64": ("net.plain_send@64", "plain blocking send/recv pair"),
    "net.framed_send@65536": ("net.plain_send@65536", "plain blocking send/recv pair"),
    "net.idle_call@4000": ("net.idle_call@1", "the same call with one handle"),
}
# Programs with a peer thread beside the measured one: pinned to two cores (the next lower one too).
TWO_CORES = {"bench_network_throughput"}
ANCHOR_LIBS = ("pixman", "sdl", "best")
LIB_NAMES = {"pixman": "pixman", "sdl": "SDL2", "best": "pixman + SDL2"}
# Counters a benchmark may report, in order of preference: counter, unit, scale. All are rates.
COUNTERS = [("Mpix/s", "Mpix/s", 1.0), ("Mchar/s", "Mchar/s", 1.0), ("fps", "frames/s", 1.0), ("MB/s", "MB/s", 1.0),
            ("items_per_second", "M items/s", 1e-6)]
# The library's vector levels by the names VARNOK_SIMD takes, and the processor flags each needs.
SIMD_LEVELS = {"baseline": ["sse2"], "avx2": ["avx2"], "avx512": ["avx512f", "avx512bw", "avx512dq"]}
NATIVE = "native"


def sh(cmd):
    try:
        return subprocess.run(cmd, shell=True, capture_output=True, text=True).stdout.strip()
    except OSError:
        return ""


def find_anchors(explicit):
    for d in [explicit, os.environ.get("ANCHORS_DIR")] + [
            os.path.join(ROOT, *([".."] * up), "shared", "anchors") for up in (1, 2, 3)]:
        if d and os.path.isfile(os.path.join(d, "bench.cpp")):
            return os.path.abspath(d)
    sys.exit("anchors not found: pass --anchors DIR (the folder with bench.cpp and extra.cpp)")


def build_anchors(src, out):
    flags = sh("pkg-config --cflags --libs pixman-1 sdl2 freetype2")
    if not flags:
        sys.exit("missing packages: apt-get install -y libpixman-1-dev libsdl2-dev libfreetype-dev")
    progs = {}
    for name in ("bench", "extra"):
        exe = os.path.join(out, "anchors_" + name)
        cmd = f"g++ -O2 -std=c++17 -o {exe} {os.path.join(src, name + '.cpp')} {flags}"
        if subprocess.run(cmd, shell=True).returncode != 0:
            sys.exit("could not build " + name + ".cpp")
        progs[name] = exe
    return progs


def leading_comment(path):
    """The description of a benchmark program: its first comment block, less command lines."""
    lines = []
    try:
        for line in open(path):
            if not line.startswith("//"):
                break
            text = line[2:].strip()
            if re.match(r"(taskset|build/|python3|\$ )", text):
                continue
            lines.append(text)
    except OSError:
        pass
    return " ".join(lines).strip()


class Sitting:
    """Every figure of the sitting, by round, so that ratios can be taken round by round."""

    def __init__(self, pin):
        self.pin = pin
        self.anchor = {}   # (case, lib) -> {round: value}
        self.anchor_unit = {}
        self.anchor_note = {}
        self.project = {}  # (level, program, case) -> {round: value}; level NATIVE or a forced one
        self.unit = {}     # (program, case) -> unit
        self.order = {}    # program -> [cases]

    def run(self, args, pin=None, env=None):
        return subprocess.run((self.pin if pin is None else pin) + args, capture_output=True, text=True,
                              env=env).stdout

    def read_anchor_lines(self, text, rnd):
        for line in text.splitlines():
            p = line.split("\t")
            if p[0] != "R" or len(p) < 4:
                continue
            case, lib, value = p[1], p[2], float(p[3])
            unit = p[4] if len(p) > 4 and not p[4].isdigit() else "Mpix/s"
            self.anchor.setdefault((case, lib), {})[rnd] = value
            self.anchor_unit[case] = unit
            if len(p) > 5 and p[5]:
                self.anchor_note.setdefault((case, lib), p[5])

    def read_benchmark_json(self, program, text, rnd, level=NATIVE):
        try:
            data = json.loads(text)
        except json.JSONDecodeError:
            print(f"{program}: no JSON output", file=sys.stderr)
            return
        for bm in data.get("benchmarks", []):
            if bm.get("run_type") == "aggregate" or bm.get("error_occurred"):
                continue
            name = re.sub(r"/(real_time|process_time)$", "", bm["name"])
            for counter, unit, scale in COUNTERS:
                if counter in bm:
                    value = bm[counter] * scale
                    # Google Benchmark's rates are per CPU second unless the case asked for real time;
                    # the anchors count wall seconds, so the rate goes onto the wall clock too.
                    if not bm["name"].endswith("/real_time") and bm.get("real_time") and bm.get("cpu_time"):
                        value *= bm["cpu_time"] / bm["real_time"]
                    break
            else:
                unit, value = "runs/s", 0.0
                seconds = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}.get(bm.get("time_unit", "ns"), 1e-9)
                if bm.get("real_time"):
                    value = 1.0 / (bm["real_time"] * seconds)
            self.project.setdefault((level, program, name), {})[rnd] = value
            self.unit[(program, name)] = unit
            self.order.setdefault(program, [])
            if name not in self.order[program]:
                self.order[program].append(name)


def median(values):
    values = list(values.values()) if isinstance(values, dict) else values
    return statistics.median(values) if values else None


def spread(values):
    values = list(values.values()) if isinstance(values, dict) else values
    return (max(values) - min(values)) / statistics.median(values) if values and len(values) > 1 and \
        statistics.median(values) else 0.0


def round_ratios(mine, theirs):
    """The ratio of each round that has both figures: {round: value} over {round: value}."""
    return [mine[r] / theirs[r] for r in mine if theirs.get(r)]


def fmt_ratio(ratios, digits=2):
    """The median of the rounds' ratios, with their range when there are several."""
    if not ratios:
        return "—"
    text = f"{statistics.median(ratios):.{digits}f}"
    if len(ratios) > 1:
        text += f" ({min(ratios):.{digits}f}–{max(ratios):.{digits}f})"
    return text


def fmt(value):
    if value is None:
        return "—"
    return f"{value:,.0f}" if value >= 100 else f"{value:,.2f}"


def anchor_cases(case):
    base, at, size = case.partition("@")
    names = ANCHOR_OF.get(base, [base])
    return [n + at + size for n in names]


def best_anchor(s, case, unit):
    """The best anchor on the case's work: each library's median, the library with the best median, and the
    best figure of each round."""
    per_lib, per_round = {}, {}
    for a in anchor_cases(case):
        if s.anchor_unit.get(a, "Mpix/s") != unit:
            continue
        for lib in ANCHOR_LIBS:
            values = s.anchor.get((a, lib), {})
            if not values:
                continue
            per_lib[lib] = max(per_lib.get(lib, 0.0), median(values))
            for r, v in values.items():
                per_round[r] = max(per_round.get(r, 0.0), v)
    best_lib = max(per_lib, key=per_lib.get) if per_lib else None
    return per_lib, best_lib, per_round


def read_caches():
    """The first processor's caches as the kernel lists them: 'L1d 48 KiB, L2 2 MiB, L3 480 MiB'."""
    base = "/sys/devices/system/cpu/cpu0/cache"
    found = []
    for index in sorted(os.listdir(base)) if os.path.isdir(base) else []:
        try:
            read = lambda f: open(os.path.join(base, index, f)).read().strip()
            level, kind, size = read("level"), read("type"), read("size")
        except OSError:
            continue
        if kind == "Instruction":
            continue
        kib = int(re.sub(r"\D", "", size) or 0) * {"K": 1, "M": 1024}.get(size[-1:], 1)
        shown = f"{kib // 1024} MiB" if kib >= 1024 and kib % 1024 == 0 else f"{kib} KiB"
        found.append(f"L{level}{'d' if kind == 'Data' else ''} {shown}")
    return ", ".join(found) or sh("lscpu | grep -E '^(L1d|L2|L3) cache' | sed 's/  */ /g' | paste -sd ';'")


def level_in_effect(wanted, flags):
    """The level a VARNOK_SIMD value gives on this processor: the library never goes above what it has."""
    names = list(SIMD_LEVELS)
    have = [n for n in names if all(f in flags for f in SIMD_LEVELS[n])]
    top = have[-1] if have else names[0]
    if wanted == NATIVE or wanted not in names:
        return top
    return names[min(names.index(wanted), names.index(top))]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(ROOT, "build"), help="build folder with the bench_* programs")
    ap.add_argument("--anchors", help="folder of the anchors' bench.cpp and extra.cpp")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--cpu", type=int, default=(os.cpu_count() or 1) - 1)
    ap.add_argument("--min-time", default="0.15", help="--benchmark_min_time of every program")
    ap.add_argument("--only", help="comma-separated program names (blit32,...): a partial sitting, printed")
    ap.add_argument("--simd", action="append", default=[], choices=list(SIMD_LEVELS),
                    help="also run every program with this vector level forced (VARNOK_SIMD); repeatable")
    ap.add_argument("--out", help="where the report goes ('-' prints it); default bench/README.md")
    args = ap.parse_args()
    if args.out is None:
        # A partial sitting never replaces the whole report.
        args.out = "-" if args.only else os.path.join(HERE, "README.md")

    programs = sorted(f for f in os.listdir(args.build) if f.startswith("bench_")
                      and os.access(os.path.join(args.build, f), os.X_OK)) if os.path.isdir(args.build) else []
    if args.only:
        wanted = {"bench_" + n.strip() for n in args.only.split(",")}
        programs = [p for p in programs if p in wanted]
    if not programs:
        sys.exit(f"no bench_* programs in {args.build}: build the project first")
    anchors_dir = find_anchors(args.anchors)
    work = tempfile.mkdtemp(prefix="anchors_")
    exe = build_anchors(anchors_dir, work)

    flags = sh("grep -m1 '^flags' /proc/cpuinfo").split()
    # The project's own level unless VARNOK_SIMD is set around the script, then each forced one.
    levels = [NATIVE] + [lv for lv in dict.fromkeys(args.simd)]
    native_env = dict(os.environ)
    forced_env = {lv: dict(os.environ, VARNOK_SIMD=lv) for lv in levels[1:]}

    pin = []
    if shutil.which("taskset") and subprocess.run(["taskset", "-c", str(args.cpu), "true"]).returncode == 0:
        pin = ["taskset", "-c", str(args.cpu)]
    s = Sitting(pin)
    load_before = os.getloadavg()
    started = datetime.datetime.now()
    for r in range(args.rounds):
        print(f"round {r + 1}/{args.rounds}", file=sys.stderr)
        for lib in ("pixman", "sdl", "base"):
            s.read_anchor_lines(s.run([exe["bench"], "--only", lib]), r)
        s.read_anchor_lines(s.run([exe["extra"]]), r)
        for level in levels:
            for p in programs:
                print(f"  {p}" + ("" if level == NATIVE else f" (VARNOK_SIMD={level})"), file=sys.stderr)
                wide = ["taskset", "-c", f"{max(args.cpu - 1, 0)},{args.cpu}"] if pin and p in TWO_CORES else None
                env = native_env if level == NATIVE else forced_env[level]
                s.read_benchmark_json(p, s.run([os.path.join(args.build, p), "--benchmark_format=json",
                                                f"--benchmark_min_time={args.min_time}"], wide, env), r, level)
    load_after = os.getloadavg()
    shutil.rmtree(work, ignore_errors=True)

    memcpy_rounds = s.anchor.get(("j.memcpy", "base"), {})
    memcpy = median(memcpy_rounds)
    out = []
    w = out.append
    cpu = sh("lscpu | sed -n 's/^Model name: *//p'") or platform.processor()
    simd = " ".join(f for f in ["sse2", "avx2", "avx512f", "avx512bw", "avx512dq", "avx512vl"] if f in flags)
    spreads = [spread(v) for v in list(s.anchor.values()) + list(s.project.values())]
    native_level = level_in_effect(os.environ.get("VARNOK_SIMD", NATIVE), flags)
    forced = levels[1:]

    def level_label(level):
        if level == NATIVE:
            return f"own level ({native_level}" + (", set by VARNOK_SIMD)" if "VARNOK_SIMD" in os.environ else ")")
        shown = level_in_effect(level, flags)
        return f"VARNOK_SIMD={level}" + ("" if shown == level else f" (capped at {shown}: the processor has no more)")

    w("# Benchmarks\n")
    w("Written whole by `bench/compare_anchors.py` from one sitting; no figure here is typed by hand. "
      "Each `bench/*.cpp` is a Google Benchmark program `build/bench_<name>`; the performance anchors "
      "(pixman and SDL2's software renderer on the same cases, `../shared/anchors/`) ran in the same "
      "sitting, in alternating rounds with the project's programs, pinned to the same core, and both are "
      "timed on the wall clock. The machines are shared and noisy, so read the ratios, not the absolute figures.\n")
    w("    python3 bench/compare_anchors.py --simd avx2     # after building build/; about twenty minutes\n")
    w("## The sitting\n")
    w(f"- Date: {started.strftime('%Y-%m-%d %H:%M')} to {datetime.datetime.now().strftime('%H:%M')}; "
      f"{args.rounds} round(s), each: the anchors (pixman, SDL2, memcpy, the extra cases), then every "
      f"program below with `--benchmark_min_time={args.min_time}`"
      + ("" if not forced else ", at the library's own vector level and again at " +
         ", ".join(level_label(lv) for lv in forced)) + ".")
    w(f"- Machine: {cpu}; {os.cpu_count()} CPUs; caches (first core) {read_caches()}; SIMD: {simd}; "
      f"kernel {platform.release()}; {sh('g++ --version | head -1')}.")
    w(f"- Library level: {level_label(NATIVE)}" + "".join(f"; forced: {level_label(lv)}" for lv in forced) + ".")
    w(f"- Anchors: pixman {sh('pkg-config --modversion pixman-1')}, SDL2 {sh('pkg-config --modversion sdl2')}, "
      "built with `g++ -O2` from `../shared/anchors/`; see its RESULTS.md for what each case means.")
    w(f"- Pinned with `{' '.join(pin) or 'nothing (taskset missing)'}`; load average "
      f"{load_before[0]:.1f} before, {load_after[0]:.1f} after. Spread between rounds ((max − min) / median): "
      f"median {100 * statistics.median(spreads):.1f}%, worst {100 * max(spreads):.1f}%; † marks a figure "
      "whose rounds differ by more than 10%.")
    if memcpy:
        w(f"- memcpy ceiling: {memcpy:,.0f} Mpix/s (3 MiB to 3 MiB of 32-bit pixels, "
          f"{memcpy * 4 / 1000:.1f} GB/s each way). \"× memcpy\" is a figure in Mpix/s over the same round's memcpy.")
    w("- \"Best anchor\" is the faster of pixman and SDL2 on the same work (for the busy frame also the "
      "mix of both libraries' best parts). A ratio is the median of the rounds' own ratios (the project's "
      "figure over the best anchor of the same round), with their range in brackets.\n")

    behind = []
    sections = []
    for p in programs:
        name = p[len("bench_"):]
        cases = s.order.get(p, [])
        any_anchor = any(best_anchor(s, case, s.unit[(p, case)])[1] for case in cases)
        same_run = any(case in SAME_RUN for case in cases)
        text = [f"## {name} (`bench_{name}`)\n"]
        desc = leading_comment(os.path.join(HERE, name + ".cpp"))
        if desc:
            text.append(desc + "\n")
        head = ["case", "project", "unit"]
        align = ["---", "---:", "---"]
        if any_anchor:
            head += ["pixman", "SDL2", "project ÷ best anchor", "best anchor", "× memcpy"]
            align += ["---:", "---:", "---:", "---", "---:"]
        elif same_run:
            head += ["project ÷ yardstick", "yardstick (same run)"]
            align += ["---:", "---"]
        for lv in forced:
            head += [f"{lv}: project"] + ([f"{lv}: ÷ best anchor", f"{lv}: × memcpy"] if any_anchor else
                                         [f"{lv}: ÷ yardstick"] if same_run else [])
            align += ["---:"] + (["---:", "---:"] if any_anchor else ["---:"] if same_run else [])
        text.append("| " + " | ".join(head) + " |")
        text.append("|" + "|".join(align) + "|")
        for case in cases:
            unit = s.unit[(p, case)]
            per_lib, best_lib, best_rounds = best_anchor(s, case, unit)
            row = []
            for level in levels:
                values = s.project.get((level, p, case), {})
                mine = median(values)
                dagger = " †" if spread(values) > 0.10 else ""
                shown = f"{fmt(mine)}{dagger}"
                if level == NATIVE:
                    shown_unit = unit
                    if unit == "frames/s" and mine:
                        # Against the 60 Hz frame's budget of 16.7 ms.
                        shown_unit = f"frames/s ({1000 / mine:.2f} ms a frame, {mine / 60:.1f}× the 60 Hz budget)"
                    row += [case, shown, shown_unit]
                    if any_anchor:
                        row += [fmt(per_lib.get("pixman")), fmt(per_lib.get("sdl"))]
                else:
                    row.append(shown)
                if any_anchor:
                    ratios = round_ratios(values, best_rounds) if best_lib else []
                    ceiling = round_ratios(values, memcpy_rounds) if unit == "Mpix/s" else []
                    row.append(fmt_ratio(ratios))
                    if level == NATIVE:
                        row.append(LIB_NAMES.get(best_lib, "—"))
                    row.append(fmt_ratio(ceiling, 3))
                    if ratios and statistics.median(ratios) < 1.0:
                        behind.append((name, case, level, ratios, best_lib))
                elif same_run:
                    other, label = SAME_RUN.get(case, (None, "—"))
                    ratios = round_ratios(values, s.project.get((level, p, other), {})) if other else []
                    row.append(fmt_ratio(ratios))
                    if level == NATIVE:
                        row.append(label)
            text.append("| " + " | ".join(row) + " |")
        text.append("")
        sections.append("\n".join(text))

    w("## Below the best anchor\n")
    if behind:
        w("| program | case | level | project ÷ best anchor | best anchor |")
        w("|---|---|---|---:|---|")
        for name, case, level, ratios, lib in sorted(behind, key=lambda b: statistics.median(b[3])):
            shown = native_level if level == NATIVE else f"{level} (forced)"
            w(f"| {name} | {case} | {shown} | {fmt_ratio(ratios)} | {LIB_NAMES.get(lib, lib)} |")
    else:
        w("Nothing: every case with an anchor is at 1.0 or above" + (" at every level." if forced else "."))
    w("")
    own = []
    for p in programs:
        for case in s.order.get(p, []):
            base, at, size = case.partition("@")
            if base not in OWN_PATH_OF:
                continue
            other = OWN_PATH_OF[base] + at + size
            for level in levels:
                ratios = round_ratios(s.project.get((level, p, case), {}), s.project.get((level, p, other), {}))
                if ratios:
                    own.append((p[len("bench_"):], case, level, ratios, other))
    if own:
        w("## Against the project's own plain path\n")
        w("The sprite drawn through its transparency run table, set against the same sprite drawn through "
          "the plain per-pixel path in the same run.\n")
        w("| program | case | level | run table ÷ plain path | plain path |")
        w("|---|---|---|---:|---|")
        for name, case, level, ratios, other in own:
            shown = native_level if level == NATIVE else f"{level} (forced)"
            w(f"| {name} | {case} | {shown} | {fmt_ratio(ratios)} | {other} |")
        w("")
    out.extend(sections)
    report = "\n".join(out).rstrip() + "\n"
    if args.out == "-":
        sys.stdout.write(report)
    else:
        with open(args.out, "w") as f:
            f.write(report)
        print(f"wrote {args.out}", file=sys.stderr)


if __name__ == "__main__":
    main()
