"""Shared fixtures: the sample files of every version code, and plate
bodies written by the build's zel_plate_file helper.

The ctest registration sets ZEL_LIBRARY and ZEL_PLATE_FILE; run by hand,
the build tree's build/ folder is used.
"""

import os
import subprocess
import sys
from pathlib import Path

import pytest

SOURCE = Path(__file__).resolve().parents[2]
CORPUS = SOURCE / "fuzz" / "corpus"
VERSION_CODES = [10, 20, 30, 31, 40, 41, 50, 51, 60, 316, 572, 828]

os.environ.setdefault("ZEL_LIBRARY", str(SOURCE / "build" / "libzel.so"))
sys.path.insert(0, str(SOURCE / "python"))


def sample_path(version):
    return CORPUS / f"sample_{version}.zel"


def plate_program():
    return os.environ.get("ZEL_PLATE_FILE", str(SOURCE / "build" / "tests" / "zel_plate_file"))


def write_plate(path, nx, ny, modes, version=316):
    subprocess.run([plate_program(), str(path), str(nx), str(ny), str(modes), str(version)], check=True)
    return path


@pytest.fixture(scope="session")
def plate(tmp_path_factory):
    """A 9 x 5 node plate with 4 modes, XDR double precision."""
    return write_plate(tmp_path_factory.mktemp("plate") / "plate.zel", 9, 5, 4)
