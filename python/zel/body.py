"""A ZEL file opened for reading: its body's data as numpy arrays.

Node indices are 0-based positions in the node table, as in the C
library; node IDs are the solver's labels. Values come in the body's
current units, as the C queries give them.
"""

import builtins
import ctypes
import os
from functools import cached_property
from typing import NamedTuple

import numpy as np

from ._library import HandleOwner, ZelError, checked, library

VALUE_SETS = {"shape": 0, "stress": 1, "strain": 2}

EIGEN_DTYPE = np.dtype(
    [
        ("mode", np.int32),
        ("eigenvalue", np.float64),
        ("hz", np.float64),
        ("rad_s", np.float64),
        ("gen_mass", np.float64),
        ("gen_stiff", np.float64),
    ]
)


class Header(NamedTuple):
    title: str
    date: str
    input_file_name: str
    input_file_type: str
    comments: tuple
    version: int
    double_precision: bool


class Units(NamedTuple):
    mass: str
    length: str
    time: str
    force: str


class Nodes(NamedTuple):
    ids: np.ndarray  # (N,) int32
    xyz: np.ndarray  # (N, 3)


class MassInertia(NamedTuple):
    mass: float
    inertia: np.ndarray  # (3, 3)
    center_of_mass: np.ndarray  # (3,)


class Invariants(NamedTuple):
    """The nine inertia invariants; M is the mode count and i, j mode
    indices, a = 0, 1, 2 the axes x, y, z."""

    inv1: float  # total mass
    inv2: np.ndarray  # (3,): sum of m x
    inv3: np.ndarray  # (3, M): [a, i]
    inv4: np.ndarray  # (3, M): [a, i]
    inv5: np.ndarray  # (M, 3, M): [i, a, j], antisymmetric in i and j
    inv6: np.ndarray  # (M, M): the generalized mass
    inv7: np.ndarray  # (3, 3): inertia tensor about the origin
    inv8: np.ndarray  # (M, 3, 3): [i] the 3 x 3 of mode i
    inv9: np.ndarray  # (M, M, 3, 3): [i, j] the 3 x 3 of the pair


def set_index(value_set):
    """The C library's number of a value set named "shape", "stress" or
    "strain" (or given as 0, 1, 2)."""
    if isinstance(value_set, int) and not isinstance(value_set, bool) and value_set in VALUE_SETS.values():
        return value_set
    try:
        return VALUE_SETS[value_set]
    except (KeyError, TypeError):
        raise ValueError(f"unknown value set {value_set!r}: use 'shape', 'stress' or 'strain'") from None


def address(array):
    return array.ctypes.data


def _text(buffer):
    return buffer.value.decode("latin-1")


def open(path, verbose=False):  # noqa: A001 - the package's entry point, zel.open
    """Opens the ZEL file at path (a str, bytes or os.PathLike such as
    pathlib.Path); use the Body as a context manager or close() it. A
    missing or unreadable file raises the usual OSError; a file the library
    refuses (not a ZEL file, truncated) raises ZelError with the library's
    message. verbose=True writes the library's information on sys.stderr."""
    return Body(path, verbose)


class Body(HandleOwner):
    """One flexible body read from a ZEL file. Mode data stays in the file
    and is read one mode at a time by mode(). Not for use from several
    threads at once: the library keeps process-wide state unguarded.

    A writer that computes the inertia invariants (from every node) then
    keeps only the nodes the faces and interface nodes use: the nodal data
    describe part of the body only (see `reduced`). The body's
    mass, centre of mass, inertia and modal participation come from the
    invariants: total_mass_inertia(), invariants(), effective_modal_mass()."""

    # Nodal masses summing to less than invariant 1 by more than this
    # fraction: rounding of single-precision files stays far below it.
    REDUCED_MASS_FRACTION = 1e-4

    def __init__(self, path, verbose=False):
        self.verbose = bool(verbose)
        self.path = os.fspath(path)
        # A missing or unreadable file is the usual OSError.
        with builtins.open(self.path, "rb"):
            pass
        self._lib = library()
        handle = checked(
            self._lib.ZEL_CreateFromZEL,
            os.fsencode(self.path),
            failed=lambda handle: not handle,
            otherwise=f"cannot read {self.path}",
            verbose=self.verbose,
        )
        self._adopt(handle)
        self._closed_text = f"the body of {self.path} is closed"
        self._last_mode = {}  # value set -> (mode number, values)
        self._single = {}  # value set -> scratch of single-precision reads

    def _closing(self):
        self._last_mode = {}
        self._single = {}

    def __repr__(self):
        state = "closed" if self.closed else f"{self.node_count} nodes, {self.mode_count} modes"
        return f"<zel.Body {self.path!r}: {state}>"

    # -- header, units, nodes ----------------------------------------------

    @cached_property
    def header(self):
        sizes = (128, 32, 128, 16, 80, 80, 80)
        buffers = [ctypes.create_string_buffer(size) for size in sizes]
        self._lib.ZEL_Header(self._db, *(ctypes.addressof(b) for b in buffers))
        title, date, name, kind, *comments = (_text(b) for b in buffers)
        return Header(
            title, date, name, kind, tuple(comments), self._lib.ZEL_Version(self._db), bool(self.double_precision)
        )

    @property
    def double_precision(self):
        return bool(self._lib.ZEL_Double_Prec(self._db))

    @cached_property
    def units(self):
        buffers = [ctypes.create_string_buffer(16) for _ in range(4)]
        self._lib.ZEL_Units(self._db, *(ctypes.addressof(b) for b in buffers))
        return Units(*(_text(b) for b in buffers))

    @property
    def node_count(self):
        return self._lib.ZEL_NodeCount(self._db)

    @cached_property
    def nodes(self):
        """Nodes(ids, xyz): IDs (N,) and coordinates (N, 3), in node-index
        order."""
        count = self.node_count
        xyz = np.zeros((count, 3))
        written = ctypes.c_int(0)
        if count:
            self._lib.ZEL_NodeCoordinateList(self._db, address(xyz), ctypes.addressof(written))
        node_id = self._lib.ZEL_NodeID
        ids = np.fromiter((node_id(self._db, n) for n in range(count)), dtype=np.int32, count=count)
        return Nodes(ids, xyz)

    @cached_property
    def masses(self):
        """Nodal masses (N,) of the nodes the file holds. After a reduced
        write (see `reduced`) they sum to less than the body's mass: use
        total_mass_inertia() or invariants() for the whole body."""
        mass = self._lib.ZEL_NodalMass
        count = self.node_count
        return np.fromiter((mass(self._db, n) for n in range(count)), dtype=np.float64, count=count)

    @cached_property
    def reduced(self):
        """True when the node set was reduced at writing: the nodal masses
        sum to less than the body's mass (invariant 1), so sums over the
        nodal data (masses, centre of mass, modal participation) miss part
        of the body. False for a body whose nodes carry all of its mass."""
        mass = checked(self._lib.ZEL_Invar1, self._db, failed=lambda result: False, verbose=self.verbose)
        return bool(mass > 0.0 and self.masses.sum() < mass * (1.0 - self.REDUCED_MASS_FRACTION))

    @cached_property
    def inertias(self):
        """Nodal inertia tensors (N, 3, 3); zero for a node without one."""
        tensors = np.zeros((self.node_count, 3, 3))
        for n in range(len(tensors)):
            self._lib.ZEL_NodalInertia(self._db, n, address(tensors[n]))
        return tensors

    @cached_property
    def faces(self):
        """The skin faces: a list of int32 arrays of node indices."""
        faces, size = ctypes.c_int(0), ctypes.c_int(0)
        self._lib.ZEL_FaceListSize(self._db, ctypes.addressof(faces), ctypes.addressof(size))
        if size.value == 0:
            return []
        flat = np.zeros(size.value, dtype=np.int32)
        self._lib.ZEL_ElementFaces(self._db, address(flat))
        return split_face_list(flat, faces.value)

    @cached_property
    def interface_nodes(self):
        """Node indices (int32) of the interface nodes."""
        count = ctypes.c_int(0)
        pointer = self._lib.ZEL_InterfaceNodes(self._db, ctypes.addressof(count))
        return self._take(pointer, (count.value,), ctypes.c_int) if pointer else np.zeros(0, dtype=np.int32)

    @property
    def size(self):
        """The diagonal of the box around the drawn nodes (0.0 without faces)."""
        return self._lib.ZEL_BodySize(self._db)

    # -- modes -------------------------------------------------------------

    @property
    def mode_count(self):
        return self._lib.ZEL_ModeCount(self._db)

    @cached_property
    def mode_numbers(self):
        number = self._lib.ZEL_ModeNumber
        count = self.mode_count
        return np.fromiter((number(self._db, m) for m in range(count)), dtype=np.int32, count=count)

    @cached_property
    def eigen(self):
        """One record per mode: mode, eigenvalue, hz, rad_s, gen_mass,
        gen_stiff. A mode the library has no values for (non-diagonal
        generalized matrices and no eigenvalue records) holds NaN."""
        table = np.zeros(self.mode_count, dtype=EIGEN_DTYPE)
        values = np.zeros(5)
        pointers = [address(values) + 8 * k for k in range(5)]
        for row, number in zip(table, self.mode_numbers):
            values[:] = np.nan
            found = self._lib.ZEL_Eigenvalue(self._db, int(number), *pointers)
            row["mode"] = number
            for field, value in zip(EIGEN_DTYPE.names[1:], values if found else [np.nan] * 5):
                row[field] = value
        return table

    def mode_node_ids(self, value_set="shape"):
        """The node IDs of a value set's rows, in the order mode() gives them."""
        s = set_index(value_set)
        count = self._lib.ZEL_ModeNodeCount(self._db, s)
        node_id = self._lib.ZEL_ModeNodeID
        return np.fromiter((node_id(self._db, s, p) for p in range(count)), dtype=np.int32, count=count)

    def mode(self, number, value_set="shape", out=None):
        """The six values per node of one mode: (N, 6) for the node list of
        the value set ("shape": translations x, y, z then rotations, one
        row per node index; "stress", "strain": xx, yy, zz, xy, xz, yz, one
        row per mode_node_ids(value_set)). Mode number 0 of "stress" and
        "strain" is the pre-stress and pre-strain.

        Without `out` the array is new and read-only, and the last mode
        asked for in each set is kept and given again. With `out`, a
        writeable C-ordered float64 array of that shape, the values are
        read into it and it is returned: a loop over many modes then
        allocates nothing."""
        s = set_index(value_set)
        if out is not None:
            return self._read_mode(int(number), s, out)
        kept = self._last_mode.get(s)
        if kept is not None and kept[0] == number:
            return kept[1]
        values = self._read_mode(int(number), s, None)
        values.flags.writeable = False
        self._last_mode[s] = (number, values)
        return values

    def mode_at_nodes(self, number):
        """mode(number) as (node_count, 6), one row per node index; rows of
        nodes beyond the mode-shape set's list are zero."""
        values = self.mode(number)
        count = self.node_count
        if len(values) == count:
            return values
        full = np.zeros((count, 6))
        rows = min(len(values), count)
        full[:rows] = values[:rows]
        return full

    def _read_mode(self, number, s, out):
        name = next(key for key, value in VALUE_SETS.items() if value == s)
        pre_values = number == 0 and s != 0
        if not pre_values and self._lib.ZEL_ModeIndex(self._db, number) < 0:
            raise ZelError(f"{self.path} has no mode {number}")
        count = self._lib.ZEL_ModeNodeCount(self._db, s)
        if count == 0 or not (pre_values or self._lib.ZEL_ModeExist(self._db, s)):
            raise ZelError(f"{self.path} has no {name} values")
        if out is not None and not (
            isinstance(out, np.ndarray)
            and out.shape == (count, 6)
            and out.dtype == np.float64
            and out.flags.c_contiguous
            and out.flags.writeable
        ):
            raise ValueError(f"out must be a writeable C-ordered float64 array of shape ({count}, 6)")
        failure = f"cannot read {name} values of mode {number}"
        if pre_values or self.double_precision:
            # The library fills the caller's buffer directly.
            out = np.empty((count, 6)) if out is None else out
            checked(self._lib.ZEL_Read_Mode_Double, self._db, number, s, address(out), otherwise=failure, verbose=self.verbose)
            return out
        # Single precision: the library fills a float scratch kept for the
        # next mode, widened here in one copy. The float values equal the
        # cached doubles ZEL_Mode gives: a read body's unit factors stay 1.
        single = self._single.get(s)
        if single is None or len(single) != count:
            single = self._single[s] = np.empty((count, 6), dtype=np.float32)
        checked(self._lib.ZEL_Read_Mode_Single, self._db, number, s, address(single), otherwise=failure, verbose=self.verbose)
        if out is None:
            # Made after the read, into the room of the library's own
            # scratch just freed: made before, the heap grows and shrinks
            # again at every mode, several times slower.
            return single.astype(np.float64)
        out[...] = single
        return out

    # -- generalized matrices ----------------------------------------------

    def _full(self, function):
        order = self.mode_count
        matrix = np.zeros((order, order))
        if order:
            checked(function, self._db, address(matrix), order, failed=lambda result: False, verbose=self.verbose)
        return matrix

    def gen_stiff_full(self):
        """The generalized stiffness (M, M) over mode indices."""
        return self._full(self._lib.ZEL_GenStiffFull)

    def gen_mass_full(self):
        """The generalized mass (M, M) over mode indices."""
        return self._full(self._lib.ZEL_GenMassFull)

    def gen_damp_full(self):
        """The generalized damping (M, M), or None when the body has none."""
        if not self._lib.ZEL_GenDampExist(self._db):
            return None
        return self._full(self._lib.ZEL_GenDampFull)

    # -- invariants --------------------------------------------------------

    def _take(self, pointer, shape, element=ctypes.c_double):
        """Copies a library-owned array into numpy and releases it."""
        count = int(np.prod(shape))
        array = np.ctypeslib.as_array(ctypes.cast(pointer, ctypes.POINTER(element)), shape=(count,)).copy()
        self._lib.ZEL_FreeMemory(pointer)
        return array.reshape(shape)

    def _invariant(self, number, shape, *arguments):
        function = getattr(self._lib, f"ZEL_Invar{number}")
        pointer = checked(
            function,
            self._db,
            *arguments,
            failed=lambda p: not p,
            otherwise=f"cannot compute invariant {number}",
            verbose=self.verbose,
        )
        return self._take(pointer, shape)

    def invariants(self):
        """The nine inertia invariants (see Invariants for their shapes).
        Read from the file's blocks, else computed from the nodal data and
        the mode shapes, which reads every mode. inv7 is the invariant as
        the simulator takes it: products of inertia -sum m x y (negative
        for mass in the first quadrant), whereas total_mass_inertia() gives
        +sum m x y."""
        m = self.mode_count
        inv1 = checked(self._lib.ZEL_Invar1, self._db, failed=lambda result: False, verbose=self.verbose)
        inv2 = self._invariant(2, (3,))
        inv7 = self._invariant(7, (3, 3))
        if m == 0:
            return Invariants(
                inv1, inv2, np.zeros((3, 0)), np.zeros((3, 0)), np.zeros((0, 3, 0)), np.zeros((0, 0)), inv7,
                np.zeros((0, 3, 3)), np.zeros((0, 0, 3, 3)),
            )
        return Invariants(
            inv1,
            inv2,
            self._invariant(3, (3, m)),
            self._invariant(4, (3, m)),
            np.stack([self._invariant(5, (3, m), i) for i in range(m)]),
            self._invariant(6, (m, m)),
            inv7,
            np.stack([self._invariant(8, (3, 3), i) for i in range(m)]),
            np.stack([np.stack([self._invariant(9, (3, 3), i, j) for j in range(m)]) for i in range(m)]),
        )

    def effective_modal_mass(self):
        """Effective modal mass (M, 3) of each mode along x, y, z from the
        invariants: inv3[a, i]**2 / inv6[i, i], which is the whole body's
        even after a reduced write (nodal data would give a fraction of
        it). Divided by invariants 1 it is the participating fraction; over
        all modes of a complete set it sums to the mass in each direction.
        A mode of zero generalized mass gives NaN."""
        m = self.mode_count
        if m == 0:
            return np.zeros((0, 3))
        participation = self._invariant(3, (3, m))
        modal_mass = np.diag(self._invariant(6, (m, m)))
        with np.errstate(divide="ignore", invalid="ignore"):
            effective = participation**2 / modal_mass
        effective[:, modal_mass == 0.0] = np.nan
        return effective.T

    def total_mass_inertia(self):
        """MassInertia(mass, inertia (3, 3), center_of_mass (3,)) of the
        whole body from the invariants (as the contents report gives them):
        the inertia about the body's origin with products of inertia
        +sum m x y, the opposite sign of invariants().inv7's."""
        mass = ctypes.c_double(0.0)
        inertia, center = np.zeros((3, 3)), np.zeros(3)
        checked(
            self._lib.ZEL_TotalMassInertia,
            self._db,
            ctypes.addressof(mass),
            address(inertia),
            address(center),
            otherwise="cannot compute the total mass and inertia",
            verbose=self.verbose,
        )
        return MassInertia(mass.value, inertia, center)

    # -- pictures and export -----------------------------------------------

    def plot_mode(self, number, path, **options):
        """Saves a picture of one mode shape at path (see zel.plot.plot_mode)."""
        from .plot import plot_mode

        return plot_mode(self, number, path, **options)

    def write_vtu(self, path, modes=None):
        """Writes the body as a VTK XML UnstructuredGrid (see zel.vtu.write_vtu)."""
        from .vtu import write_vtu

        return write_vtu(self, path, modes)


def split_face_list(flat, face_count):
    """Splits a face list (per face its vertex count, then the vertices)
    into one array per face."""
    faces, at = [], 0
    while len(faces) < face_count and at < len(flat):
        count = int(flat[at])
        faces.append(flat[at + 1 : at + 1 + count].copy())
        at += 1 + count
    return faces
