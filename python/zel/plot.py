"""Pictures of mode shapes: the skin faces undeformed and deformed,
coloured by displacement magnitude (matplotlib, drawn off screen)."""

import numpy as np

DEFAULT_SIZE = (800, 600)  # pixels
DEFAULT_DEFLECTION = 0.1  # largest drawn displacement, as a fraction of the body size
_DPI = 100


def frequency_hz(body, number):
    found = body.eigen[body.eigen["mode"] == number]
    return float(found["hz"][0]) if len(found) else float("nan")


def title(number, hz):
    return f"Mode {number}" if np.isnan(hz) else f"Mode {number}: {hz:.6g} Hz"


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


def plot_mode(body, number, path, deflection=DEFAULT_DEFLECTION, size=DEFAULT_SIZE):
    """Saves a PNG (or any format matplotlib knows from the suffix) of mode
    `number` at path, `size` pixels wide and high. The deformed shape is
    scaled so that its largest displacement is `deflection` times the body
    size; its colours give the unscaled displacement magnitude. Gives the
    scale used."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from mpl_toolkits.mplot3d.art3d import Poly3DCollection

    xyz = body.nodes.xyz
    translations = body.mode_at_nodes(number)[:, :3]
    magnitude = np.linalg.norm(translations, axis=1)
    scale = deflection_scale(translations, body_size(xyz, body.size), deflection)
    deformed = xyz + scale * translations

    figure = plt.figure(figsize=(size[0] / _DPI, size[1] / _DPI), dpi=_DPI)
    try:
        axes = figure.add_subplot(projection="3d")
        colours = plt.get_cmap("viridis")
        limits = (float(magnitude.min()), float(magnitude.max())) if len(magnitude) else (0.0, 1.0)
        norm = matplotlib.colors.Normalize(*limits)
        faces = body.faces
        if faces:
            axes.add_collection3d(
                Poly3DCollection([xyz[f] for f in faces], facecolors=(0.0, 0.0, 0.0, 0.0), edgecolors="0.6", linewidths=0.5)
            )
            face_magnitude = [float(magnitude[f].mean()) for f in faces]
            axes.add_collection3d(
                Poly3DCollection(
                    [deformed[f] for f in faces],
                    facecolors=colours(norm(face_magnitude)),
                    edgecolors="k",
                    linewidths=0.3,
                )
            )
        else:
            axes.scatter(*xyz.T, color="0.6", s=4)
            axes.scatter(*deformed.T, c=magnitude, cmap=colours, norm=norm, s=8)
        both = np.vstack([xyz, deformed]) if len(xyz) else np.zeros((1, 3))
        low, high = both.min(axis=0), both.max(axis=0)
        middle, half = (low + high) / 2, max(float((high - low).max()) / 2, 1e-12)
        axes.set_xlim(middle[0] - half, middle[0] + half)
        axes.set_ylim(middle[1] - half, middle[1] + half)
        axes.set_zlim(middle[2] - half, middle[2] + half)
        axes.set_xlabel("x")
        axes.set_ylabel("y")
        axes.set_zlabel("z")
        axes.set_title(title(number, frequency_hz(body, number)))
        bar = figure.colorbar(matplotlib.cm.ScalarMappable(norm=norm, cmap=colours), ax=axes, shrink=0.6, pad=0.12)
        bar.set_label(f"displacement magnitude [{body.units.length.lower()}]")
        figure.savefig(path, dpi=_DPI)
    finally:
        plt.close(figure)
    return scale
