#!/usr/bin/env python3
"""Filling a body from numpy arrays through zel.Builder against a C
translator calling ZEL_SetNodeCoordinates, ZEL_SetNodalMass and
ZEL_SetModeVec node by node.

The C figure is BM_FillPerNode of bulk_setters_bench (Google Benchmark);
the Python figure is the best of --passes fills of the same body: nodes
with IDs 1, 3, 5, ..., coordinates and masses, then --modes mode shapes
of six values a node, each mode one (N, 6) array. The goal: Python takes
at most twice C's time.

    /usr/bin/python3 bench/python_bulk_fill_bench.py --build build-release [--nodes 100000] [--modes 50]

Build first: cmake --build build-release --target zel bulk_setters_bench
"""

import argparse
import json
import math
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

SOURCE = Path(__file__).resolve().parents[1]


def c_seconds(build, nodes, modes):
    """Seconds of one per-node fill in C, the benchmark's median run."""
    # The library's information goes to standard output: the figures to a file.
    with tempfile.TemporaryDirectory() as folder:
        figures = Path(folder) / "figures.json"
        subprocess.run(
            [
                str(build / "bench" / "bulk_setters_bench"),
                f"--benchmark_filter=^BM_FillPerNode/{nodes}/{modes}/real_time$",
                f"--benchmark_out={figures}",
                "--benchmark_out_format=json",
                "--benchmark_repetitions=3",
                "--benchmark_report_aggregates_only=true",
            ],
            check=True,
            capture_output=True,
        )
        results = json.loads(figures.read_text())["benchmarks"]
    median = next((r for r in results if r.get("aggregate_name") == "median"), None)
    if median is None:
        sys.exit(f"bulk_setters_bench ran no benchmark for {nodes} nodes and {modes} modes (only the built sizes exist)")
    return median["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[median["time_unit"]]


def python_seconds(nodes, modes, passes):
    """Best seconds of a fill through zel.Builder."""
    import zel

    ids = np.arange(1, 2 * nodes, 2, dtype=np.intc)
    generator = np.random.default_rng(20261207)
    xyz = generator.uniform(-1.0, 1.0, (nodes, 3))
    masses = np.full(nodes, 0.5)
    shape = generator.uniform(-1.0, 1.0, (nodes, 6))
    best = math.inf
    for _ in range(passes):
        start = time.perf_counter()
        with zel.Builder(expected_nodes=nodes, max_modes=modes) as builder:
            builder.add_nodes(ids, xyz)
            builder.set_masses(ids, masses)
            for number in range(1, modes + 1):
                builder.set_mode(number, ids, shape)
            best = min(best, time.perf_counter() - start)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, default=SOURCE / "build-release")
    parser.add_argument("--nodes", type=int, default=100000)
    parser.add_argument("--modes", type=int, default=50)
    parser.add_argument("--passes", type=int, default=3)
    options = parser.parse_args()
    build = options.build.resolve()
    os.environ.setdefault("ZEL_LIBRARY", str(build / "libzel.so"))
    sys.path.insert(0, str(SOURCE / "python"))

    c = c_seconds(build, options.nodes, options.modes)
    python = python_seconds(options.nodes, options.modes, options.passes)
    ratio = c / python
    print(f"{options.nodes} nodes x {options.modes} modes")
    print(f"C, per node (ZEL_SetModeVec)   {c:8.3f} s")
    print(f"Python, zel.Builder (arrays)  {python:8.3f} s")
    print(f"Python at {100 * ratio:.0f}% of C's speed (goal: 50% or more): {'met' if ratio >= 0.5 else 'NOT met'}")


if __name__ == "__main__":
    main()
