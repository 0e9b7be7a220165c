"""zel.open on the sample bodies of every version code: every query against
the values the sample files were made with."""

import numpy as np
import pytest

import zel
from conftest import VERSION_CODES, sample_path

MODE_COUNT = 3
NODE_IDS = [10, 20, 30, 40]
X = np.arange(1.0, 5.0)
XYZ = np.column_stack([X, 0.5 * X, -X])
MASSES = X + 0.5
INERTIA_OF_NODE_20 = np.array([[1.0, 0.25, 0.0], [0.25, 2.0, 0.5], [0.0, 0.5, 3.0]])
STRESS_IDS, STRAIN_IDS = [30, 10], [20]
SETS = {"shape": 0, "stress": 1, "strain": 2}


def mode_values(value_set, mode_index, rows):
    """The sample files' value of (set, mode index, position, component)."""
    position = np.arange(rows)[:, None]
    component = np.arange(6)[None, :]
    return (SETS[value_set] + 1) * 4096.0 + mode_index * 256.0 + position * 8.0 + component * 0.125


def has_strain(version):
    # Versions up to 3.1 carry no blocks after the modal stress.
    return version not in (10, 20, 30, 31)


def single_precision(version):
    return version in (50, 51) or version & 0x200 != 0


@pytest.fixture(params=VERSION_CODES, ids=lambda v: f"v{v}")
def sample(request):
    with zel.open(sample_path(request.param)) as body:
        yield request.param, body


def test_header_units_nodes_faces(sample):
    version, body = sample
    assert body.header == zel.Header(
        "sample body",
        "Mon Dec  7 08:00:00 2026",
        "sample.fem",
        "FEM",
        ("first comment", "second comment", "third comment"),
        version & 0xFF,
        not single_precision(version),
    )
    assert body.units == ("MEGAGRAM", "MILLIMETER", "SECOND", "NEWTON")
    ids, xyz = body.nodes
    assert ids.tolist() == NODE_IDS
    np.testing.assert_array_equal(xyz, XYZ)
    np.testing.assert_array_equal(body.masses, MASSES)
    expected_inertias = np.zeros((4, 3, 3))
    expected_inertias[1] = INERTIA_OF_NODE_20
    np.testing.assert_array_equal(body.inertias, expected_inertias)
    # The oldest versions keep faces as element topology, in another order.
    assert sorted(tuple(f.tolist()) for f in body.faces) == [(0, 1, 2, 3), (0, 1, 3)]
    assert body.interface_nodes.tolist() == [0, 3]


def test_eigen_and_generalized_matrices(sample):
    _, body = sample
    eigen = body.eigen
    assert eigen.dtype == zel.EIGEN_DTYPE
    assert eigen["mode"].tolist() == [1, 2, 3]
    np.testing.assert_array_equal(eigen["eigenvalue"], [4.0, 9.0, 16.0])
    np.testing.assert_allclose(eigen["rad_s"], [2.0, 3.0, 4.0], rtol=1e-7)
    np.testing.assert_allclose(eigen["hz"], np.array([2.0, 3.0, 4.0]) / (2 * np.pi), rtol=1e-7)
    np.testing.assert_array_equal(eigen["gen_mass"], [1.0, 1.0, 1.0])
    np.testing.assert_array_equal(eigen["gen_stiff"], [4.0, 9.0, 16.0])
    np.testing.assert_array_equal(body.gen_stiff_full(), np.diag([4.0, 9.0, 16.0]))
    np.testing.assert_array_equal(body.gen_mass_full(), np.eye(3))
    np.testing.assert_array_equal(body.gen_damp_full(), 0.125 * np.eye(3))


def test_every_mode_of_every_set(sample):
    version, body = sample
    node_lists = {"shape": NODE_IDS, "stress": STRESS_IDS, "strain": STRAIN_IDS if has_strain(version) else []}
    for value_set, ids in node_lists.items():
        assert body.mode_node_ids(value_set).tolist() == ids
        for index, number in enumerate(body.mode_numbers.tolist()):
            if not ids:
                with pytest.raises(zel.ZelError, match=f"has no {value_set} values"):
                    body.mode(number, value_set)
                continue
            values = body.mode(number, value_set)
            assert values.shape == (len(ids), 6) and values.dtype == np.float64
            np.testing.assert_array_equal(values, mode_values(value_set, index, len(ids)))


@pytest.mark.parametrize("version", [40, 316, 828])
def test_pre_stress_and_pre_strain_are_mode_zero(version):
    with zel.open(sample_path(version)) as body:
        np.testing.assert_array_equal(body.mode(0, "stress"), 0.5 * np.arange(1, 13).reshape(2, 6))
        np.testing.assert_array_equal(body.mode(0, "strain"), -0.25 * np.arange(1, 7).reshape(1, 6))
        with pytest.raises(zel.ZelError, match="has no mode 0"):
            body.mode(0)


def test_mode_keeps_the_last_mode_of_each_set_read_only():
    with zel.open(sample_path(316)) as body:
        first = body.mode(1)
        assert body.mode(1) is first
        assert not first.flags.writeable
        with pytest.raises(ValueError):
            first[0, 0] = 0.0
        stress = body.mode(1, "stress")
        assert body.mode(1) is first  # another set's read keeps it
        assert body.mode(2) is not first and body.mode(1, 1) is stress
        with pytest.raises(zel.ZelError, match="has no mode 7$"):
            body.mode(7)
        with pytest.raises(ValueError, match="unknown value set 'pressure'"):
            body.mode(1, "pressure")


def skew(v):
    """The cross-product matrices of the rows of v (..., 3)."""
    x, y, z = np.moveaxis(v, -1, 0)
    zero = np.zeros_like(x)
    return np.stack([np.stack([zero, -z, y], -1), np.stack([z, zero, -x], -1), np.stack([-y, x, zero], -1)], -2)


@pytest.mark.parametrize("version", [30, 31])
def test_invariants_computed_from_the_nodes_have_the_documented_layout(version):
    """Files of these versions hold no invariant blocks: the library sums
    them from the nodal data, and each array must be laid out as
    documented in zel.Invariants."""
    m = MASSES[:, None]
    phi = np.stack([mode_values("shape", i, 4)[:, :3] for i in range(MODE_COUNT)])  # (M, N, 3)
    theta = np.stack([mode_values("shape", i, 4)[:, 3:] for i in range(MODE_COUNT)])
    j = np.zeros((4, 3, 3))
    j[1] = INERTIA_OF_NODE_20
    expected = zel.Invariants(
        inv1=MASSES.sum(),
        inv2=(m * XYZ).sum(axis=0),
        inv3=np.einsum("n,ina->ai", MASSES, phi),
        inv4=np.einsum("n,ina->ai", MASSES, np.cross(XYZ[None], phi)) + np.einsum("nab,inb->ai", j, theta),
        inv5=np.einsum("n,ijna->iaj", MASSES, np.cross(phi[:, None], phi[None, :])),
        inv6=np.eye(MODE_COUNT),
        inv7=np.einsum("n,nab->ab", MASSES, (XYZ**2).sum(1)[:, None, None] * np.eye(3) - XYZ[:, :, None] * XYZ[:, None, :])
        + j.sum(axis=0),
        inv8=np.einsum("n,nab,inbc->iac", MASSES, skew(XYZ), skew(phi)),
        inv9=np.einsum("n,inab,jnbc->ijac", MASSES, skew(phi), skew(phi)),
    )
    with zel.open(sample_path(version)) as body:
        invariants = body.invariants()
        for name, value in expected._asdict().items():
            np.testing.assert_allclose(getattr(invariants, name), value, rtol=1e-12, err_msg=name)
        total = body.total_mass_inertia()
        assert total.mass == pytest.approx(MASSES.sum())
        np.testing.assert_allclose(total.center_of_mass, expected.inv2 / MASSES.sum(), rtol=1e-12)
        # The usual sign convention: products of inertia with their sign turned.
        np.testing.assert_allclose(total.inertia, expected.inv7 * (2 * np.eye(3) - 1), rtol=1e-12)


def test_stored_invariants_are_given_as_their_blocks_hold_them():
    # The sample writes 0.25, 0.5, ... into each invariant block.
    def ramp(count):
        return 0.25 * np.arange(1, count + 1)

    with zel.open(sample_path(316)) as body:
        invariants = body.invariants()
    assert invariants.inv1 == 0.25
    np.testing.assert_array_equal(invariants.inv2, ramp(3))
    np.testing.assert_array_equal(invariants.inv3, ramp(9).reshape(3, 3))
    np.testing.assert_array_equal(invariants.inv7, ramp(9).reshape(3, 3))
    np.testing.assert_array_equal(invariants.inv8, ramp(27).reshape(3, 3, 3))
    assert invariants.inv5.shape == (3, 3, 3) and invariants.inv9.shape == (3, 3, 3, 3)


def test_a_path_opened_twice_shares_the_library_handle_until_both_close():
    path = sample_path(60)
    first = zel.open(path)
    with zel.open(path) as second:
        assert second._handle == first._handle
    assert first.mode(1).shape == (4, 6)  # still open after the other closed
    first.close()
    first.close()
    assert first.closed
    with pytest.raises(zel.ZelError, match=f"^the body of {path} is closed$"):
        first.mode(2)
    with zel.open(path) as again:
        assert again.nodes.ids.tolist() == NODE_IDS


def test_plate_of_the_helper(plate):
    """A larger body: 45 nodes on a grid, 32 quads, bending modes."""
    with zel.open(plate) as body:
        assert body.node_count == 45 and len(body.faces) == 32
        assert all(len(face) == 4 for face in body.faces)
        assert body.interface_nodes.tolist() == [0, 8, 36, 44]
        np.testing.assert_allclose(body.masses.sum(), 1.0)
        x, y = body.nodes.xyz[:, 0], body.nodes.xyz[:, 1]
        first = body.mode(1)
        np.testing.assert_allclose(first[:, 2], np.sin(np.pi * x / 2) * np.sin(np.pi * y), atol=1e-15)
        np.testing.assert_array_equal(first[:, [0, 1, 5]], 0.0)
        assert np.all(np.diff(body.eigen["hz"]) > 0)
        # The generalized mass is the shape's own: phi^T M phi.
        np.testing.assert_allclose(body.eigen["gen_mass"][0], np.sum(body.masses * first[:, 2] ** 2), rtol=1e-12)


@pytest.mark.parametrize("version", [316, 828])
def test_mode_fills_a_callers_buffer(version):
    with zel.open(sample_path(version)) as body:
        buffer = np.full((4, 6), np.nan)
        for index, number in enumerate(body.mode_numbers.tolist()):
            assert body.mode(number, out=buffer) is buffer
            np.testing.assert_array_equal(buffer, mode_values("shape", index, 4))
        stress = np.empty((2, 6))
        np.testing.assert_array_equal(body.mode(2, "stress", out=stress), mode_values("stress", 1, 2))
        for wrong in [np.empty((4, 3)), np.empty((4, 6), dtype=np.float32), np.empty((6, 4)).T]:
            with pytest.raises(ValueError) as raised:
                body.mode(1, out=wrong)
            assert str(raised.value) == "out must be a writeable C-ordered float64 array of shape (4, 6)"
