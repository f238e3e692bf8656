"""The I/O configuration file: paths and contents that are no configuration.
Each load runs in a child process under a memory cap and a deadline."""

import pytest

from conftest import run_python

LOAD = r"""
import json, sys
import velmor_driver_simulated as vds
controller = vds.SimulatedDriver.Controller(serve_io_viewer=False)
controller.create_io("keep", 7)
try:
    controller.load_io_config_from_file(sys.argv[1])
    error = None
except RuntimeError as raised:
    error = str(raised)
print(json.dumps({"error": error, "keep": controller.get_digital_input("keep"),
                  "a": controller.get_digital_input("a")}))
"""

DIRECTORY = object()
CASES = {
    "a directory": (DIRECTORY, "Could not open the I/O config json file at '{folder}'.", None),
    "a missing file with a name that is not UTF-8": (
        b"/nonexistent/io-\xff.json", "Could not open the I/O config json file at '/nonexistent/io-\\xff.json'.",
        None),
    "a key that is not UTF-8": (b'{"\xff": 1, "a": 1}', 'ill-formed UTF-8 byte; last read: \'"\\xff\'', None),
    "a piece of a character outside a string": ('{"a": \u00e9}'.encode(), "invalid literal; last read: '\"a\": \\xc3'",
                                                None),
    "text after a NUL byte": (b'{"a": 1}\x00{"b": 2}', "parse error at byte 9: syntax error - a NUL byte", None),
    "a NUL byte first": (b'\x00{"a": 1}', "parse error at byte 1: syntax error - a NUL byte", None),
    "a NUL byte in a name": (b'{"a\x00": 1}', "parse error at byte 4", None),
    "endless NUL bytes": ("/dev/zero", "parse error at byte 1: syntax error - a NUL byte", None),
    "a number beyond double range": (b'{"a": 1e999}', "number overflow", None),
    "arrays nested 200000 deep": (b"[" * 200000 + b"]" * 200000, None, None),
    "a byte order mark": (b'\xef\xbb\xbf{"a": 1}', None, 1),
}


@pytest.mark.parametrize("case", CASES, ids=list(CASES))
def test_unusable_files_are_reported_clearly_and_change_nothing(tmp_path, case):
    content, message, a = CASES[case]
    if content is DIRECTORY:
        path = str(tmp_path)
    elif isinstance(content, str) or content.startswith(b"/"):
        path = content
    else:
        path = tmp_path / "io.json"
        path.write_bytes(content)
    outcome = run_python(LOAD, path)
    if message is None:
        assert outcome["error"] is None
    else:
        assert message.format(folder=tmp_path) in outcome["error"]
    assert outcome["keep"] == 7
    assert outcome["a"] == a
