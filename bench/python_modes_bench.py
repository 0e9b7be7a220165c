#!/usr/bin/env python3
"""Reading every mode shape of a large body from Python against C.

Writes a plate body (zel_plate_file) of about --nodes nodes and --modes
modes, then times reading every mode once: in C through the public
interface (python_modes_timing) and in Python through Body.mode. Each
figure is the best of --passes passes; the file was just written, so it is
read from the page cache and what is measured is the library and the
binding, not the disk. The goal: Python at 80% or more of C's speed.

    python3 bench/python_modes_bench.py --build build-release [--nodes 100000] [--modes 50] [--version 316]

Build first: cmake --build build-release --target zel zel_plate_file python_modes_timing
"""

import argparse
import math
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

SOURCE = Path(__file__).resolve().parents[1]


def c_timings(program, path, passes):
    """{way: seconds} from the C program."""
    run = subprocess.run([str(program), str(path), str(passes)], check=True, capture_output=True, text=True)
    return {name: float(seconds) for name, seconds, _ in (line.split() for line in run.stdout.splitlines())}


def python_timings(path, passes):
    """{way: seconds}, the number of rows and of modes: Body.mode giving a
    new array per mode, and filling one buffer (out=) as the C side does."""
    import zel

    best = {"Body.mode": math.inf, "Body.mode(out=)": math.inf}
    with zel.open(path) as body:
        numbers = body.mode_numbers.tolist()
        buffer = np.empty_like(body.mode(numbers[0]))
        for _ in range(passes):
            for way in best:
                body.mode(numbers[-1])  # each mode below is then a read
                start = time.perf_counter()
                for number in numbers:
                    body.mode(number, out=buffer if way.endswith("(out=)") else None)
                best[way] = min(best[way], time.perf_counter() - start)
    return best, len(buffer), len(numbers)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=str(SOURCE / "build-release"), help="the CMake build folder (Release)")
    parser.add_argument("--nodes", type=int, default=100000)
    parser.add_argument("--modes", type=int, default=50)
    parser.add_argument("--version", type=int, default=316, help="version code of the file (316 XDR double, 828 XDR single)")
    parser.add_argument("--passes", type=int, default=3)
    arguments = parser.parse_args()

    build = Path(arguments.build)
    os.environ.setdefault("ZEL_LIBRARY", str(build / "libzel.so"))
    sys.path.insert(0, str(SOURCE / "python"))
    nx = max(2, round(math.sqrt(2 * arguments.nodes)))
    ny = max(2, round(arguments.nodes / nx))
    with tempfile.TemporaryDirectory(prefix="zel_python_bench_") as folder:
        path = Path(folder) / "plate.zel"
        subprocess.run(
            [str(build / "tests" / "zel_plate_file"), str(path), str(nx), str(ny), str(arguments.modes), str(arguments.version)],
            check=True,
        )
        size = path.stat().st_size
        c = c_timings(build / "bench" / "python_modes_timing", path, arguments.passes)
        python, rows, modes = python_timings(path, arguments.passes)

    values = 6 * rows * modes
    print(f"file: {rows} nodes, {modes} modes, version {arguments.version}, {size / 2**20:.1f} MiB")
    print(f"{'reader':<32}{'seconds':>10}{'Mvalues/s':>12}{'vs C':>8}")
    fastest_c = min(c.values())
    for name, seconds in [*((f"C {way}", s) for way, s in c.items()), *((f"Python {way}", s) for way, s in python.items())]:
        print(f"{name:<32}{seconds:>10.4f}{values / seconds / 1e6:>12.1f}{fastest_c / seconds:>8.0%}")


if __name__ == "__main__":
    main()
