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
import random
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


# Glyph-like marks for the fine card: polylines on a 4 x 6 grid (x right, y down), drawn as
# strokes, so no font is involved. "q" starts a quadratic curve: control point, then end point.
GLYPHS = [
    [[(4, 0), (0, 0), (0, 6), (4, 6)], [(0, 3), (3, 3)]],
    [[(0, 0), (0, 6)], [(4, 0), (4, 6)], [(0, 3), (4, 3)]],
    [[(0, 6), (2, 0), (4, 6)], [(1, 3.5), (3, 3.5)]],
    [[(2, 0), "q", (0, 0), (0, 3), "q", (0, 6), (2, 6), "q", (4, 6), (4, 3), "q", (4, 0), (2, 0)]],
    [[(4, 1), "q", (4, 0), (2, 0), "q", (0, 0), (0, 1.5), "q", (0, 3), (2, 3), "q", (4, 3),
      (4, 4.5), "q", (4, 6), (2, 6), "q", (0, 6), (0, 5)]],
    [[(0, 0), (0, 6)], [(4, 0), (0, 3.5)], [(1.2, 2.5), (4, 6)]],
    [[(0, 6), (0, 0), (2, 3), (4, 0), (4, 6)]],
    [[(0, 6), (0, 0), (4, 6), (4, 0)]],
    [[(0, 0), (4, 0)], [(2, 0), (2, 6)]],
    [[(0, 0), (0, 6), (4, 6)]],
    [[(0, 0), (4, 6)], [(4, 0), (0, 6)]],
    [[(0, 0), (4, 0), (0, 6), (4, 6)]],
    [[(0, 6), (0, 0), (3, 0), "q", (4, 0), (4, 1.5), "q", (4, 3), (3, 3), (0, 3)], [(2, 3), (4, 6)]],
    [[(1, 0), (3, 0)], [(2, 0), (2, 6)], [(1, 6), (3, 6)]],
    [[(0, 0), (2, 3), (4, 0)], [(2, 3), (2, 6)]],
    [[(0, 1), (2, 0), (2, 6)], [(0, 6), (4, 6)]],
]


def glyph_path(glyph, x, y, cell):
    """The path data of one glyph whose 4 x 6 grid starts at (x, y), `cell` units a grid step."""
    d = []
    for line in glyph:
        items = list(line)
        px, py = items.pop(0)
        d.append("M%.2f %.2f" % (x + px * cell, y + py * cell))
        while items:
            item = items.pop(0)
            if item == "q":
                (cx_, cy_), (ex, ey) = items.pop(0), items.pop(0)
                d.append("Q%.2f %.2f %.2f %.2f" % (x + cx_ * cell, y + cy_ * cell,
                                                   x + ex * cell, y + ey * cell))
            else:
                d.append("L%.2f %.2f" % (x + item[0] * cell, y + item[1] * cell))
    return "".join(d)


def text_lines(rng, x0, y0, width, rows, colour, extra=""):
    """Rows of glyph-like marks, largest first: (glyph height, stroke width) per row."""
    parts = []
    y = y0
    for height, stroke in rows:
        cell = height / 6.0
        advance = cell * 4 + max(stroke, cell) * 1.6
        x = x0
        d = []
        while x + cell * 4 <= x0 + width:
            d.append(glyph_path(GLYPHS[rng.randrange(len(GLYPHS))], x, y, cell))
            x += advance
            if rng.random() < 0.15:
                x += advance  # a word break
        parts.append('<path d="%s" fill="none" stroke="%s" stroke-width="%.2f" '
                     'stroke-linecap="round" stroke-linejoin="round"%s/>' % (
                         "".join(d), colour, stroke, extra))
        y += height + max(4.0, height * 0.45)
    return parts


def fine_card_svg():
    """A second card with finer detail than the first: glyph-like strokes down to a few units
    high, 1 unit lines a few units apart, hairline rings, and marks on transparency."""
    rng = random.Random(20240612)
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="1024" height="1024" '
             'viewBox="0 0 1024 1024">']
    # Dark glyphs on a white panel, from headline to footnote size.
    parts.append('<rect x="8" y="8" width="496" height="496" rx="12" fill="#ffffff"/>')
    parts += text_lines(rng, 20, 20, 472, [(40, 4.0), (28, 3.0), (20, 2.2), (14, 1.6),
                                           (11, 1.3), (9, 1.1), (8, 1.0), (7, 1.0), (6, 0.9),
                                           (14, 1.6), (11, 1.2), (9, 1.0), (8, 1.0), (20, 2.0),
                                           (7, 0.9), (11, 1.3)], "#111111")
    # Gratings of 1 unit lines at spacings of 3 to 8 units: horizontal, vertical, slanted.
    parts.append('<rect x="520" y="8" width="496" height="496" fill="#f6f2e8"/>')
    for i, spacing in enumerate((3, 4, 5, 6, 8)):
        x0 = 528 + i * 97
        d = "".join("M%d %.1fh88" % (x0, 16.5 + k * spacing) for k in range(int(150 / spacing)))
        d += "".join("M%.1f 176v150" % (x0 + 0.5 + k * spacing) for k in range(int(88 / spacing)))
        parts.append('<path d="%s" stroke="#1c2a40" stroke-width="1" fill="none"/>' % d)
        slant = "".join("M%.1f 340l60 160" % (x0 + k * spacing - 30) for k in
                        range(int(118 / spacing)))
        parts.append('<g clip-path="url(#c%d)"><path d="%s" stroke="#7a1020" stroke-width="1" '
                     'fill="none"/></g>' % (i, slant))
        parts.append('<clipPath id="c%d"><rect x="%d" y="340" width="88" height="160"/>'
                     '</clipPath>' % (i, x0))
    # Coloured glyphs and hairline rings straight on transparency.
    colours = ["#d02030", "#1060d0", "#109050", "#e0a000", "#8030c0"]
    for k, colour in enumerate(colours):
        parts += text_lines(rng, 16, 524 + k * 52, 300, [(16 - 2 * k, 1.8 - 0.2 * k),
                                                          (9, 1.1)], colour)
    parts.append('<path d="%s" stroke="#203060" stroke-width="1" fill="none"/>' % "".join(
        "M%d 880a%d %d 0 1 0 %d 0a%d %d 0 1 0 %d 0" % (410 - r, r, r, 2 * r, r, r, -2 * r)
        for r in range(4, 96, 5)))
    for k in range(9):
        parts.append('<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="%s" stroke-width="1"/>' % (
            16, 800 + k * 24, 300, 790 + k * 27, colours[k % 5]))
    # White glyphs on a dark panel, and a lattice of dots one to three units across.
    parts.append('<rect x="520" y="520" width="496" height="300" rx="20" fill="#102040"/>')
    parts += text_lines(rng, 536, 536, 464, [(24, 2.6), (14, 1.6), (10, 1.2), (8, 1.0),
                                             (12, 1.4), (7, 0.9), (16, 1.8), (9, 1.0),
                                             (11, 1.2)], "#fafafa")
    dots = []
    for j in range(12):
        for i in range(40):
            r = 0.5 + (i % 5) * 0.25
            dots.append("M%.2f %da%.2f %.2f 0 1 0 %.2f 0a%.2f %.2f 0 1 0 %.2f 0" % (
                530 + i * 12 - r, 840 + j * 14, r, r, 2 * r, r, r, -2 * r))
    parts.append('<path d="%s" fill="#303030"/>' % "".join(dots))
    parts.append("</svg>")
    return "\n".join(parts)


# The cards, each measured on its own: name, drawing, whether it holds the edge-bias shape.
CARDS = [("card", card_svg, True), ("fine", fine_card_svg, False)]


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


HALO_SIZES = (29, 32, 40)


def measure_card(name, draw, with_edge):
    """Every tool on every case of one card: {(src, size, tool): metrics}, and the cases."""
    work = mkdir(os.path.join(OUT, "quality", name))
    svg = os.path.join(work, name + ".svg")
    text = draw()
    if not os.path.exists(svg) or open(svg).read() != text:
        shutil.rmtree(work)
        mkdir(work)
    with open(svg, "w") as f:
        f.write(text)

    def render_card(size):
        path = os.path.join(work, "truth_%d.png" % size)
        if not os.path.exists(path):
            run([RSVG, "-w", str(size), "-h", str(size), "-o", path, svg])
        return path

    sizes = sorted(set(IOS_SIZES) | set(MAC_SIZES))
    cases = [(src, s) for src in (4096, 1024) for s in sizes]
    cases += [(64, s) for s in sizes if s > 64]

    results = {}
    for src in (4096, 1024, 64):
        targets = [s for (c, s) in cases if c == src]
        images = make_outputs(render_card(src), targets, os.path.join(work, "from_%d" % src))
        for s in targets:
            truth = load_rgba(render_card(s))
            tg, tp = over_grey(truth), premultiplied(truth)
            for tool in TOOLS + REFERENCE:
                img = images[(tool, s)]
                if img.shape != truth.shape:
                    raise RuntimeError("%s gave %s for %d" % (tool, img.shape, s))
                g, p = over_grey(img), premultiplied(img)
                inside, outside = edge_bias(img, truth) if with_edge else (0.0, 0.0)
                results[(src, s, tool)] = {
                    "ssim_grey": ssim(g, tg), "psnr_grey": psnr(g, tg),
                    "ssim_premul": ssim(p, tp), "psnr_premul": psnr(p, tp),
                    "edge_in": inside, "edge_out": outside}
        print("measured %s from %d" % (name, src), file=sys.stderr)
    return results, cases


SHORT = {"product": "product", "imagemagick": "IM", "vips": "vips", "pil_lanczos": "PIL-Lz",
         "pil_box": "PIL-box", "qt_smooth": "Qt", "straight_lanczos": "straight*"}


def report_card(name, results, cases, with_edge, summary):
    lines = ["", "== Card: %s" % name]
    fails = {"ssim": 0, "psnr": 0, "lanczos": 0}
    stretch_total = stretch_won = 0
    worst_ssim = worst_psnr = float("inf")
    worst_at = {}
    for variant in ("grey", "premul"):
        for metric in ("ssim", "psnr"):
            key = "%s_%s" % (metric, variant)
            tol = 0.001 if metric == "ssim" else 0.3
            fmt = "%8.4f" if metric == "ssim" else "%8.2f"
            lines.append("")
            lines.append("%s, %s (%s), card %s" % (
                metric.upper(), variant, "composited over mid-grey, RGB" if variant == "grey"
                else "premultiplied RGBA", name))
            lines.append("%-11s" % "src->size" + "".join(
                "%9s" % SHORT[t] for t in TOOLS + REFERENCE) + "   vs best  best peer")
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
                    if margin < worst_ssim:
                        worst_ssim, worst_at["ssim"] = margin, "%d->%d %s" % (src, s, variant)
                elif margin < worst_psnr:
                    worst_psnr, worst_at["psnr"] = margin, "%d->%d %s" % (src, s, variant)
                lines.append("%-11s" % ("%d->%d" % (src, s)) + "".join(fmt % v for v in row) +
                             ("  %+8.4f" if metric == "ssim" else "  %+8.2f") % margin +
                             "  %s%s" % (SHORT[best_tool], flags))
    n = len(cases) * 2
    summary.update({
        "quality_%s_cases" % name: len(cases),
        "quality_%s_ssim_misses" % name: "%d of %d" % (fails["ssim"], n),
        "quality_%s_psnr_misses" % name: "%d of %d" % (fails["psnr"], n),
        "quality_%s_below_a_lanczos_tool" % name: "%d of %d" % (fails["lanczos"], n * 2),
        "quality_%s_worst_ssim_vs_best_peer" % name: "%+.4f (%s)" % (worst_ssim,
                                                                     worst_at["ssim"]),
        "quality_%s_worst_psnr_vs_best_peer_db" % name: "%+.2f (%s)" % (worst_psnr,
                                                                        worst_at["psnr"]),
        "quality_%s_stretch_wins_1.5_to_4" % name: "%d of %d" % (stretch_won, stretch_total),
    })
    for variant in ("grey", "premul"):
        for metric in ("ssim", "psnr"):
            key = "%s_%s" % (metric, variant)
            for (src, s) in ((4096, 87), (4096, 1024), (1024, 180), (1024, 512), (64, 180),
                             (64, 1024)):
                value = results[(src, s, "product")][key]
                summary["%s_%s_%d_to_%d_product" % (key, name, src, s)] = (
                    "%.4f" % value if metric == "ssim" else "%.2f" % value)
    if not with_edge:
        return lines

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
        lines.append("%-12s %+9.2f %+9.2f" % (SHORT[tool], worst_in, worst_out))
    best_in = min(abs(bias[t][0]) for t in PEERS)
    best_out = min(abs(bias[t][1]) for t in PEERS)
    summary["edge_bias_inside_product"] = "%+.2f (best peer |%.2f|)" % (bias["product"][0],
                                                                         best_in)
    summary["edge_bias_outside_product"] = "%+.2f (best peer |%.2f|)" % (bias["product"][1],
                                                                          best_out)

    # At the smallest sizes other parts of the card lie within a filter's reach of the box, so
    # this is a figure for comparing tools with each other, not a clean measure of the edge.
    lines.append("")
    lines.append("Halo at small sizes: edge bias (levels) of the larger of inside and outside,"
                 " per size; + is lighter than the shape")
    lines.append("%-11s" % "src->size" + "".join("%9s" % SHORT[t] for t in TOOLS) +
                 "  product vs best peer")
    for src in (4096, 1024):
        worst_product = worst_gap = 0.0
        for s in HALO_SIZES:
            halo = {t: max(results[(src, s, t)]["edge_in"], results[(src, s, t)]["edge_out"],
                           key=abs) for t in TOOLS}
            best = min((abs(halo[t]) for t in PEERS))
            gap = abs(halo["product"]) - best
            lines.append("%-11s" % ("%d->%d" % (src, s)) +
                         "".join("%+9.2f" % halo[t] for t in TOOLS) + "  %+9.2f" % gap)
            if abs(halo["product"]) >= abs(worst_product):
                worst_product = halo["product"]
            worst_gap = max(worst_gap, gap)
        summary["halo_%d_to_%d_%d_product" % (src, HALO_SIZES[0], HALO_SIZES[-1])] = (
            "%+.2f (worst over best peer %+.2f)" % (worst_product, worst_gap))
    return lines


def main():
    mkdir(os.path.join(OUT, "quality"))
    summary = {}
    lines = []
    everything = {}
    for name, draw, with_edge in CARDS:
        results, cases = measure_card(name, draw, with_edge)
        lines += report_card(name, results, cases, with_edge, summary)
        everything.update({"%s %d %d %s" % ((name,) + k): v for k, v in results.items()})
    lines.append("")
    lines.append("* straight: Pillow Lanczos on straight (not premultiplied) alpha, for reference;"
                 " not a peer.")
    report = "\n".join(lines)
    print(report)
    with open(os.path.join(OUT, "quality.txt"), "w") as f:
        f.write(report + "\n")
    with open(os.path.join(OUT, "summary-quality.json"), "w") as f:
        json.dump(summary, f, indent=1)
    with open(os.path.join(OUT, "quality.json"), "w") as f:
        json.dump(everything, f)


if __name__ == "__main__":
    main()
