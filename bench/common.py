"""Shared pieces of the benchmark scripts: paths, the peers' programs, running and timing."""

import os
import statistics
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
OUT = os.environ.get("BENCH_OUT", os.path.join(HERE, "out"))
BUILD = os.environ.get("BUILD_DIR", "build-bench")
BENCH_EXE = os.path.join(ROOT, BUILD, "bin", "assetsmith_bench")

# Debian's own programs, named by path so nothing earlier on PATH stands in for them.
CONVERT = "/usr/bin/convert-im6.q16"
VIPSTHUMBNAIL = "/usr/bin/vipsthumbnail"
RSVG = "/usr/bin/rsvg-convert"

IOS_SIZES = [20, 60, 58, 87, 80, 120, 180, 29, 40, 76, 152, 167, 1024]
MAC_SIZES = [16, 32, 64, 128, 256, 512, 1024]


def run(args, **kwargs):
    result = subprocess.run(args, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (args[0], result.returncode,
                                                   result.stderr.strip()[-2000:]))
    return result.stdout


def timed(args):
    start = time.perf_counter()
    run(args)
    return time.perf_counter() - start


def median(values):
    return statistics.median(values)


def mkdir(path):
    os.makedirs(path, exist_ok=True)
    return path


def folder_bytes(path):
    total = 0
    for base, _, files in os.walk(path):
        for name in files:
            total += os.path.getsize(os.path.join(base, name))
    return total
