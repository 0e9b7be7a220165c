"""A body whose node set the writer reduced: what the nodal data still say,
and what Body.reduced and Body.effective_modal_mass() say instead."""

import numpy as np
import pytest

import zel

# Four nodes; the faces use the first three only, so the writer keeps
# those and drops node 4, the heaviest.
IDS = [1, 2, 3, 4]
XYZ = np.array([[0.0, 0.0, 0.0], [1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.3, 0.3, 1.0]])
MASSES = np.array([1.0, 2.0, 3.0, 10.0])
# Two modes with different participation along x, y and z, and generalized
# masses other than 1 so that a missing division shows.
SHAPES = {
    1: np.array([[1.0, 0.0, 0.5, 0, 0, 0], [0.5, 0.25, 0.0, 0, 0, 0], [0.0, -1.0, 0.5, 0, 0, 0], [2.0, 0.5, -1.0, 0, 0, 0]]),
    2: np.array([[0.0, 2.0, 0.0, 0, 0, 0], [1.0, 0.0, -0.5, 0, 0, 0], [-1.0, 0.5, 0.0, 0, 0, 0], [0.25, 1.0, 3.0, 0, 0, 0]]),
}
GENERALIZED_MASS = {1: 2.0, 2: 0.5}


def write_body(path, faces):
    with zel.Builder(expected_nodes=4, max_modes=2) as builder:
        builder.add_nodes(IDS, XYZ)
        builder.set_masses(IDS, MASSES)
        builder.add_faces(faces)
        for number, values in SHAPES.items():
            builder.set_mode(number, IDS, values)
        builder.set_generalized_mass(list(GENERALIZED_MASS.values()), list(SHAPES))
        builder.set_generalized_stiffness([100.0, 400.0], list(SHAPES))
        # The writer reduces the node set once it has the invariants.
        builder.write(path, options="no_ortho invar full_invar")
    return path


@pytest.fixture(scope="module")
def reduced_path(tmp_path_factory):
    return write_body(tmp_path_factory.mktemp("reduced") / "reduced.zel", [[1, 2, 3]])


def test_a_reduced_body_says_so_and_its_nodal_masses_fall_short(reduced_path):
    with zel.open(reduced_path) as body:
        assert body.node_count == 3
        assert body.reduced is True
        assert body.masses.sum() == pytest.approx(6.0)
        assert body.total_mass_inertia().mass == pytest.approx(MASSES.sum())


def test_a_body_that_kept_every_node_is_not_reduced(tmp_path):
    path = write_body(tmp_path / "whole.zel", [[1, 2, 3], [1, 2, 4], [2, 3, 4]])
    with zel.open(path) as body:
        assert body.node_count == 4
        assert body.reduced is False


def test_effective_modal_mass_comes_from_the_whole_body(reduced_path):
    participation = np.array([MASSES @ SHAPES[number][:, :3] for number in SHAPES])  # (modes, axes)
    generalized = np.array(list(GENERALIZED_MASS.values()))[:, None]
    expected = participation**2 / generalized
    with zel.open(reduced_path) as body:
        effective = body.effective_modal_mass()
        kept = [IDS.index(i) for i in body.nodes.ids.tolist()]
        participation_of_kept = np.array([body.masses @ SHAPES[number][kept, :3] for number in SHAPES])
    assert effective.shape == (2, 3)
    np.testing.assert_allclose(effective, expected, rtol=1e-12)
    # The body is chosen so that the kept nodes alone would say otherwise.
    assert np.abs(participation_of_kept**2 / generalized - expected).max() > 1.0


def test_inertia_signs_of_the_total_and_of_the_invariant(tmp_path):
    """A point mass 2 at (1, 1, 0): the products of inertia are +2 in
    total_mass_inertia() and -2 in invariant 7."""
    path = tmp_path / "point.zel"
    with zel.Builder(expected_nodes=1, max_modes=1) as builder:
        builder.add_nodes([7], [[1.0, 1.0, 0.0]])
        builder.set_masses([7], [2.0])
        builder.set_mode(1, [7], [[1.0, 0.0, 0.0, 0.0, 0.0, 0.0]])
        builder.write(path, options="no_ortho")
    with zel.open(path) as body:
        total = body.total_mass_inertia().inertia
        invariant = body.invariants().inv7
    np.testing.assert_allclose(total, [[2.0, 2.0, 0.0], [2.0, 2.0, 0.0], [0.0, 0.0, 4.0]])
    np.testing.assert_allclose(invariant, [[2.0, -2.0, 0.0], [-2.0, 2.0, 0.0], [0.0, 0.0, 4.0]])
