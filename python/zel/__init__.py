"""Python access to ZEL flexible-body files through the ZEL C library.

    import zel
    with zel.open("body.zel") as body:
        ids, xyz = body.nodes
        shape = body.mode(1)          # (N, 6) translations and rotations
        body.plot_mode(1, "mode1.png")
        body.write_vtu("body.vtu")

Library errors raise ZelError carrying the library's own message, which is
then not printed; warnings of a call that succeeds are printed once on
standard error.
"""

from ._library import ZelError
from .body import EIGEN_DTYPE, VALUE_SETS, Body, Header, Invariants, MassInertia, Nodes, Units, open
from .builder import Builder

__all__ = [
    "Body",
    "Builder",
    "EIGEN_DTYPE",
    "Header",
    "Invariants",
    "MassInertia",
    "Nodes",
    "Units",
    "VALUE_SETS",
    "ZelError",
    "open",
]
__version__ = "0.1.0"
