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


def _ids(ids, rows, what):
    ids = np.asarray(ids, dtype=np.int64).ravel()
    if len(ids) != rows:
        raise ValueError(f"{len(ids)} node IDs for {rows} rows of {what}")
    return [int(i) for i in ids]


class Builder(HandleOwner):
    """An empty body to fill and write. Use it as a context manager or
    close() it: closing releases the body and its temporary mode files."""

    def __init__(self, expected_nodes=1000, max_modes=1000):
        self._lib = library()
        self._closed_text = "the builder is closed"
        handle = checked(
            self._lib.ZEL_Create,
            int(expected_nodes),
            int(max_modes),
            failed=lambda handle: not handle,
            otherwise="cannot create a body: out of memory",
        )
        self._adopt(handle)

    def _set(self, function, *arguments, what, otherwise=None):
        checked(function, self._db, *arguments, otherwise=otherwise or f"cannot set {what}")

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

    def add_nodes(self, ids, xyz):
        """Nodes by ID with coordinates (N, 3); a known ID is moved."""
        xyz = _rows(xyz, 3, "coordinates")
        for node, (x, y, z) in zip(_ids(ids, len(xyz), "coordinates"), xyz.tolist()):
            self._set(self._lib.ZEL_SetNodeCoordinates, node, x, y, z, what=f"node {node}")

    def set_masses(self, ids, masses):
        masses = _rows(masses, 1, "masses")
        for node, mass in zip(_ids(ids, len(masses), "masses"), masses.tolist()):
            self._set(self._lib.ZEL_SetNodalMass, node, mass, what=f"the mass of node {node}")

    def set_inertias(self, ids, inertias):
        """Rows Ixx, Iyy, Izz, Ixy, Ixz, Iyz (N, 6)."""
        inertias = _rows(inertias, 6, "inertias")
        for node, row in zip(_ids(ids, len(inertias), "inertias"), inertias.tolist()):
            self._set(self._lib.ZEL_SetNodalInertia, node, *row, what=f"the inertia of node {node}")

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
        s = set_index(value_set)
        values = _rows(values, 6, "mode values")
        for node, row in zip(_ids(ids, len(values), "mode values"), values):
            self._set(self._lib.ZEL_SetModeVec, int(number), node, s, address(row), what=f"mode {number}")

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

    def write(self, path, options=None):
        """Writes the ZEL file at path. options is the writer's option text
        (as in KOR_ZELWRITE_OPTIONS, which it replaces for this call); None
        keeps the environment's. The write prepares the body in place."""
        write = getattr(self._lib, "ZEL_write_ZEL", None)
        if write is None:
            raise ZelError(f"the ZEL library at {self._lib.path} has no writer")
        with _environment(WRITER_OPTIONS, options):
            checked(write, self._db, os.fsencode(os.fspath(path)), otherwise=f"cannot write {path}")
