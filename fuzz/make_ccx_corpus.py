#!/usr/bin/env python3
"""Writes the seed corpus of the translator's fuzz target: for every solid
element type the translator reads, a small box of such elements clamped at
one end, and for some shell and beam types a strip of two of them, solved
by `ccx` (two modes, with nodal stresses and strains), packed into one
seed: the deck, the nodes it includes, the result file and the printout,
each after a line "@@@" (see ccx_fuzz.cpp).

    fuzz/make_ccx_corpus.py [folder]     (default: fuzz/ccx_corpus)
"""
import itertools
import os
import subprocess
import sys
import tempfile

# Corners of the unit cell and the edges whose mid-side nodes the quadratic
# types add, in the solver's numbering.
HEX = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (1, 1, 1), (0, 1, 1)]
HEX_EDGES = [(0, 1), (1, 2), (2, 3), (3, 0), (4, 5), (5, 6), (6, 7), (7, 4), (0, 4), (1, 5), (2, 6), (3, 7)]
WEDGE_EDGES = [(0, 1), (1, 2), (2, 0), (3, 4), (4, 5), (5, 3), (0, 3), (1, 4), (2, 5)]
TET_EDGES = [(0, 1), (1, 2), (2, 0), (0, 3), (1, 3), (2, 3)]

# name: (cells split into, quadratic)
TYPES = {
    "C3D4": ("tet", False), "C3D10": ("tet", True),
    "C3D6": ("wedge", False), "C3D15": ("wedge", True),
    "C3D8": ("hex", False), "C3D8R": ("hex", False), "C3D8I": ("hex", False),
    "C3D20": ("hex", True), "C3D20R": ("hex", True),
}


def volume(points):
    a, b, c, d = points
    u = [b[i] - a[i] for i in range(3)]
    v = [c[i] - a[i] for i in range(3)]
    w = [d[i] - a[i] for i in range(3)]
    return (u[0] * (v[1] * w[2] - v[2] * w[1]) - u[1] * (v[0] * w[2] - v[2] * w[0])
            + u[2] * (v[0] * w[1] - v[1] * w[0]))


def cell_corners(kind):
    """Corner lists (unit-cell points) of the elements that fill one cell."""
    if kind == "hex":
        return [HEX]
    if kind == "wedge":
        return [[HEX[0], HEX[1], HEX[3], HEX[4], HEX[5], HEX[7]],
                [HEX[1], HEX[2], HEX[3], HEX[5], HEX[6], HEX[7]]]
    tets = []
    for axes in itertools.permutations(range(3)):
        corner = [0, 0, 0]
        points = [tuple(corner)]
        for axis in axes:
            corner[axis] += 1
            points.append(tuple(corner))
        if volume(points) < 0:
            points[1], points[2] = points[2], points[1]
        tets.append(points)
    return tets


def edges_of(kind):
    return {"hex": HEX_EDGES, "wedge": WEDGE_EDGES, "tet": TET_EDGES}[kind]


def deck_and_nodes(element_type, cells=2):
    kind, quadratic = TYPES[element_type]
    ids = {}
    elements = []
    for cell in range(cells):
        for corners in cell_corners(kind):
            # Half-cell grid units, so that mid-side nodes are grid points.
            points = [(2 * (p[0] + cell), 2 * p[1], 2 * p[2]) for p in corners]
            if quadratic:
                points += [tuple((points[a][i] + points[b][i]) // 2 for i in range(3)) for a, b in edges_of(kind)]
            elements.append([ids.setdefault(p, len(ids) + 1) for p in points])
    nodes = "*NODE, NSET=NALL\n" + "".join(
        f"{n}, {p[0] * 0.05:g}, {p[1] * 0.05:g}, {p[2] * 0.05:g}\n" for p, n in sorted(ids.items(), key=lambda e: e[1]))
    lines = []
    for number, element in enumerate(elements, 1):
        fields = [str(number)] + [str(n) for n in element]
        lines.append(", ".join(fields[:16]) + (",\n" + ", ".join(fields[16:]) if len(fields) > 16 else ""))
    fixed = [str(n) for p, n in ids.items() if p[0] == 0]
    deck = (f"*HEADING\nTwo cells of {element_type}\n*INCLUDE, INPUT=part.inp\n"
            f"*ELEMENT, TYPE={element_type}, ELSET=EALL\n" + "\n".join(lines) + "\n"
            "*NSET, NSET=FIXED\n" + ",\n".join(fixed) + "\n"
            "*MATERIAL, NAME=STEEL\n*ELASTIC\n210000., 0.3\n*DENSITY\n7.85e-9\n"
            "*SOLID SECTION, ELSET=EALL, MATERIAL=STEEL\n*BOUNDARY\nFIXED, 1, 3\n"
            "*STEP\n*FREQUENCY\n2\n*NODE FILE\nU\n*EL FILE\nS, E\n*END STEP\n")
    return deck, nodes


# name: (family, quadratic, triangles)
STRUCTURAL_TYPES = {
    "S3": ("shell", False, True), "S6": ("shell", True, True), "S4": ("shell", False, False),
    "S8R": ("shell", True, False), "B31": ("beam", False, False), "B32R": ("beam", True, False),
}


def structural_deck_and_nodes(element_type, cells=2, beam_offsets=""):
    """Two cells along x in the plane z = 0: shells (a quadrilateral or two
    triangles each) or beams along y = 0, their section offset by
    `beam_offsets` (the section's parameters) when given."""
    family, quadratic, triangles = STRUCTURAL_TYPES[element_type]
    ids = {}
    elements = []
    for cell in range(cells):
        x = 2 * cell
        if family == "beam":
            points = [(x, 0), (x + 1, 0), (x + 2, 0)] if quadratic else [(x, 0), (x + 2, 0)]
            polygons = [points]
        elif triangles:
            polygons = [[(x, 0), (x + 2, 0), (x, 2)], [(x + 2, 0), (x + 2, 2), (x, 2)]]
        else:
            polygons = [[(x, 0), (x + 2, 0), (x + 2, 2), (x, 2)]]
        for points in polygons:
            if quadratic and family == "shell":
                points = points + [((points[k][0] + points[(k + 1) % len(points)][0]) // 2,
                                    (points[k][1] + points[(k + 1) % len(points)][1]) // 2)
                                   for k in range(len(points))]
            elements.append([ids.setdefault(p, len(ids) + 1) for p in points])
    nodes = "*NODE, NSET=NALL\n" + "".join(
        f"{n}, {p[0] * 0.05:g}, {p[1] * 0.05:g}, 0\n" for p, n in sorted(ids.items(), key=lambda e: e[1]))
    lines = [", ".join(str(v) for v in [number] + element) for number, element in enumerate(elements, 1)]
    fixed = [str(n) for p, n in ids.items() if p[0] == 0]
    section = ("*SHELL SECTION, ELSET=EALL, MATERIAL=STEEL\n2.\n" if family == "shell" else
               f"*BEAM SECTION, ELSET=EALL, MATERIAL=STEEL, SECTION=RECT{beam_offsets}\n4., 6.\n0, 1, 0\n")
    deck = (f"*HEADING\nTwo cells of {element_type}\n*INCLUDE, INPUT=part.inp\n"
            f"*ELEMENT, TYPE={element_type}, ELSET=EALL\n" + "\n".join(lines) + "\n"
            "*NSET, NSET=FIXED\n" + ",\n".join(fixed) + "\n"
            "*MATERIAL, NAME=STEEL\n*ELASTIC\n210000., 0.3\n*DENSITY\n7.85e-9\n" + section +
            "*BOUNDARY\nFIXED, 1, 6\n"
            "*STEP\n*FREQUENCY\n2\n*NODE FILE\nU\n*EL FILE\nS, E\n*END STEP\n")
    return deck, nodes


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "ccx_corpus")
    os.makedirs(folder, exist_ok=True)
    seeds = [(t.lower(), lambda t=t: deck_and_nodes(t)) for t in TYPES]
    seeds += [(t.lower(), lambda t=t: structural_deck_and_nodes(t)) for t in STRUCTURAL_TYPES]
    seeds.append(("b32r_offset", lambda: structural_deck_and_nodes("B32R", beam_offsets=", OFFSET1=0.5, OFFSET2=-0.25")))
    for name, make in seeds:
        deck, nodes = make()
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "job.inp"), "w") as out:
                out.write(deck)
            with open(os.path.join(work, "part.inp"), "w") as out:
                out.write(nodes)
            subprocess.run(["ccx", "-i", "job"], cwd=work, check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            results = [open(os.path.join(work, name)).read() for name in ("job.frd", "job.dat")]
        with open(os.path.join(folder, name), "w") as out:
            out.write("\n@@@\n".join([deck, nodes] + results))


if __name__ == "__main__":
    main()
