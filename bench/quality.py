#!/usr/bin/python3
"""Quality: every icon size made from a large bitmap, against the same drawing rendered directly
at that size.

The test card is an SVG drawn here; rsvg-convert renders it as the sources (4096, 1024, and 64
for enlarging) and as the ground truth at every target size. Each tool resizes the source to each
size; PSNR and SSIM are measured against the truth in two ways:
  grey:  both composited over mid-grey (128), RGB;
  premul: premultiplied RGBA, all four channels.
SSIM is the standard one (11x11 Gaussian window, sigma 1.5, K1 0.01, K2 0.03), per channel and
averaged over the channels, with the window's border mirrored so every pixel counts.
Edge bias: in a box holding only a sharp opaque shape of one colour on transparency, the
alpha-weighted mean of (straight colour - the shape's colour), over the ring just inside the edge
(truth alpha >= 0.5) and the ring just outside it (truth alpha < 0.5); the channel with the
largest magnitude, signed (a dark fringe is negative). Worst over the sizes at which no other
part of the card is within a filter's reach of the box (120 up, and the enlargements).
"""

import json
import math
import os
import shutil
import sys

import numpy as np
from PIL import Image

from common import (BENCH_EXE, CONVERT, IOS_SIZES, MAC_SIZES, OUT, RSVG, VIPSTHUMBNAIL, mkdir,
                    run)

SHAPE_COLOUR = (230, 180, 50)
# The box of the sharp shape, in card units (the card is 1024 units square).
SHAPE_BOX = (520, 792, 1016, 1016)
# Other content keeps 50 units from the box: from this size on no filter reaches across.
EDGE_MIN_SIZE = 120

TOOLS = ["product", "imagemagick", "vips", "pil_lanczos", "pil_box", "qt_smooth"]
PEERS = TOOLS[1:]
LANCZOS_PEERS = ["imagemagick", "vips", "pil_lanczos"]
# Shown for reference only, not a peer: what resizing straight alpha does.
REFERENCE = ["straight_lanczos"]


def card_svg():
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="1024" height="1024" '
             'viewBox="0 0 1024 1024">',
             '<defs><radialGradient id="rg" cx="0.5" cy="0.5" r="0.5">'
             '<stop offset="0" stop-color="#fff8e0"/><stop offset="0.45" stop-color="#2f7fff"/>'
             '<stop offset="0.8" stop-color="#a01050" stop-opacity="0.8"/>'
             '<stop offset="1" stop-color="#101030" stop-opacity="0.1"/>'
             '</radialGradient></defs>']
    # Siemens star: 48 dark wedges on a light disc, transparent around it.
    cx, cy, r = 256, 256, 232
    parts.append('<circle cx="%d" cy="%d" r="%d" fill="#f4f4f4"/>' % (cx, cy, r))
    wedges = []
    for k in range(48):
        a0 = 2 * math.pi * k / 48
        a1 = 2 * math.pi * (k + 0.5) / 48
        wedges.append("M%d %d L%.3f %.3f A%d %d 0 0 1 %.3f %.3f Z" % (
            cx, cy, cx + r * math.cos(a0), cy + r * math.sin(a0), r, r,
            cx + r * math.cos(a1), cy + r * math.sin(a1)))
    parts.append('<path fill="#141414" d="%s"/>' % " ".join(wedges))
    # Thin lines: 1 unit wide at ten angles, on an opaque panel, and five more on transparency.
    parts.append('<rect x="528" y="16" width="480" height="300" rx="24" fill="#ffffff"/>')
    for k in range(10):
        a = math.radians(k * 9.5)
        x0, y0 = 544, 300
        parts.append('<line x1="%d" y1="%d" x2="%.3f" y2="%.3f" stroke="#1a1a1a" '
                     'stroke-width="1"/>' % (x0, y0, x0 + 450 * math.cos(a), y0 - 270 * math.sin(a)))
    for k in range(5):
        a = math.radians(5 + k * 17)
        x0, y0 = 540, 496
        parts.append('<line x1="%d" y1="%d" x2="%.3f" y2="%.3f" stroke="#20a040" '
                     'stroke-width="1"/>' % (x0, y0, x0 + 460 * math.cos(a), y0 - 160 * math.sin(a)))
    # A radial gradient fading to near-transparent, and antialiased circles on transparency.
    parts.append('<circle cx="256" cy="768" r="200" fill="url(#rg)"/>')
    for i, (rad, colour) in enumerate([(3, "#ff3030"), (6, "#30c0ff"), (10, "#ffd000"),
                                       (16, "#8040ff"), (24, "#20d080")]):
        parts.append('<circle cx="%.1f" cy="%.1f" r="%d" fill="%s"/>' % (
            40 + i * 9.3, 560 + i * 48.7, rad, colour))
        parts.append('<circle cx="%.1f" cy="%.1f" r="%d" fill="none" stroke="%s" '
                     'stroke-width="1.5"/>' % (470 - i * 7.1, 990 - i * 46.3, rad, colour))
    # Checkerboard of 8-unit squares.
    squares = []
    for j in range(28):
        for i in range(28):
            if (i + j) % 2 == 0:
                squares.append("M%d %dh8v8h-8z" % (528 + 8 * i, 528 + 8 * j))
    parts.append('<rect x="528" y="528" width="224" height="224" fill="#f0f0f0"/>')
    parts.append('<path fill="#202020" d="%s"/>' % "".join(squares))
    # Fine shapes: dots, small triangles and strokes of a few units.
    for j in range(9):
        for i in range(8):
            x, y = 806 + 25 * i, 534 + 24 * j
            if (i + j) % 3 == 0:
                parts.append('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="#e04020"/>' % (
                    x + 6, y + 6, 1.5 + 0.4 * i))
            elif (i + j) % 3 == 1:
                parts.append('<path d="M%.1f %.1fl%.1f 0l%.1f %.1fz" fill="#2040c0"/>' % (
                    x, y + 12, 4 + i, -(2 + i / 2), -(4 + j)))
            else:
                parts.append('<rect x="%.1f" y="%.1f" width="%.1f" height="12" '
                             'fill="#303030"/>' % (x + 3, y, 0.8 + 0.3 * j))
    # The sharp opaque shape on transparency, alone in its box.
    colour = "#%02x%02x%02x" % SHAPE_COLOUR
    parts.append('<rect x="560" y="824" width="150" height="150" fill="%s" '
                 'transform="rotate(15 635 899)"/>' % colour)
    parts.append('<circle cx="880" cy="904" r="92" fill="%s"/>' % colour)
    parts.append('<path d="M770 812 L790 1000 L800 812 Z" fill="%s"/>' % colour)
    parts.append("</svg>")
    return "\n".join(parts)


def load_rgba(path):
    return np.asarray(Image.open(path).convert("RGBA"), dtype=np.float64)


def premultiplied(img):
    a = img[..., 3:4] / 255.0
    return np.concatenate([img[..., :3] * a, img[..., 3:4]], axis=2)


def over_grey(img):
    a = img[..., 3:4] / 255.0
    return img[..., :3] * a + 128.0 * (1.0 - a)


def gaussian_blur(x):
    radius = 5
    t = np.arange(-radius, radius + 1, dtype=np.float64)
    k = np.exp(-(t * t) / (2 * 1.5 * 1.5))
    k /= k.sum()
    k = k.astype(np.float32)
    pad = np.pad(x.astype(np.float32), ((radius, radius), (radius, radius)), mode="symmetric")
    h, w = x.shape
    rows = sum(k[i] * pad[:, i:i + w] for i in range(2 * radius + 1))
    return sum(k[i] * rows[i:i + h, :] for i in range(2 * radius + 1)).astype(np.float64)


def ssim_channel(a, b):
    c1, c2 = (0.01 * 255) ** 2, (0.03 * 255) ** 2
    mu_a, mu_b = gaussian_blur(a), gaussian_blur(b)
    saa = gaussian_blur(a * a) - mu_a * mu_a
    sbb = gaussian_blur(b * b) - mu_b * mu_b
    sab = gaussian_blur(a * b) - mu_a * mu_b
    num = (2 * mu_a * mu_b + c1) * (2 * sab + c2)
    den = (mu_a * mu_a + mu_b * mu_b + c1) * (saa + sbb + c2)
    return float(np.mean(num / den))


def ssim(a, b):
    return float(np.mean([ssim_channel(a[..., c], b[..., c]) for c in range(a.shape[2])]))


def psnr(a, b):
    mse = float(np.mean((a - b) ** 2))
    return 99.0 if mse <= 1e-12 else 10.0 * math.log10(255.0 * 255.0 / mse)


def edge_bias(img, truth):
    """(inside, outside): signed worst-channel alpha-weighted colour bias in the shape's box."""
    size = img.shape[0]
    x0, y0, x1, y1 = [int(round(v * size / 1024.0)) for v in SHAPE_BOX]
    box = img[y0:y1, x0:x1]
    tbox = truth[y0:y1, x0:x1]
    ta = tbox[..., 3]
    opaque = ta >= 255
    neighbour_not_opaque = np.zeros_like(opaque)
    neighbour_visible = np.zeros_like(opaque)
    for dy, dx in ((1, 0), (-1, 0), (0, 1), (0, -1)):
        shifted = np.roll(np.roll(ta, dy, axis=0), dx, axis=1)
        neighbour_not_opaque |= shifted < 255
        neighbour_visible |= shifted > 0
    inside = (ta >= 127.5) & (~opaque | neighbour_not_opaque)
    outside = (ta < 127.5) & ((ta > 0) | neighbour_visible)
    result = []
    for ring in (inside, outside):
        alpha = box[..., 3] / 255.0 * ring
        weight = alpha.sum()
        if weight < 1e-9:
            result.append(0.0)
            continue
        biases = [float(((box[..., c] - SHAPE_COLOUR[c]) * alpha).sum() / weight)
                  for c in range(3)]
        result.append(max(biases, key=abs))
    return result


def float_channels(path):
    """The source as Pillow float images: premultiplied r, g, b, then straight r, g, b, then a."""
    img = load_rgba(path).astype(np.float32) / 255.0
    a = img[..., 3]
    planes = [img[..., c] * a for c in range(3)] + [img[..., c] for c in range(3)] + [a]
    return [Image.fromarray(np.ascontiguousarray(p), mode="F") for p in planes]


def pil_resize_float(planes, size, resample, premultiply=True):
    chosen = planes[0:3] if premultiply else planes[3:6]
    out = [np.asarray(p.resize((size, size), resample), dtype=np.float64)
           for p in chosen + [planes[6]]]
    a = np.clip(out[3], 0.0, 1.0)
    rgb = []
    for c in range(3):
        if premultiply:
            v = np.where(a > 0, np.clip(out[c], 0.0, a) / np.maximum(a, 1e-12), 0.0)
        else:
            v = np.clip(out[c], 0.0, 1.0)
        rgb.append(v)
    result = np.stack(rgb + [a], axis=2)
    return np.floor(result * 255.0 + 0.5)


def make_outputs(source, sizes, folder):
    """Every tool's resize of `source` to each size, as files in `folder`."""
    mkdir(folder)
    run([BENCH_EXE, "render", source, folder] + [str(s) for s in sizes])
    args = [CONVERT, source, "-filter", "Lanczos"]
    for s in sizes:
        args += ["(", "+clone", "-resize", "%dx%d!" % (s, s), "-depth", "8",
                 "-write", "PNG32:" + os.path.join(folder, "imagemagick_%d.png" % s),
                 "+delete", ")"]
    run(args + ["null:"])
    for s in sizes:
        run([VIPSTHUMBNAIL, source, "--size", "%dx%d!" % (s, s),
             "-o", os.path.join(folder, "vips_%d.png" % s)])
    images = {}
    planes = float_channels(source)
    for s in sizes:
        images[("pil_lanczos", s)] = pil_resize_float(planes, s, Image.LANCZOS)
        images[("pil_box", s)] = pil_resize_float(planes, s, Image.BOX)
        images[("straight_lanczos", s)] = pil_resize_float(planes, s, Image.LANCZOS, False)
    del planes
    for s in sizes:
        for tool, name in (("product", "product"), ("imagemagick", "imagemagick"),
                           ("vips", "vips"), ("qt_smooth", "qtsmooth")):
            images[(tool, s)] = load_rgba(os.path.join(folder, "%s_%d.png" % (name, s)))
    return images


def main():
    work = mkdir(os.path.join(OUT, "quality"))
    svg = os.path.join(work, "card.svg")
    text = card_svg()
    if not os.path.exists(svg) or open(svg).read() != text:
        for name in os.listdir(work):
            if name.startswith("card_") and name.endswith(".png"):
                os.remove(os.path.join(work, name))
        shutil.rmtree(os.path.join(OUT, "sources"), ignore_errors=True)
    with open(svg, "w") as f:
        f.write(text)

    def render_card(size):
        path = os.path.join(work, "card_%d.png" % size)
        if not os.path.exists(path):
            run([RSVG, "-w", str(size), "-h", str(size), "-o", path, svg])
        return path

    sizes = sorted(set(IOS_SIZES) | set(MAC_SIZES))
    cases = []  # (label, source size, target size)
    for src in (4096, 1024):
        for s in sizes:
            cases.append((src, s))
    cases += [(64, 180), (64, 1024)]

    results = {}  # (src, size, tool) -> metrics
    for src in (4096, 1024, 64):
        targets = [s for (c, s) in cases if c == src]
        source = render_card(src)
        images = make_outputs(source, targets, os.path.join(work, "from_%d" % src))
        for s in targets:
            truth = load_rgba(render_card(s))
            tg, tp = over_grey(truth), premultiplied(truth)
            for tool in TOOLS + REFERENCE:
                img = images[(tool, s)]
                if img.shape != truth.shape:
                    raise RuntimeError("%s gave %s for %d" % (tool, img.shape, s))
                g, p = over_grey(img), premultiplied(img)
                inside, outside = edge_bias(img, truth)
                results[(src, s, tool)] = {
                    "ssim_grey": ssim(g, tg), "psnr_grey": psnr(g, tg),
                    "ssim_premul": ssim(p, tp), "psnr_premul": psnr(p, tp),
                    "edge_in": inside, "edge_out": outside}
        print("measured source %d" % src, file=sys.stderr)

    lines = []
    summary = {}
    short = {"product": "product", "imagemagick": "IM", "vips": "vips",
             "pil_lanczos": "PIL-Lz", "pil_box": "PIL-box", "qt_smooth": "Qt",
             "straight_lanczos": "straight*"}
    fails = {"ssim": 0, "psnr": 0, "lanczos": 0}
    stretch_total = stretch_won = 0
    worst_ssim = worst_psnr = float("inf")
    for variant in ("grey", "premul"):
        for metric in ("ssim", "psnr"):
            key = "%s_%s" % (metric, variant)
            tol = 0.001 if metric == "ssim" else 0.3
            fmt = "%8.4f" if metric == "ssim" else "%8.2f"
            lines.append("")
            lines.append("%s, %s (%s)" % (metric.upper(), variant,
                                          "composited over mid-grey, RGB" if variant == "grey"
                                          else "premultiplied RGBA"))
            header = "%-11s" % "src->size" + "".join(
                "%9s" % short[t] for t in TOOLS + REFERENCE) + "   vs best  best peer"
            lines.append(header)
            for (src, s) in cases:
                row = [results[(src, s, t)][key] for t in TOOLS + REFERENCE]
                peer_values = {t: results[(src, s, t)][key] for t in PEERS}
                best_tool = max(peer_values, key=peer_values.get)
                margin = row[0] - peer_values[best_tool]
                flags = ""
                if margin < -tol:
                    flags += " MISS"
                    fails[metric] += 1
                if any(row[0] < peer_values[t] - 1e-9 for t in LANCZOS_PEERS):
                    flags += " <Lanczos"
                    fails["lanczos"] += 1
                factor = src / s
                if 1.5 <= factor <= 4:
                    stretch_total += 1
                    stretch_won += margin > 0
                if metric == "ssim":
                    worst_ssim = min(worst_ssim, margin)
                else:
                    worst_psnr = min(worst_psnr, margin)
                lines.append("%-11s" % ("%d->%d" % (src, s)) + "".join(fmt % v for v in row) +
                             ("  %+8.4f" if metric == "ssim" else "  %+8.2f") % margin +
                             "  %s%s" % (short[best_tool], flags))
    lines.append("")
    lines.append("* straight: Pillow Lanczos on straight (not premultiplied) alpha, for reference;"
                 " not a peer.")

    lines.append("")
    lines.append("Edge bias (levels; worst over sizes from %d up and the enlargements; negative ="
                 " darker than the shape)" % EDGE_MIN_SIZE)
    lines.append("%-12s %9s %9s" % ("tool", "inside", "outside"))
    bias = {}
    edge_cases = [(src, s) for (src, s) in cases if s >= EDGE_MIN_SIZE or src < s]
    for tool in TOOLS + REFERENCE:
        worst_in = max((results[(src, s, tool)]["edge_in"] for (src, s) in edge_cases), key=abs)
        worst_out = max((results[(src, s, tool)]["edge_out"] for (src, s) in edge_cases),
                        key=abs)
        bias[tool] = (worst_in, worst_out)
        lines.append("%-12s %+9.2f %+9.2f" % (short[tool], worst_in, worst_out))
    best_in = min(abs(bias[t][0]) for t in PEERS)
    best_out = min(abs(bias[t][1]) for t in PEERS)

    report = "\n".join(lines)
    print(report)
    with open(os.path.join(OUT, "quality.txt"), "w") as f:
        f.write(report + "\n")
    n = len(cases) * 2
    summary = {
        "quality_cases": len(cases),
        "quality_ssim_misses": "%d of %d" % (fails["ssim"], n),
        "quality_psnr_misses": "%d of %d" % (fails["psnr"], n),
        "quality_below_a_lanczos_tool": "%d of %d" % (fails["lanczos"], n * 2),
        "quality_worst_ssim_vs_best_peer": "%+.4f" % worst_ssim,
        "quality_worst_psnr_vs_best_peer_db": "%+.2f" % worst_psnr,
        "quality_stretch_wins_1.5_to_4": "%d of %d" % (stretch_won, stretch_total),
        "edge_bias_inside_product": "%+.2f (best peer |%.2f|)" % (bias["product"][0], best_in),
        "edge_bias_outside_product": "%+.2f (best peer |%.2f|)" % (bias["product"][1], best_out),
    }
    for variant in ("grey", "premul"):
        for metric in ("ssim", "psnr"):
            key = "%s_%s" % (metric, variant)
            for (src, s) in ((4096, 87), (4096, 1024), (1024, 180), (1024, 512), (64, 1024)):
                summary["%s_%d_to_%d_product" % (key, src, s)] = (
                    "%.4f" % results[(src, s, "product")][key] if metric == "ssim" else
                    "%.2f" % results[(src, s, "product")][key])
    with open(os.path.join(OUT, "summary-quality.json"), "w") as f:
        json.dump(summary, f, indent=1)
    with open(os.path.join(OUT, "quality.json"), "w") as f:
        json.dump({"%d %d %s" % k: v for k, v in results.items()}, f)


if __name__ == "__main__":
    main()
