"""Python access to ZEL flexible-body files through the ZEL C library.

    import zel
    with zel.open("body.zel") as body:
        ids, xyz = body.nodes
        shape = body.mode(1)          # (N, 6) translations and rotations
        body.plot_mode(1, "mode1.png")
        body.write_vtu("body.vtu")

The package prints nothing of its own accord. Library errors raise
ZelError carrying the library's own message; its warnings are issued
through the warnings module as ZelWarning (filter them as any warning);
its information is written on sys.stderr only for objects made with
verbose=True; progress shows only when sys.stderr is a terminal.
"""

from ._library import ZelError, ZelWarning
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
    "ZelWarning",
    "open",
]
__version__ = "0.1.0"
