"""zel.Builder: a body built from Python, written by the library's writer
and read back by the C example consumer and by zel.open."""

import ctypes
import os
import subprocess

import numpy as np
import pytest

import zel


# A 3 x 2 node strip in the x-y plane with two bending modes.
IDS = [101, 102, 103, 201, 202, 203]
XYZ = np.array([[x, y, 0.0] for y in (0.0, 1.0) for x in (0.0, 1.0, 2.0)])
MASSES = np.array([1.0, 2.0, 1.0, 1.0, 2.0, 1.0])
FACES = [[101, 102, 202, 201], [102, 103, 203, 202]]
MODES = [1, 2]
SHAPES = {
    1: np.column_stack([np.zeros((6, 2)), np.sin(np.pi * XYZ[:, 0] / 2), np.zeros((6, 3))]),
    2: np.column_stack([np.zeros((6, 2)), np.cos(np.pi * XYZ[:, 0] / 2) * (XYZ[:, 1] - 0.5), np.zeros((6, 3))]),
}


def generalized_mass(mode):
    return float(SHAPES[mode][:, 2] ** 2 @ MASSES)


def strip(builder, stiffness=(40.0, 90.0)):
    builder.set_header("strip", "strip.fem", "FEM", ("built from Python", "", ""))
    builder.add_nodes(IDS, XYZ)
    builder.set_masses(IDS, MASSES)
    builder.set_inertias([102], [[0.5, 0.5, 0.5, 0.0, 0.0, 0.0]])
    builder.add_faces(FACES)
    builder.set_interface_nodes([101, 203])
    for number, values in SHAPES.items():
        builder.set_mode(number, IDS, values)
    builder.set_generalized_stiffness(stiffness, MODES)
    builder.set_generalized_mass([generalized_mass(1), generalized_mass(2)], MODES)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda b: b.add_nodes([1, 2], [[0.0, 0.0], [1.0, 1.0]]), "coordinates must have 3 columns, not shape (2, 2)"),
        (lambda b: b.add_nodes([1, 2, 3], np.zeros((2, 3))), "3 node IDs for 2 rows of coordinates"),
        (lambda b: b.set_mode(1, [1], np.zeros((1, 3))), "mode values must have 6 columns, not shape (1, 3)"),
        (lambda b: b.set_mode(1, [1], np.zeros((1, 6)), "heat"), "unknown value set 'heat': use 'shape', 'stress' or 'strain'"),
        (
            lambda b: b.set_generalized_mass(np.ones((2, 3)), [1, 2]),
            "the generalized mass must be square over the 2 modes, not shape (2, 3)",
        ),
        (
            lambda b: b.set_masses([1, 2**31], [1.0, 2.0]),
            "node ID 2147483648 is outside the range of the library's node IDs",
        ),
    ],
    ids=["coordinates", "ids", "mode-columns", "value-set", "matrix", "id-range"],
)
def test_malformed_input_is_refused_before_the_library_sees_it(call, message):
    with zel.Builder() as builder:
        with pytest.raises(ValueError) as raised:
            call(builder)
    assert str(raised.value) == message


def test_a_written_body_reads_back_in_python_and_in_the_c_consumer(tmp_path):
    path = tmp_path / "strip.zel"
    with zel.Builder(expected_nodes=6, max_modes=2) as builder:
        strip(builder)
        builder.write(path, options="no_ortho no_xdr")
    with zel.open(path) as body:
        assert body.header.title == "strip" and body.header.comments[0] == "built from Python"
        assert sorted(body.nodes.ids.tolist()) == IDS
        order = [IDS.index(i) for i in body.nodes.ids.tolist()]
        np.testing.assert_allclose(body.nodes.xyz, XYZ[order])
        np.testing.assert_allclose(body.masses, MASSES[order])
        assert sorted(sorted(body.nodes.ids[f].tolist()) for f in body.faces) == sorted(sorted(f) for f in FACES)
        assert sorted(body.nodes.ids[body.interface_nodes].tolist()) == [101, 203]
        for number in MODES:
            np.testing.assert_allclose(body.mode(number), SHAPES[number][order], atol=1e-15)
        np.testing.assert_allclose(body.gen_stiff_full(), np.diag([40.0, 90.0]))
        np.testing.assert_allclose(body.gen_mass_full(), np.diag([generalized_mass(1), generalized_mass(2)]))

    consumer = os.environ.get("ZEL_CONSUMER")
    if consumer is None:
        pytest.skip("ZEL_CONSUMER names no example consumer")
    run = subprocess.run([consumer, str(path)], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    for expected in ["Title:       strip", "Nodes:       6", "Modes:       2", "Faces:       2", "Interface:   2 nodes"]:
        assert expected in lines


@pytest.mark.parametrize("before", [None, "no_ortho single"], ids=["unset-before", "set-before"])
@pytest.mark.parametrize(
    "options, double_precision",
    [("no_ortho", True), ("no_ortho no_xdr", True), ("82_comp single", None)],
    ids=["double", "native", "refused"],
)
def test_write_options_reach_the_writer_for_the_call_only(tmp_path, monkeypatch, before, options, double_precision):
    if before is None:
        monkeypatch.delenv("KOR_ZELWRITE_OPTIONS", raising=False)
    else:
        monkeypatch.setenv("KOR_ZELWRITE_OPTIONS", before)
    path = tmp_path / "strip.zel"
    with zel.Builder(expected_nodes=6, max_modes=2) as builder:
        strip(builder)
        if double_precision is None:
            with pytest.raises(zel.ZelError):
                builder.write(path, options=options)
        else:
            builder.write(path, options=options)
    if double_precision is not None:
        with zel.open(path) as body:
            assert body.double_precision == double_precision
    assert os.environ.get("KOR_ZELWRITE_OPTIONS") == before  # restored, also after a failed write


def test_a_zero_diagonal_generalized_mass_is_stored():
    lib = zel._library.library()._dll
    lib.ZEL_NumberOfGenMass.argtypes = [ctypes.c_void_p]
    with zel.Builder(expected_nodes=6, max_modes=2) as builder:
        builder.add_nodes(IDS, XYZ)
        for number, values in SHAPES.items():
            builder.set_mode(number, IDS, values)
        builder.set_generalized_mass([1.0, 0.0], MODES)
        assert lib.ZEL_NumberOfGenMass(builder._db) == 2


def test_eigen_is_nan_for_modes_without_values(tmp_path):
    path = tmp_path / "coupled.zel"
    with zel.Builder(expected_nodes=6, max_modes=2) as builder:
        strip(builder, stiffness=[[40.0, 5.0], [5.0, 90.0]])
        builder.write(path, options="no_ortho")
    with zel.open(path) as body:
        table = body.eigen
    assert table["mode"].tolist() == MODES
    # The coupling entry sits in mode 2's row only: the library has values
    # for mode 1 and none for mode 2.
    for field in table.dtype.names[1:]:
        assert np.isfinite(table[field][0]) and np.isnan(table[field][1]), field


def test_a_refused_option_raises_the_writers_message(tmp_path, capfd):
    path = tmp_path / "strip.zel"
    with zel.Builder(expected_nodes=6, max_modes=2) as builder:
        strip(builder)
        with pytest.raises(zel.ZelError) as raised:
            builder.write(path, options="82_comp single")
    assert str(raised.value) == "8.2 compatible ZEL cannot be single precision\nProblem writing version number."
    assert capfd.readouterr().err == ""
    assert not path.exists()


def test_each_row_reaches_its_node_and_a_repeated_id_keeps_its_last_row(tmp_path):
    """Whole arrays in one call each: rows in the callers' order (not
    sorted), every column in its place."""
    path = tmp_path / "rows.zel"
    ids = [30, 10, 30, 20]
    xyz = np.arange(12.0).reshape(4, 3) + 0.5
    inertias = np.arange(1.0, 13.0).reshape(2, 6)  # Ixx, Iyy, Izz, Ixy, Ixz, Iyz of nodes 20 and 10
    shape = np.arange(18.0).reshape(3, 6) / 8.0
    stress = -np.arange(12.0).reshape(2, 6)
    with zel.Builder(expected_nodes=2, max_modes=1) as builder:
        builder.add_nodes(ids, xyz)
        builder.set_masses([10, 20, 30], [1.0, 2.0, 3.0])
        builder.set_inertias([20, 10], inertias)
        builder.set_mode(1, [20, 30, 10], shape)
        builder.set_mode(1, [20, 30], stress, "stress")
        builder.set_generalized_mass([1.0], [1])
        builder.set_generalized_stiffness([4.0], [1])
        builder.write(path, options="no_ortho")
    with zel.open(path) as body:
        row = {node: n for n, node in enumerate(body.nodes.ids.tolist())}
        assert sorted(row) == [10, 20, 30]
        np.testing.assert_array_equal(body.nodes.xyz[[row[30], row[10], row[20]]], xyz[[2, 1, 3]])
        np.testing.assert_array_equal(body.masses[[row[10], row[20], row[30]]], [1.0, 2.0, 3.0])
        for node, (ixx, iyy, izz, ixy, ixz, iyz) in zip([20, 10], inertias):
            tensor = [[ixx, ixy, ixz], [ixy, iyy, iyz], [ixz, iyz, izz]]
            np.testing.assert_array_equal(body.inertias[row[node]], tensor)
        np.testing.assert_array_equal(body.mode(1)[[row[20], row[30], row[10]]], shape)
        assert body.mode_node_ids("stress").tolist() == [20, 30]
        np.testing.assert_array_equal(body.mode(1, "stress"), stress)
