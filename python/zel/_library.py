"""Loading libzel.so, the prototypes of the C functions used, and the
capture of the library's messages around a call.

The library prints its errors and warnings on the process's standard error
(file descriptor 2) itself. Calls that can fail run with descriptor 2
pointed at a scratch file; a failure raises ZelError carrying the text the
library printed, which is then not printed at all; a success that printed
warnings has them printed once, on sys.stderr, as the library would have.
The redirection is process-wide: what other threads print on descriptor 2
during such a call lands in its message too (the library is for one thread
at a time anyway).
"""

import ctypes
import ctypes.util
import os
import sys
import sysconfig
import tempfile
import threading

LIBRARY_VARIABLE = "ZEL_LIBRARY"
LIBRARY_NAME = "libzel.so"


class ZelError(RuntimeError):
    """A failure the library reported. str(error) is the library's message
    (its "ERROR:  " prefixes taken off each line); `output` holds what the
    library printed, prefixes included."""

    def __init__(self, message, output=""):
        super().__init__(message)
        self.output = output


def _candidate_paths():
    """Where the library may be, in the order it is looked for."""
    here = os.path.dirname(os.path.abspath(__file__))
    yield os.path.join(here, LIBRARY_NAME)
    multiarch = sysconfig.get_config_var("MULTIARCH") or ""
    for prefix in dict.fromkeys((sys.prefix, sys.base_prefix, "/usr/local")):
        yield os.path.join(prefix, "lib", LIBRARY_NAME)
        if multiarch:
            yield os.path.join(prefix, "lib", multiarch, LIBRARY_NAME)


def _find_library():
    explicit = os.environ.get(LIBRARY_VARIABLE)
    if explicit:
        if not os.path.isfile(explicit):
            raise ZelError(f"{LIBRARY_VARIABLE} names {explicit}, which is not a file")
        return explicit
    for path in _candidate_paths():
        if os.path.isfile(path):
            return path
    # The system loader: LD_LIBRARY_PATH, then the ldconfig cache.
    return ctypes.util.find_library("zel") or LIBRARY_NAME


_P = ctypes.c_void_p  # Database *, and every array passed by address
_I = ctypes.c_int
_D = ctypes.c_double
_S = ctypes.c_char_p

# name: (result type, argument types)
_PROTOTYPES = {
    "ZEL_Create": (_P, [_I, _I]),
    "ZEL_CreateFromZEL": (_P, [_S]),
    "ZEL_UnLink": (None, [_P]),
    "ZEL_FreeMemory": (None, [_P]),
    "ZEL_Version": (_I, [_P]),
    "ZEL_Header": (None, [_P, _P, _P, _P, _P, _P, _P, _P]),
    "ZEL_Units": (_I, [_P, _P, _P, _P, _P]),
    "ZEL_Double_Prec": (_I, [_P]),
    "ZEL_NodeCount": (_I, [_P]),
    "ZEL_NodeID": (_I, [_P, _I]),
    "ZEL_NodeCoordinateList": (_I, [_P, _P, _P]),
    "ZEL_NodalMass": (_D, [_P, _I]),
    "ZEL_NodalInertia": (_I, [_P, _I, _P]),
    "ZEL_InterfaceNodes": (_P, [_P, _P]),
    "ZEL_FaceListSize": (None, [_P, _P, _P]),
    "ZEL_ElementFaces": (_I, [_P, _P]),
    "ZEL_BodySize": (_D, [_P]),
    "ZEL_ModeCount": (_I, [_P]),
    "ZEL_ModeNumber": (_I, [_P, _I]),
    "ZEL_ModeIndex": (_I, [_P, _I]),
    "ZEL_ModeNodeCount": (_I, [_P, _I]),
    "ZEL_ModeNodeID": (_I, [_P, _I, _I]),
    "ZEL_ModeExist": (_I, [_P, _I]),
    "ZEL_Read_Mode_Double": (_I, [_P, _I, _I, _P]),
    "ZEL_Read_Mode_Single": (_I, [_P, _I, _I, _P]),
    "ZEL_Eigenvalue": (_I, [_P, _I, _P, _P, _P, _P, _P]),
    "ZEL_GenStiffFull": (_I, [_P, _P, _I]),
    "ZEL_GenMassFull": (_I, [_P, _P, _I]),
    "ZEL_GenDampFull": (_I, [_P, _P, _I]),
    "ZEL_GenDampExist": (_I, [_P]),
    "ZEL_Invar1": (_D, [_P]),
    "ZEL_Invar2": (_P, [_P]),
    "ZEL_Invar3": (_P, [_P]),
    "ZEL_Invar4": (_P, [_P]),
    "ZEL_Invar5": (_P, [_P, _I]),
    "ZEL_Invar6": (_P, [_P]),
    "ZEL_Invar7": (_P, [_P]),
    "ZEL_Invar8": (_P, [_P, _I]),
    "ZEL_Invar9": (_P, [_P, _I, _I]),
    "ZEL_TotalMassInertia": (_I, [_P, _P, _P, _P]),
    "ZEL_SetHeader": (_I, [_P, _S, _S, _S, _S, _S, _S]),
    "ZEL_SetUnits": (_I, [_P, _S, _S, _S, _S]),
    "ZEL_SetNodeCoordinates": (_I, [_P, _I, _D, _D, _D]),
    "ZEL_SetNodalMass": (_I, [_P, _I, _D]),
    "ZEL_SetNodalInertia": (_I, [_P, _I, _D, _D, _D, _D, _D, _D]),
    "ZEL_SetFaceList": (_I, [_P, _I, _P]),
    "ZEL_SetInterfaceNode": (_I, [_P, _I]),
    "ZEL_SetModeVec": (_I, [_P, _I, _I, _I, _P]),
    "ZEL_SetGeneralizedStiffness": (_I, [_P, _I, _I, _D]),
    "ZEL_SetGeneralizedMass": (_I, [_P, _I, _I, _D]),
    "ZEL_SetGeneralizedDamping": (_I, [_P, _I, _I, _D]),
    "ZEL_write_ZEL": (_I, [_P, _S]),
}


class _Library:
    """The loaded library with its prototypes set. A function the loaded
    library lacks (an older build) is an AttributeError only when used."""

    def __init__(self, path):
        self.path = path
        try:
            self._dll = ctypes.CDLL(path)
        except OSError as error:
            raise ZelError(
                f"cannot load the ZEL library ({error}); set {LIBRARY_VARIABLE} to the path of {LIBRARY_NAME}"
            ) from None
        for name, (result, arguments) in _PROTOTYPES.items():
            function = getattr(self._dll, name, None)
            if function is None:
                continue
            function.restype = result
            function.argtypes = arguments
            setattr(self, name, function)


_loaded = None
_loading = threading.Lock()


def library():
    """The library, loaded on first use."""
    global _loaded
    with _loading:
        if _loaded is None:
            _loaded = _Library(_find_library())
        return _loaded


class _Capture:
    """Descriptor 2 pointed at one scratch file, reused from call to call
    within one process. A forked child shares its parent's open files, so
    a child makes a scratch file of its own: through a shared one each
    would read, and cut, the other's messages."""

    def __init__(self):
        self._scratch = None
        self._owner = None
        libc = ctypes.CDLL(None)
        self._fflush = libc.fflush
        self._fflush.argtypes = [ctypes.c_void_p]
        self._c_stderr = ctypes.c_void_p.in_dll(libc, "stderr")

    def call(self, function, arguments):
        """function(*arguments) with descriptor 2 captured: (result, text)."""
        if self._owner != os.getpid():
            self._scratch = tempfile.TemporaryFile()
            self._owner = os.getpid()
        scratch = self._scratch.fileno()
        sys.stderr.flush()
        saved = os.dup(2)
        os.dup2(scratch, 2)
        try:
            result = function(*arguments)
        finally:
            self._fflush(self._c_stderr)
            os.dup2(saved, 2)
            os.close(saved)
        length = os.lseek(scratch, 0, os.SEEK_CUR)
        if not length:
            return result, ""
        os.lseek(scratch, 0, os.SEEK_SET)
        text = os.read(scratch, length).decode("utf-8", "replace")
        os.ftruncate(scratch, 0)
        os.lseek(scratch, 0, os.SEEK_SET)
        return result, text


_capture = _Capture()
_ERROR_PREFIX = "ERROR:  "


def library_message(output):
    """The library's printed text as an exception message: each line
    without its "ERROR:  " prefix, blank lines dropped."""
    lines = [line[len(_ERROR_PREFIX):] if line.startswith(_ERROR_PREFIX) else line for line in output.splitlines()]
    return "\n".join(line for line in lines if line.strip())


def checked(function, *arguments, failed=lambda result: result == 0, otherwise="the ZEL library call failed"):
    """Calls function with the library's messages captured. When failed(result)
    holds, raises ZelError with the library's message (or `otherwise` when
    it printed nothing); else prints what it printed, once, and gives the
    result."""
    result, output = _capture.call(function, arguments)
    if failed(result):
        raise ZelError(library_message(output) or otherwise, output)
    if output:
        sys.stderr.write(output)
        sys.stderr.flush()
    return result


# The library gives the handle it already holds for a path opened again:
# a handle is released with the last owner holding it.
_owners = {}


class HandleOwner:
    """Holds one Database handle: a context manager, and closed at the
    latest when collected."""

    _handle = None
    _closed_text = "the body is closed"

    def _adopt(self, handle):
        _owners[handle] = _owners.get(handle, 0) + 1
        self._handle = handle

    def _closing(self):
        """Drops what the owner keeps of the handle's data."""

    def close(self):
        """Releases the handle (the library deletes the body's temporary
        files and closes its file). Later calls raise ZelError; closing
        twice does nothing."""
        handle, self._handle = self._handle, None
        if not handle:
            return
        self._closing()
        _owners[handle] -= 1
        if _owners[handle] == 0:
            del _owners[handle]
            library().ZEL_UnLink(handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:  # interpreter shutdown: the library may be gone
            pass

    @property
    def closed(self):
        return not self._handle

    @property
    def _db(self):
        if not self._handle:
            raise ZelError(self._closed_text)
        return self._handle
