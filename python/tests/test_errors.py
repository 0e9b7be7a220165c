"""Library errors become ZelError with the library's message, printed
nowhere; warnings of calls that succeed are one ZelWarning."""

import os
import subprocess
import sys

import pytest

import zel
from conftest import SOURCE, sample_path

ROOM_FOR_MODES = "Insufficient room for mode 2 in temporary mode shape file.  \nSpecify larger number of modes in ZEL_Create."


@pytest.mark.parametrize(
    "content, message",
    [
        (
            lambda: sample_path(316).read_bytes()[:300],
            "The file is truncated: it ends at byte 300, before the end of its content summary at byte 2580.\n"
            "Problem reading ZEL table of contents.",
        ),
        (
            lambda: b"hello world, not a body\n",
            "Unknown version code 0x68656C6C: not a ZEL file.\nNot a valid ZEL format.",
        ),
        (lambda: b"", "The file is empty.\nNot a valid ZEL format."),
    ],
    ids=["truncated", "text", "empty"],
)
def test_a_file_the_reader_refuses_raises_its_message_once(tmp_path, capfd, content, message):
    path = tmp_path / "bad.zel"
    path.write_bytes(content())
    with pytest.raises(zel.ZelError) as raised:
        zel.open(path)
    assert str(raised.value) == message
    assert raised.value.output == "".join(f"ERROR:  {line}\n" for line in message.splitlines())
    assert capfd.readouterr().err == ""


def test_a_missing_file_is_the_usual_os_error(tmp_path):
    with pytest.raises(FileNotFoundError):
        zel.open(tmp_path / "missing.zel")


def test_a_builder_error_carries_every_line_of_the_message(capfd):
    with zel.Builder(expected_nodes=10, max_modes=1) as builder:
        builder.add_nodes([1, 2], [[0.0, 0.0, 0.0], [1.0, 0.0, 0.0]])
        builder.set_mode(1, [1, 2], [[0.0] * 6, [1.0] * 6])
        with pytest.raises(zel.ZelError) as raised:
            builder.set_mode(2, [1], [[0.0] * 6])
    assert str(raised.value) == ROOM_FOR_MODES
    assert raised.value.output == "".join(f"ERROR:  {line}\n" for line in (ROOM_FOR_MODES + "\n").split("\n"))
    assert capfd.readouterr().err == ""


def test_silent_refusals_get_a_message_of_their_own(capfd):
    with zel.Builder() as builder:
        with pytest.raises(zel.ZelError, match="^no node 5 to mark as an interface node$"):
            builder.set_interface_nodes([5])
        with pytest.raises(zel.ZelError, match="^cannot set units: one of FURLONG, METER, SECOND, NEWTON is not a known unit$"):
            builder.set_units("FURLONG", "METER", "SECOND", "NEWTON")
    assert capfd.readouterr().err == ""


def test_warnings_of_a_call_that_succeeds_are_one_warning_naming_the_callers_line(capfd):
    with zel.Builder() as builder:
        with pytest.warns(zel.ZelWarning) as record:
            builder.set_header(title="x" * 200)
    assert [str(w.message) for w in record] == ["Title too big: max size 127, specified size 200.\nTruncating title."]
    assert record[0].filename == __file__
    assert capfd.readouterr() == ("", "")


def test_closed_builder_refuses_calls():
    builder = zel.Builder()
    builder.close()
    with pytest.raises(zel.ZelError, match="^the builder is closed$"):
        builder.add_nodes([1], [[0.0, 0.0, 0.0]])


def test_a_library_path_that_is_not_a_file_is_named(tmp_path):
    missing = tmp_path / "libzel.so"
    run = subprocess.run(
        [sys.executable, "-c", f"import zel; zel.open({str(sample_path(60))!r})"],
        env={**os.environ, "ZEL_LIBRARY": str(missing), "PYTHONPATH": str(SOURCE / "python")},
        capture_output=True,
        text=True,
    )
    assert run.returncode == 1
    assert run.stderr.splitlines()[-1] == f"zel._library.ZelError: ZEL_LIBRARY names {missing}, which is not a file"
