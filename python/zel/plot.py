"""Pictures of mode shapes (matplotlib, drawn off screen): the skin faces
deformed by a mode and shaded, coloured by the translation's magnitude,
over a faint outline of the undeformed body. One mode fills the picture;
several share it as a grid."""

import math
import os

import numpy as np

from ._output import replacing
from .vtu import drawable_faces

DEFAULT_SIZE = (800, 600)  # pixels
DEFAULT_DEFLECTION = 0.1  # largest drawn displacement, as a fraction of the body size
PICTURE_SUFFIXES = (".png", ".svg", ".pdf")
# Above this many faces their edges would hide the surface they bound.
MOST_FACES_WITH_EDGES = 3000
# Adjacent faces meeting at a sharper angle than this draw their common
# edge in the outline: the corners and hole rims of a solid, not the
# facets of a curved surface.
FEATURE_ANGLE_DEGREES = 30.0
_DPI = 100
_OUTLINE_GREY = "0.45"
_LIGHT = np.array([-0.4, -0.5, 0.77])  # from the viewer's upper left
_COLOURS = "viridis"


def frequency_hz(body, number):
    found = body.eigen[body.eigen["mode"] == number]
    return float(found["hz"][0]) if len(found) else float("nan")


def rigid_body_mode_numbers(body):
    """The body's rigid-body modes (the library's count, from the gap in the
    frequencies), by mode number."""
    count = body._lib.ZEL_RigidBodyModeCount(body._db)
    return {int(n) for n in body.mode_numbers[:count]}


def frequency_unit(time_unit):
    """The unit of the frequencies of a body whose time unit is named
    time_unit: cycles per that unit."""
    return "Hz" if time_unit.upper() in ("", "SECOND") else f"cycles/{time_unit.lower()}"


def title(number, hz, rigid=False, unit="Hz"):
    if rigid:
        return f"Mode {number}: rigid-body mode" + ("" if math.isnan(hz) else f" ({hz:.3g} {unit})")
    return f"Mode {number}" if math.isnan(hz) else f"Mode {number}: {hz:.6g} {unit}"


def is_mass_normalized(body, numbers):
    """Whether the generalized mass of every drawn mode is 1."""
    eigen = body.eigen
    masses = [eigen["gen_mass"][eigen["mode"] == n] for n in numbers]
    return all(len(m) and abs(float(m[0]) - 1.0) <= 1e-6 for m in masses)


def colour_label(body, numbers, relative):
    """Mode shapes have an arbitrary scale: their translations are no
    lengths, whatever the body's length unit."""
    if relative:
        return "translation magnitude / the mode's largest"
    scale = "mass-normalized shape" if is_mass_normalized(body, numbers) else "shape of arbitrary scale"
    return f"translation magnitude ({scale}, no length unit)"


def body_size(xyz, library_size):
    """The library's body size (drawn nodes' box), else the nodes' box,
    else 1 for a single point."""
    if library_size > 0.0:
        return library_size
    extent = float(np.linalg.norm(np.ptp(xyz, axis=0))) if len(xyz) else 0.0
    return extent if extent > 0.0 else 1.0


def deflection_scale(translations, size, fraction):
    largest = float(np.max(np.linalg.norm(translations, axis=1))) if len(translations) else 0.0
    return fraction * size / largest if largest > 0.0 else 0.0


def face_groups(faces):
    """(face positions, vertices as one array) per vertex count, so that
    work over faces runs as array operations."""
    sizes = np.array([len(f) for f in faces])
    for size in np.unique(sizes):
        positions = np.flatnonzero(sizes == size)
        yield positions, np.array([faces[k] for k in positions], dtype=np.int64).reshape(len(positions), size)


def face_means(values, faces):
    """The mean of a nodal value over each face's vertices."""
    means = np.zeros(len(faces))
    for positions, vertices in face_groups(faces):
        means[positions] = values[vertices].mean(axis=1)
    return means


def face_normals(xyz, faces):
    """Unit normals of the polygons (Newell's sum, right for any vertex
    count and for warped faces); zero for a degenerate face."""
    normals = np.zeros((len(faces), 3))
    for positions, vertices in face_groups(faces):
        corners = xyz[vertices]
        normals[positions] = np.cross(corners, np.roll(corners, -1, axis=1)).sum(axis=1)
    lengths = np.linalg.norm(normals, axis=1, keepdims=True)
    return np.divide(normals, lengths, out=np.zeros_like(normals), where=lengths > 0.0)


def outline_edges(xyz, faces):
    """The node-index pairs that outline the body: edges of one face only
    (a plate's border), edges where faces meet at more than the feature
    angle (a solid's corners) and edges of more than two faces."""
    pairs, owners = [], []
    for positions, vertices in face_groups(faces):
        if vertices.shape[1] < 2:
            continue
        # A two-node face is one edge, not a way there and back.
        starts = vertices[:, :1] if vertices.shape[1] == 2 else vertices
        ends = vertices[:, 1:] if vertices.shape[1] == 2 else np.roll(vertices, -1, axis=1)
        pairs.append(np.column_stack([starts.ravel(), ends.ravel()]))
        owners.append(np.repeat(positions, starts.shape[1]))
    if not pairs:
        return []
    edges, inverse, counts = np.unique(np.sort(np.concatenate(pairs), axis=1), axis=0, return_inverse=True, return_counts=True)
    owner = np.concatenate(owners)[np.argsort(inverse.ravel(), kind="stable")]
    first = np.cumsum(counts) - counts
    shared = counts == 2
    normals = face_normals(xyz, faces)
    cosine = math.cos(math.radians(FEATURE_ANGLE_DEGREES))
    smooth = np.zeros(len(edges), dtype=bool)
    smooth[shared] = np.einsum("ij,ij->i", normals[owner[first[shared]]], normals[owner[first[shared] + 1]]) >= cosine
    return [(int(a), int(b)) for a, b in edges[~smooth]]


def shaded(colours, normals):
    """RGBA colours darkened by the angle between face and light; a face
    seen from behind is lit as its front."""
    light = _LIGHT / np.linalg.norm(_LIGHT)
    intensity = 0.45 + 0.55 * np.abs(normals @ light)
    result = np.array(colours, dtype=float)
    result[:, :3] *= intensity[:, None]
    return result


def grid_shape(count):
    columns = math.ceil(math.sqrt(count))
    return math.ceil(count / columns), columns


def _true_scale_box(axes, points):
    """Limits and box proportions that keep one scale on every axis; a
    flat body's box keeps some depth so that the view is not edge-on."""
    low, high = points.min(axis=0), points.max(axis=0)
    extent = np.maximum(high - low, 0.0)
    largest = max(float(extent.max()), 1e-12)
    extent = np.maximum(extent, 0.2 * largest)
    middle = (low + high) / 2
    for limits, centre, half in zip((axes.set_xlim, axes.set_ylim, axes.set_zlim), middle, extent / 2):
        limits(centre - half, centre + half)
    axes.set_box_aspect(extent, zoom=0.95)


def _draw_mode(axes, body, number, deflection, relative, norm, outline):
    import matplotlib
    from mpl_toolkits.mplot3d.art3d import Line3DCollection, Poly3DCollection

    xyz = body.nodes.xyz
    translations = body.mode_at_nodes(number)[:, :3]
    magnitude = np.linalg.norm(translations, axis=1)
    if relative and magnitude.size and magnitude.max() > 0.0:
        magnitude = magnitude / magnitude.max()
    deformed = xyz + deflection_scale(translations, body_size(xyz, body.size), deflection) * translations
    colours = matplotlib.colormaps[_COLOURS]
    faces = drawable_faces(body)
    # Drawn in the order given, not by depth: the outline stays beneath.
    axes.computed_zorder = False
    if faces:
        if outline:
            axes.add_collection3d(
                Line3DCollection(
                    [xyz[list(edge)] for edge in outline], colors=_OUTLINE_GREY, linewidths=0.8, alpha=0.6, zorder=1
                )
            )
        face_magnitude = face_means(magnitude, faces)
        face_colours = shaded(colours(norm(face_magnitude)), face_normals(deformed, faces))
        # Without drawn edges, each face's border in its own colour closes
        # the hairline seams that smoothing leaves between faces.
        with_edges = len(faces) <= MOST_FACES_WITH_EDGES
        axes.add_collection3d(
            Poly3DCollection(
                [deformed[f] for f in faces],
                facecolors=face_colours,
                edgecolors=(0.0, 0.0, 0.0, 0.35) if with_edges else face_colours,
                linewidths=0.3,
                zorder=2,
            )
        )
    else:
        axes.scatter(*xyz.T, color=_OUTLINE_GREY, s=4, alpha=0.6, zorder=1)
        axes.scatter(*deformed.T, c=magnitude, cmap=colours, norm=norm, s=10, zorder=2)
    _true_scale_box(axes, np.vstack([xyz, deformed]) if len(xyz) else np.zeros((1, 3)))
    axes.set_axis_off()


def mode_figure(body, numbers, deflection=DEFAULT_DEFLECTION, size=DEFAULT_SIZE):
    """The matplotlib figure of the modes `numbers` (one, or a grid of
    several), not yet saved. Every number must be one of the body's modes.
    Made without pyplot, so that neither its figures nor its backend
    change in the caller's session."""
    import matplotlib
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure

    relative = len(numbers) > 1
    if relative:
        norm = matplotlib.colors.Normalize(0.0, 1.0)
    else:
        magnitude = np.linalg.norm(body.mode_at_nodes(numbers[0])[:, :3], axis=1)
        norm = matplotlib.colors.Normalize(*((float(magnitude.min()), float(magnitude.max())) if magnitude.size else (0.0, 1.0)))
    rigid = rigid_body_mode_numbers(body)
    outline = outline_edges(body.nodes.xyz, drawable_faces(body)) if body.faces else []
    rows, columns = grid_shape(len(numbers))
    figure = Figure(figsize=(size[0] / _DPI, size[1] / _DPI), dpi=_DPI)
    FigureCanvasAgg(figure)
    figure.subplots_adjust(left=0.0, right=0.95, bottom=0.0, top=0.93, wspace=0.0, hspace=0.08)
    every_axes = []
    for k, number in enumerate(numbers):
        axes = figure.add_subplot(rows, columns, k + 1, projection="3d")
        _draw_mode(axes, body, number, deflection, relative, norm, outline)
        text = title(number, frequency_hz(body, number), number in rigid, frequency_unit(body.units.time))
        # Side by side, a title on one line runs into its neighbours'.
        axes.set_title(text.replace(": ", ":\n", 1) if relative else text, fontsize=9 if relative else 12)
        every_axes.append(axes)
    bar = figure.colorbar(
        matplotlib.cm.ScalarMappable(norm=norm, cmap=matplotlib.colormaps[_COLOURS]), ax=every_axes, shrink=0.6, pad=0.04
    )
    bar.set_label(colour_label(body, numbers, relative))
    return figure


def plot_modes(body, numbers, path, deflection=DEFAULT_DEFLECTION, size=DEFAULT_SIZE):
    """Saves the picture of the modes `numbers` at path, in the format its
    suffix names. Each mode is drawn so that its largest displacement is
    `deflection` times the body size."""
    figure = mode_figure(body, numbers, deflection, size)
    with replacing(path) as out:
        figure.savefig(out, dpi=_DPI, format=os.path.splitext(os.fspath(path))[1][1:].lower() or "png")


def plot_mode(body, number, path, deflection=DEFAULT_DEFLECTION, size=DEFAULT_SIZE):
    """Saves a picture of mode `number` at path (PNG, SVG, PDF by suffix),
    `size` pixels wide and high. The deformed shape is scaled so that its
    largest displacement is `deflection` times the body size; its colours
    give the unscaled translation magnitude. Gives the scale used."""
    plot_modes(body, [number], path, deflection, size)
    return deflection_scale(body.mode_at_nodes(number)[:, :3], body_size(body.nodes.xyz, body.size), deflection)
