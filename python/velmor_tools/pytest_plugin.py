"""pytest plugin for testing robot programs on the simulated driver.

Installed with the package and found by pytest through the entry point
`pytest11`. It offers the fixtures `velmor_planner` and `velmor_driver`, the
marker `velmor(robot="ur5e", stepping=True, io_config=None)` and the options
`--velmor-record=failed|all|none` and `--velmor-record-dir=FOLDER`.

Every `velmor_driver` is recorded; the recording of a test that failed (or of
every test, with `--velmor-record=all`) is saved to the record folder, one file
per format in RECORDING_SUFFIXES, and the failure report names the files.
"""

from __future__ import annotations

import os
import pathlib
import re
from typing import Any, Generator, Iterator, Optional

import pytest

RECORD_MODES = ("failed", "all", "none")
DEFAULT_RECORD_DIR = "velmor-recordings"
# One saved file per suffix; Recording.save picks the format from the suffix.
RECORDING_SUFFIXES = (".jsonl", ".mcap")

_recording_key = pytest.StashKey[Any]()
_saved_key = pytest.StashKey[list[pathlib.Path]]()


def pytest_addoption(parser: pytest.Parser) -> None:
    group = parser.getgroup("velmor", "simulated robot driver")
    group.addoption("--velmor-record", choices=RECORD_MODES, default="failed",
                    help="save the recording of the velmor_driver fixture of failed tests (default), all tests "
                         "or none")
    group.addoption("--velmor-record-dir", default=DEFAULT_RECORD_DIR, metavar="FOLDER",
                    help=f"folder for saved recordings, relative to the root folder (default {DEFAULT_RECORD_DIR})")


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line(
        "markers",
        "velmor(robot='ur5e', stepping=True, io_config=None): the robot of velmor_planner (a name of "
        "velmor.robots, any letter case), whether velmor_driver steps, and the I/O it starts with (a JSON file "
        "path, a list of SimulatedDriver.Signal or a dict of names and values)")


def _marker_options(request: pytest.FixtureRequest) -> dict[str, Any]:
    options: dict[str, Any] = {"robot": "ur5e", "stepping": True, "io_config": None}
    marker = request.node.get_closest_marker("velmor")
    if marker is not None:
        if marker.args:
            raise pytest.UsageError("@pytest.mark.velmor takes keyword arguments only: robot, stepping, io_config")
        unknown = set(marker.kwargs) - set(options)
        if unknown:
            raise pytest.UsageError(f"@pytest.mark.velmor: unknown arguments {sorted(unknown)}; "
                                    f"known are {sorted(options)}")
        options.update(marker.kwargs)
    return options


def _robot(name: str) -> Any:
    import velmor

    classes = {key.lower(): value for key, value in vars(velmor.robots).items()
               if isinstance(value, type) and not key.startswith("_")}
    robot_class = classes.get(name.lower())
    if robot_class is None:
        raise pytest.UsageError(f"@pytest.mark.velmor: no robot {name!r} in velmor.robots; "
                                f"known are {sorted(classes)}")
    return robot_class()


def _load_io(driver: Any, io_config: Any) -> None:
    if io_config is None:
        return
    if isinstance(io_config, (str, os.PathLike)):
        driver.load_io_config_from_file(os.fspath(io_config))
    elif isinstance(io_config, dict):
        for name, value in io_config.items():
            driver.create_io(name, value)
    else:
        driver.load_io_config(list(io_config))


@pytest.fixture
def velmor_planner(request: pytest.FixtureRequest) -> Any:
    """A planner whose environment holds the marker's robot (the built-in UR5e by default)."""
    import velmor

    return velmor.Planner(velmor.Environment(_robot(_marker_options(request)["robot"])))


@pytest.fixture
def velmor_driver(request: pytest.FixtureRequest, velmor_planner: Any) -> Iterator[Any]:
    """A recorded simulated driver at time_speed 0, stepping unless the marker says otherwise.

    It is disconnected at teardown, where an error that an event action raised
    during the test is raised again and fails the test.
    """
    from velmor_driver_simulated import SimulatedDriver

    options = _marker_options(request)
    driver = SimulatedDriver(velmor_planner)
    try:
        driver.time_speed = 0.0
        driver.stepping = bool(options["stepping"])
        _load_io(driver, options["io_config"])
        if request.config.getoption("velmor_record") != "none":
            request.node.stash[_recording_key] = driver.record()
    except BaseException:
        driver.disconnect()
        raise
    yield driver
    recording = request.node.stash.get(_recording_key, None)
    if recording is not None:
        recording.stop()
    driver.disconnect()


def _record_folder(config: pytest.Config) -> pathlib.Path:
    folder = pathlib.Path(config.getoption("velmor_record_dir"))
    return folder if folder.is_absolute() else config.rootpath / folder


def _file_stem(nodeid: str) -> str:
    return re.sub(r"[^A-Za-z0-9_.-]+", "_", nodeid).strip("_") or "test"


def save_recording(recording: Any, folder: pathlib.Path, stem: str) -> list[pathlib.Path]:
    """Saves the recording once per suffix of RECORDING_SUFFIXES; returns the files."""
    folder.mkdir(parents=True, exist_ok=True)
    recording.stop()
    paths = [folder / (stem + suffix) for suffix in RECORDING_SUFFIXES]
    for path in paths:
        recording.save(str(path))
    return paths


def _save_once(item: pytest.Item) -> Optional[list[pathlib.Path]]:
    recording = item.stash.get(_recording_key, None)
    if recording is None or _saved_key in item.stash:
        return None
    item.stash[_saved_key] = save_recording(recording, _record_folder(item.config), _file_stem(item.nodeid))
    return item.stash[_saved_key]


@pytest.hookimpl(hookwrapper=True)  # type: ignore[misc]  # pluggy 1.0 has no types
def pytest_runtest_makereport(item: pytest.Item, call: pytest.CallInfo[None]) -> Generator[None, Any, None]:
    outcome = yield
    report: pytest.TestReport = outcome.get_result()
    mode = item.config.getoption("velmor_record")
    wanted = (mode == "failed" and report.failed and call.when in ("call", "teardown")) or \
             (mode == "all" and call.when == "teardown")
    if not wanted:
        return
    paths = _save_once(item)
    if paths:
        report.sections.append(("velmor recording", "\n".join(f"saved to {path}" for path in paths)))
