"""Output files that appear only whole."""

import contextlib
import os
import tempfile


@contextlib.contextmanager
def replacing(path):
    """A binary file that takes the place of path once written whole; on
    failure path is left as it was."""
    folder, name = os.path.split(os.fspath(path))
    handle, pending = tempfile.mkstemp(prefix=f".{name}.", dir=folder or ".")
    try:
        with os.fdopen(handle, "wb") as out:
            yield out
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(pending, 0o666 & ~umask)
        os.replace(pending, path)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(pending)
        raise
