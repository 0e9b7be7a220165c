"""python3 -m zel plot|vtk: pictures of mode shapes and export for VTK
readers, with the arguments, messages and exit statuses of the zel program
(0 success, 2 a usage, read or output error)."""

import errno
import math
import os
import stat
import sys
import warnings

from ._library import ZelError, ZelWarning
from .body import open as open_body
from .plot import DEFAULT_DEFLECTION, DEFAULT_SIZE, PICTURE_SUFFIXES, plot_modes
from .vtu import FORMATS, export

EXIT_SUCCESS, EXIT_USAGE = 0, 2
python_showwarning = warnings.showwarning
LARGEST_SIDE = 10000  # pixels
SMALLEST_SIDE = 100
MOST_MODES_IN_A_PICTURE = 25  # a 5 x 5 grid
# The zel program's message options, before COMMAND or among its arguments.
VERBOSITY_OPTIONS = {"-q": "quiet", "--quiet": "quiet", "-v": "verbose", "--verbose": "verbose"}

PYTHON_NOTE = (
    "Runs the Python package: python3 -m zel (ZEL_PYTHON names another\n"
    "interpreter), which must be installed or on PYTHONPATH, with numpy and\n"
    "matplotlib. Exit status: 0 success, 2 usage, read or output error.\n"
)

HELP = {
    "plot": (
        "plot FILE (--mode N | --modes LIST) -o OUT [--deflection F] [--size WxH]",
        "Draws the skin faces of FILE deformed by a mode, shaded and coloured by\n"
        "the translation's magnitude, over a faint outline of the undeformed\n"
        "body, into the picture OUT (.png, .svg, .pdf). The title gives the mode\n"
        "number and frequency and names rigid-body modes. Mode shapes have no\n"
        "length unit: the colour bar says how they are scaled. Several modes make\n"
        "one grid picture, each coloured relative to its largest translation.\n"
        "\n"
        "  --mode N         the mode to draw\n"
        "  --modes LIST     the modes to draw side by side, like 1-6 or 1,3,7-9\n"
        f"                   (at most {MOST_MODES_IN_A_PICTURE})\n"
        "  -o, --output OUT the picture\n"
        "  --deflection F   largest drawn displacement as a fraction of the body\n"
        f"                   size (default {DEFAULT_DEFLECTION})\n"
        f"  --size WxH       picture size in pixels (default {DEFAULT_SIZE[0]}x{DEFAULT_SIZE[1]})\n"
        "\n" + PYTHON_NOTE,
    ),
    "vtk": (
        "vtk FILE OUT [--modes LIST]",
        "Writes the nodes, skin faces, masses and modes of FILE for VTK readers,\n"
        "in the format the name OUT ends in: .vtu (XML), .vtk (legacy, binary),\n"
        ".pvd (a collection of one .vtu per mode in the folder OUT without .pvd,\n"
        "its time step the mode number, to step through the modes). Point data\n"
        "per mode: translations, rotations unless all zero, and the modal\n"
        "stresses and strains as symmetric tensors (tensor shear strains) when\n"
        "FILE has them.\n"
        "\n"
        "  --modes LIST   mode numbers, like 1-10 or 1,3,5-7 (default every mode)\n"
        "\n" + PYTHON_NOTE,
    ),
}


class UsageError(Exception):
    pass


class CommandError(Exception):
    """A failure, printed after the program's name (`zel`) or, without
    `program_only`, the command's (`zel plot`); exit status 2."""

    def __init__(self, message, program_only=False):
        super().__init__(message)
        self.program_only = program_only


def mode_number(text):
    try:
        return int(text)
    except ValueError:
        raise UsageError(f"'{text}' is not a mode number") from None


def mode_selection(text):
    """Ranges (first, last) of mode numbers from "1-10", "3" or "1,4,6-8"."""
    ranges = []
    for part in text.split(","):
        first, dash, last = part.strip().partition("-")
        try:
            low = int(first)
            high = int(last) if dash else low
        except ValueError:
            low, high = 1, 0
        if high < low:
            raise UsageError(f"'{text}' is not a list of mode numbers (like 1-6 or 1,3,5-7)")
        ranges.append((low, high))
    return ranges


def deflection(text):
    try:
        value = float(text)
    except ValueError:
        value = math.nan
    if not (math.isfinite(value) and value > 0.0):
        raise UsageError(f"'{text}' is not a deflection (a number above 0)")
    return value


def pixel_size(text):
    try:
        width, height = (int(v) for v in text.lower().split("x"))
    except ValueError:
        width = height = 0
    if not all(SMALLEST_SIDE <= side <= LARGEST_SIDE for side in (width, height)):
        raise UsageError(
            f"'{text}' is not a size in pixels (like 800x600, {SMALLEST_SIDE} to {LARGEST_SIDE} a side)"
        )
    return width, height


def output_name(suffixes):
    def check(text):
        if os.path.splitext(text)[1].lower() not in suffixes:
            raise UsageError(f"'{text}' is not a {', '.join(suffixes[:-1])} or {suffixes[-1]} name")
        return text

    return check


# command: (positional names, {option: (key, converter)})
_ARGUMENTS = {
    "plot": (
        ("FILE",),
        {
            "--mode": ("mode", mode_number),
            "-m": ("mode", mode_number),
            "--modes": ("modes", mode_selection),
            "--output": ("output", output_name(PICTURE_SUFFIXES)),
            "-o": ("output", output_name(PICTURE_SUFFIXES)),
            "--deflection": ("deflection", deflection),
            "--size": ("size", pixel_size),
        },
    ),
    "vtk": (("FILE", "OUT"), {"--modes": ("modes", mode_selection)}),
}


def parse(command, argv):
    """The command's arguments as a dict: FILE (and OUT), and each option
    given under its key."""
    names, options = _ARGUMENTS[command]
    found, positional, at = {}, [], 0
    while at < len(argv):
        arg = argv[at]
        at += 1
        if arg in VERBOSITY_OPTIONS:
            found["verbosity"] = VERBOSITY_OPTIONS[arg]
        elif arg.startswith("-") and len(arg) > 1:
            option, equals, value = arg.partition("=") if arg.startswith("--") else (arg, "", "")
            if option not in options:
                raise UsageError(f"unknown option '{option}'")
            if not equals:
                if at == len(argv):
                    raise UsageError(f"option '{option}' needs a value")
                value, at = argv[at], at + 1
            key, convert = options[option]
            found[key] = convert(value)
        elif len(positional) < len(names):
            positional.append(arg)
        else:
            raise UsageError(f"unexpected argument '{arg}'")
    for name, value in zip(names, positional):
        found[name] = value
    if len(positional) < len(names):
        raise UsageError(f"missing {names[len(positional)]}")
    if command == "vtk":
        output_name(FORMATS)(found["OUT"])
    else:
        if "output" not in found:
            raise UsageError("missing -o OUT")
        if ("mode" in found) == ("modes" in found):
            raise UsageError("needs one of --mode N and --modes LIST")
    return found


def unreadable_reason(path):
    """Why path cannot be a body's file (as the system words it), or None.
    Opened without blocking, so that a pipe is refused, not waited on."""
    try:
        descriptor = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    except OSError as error:
        return os.strerror(error.errno)
    try:
        mode = os.fstat(descriptor).st_mode
    finally:
        os.close(descriptor)
    if stat.S_ISDIR(mode):
        return os.strerror(errno.EISDIR)
    return None if stat.S_ISREG(mode) else "not a regular file"


def ranges_text(ranges):
    return ",".join(f"{low}" if low == high else f"{low}-{high}" for low, high in ranges)


def mode_list_text(numbers):
    """Mode numbers as ascending ranges: 1-6,9."""
    if not numbers:
        return "none"
    numbers = sorted(numbers)
    runs, start = [], numbers[0]
    for previous, number in zip(numbers, numbers[1:] + [None]):
        if number != previous + 1:
            runs.append((start, previous))
            start = number
    return ranges_text(runs)


def chosen_modes(body, ranges):
    """The body's modes within the ranges, in the body's order. A single
    number the body lacks is an error, as is a selection of nothing; a
    range may hold gaps."""
    numbers = [int(n) for n in body.mode_numbers]
    known = set(numbers)
    for low, high in ranges:
        if low == high and low not in known:
            raise CommandError(f"{body.path}: no mode {low} (its modes: {mode_list_text(numbers)})")
    chosen = [n for n in numbers if any(low <= n <= high for low, high in ranges)]
    if not chosen:
        raise CommandError(f"{body.path}: no mode in {ranges_text(ranges)} (its modes: {mode_list_text(numbers)})")
    return chosen


def run(command, arguments):
    path = arguments["FILE"]
    reason = unreadable_reason(path)
    if reason is not None:
        raise CommandError(f"{path}: {reason}", program_only=True)
    verbosity = arguments.get("verbosity")
    if verbosity == "quiet":
        warnings.simplefilter("ignore", ZelWarning)
    try:
        body = open_body(path, verbose=verbosity == "verbose")
    except ZelError as error:
        # The first error is the cause, named as the other commands name it.
        cause = str(error).split("\n", 1)[0]
        raise CommandError(f"{path}: {cause}", program_only=True) from None
    with body:
        if command == "plot":
            ranges = arguments.get("modes") or [(arguments["mode"], arguments["mode"])]
            out = arguments["output"]
            modes = chosen_modes(body, ranges)
            if len(modes) > MOST_MODES_IN_A_PICTURE:
                raise CommandError(
                    f"{len(modes)} modes selected; one picture holds at most {MOST_MODES_IN_A_PICTURE}"
                )
            write = lambda: plot_modes(  # noqa: E731
                body,
                modes,
                out,
                deflection=arguments.get("deflection", DEFAULT_DEFLECTION),
                size=arguments.get("size", DEFAULT_SIZE),
            )
        else:
            out = arguments["OUT"]
            modes = None if "modes" not in arguments else chosen_modes(body, arguments["modes"])
            write = lambda: export(body, out, modes)  # noqa: E731
        try:
            write()
        except OSError as error:
            raise CommandError(f"{out}: {error.strerror or error}") from None


def usage_error(command, message):
    print(f"zel {command}: {message}\nTry 'zel {command} --help'.", file=sys.stderr)
    return EXIT_USAGE


def show_library_warning(message, category, filename, lineno, file=None, line=None):
    """The library's warnings as the zel program prints them: each line
    after "WARNING:  " on standard error, without Python's source line."""
    if not issubclass(category, ZelWarning):
        return python_showwarning(message, category, filename, lineno, file, line)
    for text in str(message).split("\n"):
        print(f"WARNING:  {text}", file=sys.stderr if file is None else file)


def main(argv=None):
    with warnings.catch_warnings():
        warnings.showwarning = show_library_warning
        return run_command_line(sys.argv[1:] if argv is None else [os.fspath(arg) for arg in argv])


def run_command_line(argv):
    verbosity = []
    while argv and argv[0] in VERBOSITY_OPTIONS:
        verbosity, argv = verbosity + [argv[0]], argv[1:]
    if argv and argv[0] in ("--help", "-h"):
        commands = "".join(f"  zel {synopsis}\n" for synopsis, _ in HELP.values())
        print(f"Usage: python3 -m zel [-q|-v] COMMAND [ARGS...]\n\nCommands:\n{commands}\n'zel COMMAND --help' explains a command.")
        return EXIT_SUCCESS
    if not argv or argv[0] not in HELP:
        problem = f"unknown command '{argv[0]}'" if argv else "missing COMMAND"
        print(f"zel: {problem}\nTry 'zel --help'.", file=sys.stderr)
        return EXIT_USAGE
    command, rest = argv[0], argv[1:]
    if any(arg in ("--help", "-h") for arg in rest):
        synopsis, text = HELP[command]
        print(f"Usage: zel {synopsis}\n\n{text}", end="")
        return EXIT_SUCCESS
    try:
        arguments = parse(command, verbosity + rest)
    except UsageError as error:
        return usage_error(command, error)
    try:
        run(command, arguments)
    except CommandError as error:
        print(f"zel{'' if error.program_only else ' ' + command}: {error}", file=sys.stderr)
        return EXIT_USAGE
    except ZelError as error:
        print(f"zel {command}: {error}", file=sys.stderr)
        return EXIT_USAGE
    except ModuleNotFoundError as error:
        print(f"zel {command}: {sys.executable} finds no Python module {error.name}: install it", file=sys.stderr)
        return EXIT_USAGE
    return EXIT_SUCCESS


if __name__ == "__main__":
    sys.exit(main())
