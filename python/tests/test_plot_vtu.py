"""python3 -m zel plot and vtk: the exports read back with VTK's own
readers value by value, and the commands' messages and exit statuses."""

import os
import struct
import subprocess
import sys
import types
import warnings
import xml.etree.ElementTree as ElementTree

import matplotlib.figure
import matplotlib.image
import numpy as np
import pytest

import zel
from conftest import SOURCE, sample_path, write_plate
from zel import vtu
from zel.__main__ import main as zel_main
from zel.__main__ import mode_list_text

vtk = pytest.importorskip("vtk")
from vtk.util.numpy_support import vtk_to_numpy  # noqa: E402


def run_zel(*arguments, program=None):
    command = [program] if program else [sys.executable, "-m", "zel"]
    env = {**os.environ, "PYTHONPATH": str(SOURCE / "python"), "ZEL_PYTHON": sys.executable}
    return subprocess.run([*command, *map(str, arguments)], env=env, capture_output=True, text=True)


def zel_program():
    return os.environ.get("ZEL_PROGRAM", str(SOURCE / "build" / "tools" / "zel"))


def png_size(path):
    header = path.read_bytes()[:24]
    assert header[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", header[16:24])


def read_grid(path):
    if str(path).endswith(".vtk"):
        reader = vtk.vtkUnstructuredGridReader()
        reader.ReadAllFieldsOn()
    else:
        reader = vtk.vtkXMLUnstructuredGridReader()
    reader.SetFileName(str(path))
    reader.Update()
    return reader.GetOutput()


def point_arrays(grid):
    data = grid.GetPointData()
    return {data.GetArrayName(k): vtk_to_numpy(data.GetArray(k)) for k in range(data.GetNumberOfArrays())}


def assert_geometry(grid, body):
    np.testing.assert_array_equal(vtk_to_numpy(grid.GetPoints().GetData()), body.nodes.xyz)
    faces = body.faces
    assert grid.GetNumberOfCells() == len(faces)
    for k, face in enumerate(faces):
        cell = grid.GetCell(k)
        assert cell.GetCellType() == vtk.VTK_POLYGON
        assert [cell.GetPointId(v) for v in range(cell.GetNumberOfPoints())] == face.tolist()


def assert_field_data(grid, body, modes):
    field = grid.GetFieldData()
    assert vtk_to_numpy(field.GetArray("mode_number")).tolist() == modes
    hz = [body.eigen["hz"][body.eigen["mode"] == n][0] for n in modes]
    np.testing.assert_array_equal(vtk_to_numpy(field.GetArray("frequency_hz")), hz)


def tensor_at_nodes(body, number, kind):
    """A stress or strain mode by node index, as a symmetric tensor."""
    tensors = np.full((body.node_count, 6), np.nan)
    index = body.nodes.ids.tolist()
    for node_id, (xx, yy, zz, xy, xz, yz) in zip(body.mode_node_ids(kind), body.mode(number, kind)):
        shear = 0.5 if kind == "strain" else 1.0
        tensors[index.index(node_id)] = [xx, yy, zz, shear * xy, shear * yz, shear * xz]
    return tensors


@pytest.mark.parametrize(
    "body, selection, modes",
    [("plate", None, [1, 2, 3, 4]), ("plate", "2-3", [2, 3]), ("plate", "1,4-9", [1, 4]), ("v828", "1-10", [1, 2, 3]), ("v40", "2", [2])],
)
@pytest.mark.parametrize("suffix", [".vtu", ".vtk"])
def test_export_round_trip_gives_back_every_value(tmp_path, capfd, plate, body, selection, modes, suffix):
    path = plate if body == "plate" else sample_path(int(body[1:]))
    out = tmp_path / f"body{suffix}"
    run = run_zel("vtk", path, out, *(["--modes", selection] if selection else []))
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
    start = out.read_bytes()[:400].decode("latin-1")
    if suffix == ".vtk":
        assert start.startswith("# vtk DataFile Version 3.0\n") and "\nBINARY\n" in start
    else:
        assert 'header_type="UInt64"' in start and 'type="UnstructuredGrid"' in start

    grid = read_grid(out)
    with zel.open(path) as zel_body:
        assert_geometry(grid, zel_body)
        assert_field_data(grid, zel_body, modes)
        expected = {"node_id": zel_body.nodes.ids, "mass": zel_body.masses}
        for n in modes:
            expected[f"mode_{n}"] = zel_body.mode(n)[:, :3]
            if np.any(zel_body.mode(n)[:, 3:]):
                expected[f"mode_{n}_rotation"] = zel_body.mode(n)[:, 3:]
            for kind in ("stress", "strain"):
                if len(zel_body.mode_node_ids(kind)):
                    expected[f"mode_{n}_{kind}"] = tensor_at_nodes(zel_body, n, kind)
        arrays = point_arrays(grid)
        assert sorted(arrays) == sorted(expected)
        for name, values in expected.items():
            np.testing.assert_array_equal(arrays[name], values, err_msg=name)
    assert capfd.readouterr().err == ""  # the VTK reader complained of nothing


def tensor_body(path):
    """Four nodes in a square, two modes: mode 1 translates in x only (no
    rotation), mode 2 also rotates; stresses at nodes 2 and 4 and strains
    at node 3, listed in an order of their own."""
    ids = [1, 2, 3, 4]
    with zel.Builder(expected_nodes=4, max_modes=2) as builder:
        builder.add_nodes(ids, [[0.0, 0.0, 0.0], [1.0, 0.0, 0.0], [1.0, 1.0, 0.0], [0.0, 1.0, 0.0]])
        builder.set_masses(ids, [0.25] * 4)
        builder.add_faces([[1, 2, 3, 4]])
        translation = np.zeros((4, 6))
        translation[:, 0] = 1.0
        builder.set_mode(1, ids, translation)
        builder.set_mode(2, ids, np.arange(24.0).reshape(4, 6) + 1.0)
        for number in (1, 2):
            builder.set_mode(number, [4, 2], 100.0 * number + np.arange(12.0).reshape(2, 6), "stress")
            builder.set_mode(number, [3], [[1.0, 2.0, 3.0, 40.0 * number, 50.0, 60.0]], "strain")
        builder.set_generalized_stiffness([0.0, 100.0], [1, 2])
        builder.set_generalized_mass([1.0, 1.0], [1, 2])
        builder.write(path, options="")
    return path


def expected_tensors(number):
    """By node index: file order xx yy zz xy xz yz to XX YY ZZ XY YZ XZ,
    shear strains halved, NaN where the file has none."""
    stress, strain = np.full((4, 6), np.nan), np.full((4, 6), np.nan)
    rows = 100.0 * number + np.arange(12.0).reshape(2, 6)
    stress[3], stress[1] = rows[0][[0, 1, 2, 3, 5, 4]], rows[1][[0, 1, 2, 3, 5, 4]]
    strain[2] = [1.0, 2.0, 3.0, 20.0 * number, 30.0, 25.0]
    return stress, strain


@pytest.fixture(scope="module")
def tensors(tmp_path_factory):
    return tensor_body(tmp_path_factory.mktemp("tensors") / "tensors.zel")


@pytest.mark.parametrize("suffix", [".vtu", ".vtk"])
def test_stresses_and_strains_are_tensors_and_zero_rotations_are_left_out(tmp_path, tensors, suffix):
    out = tmp_path / f"tensors{suffix}"
    with zel.open(tensors) as body:
        assert vtu.export(body, out) == [1, 2]
        arrays = point_arrays(read_grid(out))
        assert sorted(arrays) == sorted(
            ["node_id", "mass", "mode_1", "mode_1_stress", "mode_1_strain", "mode_2", "mode_2_rotation", "mode_2_stress", "mode_2_strain"]
        )
        np.testing.assert_array_equal(arrays["mode_2_rotation"], body.mode(2)[:, 3:])
    for number in (1, 2):
        stress, strain = expected_tensors(number)
        np.testing.assert_array_equal(arrays[f"mode_{number}_stress"], stress)
        np.testing.assert_array_equal(arrays[f"mode_{number}_strain"], strain)
    if suffix == ".vtu":
        data = read_grid(out).GetPointData().GetArray("mode_1_stress")
        assert [data.GetComponentName(k) for k in range(6)] == ["XX", "YY", "ZZ", "XY", "YZ", "XZ"]


def test_a_collection_steps_through_the_modes(tmp_path, tensors):
    out = tmp_path / "steps.pvd"
    run = run_zel("vtk", tensors, out, "--modes", "2,1")
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
    root = ElementTree.parse(out).getroot()
    assert root.get("type") == "Collection"
    datasets = root.findall("./Collection/DataSet")
    assert [(d.get("timestep"), d.get("file")) for d in datasets] == [("1", "steps/mode_1.vtu"), ("2", "steps/mode_2.vtu")]
    assert sorted(os.listdir(tmp_path / "steps")) == ["mode_1.vtu", "mode_2.vtu"]
    with zel.open(tensors) as body:
        for number, dataset in zip((1, 2), datasets):
            grid = read_grid(tmp_path / dataset.get("file"))
            assert_geometry(grid, body)
            assert_field_data(grid, body, [number])
            arrays = point_arrays(grid)
            stress, strain = expected_tensors(number)
            np.testing.assert_array_equal(arrays["translation"], body.mode(number)[:, :3])
            np.testing.assert_array_equal(arrays["stress"], stress)
            np.testing.assert_array_equal(arrays["strain"], strain)
            assert ("rotation" in arrays) == (number == 2)


def test_a_failed_export_leaves_the_old_file_and_no_scratch(tmp_path, tensors, monkeypatch):
    out = tmp_path / "kept.vtu"
    out.write_bytes(b"the previous export")

    def failing(self):
        if self.name == "mode_2":
            raise OSError(28, "No space left on device")
        return original(self)

    original = vtu._Array.values
    monkeypatch.setattr(vtu._Array, "values", failing)
    with zel.open(tensors) as body, pytest.raises(OSError):
        vtu.export(body, out)
    assert out.read_bytes() == b"the previous export"
    assert os.listdir(tmp_path) == ["kept.vtu"]


def test_an_export_is_readable_by_others(tmp_path, tensors):
    old = os.umask(0o022)
    try:
        with zel.open(tensors) as body:
            vtu.export(body, tmp_path / "shared.vtk")
    finally:
        os.umask(old)
    assert (tmp_path / "shared.vtk").stat().st_mode & 0o777 == 0o644


@pytest.mark.parametrize("vertex", [-1, 4])
def test_a_face_beyond_the_nodes_is_refused(vertex):
    damaged = types.SimpleNamespace(path="damaged.zel", node_count=4, faces=[np.array([0, 1, 2]), np.array([2, 3, vertex])])
    with pytest.raises(zel.ZelError) as raised:
        vtu.drawable_faces(damaged)
    assert str(raised.value) == f"damaged.zel: a face names node index {vertex}, and the body has 4 nodes"
    damaged.faces[1][2] = 0
    assert vtu.drawable_faces(damaged) is damaged.faces


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
        vtu.export(body, tmp_path / "points.vtk")
    assert png_size(tmp_path / "points.png") == (800, 600)
    for name in ("points.vtu", "points.vtk"):
        grid = read_grid(tmp_path / name)
        assert [grid.GetCellType(k) for k in range(grid.GetNumberOfCells())] == [vtk.VTK_VERTEX] * 3
        assert [grid.GetCell(k).GetPointId(0) for k in range(3)] == [0, 1, 2]
        np.testing.assert_array_equal(point_arrays(grid)["mode_1"], np.arange(18.0).reshape(3, 6)[:, :3])


@pytest.mark.parametrize(
    "body, arguments, size",
    [
        ("sample", ["--mode", "2"], (800, 600)),
        ("plate", ["--mode", "3", "--size", "640x480", "--deflection", "0.2"], (640, 480)),
        ("plate", ["--modes", "1-4", "--size", "1200x900"], (1200, 900)),
    ],
)
def test_plot_writes_a_picture_of_the_asked_size(tmp_path, plate, body, arguments, size):
    path = sample_path(316) if body == "sample" else plate
    picture = tmp_path / "mode.png"
    run = run_zel("plot", path, "-o", picture, *arguments)
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
    assert png_size(picture) == size
    pixels = matplotlib.image.imread(picture)
    assert len(np.unique(pixels.reshape(-1, pixels.shape[-1]), axis=0)) > 50  # drawn, not blank


def test_plot_mode_scales_the_largest_displacement_to_the_deflection(tmp_path, plate):
    with zel.open(plate) as body:
        scale = body.plot_mode(2, tmp_path / "mode.svg", deflection=0.25)
        largest = np.linalg.norm(body.mode(2)[:, :3], axis=1).max()
        assert scale * largest == pytest.approx(0.25 * body.size)
        assert body.size == pytest.approx(np.hypot(2.0, 1.0))


def usage(command, message):
    return f"zel {command}: {message}\nTry 'zel {command} --help'.\n"


SAMPLE = sample_path(316)


@pytest.mark.parametrize(
    "arguments, message",
    [
        (["plot"], usage("plot", "missing FILE")),
        (["plot", SAMPLE, "--mode", "1"], usage("plot", "missing -o OUT")),
        (["plot", SAMPLE, "-o", "x.png"], usage("plot", "needs one of --mode N and --modes LIST")),
        (["plot", SAMPLE, "-o", "x.png", "--mode", "1", "--modes", "1-2"], usage("plot", "needs one of --mode N and --modes LIST")),
        (["plot", SAMPLE, "--bogus", "1"], usage("plot", "unknown option '--bogus'")),
        (["plot", SAMPLE, "--mode", "1", "-o"], usage("plot", "option '-o' needs a value")),
        (["plot", SAMPLE, "--mode", "one", "-o", "x.png"], usage("plot", "'one' is not a mode number")),
        (["plot", SAMPLE, "--mode", "1", "-o", "x.gif"], usage("plot", "'x.gif' is not a .png, .svg or .pdf name")),
        (["plot", SAMPLE, "-m", "1", "-o", "x.png", "--size", "99x600"], usage("plot", "'99x600' is not a size in pixels (like 800x600, 100 to 10000 a side)")),
        (["plot", SAMPLE, "-m", "1", "-o", "x.png", "--size=800x10001"], usage("plot", "'800x10001' is not a size in pixels (like 800x600, 100 to 10000 a side)")),
        (["plot", SAMPLE, "-m", "1", "-o", "x.png", "--deflection", "0"], usage("plot", "'0' is not a deflection (a number above 0)")),
        (["plot", SAMPLE, "-m", "1", "-o", "x.png", "--deflection", "inf"], usage("plot", "'inf' is not a deflection (a number above 0)")),
        (["plot", SAMPLE, "-m", "1", "-o", "x.png", "extra"], usage("plot", "unexpected argument 'extra'")),
        (["vtk", SAMPLE], usage("vtk", "missing OUT")),
        (["vtk", SAMPLE, "out.vtx"], usage("vtk", "'out.vtx' is not a .vtu, .vtk or .pvd name")),
        (["vtk", SAMPLE, "out.vtu", "--modes", "3-1"], usage("vtk", "'3-1' is not a list of mode numbers (like 1-6 or 1,3,5-7)")),
        (["vtk", SAMPLE, "out.vtu", "--modes", "1,x"], usage("vtk", "'1,x' is not a list of mode numbers (like 1-6 or 1,3,5-7)")),
        (["frob"], "zel: unknown command 'frob'\nTry 'zel --help'.\n"),
    ],
)
def test_usage_errors_say_what_is_wrong_as_the_other_commands_do(tmp_path, monkeypatch, capsys, arguments, message):
    monkeypatch.chdir(tmp_path)
    assert zel_main(map(str, arguments)) == 2
    assert capsys.readouterr() == ("", message)
    assert os.listdir(tmp_path) == []


@pytest.fixture(scope="module")
def many_modes(tmp_path_factory):
    return write_plate(tmp_path_factory.mktemp("many") / "many.zel", 3, 2, 26)


@pytest.mark.parametrize(
    "arguments, message",
    [
        (["vtk", SAMPLE, "{tmp}/x.vtu", "--modes", "7"], f"zel vtk: {SAMPLE}: no mode 7 (its modes: 1-3)"),
        (["vtk", SAMPLE, "{tmp}/x.vtu", "--modes", "4-6,8-9"], f"zel vtk: {SAMPLE}: no mode in 4-6,8-9 (its modes: 1-3)"),
        (["plot", SAMPLE, "--mode", "9", "-o", "{tmp}/x.png"], f"zel plot: {SAMPLE}: no mode 9 (its modes: 1-3)"),
        (["plot", "{tmp}/missing.zel", "--mode", "1", "-o", "{tmp}/x.png"], "zel: {tmp}/missing.zel: No such file or directory"),
        (["vtk", "{tmp}", "{tmp}/x.vtu"], "zel: {tmp}: Is a directory"),
        (["vtk", "/dev/null", "{tmp}/x.vtu"], "zel: /dev/null: not a regular file"),
        (["vtk", SAMPLE, "{tmp}/no/x.vtu"], "zel vtk: {tmp}/no/x.vtu: No such file or directory"),
        (["plot", SAMPLE, "--mode", "1", "-o", "{tmp}/no/x.png"], "zel plot: {tmp}/no/x.png: No such file or directory"),
        (["vtk", SAMPLE, "{tmp}/out.vtk"], "zel vtk: {tmp}/out.vtk: Is a directory"),
        (["plot", "{many}", "--modes", "1-26", "-o", "{tmp}/x.png"], "zel plot: 26 modes selected; one picture holds at most 25"),
    ],
    ids=[
        "unknown-mode", "no-mode-in-ranges", "plot-unknown-mode", "missing-file", "folder", "device", "vtk-no-folder",
        "plot-no-folder", "output-is-a-folder", "too-many-modes",
    ],
)
def test_command_errors_are_one_line_and_exit_2(tmp_path, capsys, many_modes, arguments, message):
    (tmp_path / "out.vtk").mkdir()
    assert zel_main(str(a).format(tmp=tmp_path, many=many_modes) for a in arguments) == 2
    assert capsys.readouterr() == ("", message.format(tmp=tmp_path) + "\n")
    assert os.listdir(tmp_path) == ["out.vtk"] and os.listdir(tmp_path / "out.vtk") == []


def test_a_picture_not_drawn_whole_leaves_the_old_one(tmp_path, capsys, monkeypatch):
    picture = tmp_path / "mode.png"
    picture.write_bytes(b"the previous picture")

    def cut_short(figure, out, **options):
        out.write(b"\x89PNG")
        raise OSError(28, "No space left on device")

    monkeypatch.setattr(matplotlib.figure.Figure, "savefig", cut_short)
    assert zel_main(["plot", SAMPLE, "-m", "1", "-o", str(picture)]) == 2
    assert capsys.readouterr() == ("", f"zel plot: {picture}: No space left on device\n")
    assert picture.read_bytes() == b"the previous picture" and os.listdir(tmp_path) == ["mode.png"]


def test_a_missing_module_is_named(tmp_path, capsys, monkeypatch):
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    assert zel_main(["plot", SAMPLE, "-m", "1", "-o", str(tmp_path / "x.png")]) == 2
    assert capsys.readouterr() == ("", f"zel plot: {sys.executable} finds no Python module matplotlib: install it\n")


def test_a_file_that_is_no_body_is_refused_as_the_other_commands_refuse_it(tmp_path):
    picture = tmp_path / "picture.zel"
    picture.write_bytes(b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 4)
    contents = run_zel("contents", picture, program=zel_program())
    run = run_zel("vtk", picture, tmp_path / "x.vtu")
    assert contents.returncode == run.returncode == 2
    assert run.stderr == contents.stderr
    assert run.stderr == f"zel: {picture}: Unknown version code 0x89504E47: not a ZEL file.\n"


@pytest.mark.parametrize(
    "numbers, text", [([], "none"), ([4], "4"), ([3, 1, 2], "1-3"), ([1, 2, 3, 5, 7, 8, 10], "1-3,5,7-8,10")]
)
def test_mode_lists_are_told_as_ranges(numbers, text):
    assert mode_list_text(numbers) == text


def test_help_lists_the_commands(capsys):
    assert zel_main(["--help"]) == 0
    out, err = capsys.readouterr()
    assert err == "" and "\n  zel plot FILE (--mode N | --modes LIST) -o OUT" in out and "\n  zel vtk FILE OUT " in out


@pytest.mark.parametrize("command", ["plot", "vtk"])
def test_help_names_the_exit_statuses(capsys, command):
    assert zel_main([command, "x", "--bogus", "--help"]) == 0
    out, err = capsys.readouterr()
    assert err == "" and out.startswith(f"Usage: zel {command} FILE ")
    assert out.endswith("Exit status: 0 success, 2 usage, read or output error.\n")


@pytest.mark.parametrize("command", ["plot", "vtk"])
def test_the_zel_program_hands_plot_and_vtk_to_the_package(tmp_path, command):
    """The C program runs the package with the library it was linked
    with: ZEL_LIBRARY is left unset here."""
    out = tmp_path / ("mode.png" if command == "plot" else "body.vtu")
    arguments = ["--mode", "1", "-o", out] if command == "plot" else [out, "--modes", "1"]
    env = {key: value for key, value in os.environ.items() if key != "ZEL_LIBRARY"}
    env.update(ZEL_PYTHON=sys.executable, PYTHONPATH=str(SOURCE / "python"))
    run = subprocess.run([zel_program(), command, sample_path(60), *map(str, arguments)], env=env, capture_output=True, text=True)
    assert (run.returncode, run.stderr) == (0, "")
    assert out.stat().st_size > 1000


def test_library_warnings_print_as_the_program_prints_them(capsys):
    """A warning of the library during a command comes out as the C commands
    print it, not in Python's warning format with a source line."""
    from zel.__main__ import show_library_warning

    show_library_warning(zel.ZelWarning("Title too big.\nTruncating title."), zel.ZelWarning, "x.py", 1)
    assert capsys.readouterr().err == "WARNING:  Title too big.\nWARNING:  Truncating title.\n"


@pytest.mark.parametrize(
    "options, handed",
    [([], []), (["-q"], ["--quiet"]), (["--quiet"], ["--quiet"]), (["-v"], ["--verbose"])],
    ids=["plain", "q", "quiet", "v"],
)
def test_the_zel_program_hands_its_verbosity_to_the_package(tmp_path, options, handed):
    """What the C program runs: the package with the program's -q or -v."""
    interpreter = tmp_path / "python"
    interpreter.write_text('#!/bin/sh\necho "$@"\n')
    interpreter.chmod(0o755)
    env = dict(os.environ, ZEL_PYTHON=str(interpreter), PYTHONPATH=str(SOURCE / "python"))
    run = subprocess.run([zel_program(), *options, "vtk", "in.zel", "out.vtu"], env=env, capture_output=True, text=True)
    assert (run.returncode, run.stdout, run.stderr) == (0, " ".join(["-m", "zel", "vtk", *handed, "in.zel", "out.vtu"]) + "\n", "")


@pytest.mark.parametrize(
    "arguments, warned, verbose",
    [
        (["vtk", "{sample}", "{out}"], True, False),
        (["-q", "vtk", "{sample}", "{out}"], False, False),
        (["vtk", "{sample}", "--quiet", "{out}"], False, False),
        (["--verbose", "vtk", "{sample}", "{out}"], True, True),
        (["vtk", "-v", "{sample}", "{out}"], True, True),
    ],
    ids=["plain", "q-before", "quiet-after", "verbose-before", "v-after"],
)
def test_quiet_drops_the_library_warnings_and_verbose_opens_the_body_verbosely(
    tmp_path, monkeypatch, capsys, arguments, warned, verbose
):
    import zel.__main__ as command_line

    opened = []

    def warning_open(path, verbose=False):
        opened.append(verbose)
        warnings.warn(zel.ZelWarning("Found 2 massless node(s)."), stacklevel=2)
        return zel.open(path, verbose=verbose)

    monkeypatch.setattr(command_line, "open_body", warning_open)
    filled = [a.format(sample=sample_path(60), out=tmp_path / "body.vtu") for a in arguments]
    assert zel_main(filled) == 0
    assert capsys.readouterr().err == ("WARNING:  Found 2 massless node(s).\n" if warned else "")
    assert opened == [verbose]
    # The warning filter of a quiet run does not outlive it.
    with pytest.warns(zel.ZelWarning):
        warnings.warn(zel.ZelWarning("still shown"))
