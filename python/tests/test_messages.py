"""Where the library's lines go from Python: nothing by default,
information on sys.stderr with verbose=True, progress only on a terminal."""

import ctypes
import io
import sys
import warnings

import pytest

import zel
from test_builder import strip

PROGRESS = ["\r 50%,    0 seconds left of    0 estimated total", "\r100%,    0 seconds left of    0 estimated total"]


# The reader's lines for a picture renamed: its first word is no version code.
NOT_ZEL = "Unknown version code 0x89504E47: not a ZEL file.\nNot a valid ZEL format."


class Terminal(io.StringIO):
    def isatty(self):
        return True


def test_building_and_writing_print_nothing_by_default(tmp_path, capfd):
    with warnings.catch_warnings(record=True) as record:
        warnings.simplefilter("always")
        with zel.Builder(expected_nodes=6, max_modes=2) as builder:
            strip(builder)
            builder.write(tmp_path / "strip.zel")
        with zel.open(tmp_path / "strip.zel") as body:
            body.invariants()
    assert [str(w.message) for w in record] == []
    assert capfd.readouterr() == ("", "")


def test_verbose_writes_the_information_on_standard_error(capfd):
    with zel.Builder(verbose=True) as builder:
        builder.set_header("strip", "strip.fem", "FEM", ("one", "", ""))
    printed = capfd.readouterr()
    assert printed.out == ""
    assert printed.err == "Title: strip\nName : strip.fem\nType : FEM\nComment 1: one\nComment 2: \nComment 3: \n"


def test_a_verbose_write_reports_its_steps(tmp_path, capfd):
    with zel.Builder(expected_nodes=6, max_modes=2) as builder:
        strip(builder)
        capfd.readouterr()
        builder.write(tmp_path / "quiet.zel", options="no_ortho")
        assert capfd.readouterr().err == ""
        builder.write(tmp_path / "told.zel", options="no_ortho", verbose=True)
        assert "\nGlobal body properties:\n" in capfd.readouterr().err


def library_progress(then_information):
    """Two progress steps through the library's own monitor, then (when
    asked) one information line."""
    dll = zel._library.library()._dll
    dll.ZEL_TimeMonitor.argtypes = [ctypes.c_int]
    dll.ZEL_TimeMonitor(2)
    dll.ZEL_TimeMonitorStamp()
    dll.ZEL_TimeMonitorStamp()
    if then_information:
        dll.ZEL_Info(b"%s", b"after the progress")
    return 1


@pytest.mark.parametrize(
    "stream, verbose, printed",
    [
        (Terminal, False, "".join(PROGRESS) + "\n"),
        (Terminal, True, "".join(PROGRESS) + "\nafter the progress\n"),
        (io.StringIO, False, ""),
        (io.StringIO, True, "after the progress\n"),
    ],
    ids=["terminal", "terminal-verbose", "pipe", "pipe-verbose"],
)
def test_progress_is_one_line_ended_on_a_terminal_only(monkeypatch, stream, verbose, printed):
    error = stream()
    monkeypatch.setattr(sys, "stderr", error)
    zel._library.checked(library_progress, True, verbose=verbose)
    assert error.getvalue() == printed


def test_a_picture_renamed_raises_the_readers_one_line(tmp_path, capfd):
    picture = tmp_path / "picture.zel"
    picture.write_bytes(b"\x89PNG\r\n\x1a\n" + bytes(200))
    with pytest.raises(zel.ZelError) as raised:
        zel.open(picture)
    assert str(raised.value) == NOT_ZEL
    assert raised.value.output == "".join(f"ERROR:  {line}\n" for line in NOT_ZEL.split("\n"))
    assert capfd.readouterr() == ("", "")
