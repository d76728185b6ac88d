#!/usr/bin/env python3
"""Ratio table of bench_blit32, bench_blit16 or bench_rotate_fill against the performance anchors (pixman, SDL2).

Run both in one sitting, pinned to the same core, then:
  python3 bench/compare_anchors.py ANCHOR_TSV... -- BENCH_JSON...
ANCHOR_TSV: the anchors program's output lines (R<TAB>id<TAB>lib<TAB>Mpix/s...);
BENCH_JSON: the benchmark's --benchmark_format=json output. Medians over the runs.
"""
import json
import statistics
import sys

# Project case -> anchor case that measures the same kind of work.
ANCHOR_OF = {
    "a.copy32": "a.copy32",
    "b.alpha_pp_rand": "b.alpha_pp_rand",
    "b.alpha_pp_sprite": "b.alpha_pp_sprite",
    "b.alpha_pp_sprite_runtable": "b.alpha_pp_sprite",
    "b2.alpha_pp_sprite_x_const96": "b2.alpha_pp_sprite_x_const96",
    "c.alpha_const96": "c.alpha_const96",
    "d.add": "d.add",
    "e.multiply": "e.multiply_inrev_ca",
    "k.brightness_copy": "k.brightness_copy",
    "f.stretch2x_copy": "f.stretch2x_copy",
    "f.stretch2x_alpha_sprite": "f.stretch2x_alpha_sprite",
    "f.stretch0.5x_copy": "f.stretch0.5x_copy",
    "f.stretch0.5x_alpha_sprite": "f.stretch0.5x_alpha_sprite",
    "g.rotate30_scale1.5_copy": "g.rotate30_scale1.5_copy",
    "g.rotate30_scale1.5_alpha_sprite": "g.rotate30_scale1.5_alpha_sprite",
    "h.fill_opaque": "h.fill_opaque",
    "h.fill_alpha96": "h.fill_alpha96",
    "i.copy16": "i.copy16",
    "i.alpha_const96_565": "i.alpha_const96_565",
    "i.alpha_pp_rand_565": "i.alpha_pp_rand_8888_to_565",
    "i.alpha_pp_sprite_565": "i.alpha_pp_sprite_8888_to_565",
    "i.alpha_pp_sprite_runtable_565": "i.alpha_pp_sprite_8888_to_565",
}
SDL_OF = dict(ANCHOR_OF, **{"e.multiply": "e.multiply", "b.alpha_pp_sprite_runtable": "b.alpha_pp_sprite_RLE"})


def main(argv):
    split = argv.index("--")
    anchors, benches = argv[:split], argv[split + 1:]
    a = {}
    for path in anchors:
        for line in open(path):
            p = line.rstrip("\n").split("\t")
            if p[0] == "R":
                a.setdefault((p[1], p[2]), []).append(float(p[3]))
    b, order = {}, []
    for path in benches:
        for bm in json.load(open(path))["benchmarks"]:
            if bm.get("run_type") == "aggregate":
                continue
            name = bm["name"]
            b.setdefault(name, []).append(bm["Mpix/s"])
            if name not in order:
                order.append(name)
    med = lambda v: statistics.median(v) if v else None
    fmt = lambda v: f"{v:,.0f}" if v else "—"
    ratio = lambda x, y: f"{x / y:.2f}" if x and y else "—"
    print("| case | source | project Mpix/s | pixman Mpix/s | SDL2 Mpix/s | project ÷ pixman | project ÷ SDL2 |")
    print("|---|---|---:|---:|---:|---:|---:|")
    for name in order:
        case, size = name.split("@")
        mine = med(b[name])
        pm = med(a.get((ANCHOR_OF.get(case, "") + "@" + size, "pixman"), []))
        sd = med(a.get((SDL_OF.get(case, "") + "@" + size, "sdl"), []))
        print(f"| {case} | {size} | {fmt(mine)} | {fmt(pm)} | {fmt(sd)} | {ratio(mine, pm)} | {ratio(mine, sd)} |")
    mc = med(a.get(("j.memcpy", "base"), []))
    if mc:
        print(f"\nmemcpy (3 MiB to 3 MiB) in the same sitting: {mc:,.0f} Mpix/s.")


if __name__ == "__main__":
    main(sys.argv[1:])
