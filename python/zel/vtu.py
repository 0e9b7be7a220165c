"""A body as a VTK XML UnstructuredGrid (.vtu) for ParaView: the nodes,
the skin faces as polygons (two-node faces as lines; a body without faces
gets one vertex cell per node), and as point data the node IDs, the nodal
masses and, for each exported mode, `mode_<number>` (translations x, y, z)
and `mode_<number>_rotation` (rotations). Field data `mode_number` and
`frequency_hz` list the exported modes. Every array is raw binary in the
appended section, each behind its UInt64 byte count."""

import sys
from xml.sax.saxutils import quoteattr

import numpy as np

VTK_VERTEX, VTK_LINE, VTK_POLYGON = 1, 3, 7

_VTK_TYPES = {
    np.dtype(np.float64): "Float64",
    np.dtype(np.int64): "Int64",
    np.dtype(np.int32): "Int32",
    np.dtype(np.uint8): "UInt8",
}


class _Array:
    """One appended data array: its XML attributes and how to make its
    values (made only when written, so one mode is in memory at a time)."""

    def __init__(self, name, dtype, components, count, make):
        self.name, self.dtype, self.components, self.count, self.make = name, np.dtype(dtype), components, count, make

    @property
    def nbytes(self):
        return self.count * self.components * self.dtype.itemsize

    def xml(self, offset):
        name = f" Name={quoteattr(self.name)}" if self.name else ""
        return (
            f'<DataArray type="{_VTK_TYPES[self.dtype]}"{name} NumberOfComponents="{self.components}"'
            f' NumberOfTuples="{self.count}" format="appended" offset="{offset}"/>'
        )


def cells(faces, node_count):
    """(connectivity, offsets, types) of the skin faces."""
    if not faces:
        return np.arange(node_count, dtype=np.int64), np.arange(1, node_count + 1, dtype=np.int64), np.full(
            node_count, VTK_VERTEX, dtype=np.uint8
        )
    sizes = np.array([len(f) for f in faces], dtype=np.int64)
    connectivity = np.concatenate(faces).astype(np.int64)
    types = np.where(sizes == 2, VTK_LINE, VTK_POLYGON).astype(np.uint8)
    return connectivity, np.cumsum(sizes), types


def select_modes(body, modes):
    """The mode numbers to export: every mode for None, else those of the
    given numbers the body has, in the body's order; an unknown one is an
    error."""
    numbers = [int(n) for n in body.mode_numbers]
    if modes is None:
        return numbers
    wanted = set(int(n) for n in modes)
    missing = sorted(wanted - set(numbers))
    if missing:
        raise ValueError(f"{body.path} has no mode {', '.join(map(str, missing))}")
    return [n for n in numbers if n in wanted]


def write_vtu(body, path, modes=None):
    """Writes the .vtu at path with the modes numbered in `modes` (all when
    None). Gives the mode numbers written."""
    numbers = select_modes(body, modes)
    count = body.node_count
    connectivity, offsets, types = cells(body.faces, count)
    eigen = body.eigen
    hz = np.array([float(eigen["hz"][eigen["mode"] == n][0]) for n in numbers], dtype=np.float64)

    point_data = [
        _Array("node_id", np.int32, 1, count, lambda: body.nodes.ids),
        _Array("mass", np.float64, 1, count, lambda: body.masses),
    ]
    for n in numbers:
        point_data.append(_Array(f"mode_{n}", np.float64, 3, count, lambda n=n: body.mode_at_nodes(n)[:, :3]))
        point_data.append(_Array(f"mode_{n}_rotation", np.float64, 3, count, lambda n=n: body.mode_at_nodes(n)[:, 3:]))
    field_data = [
        _Array("mode_number", np.int32, 1, len(numbers), lambda: np.array(numbers, dtype=np.int32)),
        _Array("frequency_hz", np.float64, 1, len(numbers), lambda: hz),
    ]
    points = [_Array("", np.float64, 3, count, lambda: body.nodes.xyz)]
    cell_arrays = [
        _Array("connectivity", np.int64, 1, len(connectivity), lambda: connectivity),
        _Array("offsets", np.int64, 1, len(offsets), lambda: offsets),
        _Array("types", np.uint8, 1, len(types), lambda: types),
    ]

    every = field_data + point_data + points + cell_arrays
    positions, at = {}, 0
    for array in every:
        positions[id(array)] = at
        at += 8 + array.nbytes

    def section(tag, arrays, attributes=""):
        inner = "".join(f"\n        {a.xml(positions[id(a)])}" for a in arrays)
        return f"\n      <{tag}{attributes}>{inner}\n      </{tag}>"

    order = "LittleEndian" if sys.byteorder == "little" else "BigEndian"
    vector = f' Vectors={quoteattr(f"mode_{numbers[0]}")}' if numbers else ""
    xml = (
        '<?xml version="1.0"?>\n'
        f'<VTKFile type="UnstructuredGrid" version="1.0" byte_order="{order}" header_type="UInt64">\n'
        "  <UnstructuredGrid>"
        + section("FieldData", field_data).replace("\n      ", "\n    ")
        + f'\n    <Piece NumberOfPoints="{count}" NumberOfCells="{len(types)}">'
        + section("PointData", point_data, f' Scalars="mass"{vector}')
        + section("Points", points)
        + section("Cells", cell_arrays)
        + "\n    </Piece>\n  </UnstructuredGrid>\n"
        + '  <AppendedData encoding="raw">\n   _'
    )
    with open(path, "wb") as out:
        out.write(xml.encode("utf-8"))
        for array in every:
            values = np.ascontiguousarray(array.make(), dtype=array.dtype)
            if values.size != array.count * array.components:
                raise ValueError(f"{array.name or 'points'}: {values.size} values, expected {array.count * array.components}")
            out.write(np.uint64(values.nbytes).tobytes())
            out.write(values.tobytes())
        out.write(b"\n  </AppendedData>\n</VTKFile>\n")
    return numbers
