#!/usr/bin/python3
"""A huge master: the iOS set from a 16384x16384 RGBA PNG (and, for the same figures at the
sizes today's path keeps, the speed benchmark's 4096 and 1024 sources), beside Pillow's plain
decode of the file and one `vipsthumbnail` per file, in the same run. Memory is the peak resident
set of the window's process and of its decoding worker, measured apart. The product's files are
also compared with the same files drawn from the whole decoded file (the bench program's `whole`
mode): the largest difference in levels and the share of pixels that differ.
"""

import json
import os
import shutil
import subprocess
import sys
import time

import numpy as np
from PIL import Image

from common import BENCH_EXE, IOS_SIZES, OUT, VIPSTHUMBNAIL, median, mkdir, run, timed

RUNS = max(3, int(os.environ.get("BENCH_RUNS", "3")))
SIDE = int(os.environ.get("BENCH_HUGE_SIDE", "16384"))

Image.MAX_IMAGE_PIXELS = None


def make_master(path, side):
    """An icon master as drawn: a soft gradient under a rounded body on transparency, hard-edged
    shapes and one pixel lines at several angles, fine noise; written band by band."""
    rng = np.random.default_rng(16384)
    image = Image.new("RGBA", (side, side))
    band = 1024
    xx = np.arange(side, dtype=np.float32)[None, :] / side
    for top in range(0, side, band):
        yy = (np.arange(top, top + band, dtype=np.float32)[:, None]) / side
        r = 40 + 180 * xx + 0 * yy
        g = 60 + 150 * yy + 0 * xx
        b = 200 - 120 * xx * yy
        noise = rng.normal(0, 3, (band, side)).astype(np.float32)
        cx, cy = xx - 0.5, yy - 0.5
        body = (np.abs(cx) ** 5 + np.abs(cy) ** 5) < 0.42 ** 5
        disc = (cx - 0.1) ** 2 + (cy + 0.05) ** 2 < 0.18 ** 2
        lines = (np.abs(((xx * 3 + yy * 7) * 97) % 1.0 - 0.5) < 0.5 * 7 / side * 97) & (cy > 0.2)
        alpha = np.where(body, 255, 0).astype(np.float32)
        r = np.where(disc, 250, r + noise)
        g = np.where(disc, 240, g + noise)
        b = np.where(disc | lines, 30, b + noise)
        rgba = np.stack([r, g, b, alpha], axis=2)
        image.paste(Image.fromarray(np.clip(rgba, 0, 255).astype(np.uint8), "RGBA"), (0, top))
    image.save(path, compress_level=1)


def pillow_decode(path):
    return timed([sys.executable, "-c",
                  "from PIL import Image; Image.MAX_IMAGE_PIXELS=None; "
                  "Image.open(%r).load()" % path])


def main():
    work = mkdir(os.path.join(OUT, "huge"))
    master = os.path.join(work, "master%d.png" % SIDE)
    if not os.path.exists(master):
        make_master(master, SIDE)
    sources = [("png%d" % SIDE, master)]
    for side in (4096, 1024):
        other = os.path.join(OUT, "sources", "card-%d.png" % side)
        if os.path.exists(other):
            sources.append(("rgba%d" % side, other))
    summary, lines = {}, []
    lines.append("source        set   product  pillow-decode  vips  /pillow  MiB  worker")
    print(lines[-1], flush=True)
    for label, source in sources:
        out = os.path.join(work, label)
        product = {}
        for line in run([BENCH_EXE, "export", source, "ios", os.path.join(out, "product"),
                         str(RUNS)]).splitlines():
            parts = line.split()
            if len(parts) == 2:
                product[parts[0]] = float(parts[1])
        memory = {}
        for line in run([BENCH_EXE, "export", source, "ios", os.path.join(out, "memory"),
                         "1"]).splitlines():
            parts = line.split()
            if len(parts) == 2:
                memory[parts[0]] = float(parts[1])
        pillow = median([pillow_decode(source) for _ in range(RUNS)])
        vips_dir = mkdir(os.path.join(out, "vips"))
        vips = 0.0
        for size in IOS_SIZES:
            vips += timed([VIPSTHUMBNAIL, source, "--size", "%dx%d!" % (size, size), "-o",
                           os.path.join(vips_dir, "%d.png" % size)])
        total = product["median_total"]
        lines.append("%-12s  ios  %7.2f  %13.2f  %5.2f  %6.2f  %4.0f  %6.0f" % (
            label, total, pillow, vips, total / pillow, memory["peak_kib"] / 1024,
            memory["worker_peak_kib"] / 1024))
        print(lines[-1], flush=True)
        summary["huge_time_%s_ios" % label] = "%.2f s (Pillow decode %.2f, vips %.2f)" % (
            total, pillow, vips)
        summary["huge_ratio_vs_pillow_decode_%s" % label] = "%.2f" % (total / pillow)
        summary["huge_peak_mib_%s" % label] = "%.0f (worker %.0f)" % (
            memory["peak_kib"] / 1024, memory["worker_peak_kib"] / 1024)
        if label.startswith("png") and os.environ.get("BENCH_HUGE_WHOLE", "1") == "1":
            text = run([BENCH_EXE, "whole", source] + [str(s) for s in sorted(set(IOS_SIZES))])
            lines.append(text.rstrip())
            print(lines[-1], flush=True)
            summary["huge_largest_difference_levels"] = text.split()[-1]
    misses = []
    for label, _ in sources[:1]:
        ratio = float(summary["huge_ratio_vs_pillow_decode_%s" % label])
        peak = sum(float(v) for v in summary["huge_peak_mib_%s" % label].replace(
            "(worker", "").replace(")", "").split())
        if ratio > 1.5:
            misses.append("%s over 1.5x Pillow's decode" % label)
        if peak >= 300:
            misses.append("%s 300 MB or more in both processes" % label)
    summary["huge_targets_missed"] = "; ".join(misses) if misses else "none"
    with open(os.path.join(OUT, "summary-huge.json"), "w") as f:
        json.dump(summary, f, indent=1)


if __name__ == "__main__":
    main()
