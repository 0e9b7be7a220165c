"""Building a body from Python, for translators, and writing its ZEL file.

Nodes, masses, modes and matrices are named by the solver's node IDs and
mode numbers, as in the C builder. Every setter raises ZelError with the
library's message when the library refuses a value.
"""

import contextlib
import os

import numpy as np

from ._library import HandleOwner, ZelError, checked, library
from .body import address, set_index

WRITER_OPTIONS = "KOR_ZELWRITE_OPTIONS"


@contextlib.contextmanager
def _environment(name, value):
    """Sets one variable of the process environment (as the C library sees
    it) for the duration; None leaves it as it is."""
    if value is None:
        yield
        return
    before = os.environ.get(name)
    os.environ[name] = value
    try:
        yield
    finally:
        if before is None:
            del os.environ[name]
        else:
            os.environ[name] = before


def _rows(values, width, what):
    array = np.ascontiguousarray(values, dtype=np.float64)
    if array.ndim == 1 and width == 1:
        return array
    if array.ndim != 2 or array.shape[1] != width:
        raise ValueError(f"{what} must have {width} columns, not shape {array.shape}")
    return array


_ID_RANGE = np.iinfo(np.intc)


def _ids(ids, rows, what):
    """The node IDs as the C int array the library takes, one per row."""
    ids = np.asarray(ids, dtype=np.int64).ravel()
    if len(ids) != rows:
        raise ValueError(f"{len(ids)} node IDs for {rows} rows of {what}")
    outside = (ids < _ID_RANGE.min) | (ids > _ID_RANGE.max)
    if outside.any():
        raise ValueError(f"node ID {ids[outside][0]} is outside the range of the library's node IDs")
    return np.ascontiguousarray(ids, dtype=np.intc)


class Builder(HandleOwner):
    """An empty body to fill and write. Use it as a context manager or
    close() it: closing releases the body and its temporary mode files.

    Quiet by default: the library's information (the header echoed, the
    writer's steps and summary) is written on sys.stderr only with
    verbose=True; its warnings are ZelWarning whatever verbose says. The
    setters take whole numpy arrays and pass them in one library call."""

    def __init__(self, expected_nodes=1000, max_modes=1000, verbose=False):
        self._lib = library()
        self._closed_text = "the builder is closed"
        self.verbose = bool(verbose)
        handle = checked(
            self._lib.ZEL_Create,
            int(expected_nodes),
            int(max_modes),
            failed=lambda handle: not handle,
            otherwise="cannot create a body: out of memory",
            verbose=self.verbose,
        )
        self._adopt(handle)

    def _set(self, function, *arguments, what, otherwise=None):
        checked(function, self._db, *arguments, otherwise=otherwise or f"cannot set {what}", verbose=self.verbose)

    # -- header and units ----------------------------------------------------

    def set_header(self, title="", input_file_name="", input_file_type="", comments=("", "", "")):
        texts = [title, input_file_name, input_file_type, *comments, "", "", ""][:6]
        self._set(self._lib.ZEL_SetHeader, *(str(t).encode("latin-1") for t in texts), what="the header")

    def set_units(self, mass, length, time, force):
        """Unit names ("KILOGRAM", "MILLIMETER", ...); a body holding units
        already has its values converted."""
        names = (mass, length, time, force)
        self._set(
            self._lib.ZEL_SetUnits,
            *(name.encode("latin-1") for name in names),
            what="units",
            otherwise=f"cannot set units: one of {', '.join(names)} is not a known unit",
        )

    # -- nodes -----------------------------------------------------------------

    def _set_rows(self, function, leading, ids, values, width, what):
        """One call of a many-node setter: row k of values (width columns)
        for node ids[k]."""
        values = _rows(values, width, what)
        ids = _ids(ids, len(values), what)
        self._set(function, *leading, len(ids), address(ids), address(values), what=what)

    def add_nodes(self, ids, xyz):
        """Nodes by ID with coordinates (N, 3); a known ID is moved. A
        repeated ID takes its last row."""
        self._set_rows(self._lib.ZEL_SetNodeCoordinatesArray, (), ids, xyz, 3, "coordinates")

    def set_masses(self, ids, masses):
        """Nodal masses (N,); a new ID adds the node."""
        self._set_rows(self._lib.ZEL_SetNodalMassArray, (), ids, masses, 1, "masses")

    def set_inertias(self, ids, inertias):
        """Rows Ixx, Iyy, Izz, Ixy, Ixz, Iyz (N, 6)."""
        self._set_rows(self._lib.ZEL_SetNodalInertiaArray, (), ids, inertias, 6, "inertias")

    def add_faces(self, faces):
        """Faces as sequences of node IDs."""
        for face in faces:
            vertices = np.ascontiguousarray(face, dtype=np.intc)
            self._set(self._lib.ZEL_SetFaceList, len(vertices), address(vertices), what=f"face {list(face)}")

    def set_interface_nodes(self, ids):
        for node in np.asarray(ids).ravel().tolist():
            self._set(
                self._lib.ZEL_SetInterfaceNode,
                int(node),
                what="interface node",
                otherwise=f"no node {node} to mark as an interface node",
            )

    # -- modes and matrices ----------------------------------------------------

    def set_mode(self, number, ids, values, value_set="shape"):
        """Six values per node (N, 6) of mode `number` in a value set
        ("shape", "stress", "strain"); number 0 of "stress" or "strain" sets
        the pre-stress or pre-strain."""
        leading = (int(number), set_index(value_set))
        self._set_rows(self._lib.ZEL_SetModeVecArray, leading, ids, values, 6, "mode values")

    def _set_matrix(self, function, what, matrix, modes):
        matrix = np.atleast_1d(np.asarray(matrix, dtype=np.float64))
        if matrix.ndim == 1:
            matrix = np.diag(matrix)
        if matrix.ndim != 2 or matrix.shape[0] != matrix.shape[1] or len(modes) != len(matrix):
            raise ValueError(f"the {what} must be square over the {len(modes)} modes, not shape {matrix.shape}")
        for i, row_mode in enumerate(modes):
            for j in range(i, len(modes)):
                if i == j or matrix[i, j] != 0.0:
                    self._set(function, int(row_mode), int(modes[j]), float(matrix[i, j]), what=f"the {what}")

    def set_generalized_stiffness(self, matrix, modes):
        """A symmetric matrix (or its diagonal) over the given mode numbers;
        its upper triangle's non-zero entries and its diagonal are stored."""
        self._set_matrix(self._lib.ZEL_SetGeneralizedStiffness, "generalized stiffness", matrix, list(modes))

    def set_generalized_mass(self, matrix, modes):
        self._set_matrix(self._lib.ZEL_SetGeneralizedMass, "generalized mass", matrix, list(modes))

    def set_generalized_damping(self, matrix, modes):
        self._set_matrix(self._lib.ZEL_SetGeneralizedDamping, "generalized damping", matrix, list(modes))

    # -- writing -----------------------------------------------------------------

    def write(self, path, options=None, verbose=None):
        """Writes the ZEL file at path. options is the writer's option text
        (as in KOR_ZELWRITE_OPTIONS, which it replaces for this call); None
        keeps the environment's. The write prepares the body in place;
        with the invariant options ("invar full_invar") it keeps only the
        nodes the faces and interface nodes use (see Body.reduced). verbose (None: the builder's) writes the
        writer's information on sys.stderr; its progress shows when
        sys.stderr is a terminal."""
        write = getattr(self._lib, "ZEL_write_ZEL", None)
        if write is None:
            raise ZelError(f"the ZEL library at {self._lib.path} has no writer")
        with _environment(WRITER_OPTIONS, options):
            checked(
                write,
                self._db,
                os.fsencode(os.fspath(path)),
                otherwise=f"cannot write {path}",
                verbose=self.verbose if verbose is None else bool(verbose),
            )
