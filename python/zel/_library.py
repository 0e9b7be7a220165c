"""Loading libzel.so, the prototypes of the C functions used, and the
routing of the library's messages.

The library sends every line it would print to a handler installed here
at loading, so the package prints nothing of its own accord:

- errors of a call that fails become the ZelError it raises;
- warnings (and error lines of a call that still succeeds) are issued
  through Python's warnings module as ZelWarning, once per call, naming
  the caller's line: filter, record or turn them into exceptions as any
  other warning (warnings.simplefilter("ignore", zel.ZelWarning));
- information lines are dropped unless the call was asked to be verbose
  (verbose=True), and then written on sys.stderr as they come;
- progress is shown only when sys.stderr is a terminal, as one line
  rewritten in place and ended with a line feed.
"""

import ctypes
import ctypes.util
import os
import sys
import sysconfig
import threading
import warnings

LIBRARY_VARIABLE = "ZEL_LIBRARY"
LIBRARY_NAME = "libzel.so"


class ZelError(RuntimeError):
    """A failure the library reported. str(error) is the library's message,
    one line per line; `output` holds every error and warning line of the
    call as the library prints them without a handler ("ERROR:  " and
    "WARNING:  " prefixes)."""

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
    "ZEL_RigidBodyModeCount": (_I, [_P]),
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
    "ZEL_SetNodeCoordinatesArray": (_I, [_P, _I, _P, _P]),
    "ZEL_SetNodalMassArray": (_I, [_P, _I, _P, _P]),
    "ZEL_SetNodalInertiaArray": (_I, [_P, _I, _P, _P]),
    "ZEL_SetFaceList": (_I, [_P, _I, _P]),
    "ZEL_SetInterfaceNode": (_I, [_P, _I]),
    "ZEL_SetModeVecArray": (_I, [_P, _I, _I, _I, _P, _P]),
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
        _install_handler(self._dll)


_loaded = None
_loading = threading.Lock()


def library():
    """The library, loaded on first use."""
    global _loaded
    with _loading:
        if _loaded is None:
            _loaded = _Library(_find_library())
        return _loaded


ERROR, WARNING, INFO, PROGRESS = 1, 2, 3, 4
_PREFIXES = {ERROR: "ERROR:  ", WARNING: "WARNING:  "}
_HANDLER_TYPE = ctypes.CFUNCTYPE(None, ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p)
_PACKAGE = os.path.dirname(os.path.abspath(__file__))


class _Call:
    """The lines one library call sent, kept until it returns."""

    def __init__(self, verbose):
        self.verbose = verbose
        self.lines = []  # (kind, text) of errors and warnings, in order

    def texts(self, kind):
        return [text for k, text in self.lines if k == kind]


class _Messages:
    """The handler installed in the library: every line arrives here
    instead of being printed. The ctypes callback object lives as long as
    this (module-level) object, so the library never calls a freed one."""

    def __init__(self):
        self._call = None
        self._progress_shown = False
        self._lock = threading.Lock()
        self.handler = _HANDLER_TYPE(self._receive)

    def _receive(self, kind, line, _context):
        text = (line or b"").decode("utf-8", "replace")
        with self._lock:
            if kind != PROGRESS:
                self._end_progress()
            call = self._call
            if kind == PROGRESS:
                self._show_progress(text)
            elif kind == INFO:
                if call is not None and call.verbose:
                    sys.stderr.write(text + "\n")
            elif call is not None:
                call.lines.append((kind, text))
        if call is None and kind in _PREFIXES:
            # Outside a checked call (a query that warns): as a call's own.
            _warn([text])

    def _show_progress(self, text):
        stream = sys.stderr
        if not (hasattr(stream, "isatty") and stream.isatty()):
            return
        stream.write("\r" + text)
        stream.flush()
        self._progress_shown = True

    def _end_progress(self):
        if self._progress_shown:
            sys.stderr.write("\n")
            sys.stderr.flush()
            self._progress_shown = False

    def call(self, function, arguments, verbose):
        """function(*arguments) with its messages kept: (result, _Call)."""
        with self._lock:
            outer, self._call = self._call, _Call(verbose)
            call = self._call
        try:
            result = function(*arguments)
        finally:
            with self._lock:
                self._end_progress()
                self._call = outer
        return result, call


class ZelWarning(UserWarning):
    """A warning of the ZEL library (or an error line of a call that still
    succeeded): the message is the library's text, one line per line."""


def _caller_stacklevel():
    """The stacklevel of warnings.warn that names the first frame outside
    this package: the user's line that called into it."""
    frame, level = sys._getframe(1), 1
    while frame is not None and os.path.dirname(os.path.abspath(frame.f_code.co_filename)) == _PACKAGE:
        frame, level = frame.f_back, level + 1
    return level


def _warn(lines):
    text = "\n".join(line for line in lines if line.strip())
    if text:
        warnings.warn(ZelWarning(text), stacklevel=_caller_stacklevel())


_messages = _Messages()


def _install_handler(dll):
    handler = getattr(dll, "ZEL_SetMessageHandler", None)
    if handler is None:
        return
    handler.restype = None
    handler.argtypes = [_HANDLER_TYPE, ctypes.c_void_p]
    handler(_messages.handler, None)


def checked(
    function, *arguments, failed=lambda result: result == 0, otherwise="the ZEL library call failed", verbose=False
):
    """Calls function with the library's messages kept. When failed(result)
    holds, raises ZelError with the library's error lines (or `otherwise`
    when it sent none); else gives the result. Warnings (and the error
    lines of a call that succeeds) are issued as one ZelWarning; with
    verbose, information lines are written on sys.stderr as they come."""
    result, call = _messages.call(function, arguments, verbose)
    output = "".join(f"{_PREFIXES[kind]}{text}\n" for kind, text in call.lines)
    if failed(result):
        if call.texts(WARNING):
            _warn(call.texts(WARNING))
        message = "\n".join(line for line in call.texts(ERROR) if line.strip())
        raise ZelError(message or otherwise, output)
    if call.lines:
        _warn([text for _, text in call.lines])
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
