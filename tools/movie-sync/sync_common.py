"""What the movie-sync scripts share: the manifest the movie maker writes and
the reading of a picture's time code from the lumas of its 24 blocks."""
import csv
import os

CELLS = 24
DATA_FIRST = 2   # 16 cells, bit 15 first
CHECK_FIRST = 18  # 5 cells: the count of set data bits


def decode_cells(luma):
    """The picture's time in ms from its 24 block lumas, or None when the
    references or the check do not hold."""
    if len(luma) != CELLS:
        return None
    white, black = luma[0], luma[1]
    if white - black < 60:
        return None
    mid = (white + black) / 2
    bits = [1 if v > mid else 0 for v in luma]
    if bits[0] != 1 or bits[1] != 0 or bits[23] != 1:
        return None
    value = 0
    for b in bits[DATA_FIRST:DATA_FIRST + 16]:
        value = value << 1 | b
    check = 0
    for b in bits[CHECK_FIRST:CHECK_FIRST + 5]:
        check = check << 1 | b
    if check != sum(bits[DATA_FIRST:DATA_FIRST + 16]):
        return None
    return value


def parse_list(text):
    return [int(x) for x in text.split(",") if x != ""]


def parse_ranges(text):
    out = []
    for part in text.split(","):
        if part:
            a, b = part.split("-")
            out.append((float(a), float(b)))
    return out


def read_manifest(movie_dir):
    with open(os.path.join(movie_dir, "movies.tsv"), newline="") as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    for r in rows:
        for k in ("width", "height", "seconds", "frames"):
            r[k] = int(r[k])
        r["fps"] = float(r["fps"])  # sparse movies have fewer than one a second
        r["tones"] = parse_list(r["tones"])
        r["silent"] = parse_ranges(r["silent"])
        r["path"] = os.path.join(movie_dir, r["file"])
    return rows


def picture_time_ms(frame, fps):
    """The time code of the movie's picture number frame."""
    return int(frame * 1000 / fps + 0.5)
