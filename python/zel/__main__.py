"""python3 -m zel plot|vtk: pictures of mode shapes and export to ParaView.

Exit status: 0 success, 2 a usage or read error (as the zel program).
"""

import argparse
import sys

from ._library import ZelError
from .body import open as open_body
from .plot import DEFAULT_DEFLECTION, DEFAULT_SIZE

EXIT_USAGE = 2


def mode_selection(text):
    """Ranges (first, last) of mode numbers from "1-10", "3" or "1,4,6-8"."""
    ranges = []
    for part in text.split(","):
        first, dash, last = part.strip().partition("-")
        try:
            low = int(first)
            high = int(last) if dash else low
        except ValueError:
            raise argparse.ArgumentTypeError(f"'{text}' is not a list of mode numbers (like 1-10 or 1,3,5-7)") from None
        if high < low:
            raise argparse.ArgumentTypeError(f"'{part}' is an empty range")
        ranges.append((low, high))
    return ranges


def selected_modes(ranges, numbers):
    """The body's mode numbers within the ranges; a single number the body
    lacks is named by the export's error, a range may hold gaps."""
    singles = [low for low, high in ranges if low == high]
    return sorted(set(singles) | {n for n in numbers for low, high in ranges if low <= n <= high})


def pixel_size(text):
    try:
        width, height = (int(v) for v in text.lower().split("x"))
    except ValueError:
        raise argparse.ArgumentTypeError(f"'{text}' is not a size in pixels (like 800x600)") from None
    if width < 1 or height < 1:
        raise argparse.ArgumentTypeError(f"'{text}' is not a size in pixels (like 800x600)")
    return width, height


def parser():
    top = argparse.ArgumentParser(prog="zel", description="Pictures of mode shapes and export to ParaView.")
    commands = top.add_subparsers(dest="command", required=True, metavar="COMMAND")
    plot = commands.add_parser(
        "plot",
        help="draw a mode shape",
        description="Draws the skin faces of FILE undeformed and deformed by one mode, coloured by "
        "displacement magnitude, with the mode number and frequency in the title.",
    )
    plot.add_argument("file", metavar="FILE")
    plot.add_argument("--mode", "-m", type=int, required=True, metavar="N", help="mode number")
    plot.add_argument("--output", "-o", required=True, metavar="OUT", help="the picture (.png, .svg, .pdf)")
    plot.add_argument(
        "--deflection",
        type=float,
        default=DEFAULT_DEFLECTION,
        metavar="F",
        help=f"largest drawn displacement as a fraction of the body size (default {DEFAULT_DEFLECTION})",
    )
    plot.add_argument(
        "--size", type=pixel_size, default=DEFAULT_SIZE, metavar="WxH", help="picture size in pixels (default 800x600)"
    )
    vtk = commands.add_parser(
        "vtk",
        help="export to a VTK XML UnstructuredGrid (.vtu) for ParaView",
        description="Writes the nodes, the skin faces, the masses and the modes of FILE as a .vtu "
        "file: point data mode_N (translations) and mode_N_rotation per mode.",
    )
    vtk.add_argument("file", metavar="FILE")
    vtk.add_argument("output", metavar="OUT.vtu")
    vtk.add_argument("--modes", type=mode_selection, metavar="LIST", help="mode numbers, like 1-10 (default every mode)")
    return top


def run(arguments):
    with open_body(arguments.file) as body:
        if arguments.command == "plot":
            body.plot_mode(arguments.mode, arguments.output, deflection=arguments.deflection, size=arguments.size)
        else:
            modes = None if arguments.modes is None else selected_modes(arguments.modes, body.mode_numbers.tolist())
            body.write_vtu(arguments.output, modes)


def main(argv=None):
    arguments = parser().parse_args(argv)
    try:
        run(arguments)
    except (ZelError, OSError, ValueError) as error:
        print(f"zel {arguments.command}: {error}", file=sys.stderr)
        return EXIT_USAGE
    return 0


if __name__ == "__main__":
    sys.exit(main())
