"""A body for ParaView and other VTK readers, in the format the output
name's suffix picks:

- `.vtu`: one VTK XML UnstructuredGrid with every exported mode;
- `.vtk`: the same in the legacy VTK format (binary);
- `.pvd`: a collection of one `.vtu` per mode, in a folder named after
  the collection, its time step the mode number, so that a viewer steps
  through the modes.

The geometry is the nodes and the skin faces as polygons (two-node faces
as lines; a body without faces gets one vertex cell per node). Point data:
`node_id`, `mass` and per mode its translations, its rotations (left out
when all zero), and when the file has them its modal stresses and strains
as symmetric tensors (components XX, YY, ZZ, XY, YZ, XZ; strains are
tensor strains, half the file's engineering shear strains; NaN at nodes
without values). In a `.vtu` or `.vtk` these are `mode_N`,
`mode_N_rotation`, `mode_N_stress`, `mode_N_strain`; in each file of a
collection `translation`, `rotation`, `stress`, `strain`. Field data
`mode_number` and `frequency_hz` list the modes a file holds.
"""

import os
import sys
from xml.sax.saxutils import quoteattr

import numpy as np

from ._library import ZelError
from ._output import replacing

VTK_VERTEX, VTK_LINE, VTK_POLYGON = 1, 3, 7
FORMATS = (".vtu", ".vtk", ".pvd")

# The file's order is xx, yy, zz, xy, xz, yz; VTK's symmetric tensor is
# XX, YY, ZZ, XY, YZ, XZ.
TENSOR_ORDER = [0, 1, 2, 3, 5, 4]
TENSOR_COMPONENTS = ("XX", "YY", "ZZ", "XY", "YZ", "XZ")

_XML_TYPES = {
    np.dtype(np.float64): "Float64",
    np.dtype(np.int64): "Int64",
    np.dtype(np.int32): "Int32",
    np.dtype(np.uint8): "UInt8",
}
_LEGACY_TYPES = {np.dtype(np.float64): "double", np.dtype(np.int32): "int"}


class _Array:
    """One data array: its name, shape and how to make its values (made
    only when written, so that one mode is in memory at a time)."""

    def __init__(self, name, dtype, components, count, make, component_names=()):
        self.name, self.dtype, self.components, self.count = name, np.dtype(dtype), components, count
        self.make, self.component_names = make, component_names

    @property
    def nbytes(self):
        return self.count * self.components * self.dtype.itemsize

    def values(self):
        values = np.ascontiguousarray(self.make(), dtype=self.dtype)
        if values.size != self.count * self.components:
            raise ValueError(f"{self.name or 'points'}: {values.size} values, expected {self.count * self.components}")
        return values

    def xml(self, offset):
        name = f" Name={quoteattr(self.name)}" if self.name else ""
        names = "".join(f' ComponentName{k}="{c}"' for k, c in enumerate(self.component_names))
        return (
            f'<DataArray type="{_XML_TYPES[self.dtype]}"{name} NumberOfComponents="{self.components}"{names}'
            f' NumberOfTuples="{self.count}" format="appended" offset="{offset}"/>'
        )


def drawable_faces(body):
    """The body's faces, refused when one names a node the body lacks (a
    damaged file), which would otherwise draw or index garbage."""
    faces, count = body.faces, body.node_count
    vertices = np.concatenate(faces) if faces else np.zeros(0, dtype=np.int32)
    outside = vertices[(vertices < 0) | (vertices >= count)]
    if len(outside):
        raise ZelError(f"{body.path}: a face names node index {int(outside[0])}, and the body has {count} nodes")
    return faces


def cells(faces, node_count):
    """(connectivity, offsets, types) of the skin faces."""
    if not faces:
        return (
            np.arange(node_count, dtype=np.int64),
            np.arange(1, node_count + 1, dtype=np.int64),
            np.full(node_count, VTK_VERTEX, dtype=np.uint8),
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


class _TensorSet:
    """Where a stress or strain set's rows go among the nodes."""

    def __init__(self, body, value_set):
        self.body, self.value_set = body, value_set
        index = {int(i): k for k, i in enumerate(body.nodes.ids)}
        set_ids = body.mode_node_ids(value_set)
        found = [(row, index[int(i)]) for row, i in enumerate(set_ids) if int(i) in index]
        self.rows = np.array([r for r, _ in found], dtype=np.int64)
        self.nodes = np.array([n for _, n in found], dtype=np.int64)

    @staticmethod
    def of(body, value_set):
        """The set, or None when the file has no such values."""
        s = {"stress": 1, "strain": 2}[value_set]
        if not body._lib.ZEL_ModeExist(body._db, s) or body._lib.ZEL_ModeNodeCount(body._db, s) == 0:
            return None
        return _TensorSet(body, value_set)

    def at_nodes(self, number):
        full = np.full((self.body.node_count, 6), np.nan)
        full[self.nodes] = self.body.mode(number, self.value_set)[self.rows][:, TENSOR_ORDER]
        if self.value_set == "strain":
            full[self.nodes, 3:] /= 2.0  # engineering shear strain to the tensor's
        return full


class _Dataset:
    """What one output file holds: modes and the names of their arrays."""

    def __init__(self, body, numbers):
        self.body, self.numbers = body, numbers
        self.count = body.node_count
        self.connectivity, self.offsets, self.types = cells(drawable_faces(body), self.count)
        eigen = body.eigen
        self.hz = np.array([float(eigen["hz"][eigen["mode"] == n][0]) for n in numbers], dtype=np.float64)

    def field_data(self):
        numbers = np.array(self.numbers, dtype=np.int32)
        return [
            _Array("mode_number", np.int32, 1, len(numbers), lambda: numbers),
            _Array("frequency_hz", np.float64, 1, len(numbers), lambda: self.hz),
        ]

    def point_data(self, names, rotating, tensors):
        """node_id, mass and per mode the arrays named by names(number, kind)."""
        body, count = self.body, self.count
        arrays = [
            _Array("node_id", np.int32, 1, count, lambda: body.nodes.ids),
            _Array("mass", np.float64, 1, count, lambda: body.masses),
        ]
        for n in self.numbers:
            arrays.append(_Array(names(n, "translation"), np.float64, 3, count, lambda n=n: body.mode_at_nodes(n)[:, :3]))
            if n in rotating:
                arrays.append(_Array(names(n, "rotation"), np.float64, 3, count, lambda n=n: body.mode_at_nodes(n)[:, 3:]))
            for kind, values in tensors.items():
                arrays.append(
                    _Array(names(n, kind), np.float64, 6, count, lambda n=n, v=values: v.at_nodes(n), TENSOR_COMPONENTS)
                )
        return arrays


def rotating_modes(body, numbers):
    """The modes among numbers with a rotation other than zero (reads each)."""
    return {n for n in numbers if np.any(body.mode(n)[:, 3:])}


def tensor_sets(body):
    found = {kind: _TensorSet.of(body, kind) for kind in ("stress", "strain")}
    return {kind: values for kind, values in found.items() if values is not None}


def _write_xml(path, dataset, point_data):
    field_data = dataset.field_data()
    points = [_Array("", np.float64, 3, dataset.count, lambda: dataset.body.nodes.xyz)]
    cell_arrays = [
        _Array("connectivity", np.int64, 1, len(dataset.connectivity), lambda: dataset.connectivity),
        _Array("offsets", np.int64, 1, len(dataset.offsets), lambda: dataset.offsets),
        _Array("types", np.uint8, 1, len(dataset.types), lambda: dataset.types),
    ]
    every = field_data + point_data + points + cell_arrays
    positions, at = [], 0
    for array in every:
        positions.append(at)
        at += 8 + array.nbytes
    offset_of = dict(zip(map(id, every), positions))

    def section(tag, arrays, attributes="", indent="      "):
        inner = "".join(f"\n{indent}  {a.xml(offset_of[id(a)])}" for a in arrays)
        return f"\n{indent}<{tag}{attributes}>{inner}\n{indent}</{tag}>"

    order = "LittleEndian" if sys.byteorder == "little" else "BigEndian"
    vectors = [a.name for a in point_data if a.components == 3]
    vector = f" Vectors={quoteattr(vectors[0])}" if vectors else ""
    header = (
        '<?xml version="1.0"?>\n'
        f'<VTKFile type="UnstructuredGrid" version="1.0" byte_order="{order}" header_type="UInt64">\n'
        "  <UnstructuredGrid>"
        + section("FieldData", field_data, indent="    ")
        + f'\n    <Piece NumberOfPoints="{dataset.count}" NumberOfCells="{len(dataset.types)}">'
        + section("PointData", point_data, f' Scalars="mass"{vector}')
        + section("Points", points)
        + section("Cells", cell_arrays)
        + "\n    </Piece>\n  </UnstructuredGrid>\n"
        + '  <AppendedData encoding="raw">\n   _'
    )
    with replacing(path) as out:
        out.write(header.encode("utf-8"))
        for array in every:
            values = array.values()
            out.write(np.uint64(values.nbytes).tobytes())
            out.write(values.tobytes())
        out.write(b"\n  </AppendedData>\n</VTKFile>\n")


def _legacy_array(out, array):
    values = array.values()
    out.write(f"{array.name} {array.components} {array.count} {_LEGACY_TYPES[array.dtype]}\n".encode("ascii"))
    out.write(values.astype(values.dtype.newbyteorder(">")).tobytes())
    out.write(b"\n")


def _write_legacy(path, dataset, point_data):
    """The legacy format is big-endian, with 32-bit cell lists."""
    body = dataset.body
    fields = [a for a in dataset.field_data() if a.count]
    sizes = np.diff(dataset.offsets, prepend=0)
    cell_list = np.insert(dataset.connectivity, dataset.offsets - sizes, sizes).astype(">i4")
    title = " ".join((body.header.title or "ZEL body").split())[:255]
    with replacing(path) as out:
        out.write(f"# vtk DataFile Version 3.0\n{title}\nBINARY\nDATASET UNSTRUCTURED_GRID\n".encode("utf-8"))
        if fields:
            out.write(f"FIELD FieldData {len(fields)}\n".encode("ascii"))
            for array in fields:
                _legacy_array(out, array)
        out.write(f"POINTS {dataset.count} double\n".encode("ascii"))
        out.write(np.ascontiguousarray(body.nodes.xyz, dtype=">f8").tobytes() + b"\n")
        out.write(f"CELLS {len(dataset.types)} {len(cell_list)}\n".encode("ascii"))
        out.write(cell_list.tobytes() + b"\n")
        out.write(f"CELL_TYPES {len(dataset.types)}\n".encode("ascii"))
        out.write(dataset.types.astype(">i4").tobytes() + b"\n")
        out.write(f"POINT_DATA {dataset.count}\nFIELD FieldData {len(point_data)}\n".encode("ascii"))
        for array in point_data:
            _legacy_array(out, array)


def _all_modes_names(number, kind):
    return f"mode_{number}" if kind == "translation" else f"mode_{number}_{kind}"


def write_vtu(body, path, modes=None, legacy=False):
    """Writes the body with the modes numbered in `modes` (all when None)
    as one .vtu (or legacy .vtk) file at path. Gives the mode numbers
    written."""
    numbers = select_modes(body, modes)
    dataset = _Dataset(body, numbers)
    point_data = dataset.point_data(_all_modes_names, rotating_modes(body, numbers), tensor_sets(body))
    (_write_legacy if legacy else _write_xml)(path, dataset, point_data)
    return numbers


def collection_folder(path):
    """The folder beside a .pvd that holds its mode files."""
    path = os.fspath(path)
    return os.path.splitext(path)[0]


def write_pvd(body, path, modes=None):
    """Writes a .pvd at path and, in the folder of its name without the
    suffix, mode_N.vtu for each mode. Gives the mode numbers written."""
    numbers = select_modes(body, modes)
    folder = collection_folder(path)
    os.makedirs(folder, exist_ok=True)
    tensors = tensor_sets(body)
    rotating = rotating_modes(body, numbers)
    entries = []
    for n in numbers:
        dataset = _Dataset(body, [n])
        name = f"mode_{n}.vtu"
        _write_xml(os.path.join(folder, name), dataset, dataset.point_data(lambda _, kind: kind, rotating, tensors))
        relative = f"{os.path.basename(folder)}/{name}"
        entries.append(f'    <DataSet timestep="{n}" group="" part="0" file={quoteattr(relative)}/>\n')
    with replacing(path) as out:
        out.write(
            (
                '<?xml version="1.0"?>\n<VTKFile type="Collection" version="0.1">\n  <Collection>\n'
                + "".join(entries)
                + "  </Collection>\n</VTKFile>\n"
            ).encode("utf-8")
        )
    return numbers


def export(body, path, modes=None):
    """Writes the format the suffix of path names (.vtu, .vtk or .pvd)."""
    suffix = os.path.splitext(os.fspath(path))[1].lower()
    if suffix not in FORMATS:
        raise ValueError(f"{os.fspath(path)}: not a .vtu, .vtk or .pvd name")
    if suffix == ".pvd":
        return write_pvd(body, path, modes)
    return write_vtu(body, path, modes, legacy=suffix == ".vtk")
