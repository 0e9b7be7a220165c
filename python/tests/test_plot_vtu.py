"""python3 -m zel plot and vtk: the picture, and the .vtu read back with
VTK's own reader, value by value."""

import os
import struct
import subprocess
import sys

import matplotlib
import matplotlib.image
import numpy as np
import pytest

import zel
from conftest import SOURCE, sample_path

vtk = pytest.importorskip("vtk")
from vtk.util.numpy_support import vtk_to_numpy  # noqa: E402


def run_zel(*arguments):
    return subprocess.run(
        [sys.executable, "-m", "zel", *map(str, arguments)],
        env={**os.environ, "PYTHONPATH": str(SOURCE / "python")},
        capture_output=True,
        text=True,
    )


def png_size(path):
    header = path.read_bytes()[:24]
    assert header[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", header[16:24])


@pytest.mark.parametrize(
    "body, mode, extra, size",
    [("sample", 2, [], (800, 600)), ("plate", 3, ["--size", "640x480", "--deflection", "0.2"], (640, 480))],
)
def test_plot_writes_a_picture_of_the_asked_size(tmp_path, plate, body, mode, extra, size):
    path = sample_path(316) if body == "sample" else plate
    picture = tmp_path / "mode.png"
    run = run_zel("plot", path, "--mode", mode, "-o", picture, *extra)
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
    assert png_size(picture) == size
    pixels = matplotlib.image.imread(picture)
    assert len(np.unique(pixels.reshape(-1, pixels.shape[-1]), axis=0)) > 50  # drawn, not blank


def test_picture_title_scale_and_colour_label(tmp_path, plate):
    matplotlib.rcParams["svg.fonttype"] = "none"  # text stays text in the SVG
    with zel.open(plate) as body:
        scale = body.plot_mode(2, tmp_path / "mode.svg", deflection=0.25)
        hz = body.eigen["hz"][1]
        largest = np.linalg.norm(body.mode(2)[:, :3], axis=1).max()
        size = body.size
    svg = (tmp_path / "mode.svg").read_text()
    assert f"Mode 2: {hz:.6g} Hz" in svg
    assert "displacement magnitude [meter]" in svg
    assert scale * largest == pytest.approx(0.25 * size)
    assert size == pytest.approx(np.hypot(2.0, 1.0))


def read_vtu(path):
    reader = vtk.vtkXMLUnstructuredGridReader()
    reader.SetFileName(str(path))
    reader.Update()
    return reader.GetOutput()


def point_arrays(grid):
    data = grid.GetPointData()
    return {data.GetArrayName(k): vtk_to_numpy(data.GetArray(k)) for k in range(data.GetNumberOfArrays())}


@pytest.mark.parametrize(
    "body, selection, modes",
    [("plate", None, [1, 2, 3, 4]), ("plate", "2-3", [2, 3]), ("plate", "1,4-9", [1, 4]), ("v828", "1-10", [1, 2, 3]), ("v40", "2", [2])],
)
def test_vtu_round_trip_gives_back_every_value(tmp_path, capfd, plate, body, selection, modes):
    path = plate if body == "plate" else sample_path(int(body[1:]))
    out = tmp_path / "body.vtu"
    run = run_zel("vtk", path, out, *(["--modes", selection] if selection else []))
    assert (run.returncode, run.stderr) == (0, "")
    header = out.read_bytes()[:400].decode("latin-1")
    assert 'header_type="UInt64"' in header and 'type="UnstructuredGrid"' in header

    grid = read_vtu(out)
    with zel.open(path) as zel_body:
        ids, xyz = zel_body.nodes
        np.testing.assert_array_equal(vtk_to_numpy(grid.GetPoints().GetData()), xyz)
        arrays = point_arrays(grid)
        expected = {"node_id": ids, "mass": zel_body.masses}
        for n in modes:
            expected[f"mode_{n}"] = zel_body.mode(n)[:, :3]
            expected[f"mode_{n}_rotation"] = zel_body.mode(n)[:, 3:]
        assert sorted(arrays) == sorted(expected)
        for name, values in expected.items():
            np.testing.assert_array_equal(arrays[name], values, err_msg=name)

        faces = zel_body.faces
        assert grid.GetNumberOfCells() == len(faces)
        for k, face in enumerate(faces):
            cell = grid.GetCell(k)
            assert cell.GetCellType() == vtk.VTK_POLYGON
            assert [cell.GetPointId(v) for v in range(cell.GetNumberOfPoints())] == face.tolist()

        field = grid.GetFieldData()
        assert vtk_to_numpy(field.GetArray("mode_number")).tolist() == modes
        hz = [zel_body.eigen["hz"][zel_body.eigen["mode"] == n][0] for n in modes]
        np.testing.assert_array_equal(vtk_to_numpy(field.GetArray("frequency_hz")), hz)
    assert capfd.readouterr().err == ""  # the VTK reader complained of nothing


@pytest.mark.parametrize(
    "arguments, message",
    [
        (["vtk", sample_path(316), "{tmp}/x.vtu", "--modes", "7"], f"zel vtk: {sample_path(316)} has no mode 7"),
        (["plot", "{tmp}/missing.zel", "--mode", "1", "-o", "{tmp}/x.png"], "zel plot: [Errno 2] No such file or directory: '{tmp}/missing.zel'"),
        (["plot", sample_path(316), "--mode", "9", "-o", "{tmp}/x.png"], f"zel plot: {sample_path(316)} has no mode 9"),
    ],
    ids=["vtk-unknown-mode", "plot-missing-file", "plot-unknown-mode"],
)
def test_command_errors_are_one_line_and_exit_2(tmp_path, arguments, message):
    run = run_zel(*(str(a).format(tmp=tmp_path) for a in arguments))
    assert (run.returncode, run.stdout, run.stderr) == (2, "", message.format(tmp=tmp_path) + "\n")


def test_command_usage_errors_name_the_bad_value():
    run = run_zel("vtk", "a.zel", "b.vtu", "--modes", "3-1")
    assert run.returncode == 2
    assert run.stderr.splitlines()[-1] == "zel vtk: error: argument --modes: '3-1' is an empty range"


@pytest.mark.parametrize("command", ["plot", "vtk"])
def test_the_zel_program_hands_plot_and_vtk_to_the_package(tmp_path, command):
    """The C program runs the package with the library it was linked
    with: ZEL_LIBRARY is left unset here."""
    out = tmp_path / ("mode.png" if command == "plot" else "body.vtu")
    arguments = ["--mode", "1", "-o", out] if command == "plot" else [out, "--modes", "1"]
    env = {key: value for key, value in os.environ.items() if key != "ZEL_LIBRARY"}
    env.update(ZEL_PYTHON=sys.executable, PYTHONPATH=str(SOURCE / "python"))
    program = os.environ.get("ZEL_PROGRAM", str(SOURCE / "build" / "tools" / "zel"))
    run = subprocess.run([program, command, sample_path(60), *map(str, arguments)], env=env, capture_output=True, text=True)
    assert (run.returncode, run.stderr) == (0, "")
    assert out.stat().st_size > 1000


def test_a_body_without_faces_is_drawn_and_exported_as_points(tmp_path):
    path = tmp_path / "points.zel"
    with zel.Builder(expected_nodes=3, max_modes=1) as builder:
        builder.add_nodes([1, 2, 3], [[0.0, 0.0, 0.0], [1.0, 0.0, 0.0], [0.0, 1.0, 0.0]])
        builder.set_masses([1, 2, 3], [1.0, 1.0, 1.0])
        builder.set_mode(1, [1, 2, 3], np.arange(18.0).reshape(3, 6))
        builder.set_generalized_stiffness([4.0], [1])
        builder.set_generalized_mass([1.0], [1])
        builder.write(path, options="")
    with zel.open(path) as body:
        assert body.faces == []
        body.plot_mode(1, tmp_path / "points.png")
        body.write_vtu(tmp_path / "points.vtu")
    assert png_size(tmp_path / "points.png") == (800, 600)
    grid = read_vtu(tmp_path / "points.vtu")
    assert [grid.GetCellType(k) for k in range(grid.GetNumberOfCells())] == [vtk.VTK_VERTEX] * 3
    assert [grid.GetCell(k).GetPointId(0) for k in range(3)] == [0, 1, 2]
    np.testing.assert_array_equal(point_arrays(grid)["mode_1"], np.arange(18.0).reshape(3, 6)[:, :3])
