"""Pictures of mode shapes: what they show (the deformed surface over the
undeformed outline, titles, the colour bar's label), pixel by pixel where
it matters."""

import math

import matplotlib
import numpy as np
import pytest
from mpl_toolkits.mplot3d.art3d import Line3DCollection, Poly3DCollection

import zel
from conftest import write_plate
from zel import plot

SQUARE = np.array([[0.0, 0.0, 0.0], [1.0, 0.0, 0.0], [1.0, 1.0, 0.0], [0.0, 1.0, 0.0]])


def folded_pair(degrees):
    """Two unit squares sharing the edge of nodes 1 and 2; the second
    bent up about it by `degrees`."""
    angle = math.radians(degrees)
    bent = [[1.0 + math.cos(angle), 0.0, math.sin(angle)], [1.0 + math.cos(angle), 1.0, math.sin(angle)]]
    xyz = np.vstack([SQUARE[[0, 1, 2, 3]], bent])
    return xyz, [np.array([0, 1, 2, 3]), np.array([1, 4, 5, 2])]


def three_at_an_edge():
    """The flat pair and a third square hanging down from their common edge."""
    xyz, faces = folded_pair(0.0)
    xyz = np.vstack([xyz, [[1.0, 0.0, -1.0], [1.0, 1.0, -1.0]]])
    return xyz, faces + [np.array([1, 2, 7, 6])]


def cube():
    xyz = np.array([[x, y, z] for z in (0.0, 1.0) for y in (0.0, 1.0) for x in (0.0, 1.0)])
    faces = [[0, 2, 3, 1], [4, 5, 7, 6], [0, 1, 5, 4], [2, 6, 7, 3], [0, 4, 6, 2], [1, 3, 7, 5]]
    return xyz, [np.array(f) for f in faces]


BORDER_OF_PAIR = [(0, 1), (0, 3), (1, 4), (2, 3), (2, 5), (4, 5)]


@pytest.mark.parametrize(
    "shape, outline",
    [
        (folded_pair(0.0), BORDER_OF_PAIR),
        (folded_pair(20.0), BORDER_OF_PAIR),  # a facet of a curved surface
        (folded_pair(40.0), sorted(BORDER_OF_PAIR + [(1, 2)])),  # a corner
        (folded_pair(180.0 - 40.0), sorted(BORDER_OF_PAIR + [(1, 2)])),
        (cube(), sorted({(a, b) for a in range(8) for b in range(a + 1, 8) if bin(a ^ b).count("1") == 1})),
        ((SQUARE, [np.array([0, 1]), np.array([1, 2])]), [(0, 1), (1, 2)]),  # line faces
        (three_at_an_edge(), sorted(BORDER_OF_PAIR + [(1, 2), (1, 6), (2, 7), (6, 7)])),
    ],
    ids=["flat", "gentle-fold", "sharp-fold", "folded-back", "cube", "lines", "three-faces-at-an-edge"],
)
def test_the_outline_is_the_border_and_the_corners(shape, outline):
    xyz, faces = shape
    assert plot.outline_edges(xyz, faces) == outline


def test_face_normals_follow_the_vertex_order_for_any_vertex_count():
    six_node_triangle = np.array([[0.0, 0, 0], [1, 0, 0], [2, 0, 0], [1, 1, 0], [0, 2, 0], [0, 1, 0]])
    normals = plot.face_normals(
        np.vstack([SQUARE, six_node_triangle * 3.0]),
        [np.array([0, 1, 2, 3]), np.array([3, 2, 1, 0]), np.arange(4, 10), np.array([0, 1, 0])],
    )
    np.testing.assert_allclose(normals, [[0, 0, 1], [0, 0, -1], [0, 0, 1], [0, 0, 0]], atol=1e-15)


@pytest.mark.parametrize(
    "number, hz, rigid, time_unit, text",
    [
        (7, 12.5, False, "SECOND", "Mode 7: 12.5 Hz"),
        (2, 1234.56789, False, "", "Mode 2: 1234.57 Hz"),
        (3, 0.25, False, "MILLISECOND", "Mode 3: 0.25 cycles/millisecond"),
        (1, 3.2e-5, True, "SECOND", "Mode 1: rigid-body mode (3.2e-05 Hz)"),
        (1, 3.2e-5, True, "HOUR", "Mode 1: rigid-body mode (3.2e-05 cycles/hour)"),
        (4, math.nan, False, "SECOND", "Mode 4"),
        (5, math.nan, True, "SECOND", "Mode 5: rigid-body mode"),
    ],
)
def test_titles(number, hz, rigid, time_unit, text):
    assert plot.title(number, hz, rigid, plot.frequency_unit(time_unit)) == text


@pytest.mark.parametrize("count, shape", [(1, (1, 1)), (2, (1, 2)), (3, (2, 2)), (4, (2, 2)), (6, (2, 3)), (7, (3, 3))])
def test_grid_shape_holds_every_mode(count, shape):
    assert plot.grid_shape(count) == shape


def free_plate(path, nx=6, ny=4):
    """A free plate with two rigid-body modes (translation in z, rotation
    about y) and two bending modes; generalized masses 1."""
    x, y = np.meshgrid(np.linspace(0.0, 2.0, nx), np.linspace(0.0, 1.0, ny))
    xyz = np.column_stack([x.ravel(), y.ravel(), np.zeros(x.size)])
    ids = np.arange(1, len(xyz) + 1)
    shapes = [
        np.ones(len(xyz)),
        xyz[:, 0] - 1.0,
        np.sin(np.pi * xyz[:, 0] / 2) * np.sin(np.pi * xyz[:, 1]),
        (xyz[:, 0] - 1.0) * (xyz[:, 1] - 0.5),
    ]
    with zel.Builder(expected_nodes=len(xyz), max_modes=4) as builder:
        builder.add_nodes(ids, xyz)
        builder.set_masses(ids, np.full(len(xyz), 1.0 / len(xyz)))
        builder.add_faces(
            [
                ids[[j * nx + i, j * nx + i + 1, (j + 1) * nx + i + 1, (j + 1) * nx + i]]
                for j in range(ny - 1)
                for i in range(nx - 1)
            ]
        )
        for number, w in enumerate(shapes, start=1):
            values = np.zeros((len(xyz), 6))
            values[:, 2] = w
            builder.set_mode(number, ids, values)
        builder.set_generalized_stiffness([0.0, 0.0, 400.0, 900.0], [1, 2, 3, 4])
        builder.set_generalized_mass([1.0, 1.0, 1.0, 1.0], [1, 2, 3, 4])
        builder.write(path, options="")
    return path


@pytest.fixture(scope="module")
def free(tmp_path_factory):
    return free_plate(tmp_path_factory.mktemp("free") / "free.zel")


def titles(figure):
    return [axes.get_title() for axes in figure.axes if axes.name == "3d"]


def colour_bar_label(figure):
    return next(axes.get_ylabel() for axes in figure.axes if axes.name != "3d")


def test_rigid_body_modes_are_titled_as_such_and_mass_normalized_shapes_have_no_length(free):
    with zel.open(free) as body:
        hz = body.eigen["hz"]
        figure = plot.mode_figure(body, [1, 2, 3, 4])
        assert titles(figure) == [
            f"Mode 1:\nrigid-body mode ({hz[0]:.3g} Hz)",
            f"Mode 2:\nrigid-body mode ({hz[1]:.3g} Hz)",
            f"Mode 3:\n{hz[2]:.6g} Hz",
            f"Mode 4:\n{hz[3]:.6g} Hz",
        ]
        assert colour_bar_label(figure) == "translation magnitude / the mode's largest"
        figure = plot.mode_figure(body, [3])
        assert colour_bar_label(figure) == "translation magnitude (mass-normalized shape, no length unit)"


def test_a_shape_of_arbitrary_scale_says_so(plate):
    with zel.open(plate) as body:
        assert body.eigen["gen_mass"][0] != pytest.approx(1.0)
        figure = plot.mode_figure(body, [2])
        assert titles(figure) == [f"Mode 2: {body.eigen['hz'][1]:.6g} Hz"]
        assert colour_bar_label(figure) == "translation magnitude (shape of arbitrary scale, no length unit)"


def drawn(figure):
    """The 3-D axes' outline and surface collections."""
    axes = next(a for a in figure.axes if a.name == "3d")
    outline = [c for c in axes.collections if isinstance(c, Line3DCollection)]
    surface = [c for c in axes.collections if isinstance(c, Poly3DCollection)]
    return axes, outline, surface


def rgb(figure):
    figure.canvas.draw()
    return np.asarray(figure.canvas.buffer_rgba())[:, :, :3].astype(int)


def coloured(pixels):
    """Pixels of the colour map (not white, grey or black)."""
    return pixels.max(axis=2) - pixels.min(axis=2) > 40


def inside(mask, margin=2):
    """The mask without its border: pixels whose neighbours within margin
    are in it too (a border pixel blends with what is beneath)."""
    kept = mask.copy()
    for shift in range(1, margin + 1):
        for axis in (0, 1):
            kept &= np.roll(mask, shift, axis) & np.roll(mask, -shift, axis)
    return kept


def test_the_surface_covers_the_outline_of_the_undeformed_body(free):
    """Rigid translation in z lifts the surface off the outline; where they
    overlap on the picture, the surface shows."""
    with zel.open(free) as body:
        figure = plot.mode_figure(body, [1], deflection=0.15)
    axes, (outline,), (surface,) = drawn(figure)
    assert not axes.computed_zorder and outline.get_zorder() < surface.get_zorder()
    picture = rgb(figure)
    outline.set_visible(False)
    without_outline = rgb(figure)
    surface.set_visible(False)
    outline.set_visible(True)
    outline_only = rgb(figure)
    surface.set_visible(True)
    surface_pixels = coloured(picture)
    outline_pixels = np.any(outline_only != without_outline, axis=2) & ~coloured(outline_only)
    covered = outline_pixels & inside(surface_pixels)
    assert surface_pixels.mean() > 0.05
    assert outline_pixels.sum() > 300 and covered.sum() > 100
    # Drawn beneath: where both fall, the picture is the surface's (but for
    # the seams between faces, which blend with what is beneath).
    assert np.all(picture[covered] == without_outline[covered], axis=1).mean() > 0.9
    assert np.any(picture[outline_pixels & ~surface_pixels] != without_outline[outline_pixels & ~surface_pixels])


@pytest.mark.parametrize("deflection", [0.4, 0.8])
def test_the_deflection_scales_the_drawn_displacement(free, deflection):
    """Mode 1 lifts the plate evenly: the drawn box reaches from the
    outline to the lifted surface, deflection times the body size above."""
    with zel.open(free) as body:
        size = body.size
        figure = plot.mode_figure(body, [1], deflection=deflection)
    axes, _, _ = drawn(figure)
    assert axes.get_zlim() == pytest.approx((0.0, deflection * size))


def test_the_colours_follow_the_translation(free):
    """Bending mode 3 moves the middle most: the faces there take the top
    of the colour map, the corner faces its bottom."""
    with zel.open(free) as body:
        figure = plot.mode_figure(body, [3])
        (_, _, (surface,)) = drawn(figure)
        colours = surface._facecolor3d  # in the faces' order, before any depth sorting
        magnitude = np.abs(body.mode(3)[:, 2])
        face_magnitude = np.array([magnitude[f].mean() for f in body.faces])
    # Shading scales a face's colour map entry: its proportions stay.
    low, high = magnitude.min(), magnitude.max()
    expected = matplotlib.colormaps["viridis"]((face_magnitude - low) / (high - low))[:, :3]
    drawn_rgb = np.asarray(colours)[:, :3]
    np.testing.assert_allclose(drawn_rgb / drawn_rgb.sum(axis=1, keepdims=True), expected / expected.sum(axis=1, keepdims=True))
    brightness = drawn_rgb.sum(axis=1) / expected.sum(axis=1)
    assert 0.45 <= brightness.min() < brightness.max() - 0.05 and brightness.max() <= 1.0


@pytest.mark.parametrize("nx, ny, edges", [(9, 5, True), (61, 55, False)])
def test_face_edges_only_while_they_do_not_hide_the_surface(tmp_path, nx, ny, edges):
    path = write_plate(tmp_path / "plate.zel", nx, ny, 1)
    with zel.open(path) as body:
        assert (len(body.faces) <= plot.MOST_FACES_WITH_EDGES) == edges
        figure = plot.mode_figure(body, [1])
    _, _, (surface,) = drawn(figure)
    edge_colours = np.asarray(surface._edgecolor3d)  # in the faces' order, as _facecolor3d
    same = np.array_equal(edge_colours, np.asarray(surface._facecolor3d))
    assert same != edges
    if edges:
        assert np.all(edge_colours[:, :3] == 0.0)


def test_a_picture_leaves_the_callers_backend_and_figures_alone(tmp_path, plate):
    import matplotlib.pyplot as plt

    previous = matplotlib.get_backend()
    matplotlib.use("svg")
    try:
        figures = plt.get_fignums()
        with zel.open(plate) as body:
            body.plot_mode(1, tmp_path / "mode.png")
        assert (matplotlib.get_backend(), plt.get_fignums()) == ("svg", figures)
        assert (tmp_path / "mode.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    finally:
        matplotlib.use(previous)
