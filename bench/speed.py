#!/usr/bin/python3
"""Speed, size and memory: each set (iOS, Mac, a 3-file image set) from three sources, written as
the window writes it, beside ImageMagick and libvips doing the same resizes and PNG writes, and
the floor of decoding once and encoding the outputs without resampling.

product: load (the window's image dialog path, decoding worker included) + export (the button's
action: render, encode, write, sync), in one process, RUNS times; medians.
imagemagick: one `convert` invocation per set: read once, `-filter Lanczos -resize WxH!` and
`-write` each file.
vips: one `vipsthumbnail --size WxH!` call per file, in turn.
floor: the source decoded once in-process, then an image of each output's size cut from it and
encoded with the product's encoder (files spread over every core, as an export spreads them;
`floor_1t` on one thread), written without sync.
memory: the peak resident set of one load and export in a fresh process (the window's process)
and of the decoding worker it starts, measured apart.
svg: the iOS set from an app icon drawing with a gradient, a mask and filters (blur and drop
shadow), load and export as above, beside `rsvg-convert -w N -h N` run once per size in turn.
"""

import json
import os
import shutil
import sys

import numpy as np
from PIL import Image

from common import (BENCH_EXE, CONVERT, IOS_SIZES, MAC_SIZES, OUT, RSVG, VIPSTHUMBNAIL,
                    folder_bytes, median, mkdir, run, timed)

RUNS = max(5, int(os.environ.get("BENCH_RUNS", "5")))
IOS_NAMES = ["Icon-20.png", "Icon-60.png", "Icon-Small@2x.png", "Icon-Small@3x.png",
             "Icon-40@2x.png", "Icon-60@2x.png", "Icon-60@3x.png", "Icon-Small.png",
             "Icon-40.png", "Icon-76.png", "Icon-76@2x.png", "Icon-83.5@2x.png", "Icon-1024.png"]


def make_photo(path):
    """A 6000x4000 photograph-like JPEG: smooth random light, textures and edges, fixed seed."""
    rng = np.random.default_rng(20240611)
    h, w = 4000, 6000
    field = np.zeros((h, w, 3), dtype=np.float32)
    for scale, amp in ((250, 90.0), (60, 40.0), (12, 18.0)):
        small = rng.standard_normal((h // scale + 2, w // scale + 2, 3)).astype(np.float32)
        big = [np.asarray(Image.fromarray(small[..., c], mode="F").resize(
            (w, h), Image.BICUBIC), dtype=np.float32) for c in range(3)]
        field += amp * np.stack(big, axis=2)
    field += 110.0 + 12.0 * rng.standard_normal((h, w, 1)).astype(np.float32)
    yy, xx = np.mgrid[0:h, 0:w]
    field[(xx - 3900) ** 2 + (yy - 1700) ** 2 < 900 ** 2] *= 0.45
    field[(yy > 3000) & (xx % 400 < 30)] += 60.0
    Image.fromarray(np.clip(field, 0, 255).astype(np.uint8), "RGB").save(path, quality=90)


def icon_svg():
    """An app icon as a designer draws one: a gradient background, a masked emblem, a blurred
    glow and a drop shadow, in a 1024 viewBox. The shadow is built from blur, offset, flood and
    composite: this librsvg draws nothing for an element filtered with feDropShadow."""
    return """<svg xmlns="http://www.w3.org/2000/svg" width="1024" height="1024" viewBox="0 0 1024 1024">
<defs>
 <linearGradient id="bg" x1="0" y1="0" x2="1" y2="1">
  <stop offset="0" stop-color="#ff9a3c"/><stop offset="0.55" stop-color="#e8456b"/>
  <stop offset="1" stop-color="#5b2a9e"/>
 </linearGradient>
 <radialGradient id="shine" cx="0.3" cy="0.25" r="0.8">
  <stop offset="0" stop-color="#ffffff" stop-opacity="0.55"/>
  <stop offset="1" stop-color="#ffffff" stop-opacity="0"/>
 </radialGradient>
 <mask id="cut">
  <rect width="1024" height="1024" fill="#fff"/>
  <circle cx="600" cy="430" r="150" fill="#000"/>
  <rect x="300" y="640" width="424" height="36" rx="18" fill="#808080"/>
 </mask>
 <filter id="glow" x="-30%" y="-30%" width="160%" height="160%">
  <feGaussianBlur stdDeviation="24"/>
 </filter>
 <filter id="shadow" x="-20%" y="-20%" width="140%" height="150%">
  <feGaussianBlur in="SourceAlpha" stdDeviation="20"/>
  <feOffset dy="18" result="blur"/>
  <feFlood flood-color="#1a0630" flood-opacity="0.6"/>
  <feComposite in2="blur" operator="in" result="shadow"/>
  <feMerge><feMergeNode in="shadow"/><feMergeNode in="SourceGraphic"/></feMerge>
 </filter>
</defs>
<rect width="1024" height="1024" rx="180" fill="url(#bg)"/>
<circle cx="512" cy="470" r="300" fill="#ffe9a8" opacity="0.7" filter="url(#glow)"/>
<g filter="url(#shadow)">
 <path d="M512 170 L800 330 L800 650 Q800 760 512 870 Q224 760 224 650 L224 330 Z"
       fill="#fdfdfd" mask="url(#cut)"/>
</g>
<path d="M360 480 L470 590 L680 360" fill="none" stroke="#e8456b" stroke-width="56"
      stroke-linecap="round" stroke-linejoin="round" filter="url(#shadow)"/>
<rect width="1024" height="1024" rx="180" fill="url(#shine)"/>
</svg>
"""


def card_source():
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import quality
    return quality.card_svg()


def sources():
    folder = mkdir(os.path.join(OUT, "sources"))
    card = os.path.join(folder, "card.svg")
    text = card_source()
    if not os.path.exists(card) or open(card).read() != text:
        for name in ("card-1024.png", "card-4096.png"):
            if os.path.exists(os.path.join(folder, name)):
                os.remove(os.path.join(folder, name))
        with open(card, "w") as f:
            f.write(text)
    result = []
    for side in (1024, 4096):
        path = os.path.join(folder, "card-%d.png" % side)
        if not os.path.exists(path):
            run([RSVG, "-w", str(side), "-h", str(side), "-o", path, card])
        result.append(("rgba%d" % side, path, (side, side)))
    photo = os.path.join(folder, "photo-6000x4000.jpg")
    if not os.path.exists(photo):
        make_photo(photo)
    result.append(("photo6000", photo, (6000, 4000)))
    return result


def outputs(kind, size):
    """(width, height, file name) of each file of a set, as the product names them."""
    if kind == "ios":
        return [(s, s, n) for s, n in zip(IOS_SIZES, IOS_NAMES)]
    if kind == "mac":
        return [(s, s, "Icon-%d.png" % s) for s in MAC_SIZES]
    w, h = size[0] // 4, size[1] // 4
    return [(w, h, "Photo.png"), (2 * w, 2 * h, "Photo@2x.png"), (3 * w, 3 * h, "Photo@3x.png")]


def image_set_args(kind, size):
    return [str(size[0] // 4), str(size[1] // 4)] if kind == "imageset" else []


def parse(text):
    values = {}
    for line in text.splitlines():
        parts = line.split()
        if len(parts) == 2:
            values[parts[0]] = float(parts[1])
    return values


def imagemagick(source, files, folder):
    args = [CONVERT, source, "-filter", "Lanczos"]
    for w, h, name in files:
        args += ["(", "+clone", "-resize", "%dx%d!" % (w, h), "-write",
                 os.path.join(folder, name), "+delete", ")"]
    return args + ["null:"]


def measure(source, size, kind):
    files = outputs(kind, size)
    work = mkdir(os.path.join(OUT, "speed", os.path.basename(source), kind))
    extra = image_set_args(kind, size)

    product = parse(run([BENCH_EXE, "export", source, kind, os.path.join(work, "product"),
                         str(RUNS)] + extra))
    floor = parse(run([BENCH_EXE, "floor", source, kind, os.path.join(work, "floor"),
                       str(RUNS), "0"] + extra))
    floor1 = parse(run([BENCH_EXE, "floor", source, kind, os.path.join(work, "floor1"),
                        str(RUNS), "1"] + extra))

    im_dir = os.path.join(work, "imagemagick")
    im_times = []
    for _ in range(RUNS):
        shutil.rmtree(im_dir, ignore_errors=True)
        mkdir(im_dir)
        im_times.append(timed(imagemagick(source, files, im_dir)))

    vips_dir = os.path.join(work, "vips")
    vips_times = []
    for _ in range(RUNS):
        shutil.rmtree(vips_dir, ignore_errors=True)
        mkdir(vips_dir)
        total = 0.0
        for w, h, name in files:
            total += timed([VIPSTHUMBNAIL, source, "--size", "%dx%d!" % (w, h), "-o",
                            os.path.join(vips_dir, name)])
        vips_times.append(total)

    memory = parse(run([BENCH_EXE, "export", source, kind, os.path.join(work, "memory"), "1"] +
                       extra))
    return {
        "load": product["median_load"], "export": product["median_export"],
        "total": product["median_total"], "bytes": int(product["bytes"]),
        "floor": floor["median_floor"], "floor_1t": floor1["median_floor"],
        "floor_bytes": int(floor["bytes"]),
        "imagemagick": median(im_times), "imagemagick_bytes": folder_bytes(im_dir),
        "vips": median(vips_times), "vips_bytes": folder_bytes(vips_dir),
        "peak_mib": memory["peak_kib"] / 1024.0,
        "worker_peak_mib": memory["worker_peak_kib"] / 1024.0,
    }


def measure_svg():
    """The iOS set from the icon drawing, beside rsvg-convert drawing each size in its own
    process."""
    folder = mkdir(os.path.join(OUT, "sources"))
    svg = os.path.join(folder, "icon.svg")
    with open(svg, "w") as f:
        f.write(icon_svg())
    work = mkdir(os.path.join(OUT, "speed", "icon.svg"))
    product = parse(run([BENCH_EXE, "export", svg, "ios", os.path.join(work, "product"),
                         str(RUNS)]))
    rsvg_dir = os.path.join(work, "rsvg")
    times = []
    for _ in range(RUNS):
        shutil.rmtree(rsvg_dir, ignore_errors=True)
        mkdir(rsvg_dir)
        total = 0.0
        for w, h, name in outputs("ios", None):
            total += timed([RSVG, "-w", str(w), "-h", str(h), "-o",
                            os.path.join(rsvg_dir, name), svg])
        times.append(total)
    return {"load": product["median_load"], "export": product["median_export"],
            "total": product["median_total"], "rsvg": median(times),
            "bytes": int(product["bytes"]), "rsvg_bytes": folder_bytes(rsvg_dir)}


def main():
    results = {}
    for label, path, size in sources():
        for kind in ("ios", "mac", "imageset"):
            results[(label, kind)] = measure(path, size, kind)
            print("measured %s %s" % (label, kind), file=sys.stderr)
    svg = measure_svg()
    print("measured svg ios", file=sys.stderr)

    lines = ["Times in seconds, medians of %d runs; bytes are the set's files (Contents.json "
             "included for the product)." % RUNS,
             "",
             "%-10s %-8s %7s %7s %7s %7s %7s %7s %7s %6s %6s %6s %9s %9s %9s %6s %6s" % (
                 "source", "set", "load", "export", "total", "IM", "vips", "floor", "floor1t",
                 "/IM", "/vips", "/floor", "bytes", "IM bytes", "vips byt", "MiB", "workr")]
    summary = {}
    misses = []
    for (label, kind), r in results.items():
        vs_im = r["total"] / r["imagemagick"]
        vs_vips = r["total"] / r["vips"]
        vs_floor = r["total"] / r["floor"]
        lines.append("%-10s %-8s %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f %6.2f %6.2f %6.2f "
                     "%9d %9d %9d %6.0f %6.0f" % (
                         label, kind, r["load"], r["export"], r["total"], r["imagemagick"],
                         r["vips"], r["floor"], r["floor_1t"], vs_im, vs_vips, vs_floor,
                         r["bytes"], r["imagemagick_bytes"], r["vips_bytes"], r["peak_mib"],
                         r["worker_peak_mib"]))
        key = "%s_%s" % (label, kind)
        summary["time_%s" % key] = "%.3f s (IM %.3f, vips %.3f, floor %.3f)" % (
            r["total"], r["imagemagick"], r["vips"], r["floor"])
        summary["ratio_vs_imagemagick_%s" % key] = "%.2f" % vs_im
        summary["ratio_vs_vips_%s" % key] = "%.2f" % vs_vips
        summary["ratio_vs_floor_%s" % key] = "%.2f" % vs_floor
        summary["bytes_vs_imagemagick_%s" % key] = "%.3f" % (r["bytes"] / r["imagemagick_bytes"])
        summary["peak_mib_%s" % key] = "%.0f (worker %.0f)" % (r["peak_mib"],
                                                               r["worker_peak_mib"])
        if vs_im > 0.5:
            misses.append("%s over half ImageMagick" % key)
        if vs_vips > 1.0:
            misses.append("%s slower than vips" % key)
        floor_limit = 1.5 if label == "rgba1024" else 2.5 if label == "rgba4096" else None
        if floor_limit and vs_floor > floor_limit:
            misses.append("%s over %.1fx the floor" % (key, floor_limit))
        if r["bytes"] > 1.1 * r["imagemagick_bytes"]:
            misses.append("%s bytes over 1.1x ImageMagick" % key)
        if label == "rgba4096" and max(r["peak_mib"], r["worker_peak_mib"]) >= 400:
            misses.append("%s peak memory 400 MiB or more" % key)
    svg_ratio = svg["total"] / svg["rsvg"]
    lines += ["",
              "SVG icon (gradients, a mask, blur and drop shadow), iOS set of 13 sizes:",
              "%-10s %-8s %7s %7s %7s %7s %6s %9s %9s" % (
                  "source", "set", "load", "export", "total", "rsvg", "/rsvg", "bytes",
                  "rsvg byt"),
              "%-10s %-8s %7.3f %7.3f %7.3f %7.3f %6.2f %9d %9d" % (
                  "svg", "ios", svg["load"], svg["export"], svg["total"], svg["rsvg"], svg_ratio,
                  svg["bytes"], svg["rsvg_bytes"])]
    summary["time_svg_ios"] = "%.3f s (load %.3f, export %.3f; rsvg-convert %.3f)" % (
        svg["total"], svg["load"], svg["export"], svg["rsvg"])
    summary["ratio_vs_rsvg_convert_svg_ios"] = "%.2f" % svg_ratio
    if svg_ratio > 1.5:
        misses.append("svg_ios over 1.5x rsvg-convert")
    for label in ("rgba1024", "rgba4096", "photo6000"):
        summary["load_%s" % label] = "%.3f s" % results[(label, "ios")]["load"]
    if results[("rgba1024", "ios")]["load"] >= 0.2:
        misses.append("rgba1024 load 0.2 s or more")
    summary["speed_targets_missed"] = "; ".join(misses) if misses else "none"
    report = "\n".join(lines)
    print(report)
    with open(os.path.join(OUT, "speed.txt"), "w") as f:
        f.write(report + "\n")
    with open(os.path.join(OUT, "summary-speed.json"), "w") as f:
        json.dump(summary, f, indent=1)


if __name__ == "__main__":
    main()
