#!/usr/bin/python3
"""A manifest build: one source, 30 alternate iOS app icon sets and a Mac set, as an app with
alternate icons keeps them, written by `assetsmith build` and checked by `assetsmith build
--check`, beside shell loops that make the same files with ImageMagick (one `convert` per set,
reading the source once and writing every size) and with libvips (one `vipsthumbnail` per file).
Each timing is a fresh folder; medians of RUNS runs. The product's figure includes its decoding
worker and writing every Contents.json.
"""

import json
import os
import shutil
import sys

from common import (CONVERT, IOS_SIZES, MAC_SIZES, OUT, ROOT, BUILD, VIPSTHUMBNAIL, median,
                    mkdir, run, timed)
from speed import IOS_NAMES, imagemagick, sources

RUNS = max(5, int(os.environ.get("BENCH_RUNS", "5")))
ALTERNATES = 30
PRODUCT = os.path.join(ROOT, BUILD, "bin", "assetsmith")


def sets():
    """(name, kind, files) of every set the manifest writes."""
    ios = [(s, s, n) for s, n in zip(IOS_SIZES, IOS_NAMES)]
    mac = [(s, s, "Icon-%d.png" % s) for s in MAC_SIZES]
    names = ["AppIcon-%02d" % i for i in range(1, ALTERNATES + 1)]
    return [(n, "ios", ios) for n in names] + [("AppIcon", "mac", mac)]


def write_manifest(folder, source):
    manifest = {"catalogue": "Assets.xcassets",
                "sets": [{"kind": kind, "name": name, "source": source}
                         for name, kind, _ in sets()]}
    path = os.path.join(folder, "assetsmith.json")
    with open(path, "w") as f:
        json.dump(manifest, f, indent=1)
    return path


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    return mkdir(folder)


def main():
    source = next(path for label, path, _ in sources() if label == "rgba1024")
    work = mkdir(os.path.join(OUT, "manifest"))
    product, check, im, vips = [], [], [], []
    for _ in range(RUNS):
        folder = fresh(os.path.join(work, "product"))
        manifest = write_manifest(folder, source)
        product.append(timed([PRODUCT, "build", "--manifest", manifest, "--quiet"]))
        check.append(timed([PRODUCT, "build", "--check", "--manifest", manifest, "--quiet"]))

        folder = fresh(os.path.join(work, "imagemagick"))
        total = 0.0
        for name, kind, files in sets():
            out = mkdir(os.path.join(folder, "%s-%s" % (name, kind)))
            total += timed(imagemagick(source, files, out))
        im.append(total)

        folder = fresh(os.path.join(work, "vips"))
        total = 0.0
        for name, kind, files in sets():
            out = mkdir(os.path.join(folder, "%s-%s" % (name, kind)))
            for w, h, file in files:
                total += timed([VIPSTHUMBNAIL, source, "--size", "%dx%d!" % (w, h), "-o",
                                os.path.join(out, file)])
        vips.append(total)
        print("manifest run done", file=sys.stderr)

    files = sum(len(f) for _, _, f in sets())
    r = {"build": median(product), "check": median(check), "im": median(im),
         "vips": median(vips)}
    lines = ["Manifest of one 1024 px PNG source, %d iOS sets and a Mac set (%d PNGs); seconds, "
             "medians of %d runs:" % (ALTERNATES, files, RUNS),
             "build %.3f  build --check %.3f  ImageMagick loop %.3f  vips loop %.3f  "
             "build/ImageMagick %.2f  build/vips %.2f" % (
                 r["build"], r["check"], r["im"], r["vips"], r["build"] / r["im"],
                 r["build"] / r["vips"])]
    report = "\n".join(lines)
    print(report)
    with open(os.path.join(OUT, "manifest.txt"), "w") as f:
        f.write(report + "\n")
    summary = {
        "time_manifest_build": "%.3f s (check %.3f; ImageMagick loop %.3f, vips loop %.3f)" % (
            r["build"], r["check"], r["im"], r["vips"]),
        "ratio_vs_imagemagick_manifest": "%.2f" % (r["build"] / r["im"]),
        "manifest_target_missed": "none" if r["build"] <= 0.5 * r["im"] else
        "build over half the ImageMagick loop"}
    with open(os.path.join(OUT, "summary-manifest.json"), "w") as f:
        json.dump(summary, f, indent=1)


if __name__ == "__main__":
    main()
