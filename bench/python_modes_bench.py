#!/usr/bin/env python3
"""Reading every mode shape of a large body from Python against C and
against the stores a user would pick instead.

Writes a plate body (zel_plate_file) of about --nodes nodes and --modes
modes, then times reading every mode once: in C through the public
interface (python_modes_timing), in Python through Body.mode, and with
--yardsticks the same values per mode from an HDF5 file through h5py (one
contiguous dataset, and one chunk per mode) and from a raw float64 file
through a numpy memmap (the limit: a copy out of the page cache). Each
figure is the best of --passes passes, the Python ones interleaved; the
files were just written, so they are read from the page cache and what is
measured is the library and the binding, not the disk. The goals: Python
at 80% or more of C's speed, and Body.mode(out=) at least as fast as h5py.

    /usr/bin/python3 bench/python_modes_bench.py --build build-release [--nodes 100000] [--modes 200]
        [--version 316] [--yardsticks]

Build first: cmake --build build-release --target zel zel_plate_file python_modes_timing
(--yardsticks needs h5py: the Debian package python3-h5py, for the system's python3).
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


def python_timings(path, passes, folder=None):
    """{way: seconds}, the number of rows and of modes: Body.mode giving a
    new array per mode, and filling one buffer (out=) as the C side does;
    with a folder, also the yardsticks written there from the same values."""
    import zel

    with zel.open(path) as body:
        numbers = body.mode_numbers.tolist()
        buffer = np.empty_like(body.mode(numbers[0]))
        ways = {
            "Body.mode": lambda number, m: body.mode(number),
            "Body.mode(out=)": lambda number, m: body.mode(number, out=buffer),
        }
        if folder is not None:
            ways.update(yardstick_ways(body, numbers, buffer, Path(folder)))
        best = dict.fromkeys(ways, math.inf)
        for _ in range(passes):
            for way, read in ways.items():
                body.mode(numbers[-1])  # each mode below is then a read
                start = time.perf_counter()
                for m, number in enumerate(numbers):
                    read(number, m)
                best[way] = min(best[way], time.perf_counter() - start)
    return best, len(buffer), len(numbers)


def yardstick_ways(body, numbers, buffer, folder):
    """The body's modes written to HDF5 (contiguous; a chunk per mode) and to
    a raw float64 file, checked against Body.mode, and a way to read each
    back into `buffer`."""
    import h5py

    shape = (len(numbers),) + buffer.shape
    raw_path = folder / "modes.f64"
    with h5py.File(folder / "modes.h5", "w") as h5:
        contiguous = h5.create_dataset("contiguous", shape=shape, dtype="f8")
        chunked = h5.create_dataset("chunked", shape=shape, dtype="f8", chunks=(1,) + buffer.shape)
        raw = np.lib.format.open_memmap(raw_path, mode="w+", dtype="f8", shape=shape)
        for m, number in enumerate(numbers):
            values = body.mode(number)
            contiguous[m] = values
            chunked[m] = values
            raw[m] = values
        raw.flush()
        del raw
    h5 = h5py.File(folder / "modes.h5", "r")
    contiguous, chunked = h5["contiguous"], h5["chunked"]
    mapped = np.load(raw_path, mmap_mode="r")
    for m in (0, len(numbers) - 1):
        expected = body.mode(numbers[m])
        for dataset in (contiguous, chunked):
            dataset.read_direct(buffer, source_sel=np.s_[m])
            assert np.array_equal(buffer, expected), "HDF5 holds other values"
        assert np.array_equal(mapped[m], expected), "the raw file holds other values"
    return {
        "h5py contiguous": lambda number, m: contiguous.read_direct(buffer, source_sel=np.s_[m]),
        "h5py chunk per mode": lambda number, m: chunked.read_direct(buffer, source_sel=np.s_[m]),
        "numpy memmap": lambda number, m: np.copyto(buffer, mapped[m]),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=str(SOURCE / "build-release"), help="the CMake build folder (Release)")
    parser.add_argument("--nodes", type=int, default=100000)
    parser.add_argument("--modes", type=int, default=200)
    parser.add_argument("--version", type=int, default=316, help="version code of the file (316 XDR double, 828 XDR single)")
    parser.add_argument("--passes", type=int, default=5)
    parser.add_argument("--yardsticks", action="store_true", help="also h5py and a numpy memmap of the same values")
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
        python, rows, modes = python_timings(path, arguments.passes, folder if arguments.yardsticks else None)

    values = 6 * rows * modes
    print(f"file: {rows} nodes, {modes} modes, version {arguments.version}, {size / 2**20:.1f} MiB")
    print(f"{'reader':<32}{'seconds':>10}{'GB/s':>8}{'vs C':>8}")
    fastest_c = min(c.values())
    for name, seconds in [*((f"C {way}", s) for way, s in c.items()), *((f"Python {way}", s) for way, s in python.items())]:
        print(f"{name:<32}{seconds:>10.4f}{8 * values / seconds / 1e9:>8.2f}{fastest_c / seconds:>8.0%}")


if __name__ == "__main__":
    main()
