"""The simulated I/O classes from scripts: Signal, Controller and the I/O
members of SimulatedDriver. Tests that start the viewer use port 8679; pytest
runs them one after another."""

import asyncio
import json
import signal
import socket
import subprocess
import sys
import textwrap
import time

import pytest
import websockets

import velmor_driver_simulated as vds
from velmor_driver_simulated import SimulatedDriver

Signal = SimulatedDriver.Signal
Controller = SimulatedDriver.Controller


def viewer_answers(port=8679):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.5):
            return True
    except OSError:
        return False


def wait_until(condition, timeout=5.0):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.01)
    return True


@pytest.fixture
def controller():
    return Controller(serve_io_viewer=False)


@pytest.fixture
def io_driver(planner):
    created = SimulatedDriver(planner)
    yield created
    created.disconnect()


def test_classes_are_nested_in_the_driver_with_their_docstrings():
    assert Signal.__qualname__ == "SimulatedDriver.Signal"
    assert Controller.__qualname__ == "SimulatedDriver.Controller"
    assert Signal.__doc__ == "A simulated I/O Signal"
    assert not Controller.__doc__
    assert Signal.name.__doc__ == "The name of the I/O signal"
    assert Signal.value.__doc__ == "The current value of the signal"
    assert Signal.description.__doc__ == "Description of the signal, as shown in UI"
    assert SimulatedDriver.create_io.__doc__.rstrip().endswith("Create a simulated I/O")


def test_io_members_are_registered_after_the_driver_members():
    names = [name for name in vars(SimulatedDriver) if not name.startswith("_")]
    assert names.index("Signal") < names.index("Controller") < names.index("time_speed")
    io_members = ["set_current_joint_position", "create_io", "load_io_config", "load_io_config_from_file"]
    later_members = ["inject_fault", "active_fault", "clear_fault", "safety_limits", "stepping", "step", "step_until",
                     "pacing", "add_device", "remove_device", "devices"]
    assert names[-len(io_members) - len(later_members):] == io_members + later_members
    controller_names = [name for name in vars(Controller) if not name.startswith("_")]
    assert controller_names == [
        "connect_result", "create_io", "load_io_config", "load_io_config_from_file", "get_digital_input",
        "set_digital_output", "add_device", "remove_device", "devices", "clock", "advance",
    ]


def test_signal_from_a_name_alone_is_analog_zero_without_description():
    signal = Signal("x")
    assert signal.name == "x"
    assert type(signal.value) is float and signal.value == 0.0
    assert signal.description is None


def test_signal_float_value_reads_back_in_single_precision():
    signal = Signal(name="a", value=1, description="gripper")
    assert type(signal.value) is int and signal.value == 1
    signal.value = 0.1
    assert type(signal.value) is float
    assert signal.value == 0.10000000149011612
    signal.description = None
    assert signal.description is None


def test_signal_rejects_values_of_other_types():
    with pytest.raises(TypeError):
        Signal("x", "1")
    with pytest.raises(TypeError):
        Signal("x", 1, 5)
    signal = Signal("x", 3)
    with pytest.raises(TypeError):
        signal.value = [1]
    assert signal.value == 3


def test_driver_create_io_int_is_digital_and_float_is_analog(io_driver):
    io_driver.create_io(name="door", default_value=1)
    assert io_driver.get_digital_input("door") == 1
    io_driver.create_io("level", 1.0)
    assert io_driver.get_digital_input("level") is None
    assert io_driver.set_digital_output("level", 0) is False
    io_driver.create_io("door", 0.5)
    assert io_driver.get_digital_input("door") is None
    assert io_driver.get_analog_input("level") is None


def test_class_flag_guards_only_the_drivers_digital_input(io_driver):
    io_driver.create_io("gripper", 0)
    SimulatedDriver.connect_result = False
    assert io_driver.get_digital_input("gripper") is None
    assert io_driver.set_digital_output("gripper", 1) is True
    SimulatedDriver.connect_result = True
    assert io_driver.get_digital_input("gripper") == 1


def test_controller_flag_is_its_own(controller):
    controller.create_io("gripper", 0)
    assert controller.connect_result is True
    SimulatedDriver.connect_result = False
    assert controller.get_digital_input("gripper") == 0
    SimulatedDriver.connect_result = True
    controller.connect_result = False
    assert controller.get_digital_input("gripper") is None
    assert controller.set_digital_output(name="gripper", value=1) is False
    controller.connect_result = True
    assert controller.get_digital_input(name="gripper") == 0


def test_controller_stores_digital_values_unchanged(controller):
    controller.create_io(name="count", default_value=0)
    assert controller.set_digital_output("count", 5) is True
    assert controller.get_digital_input("count") == 5
    assert controller.get_digital_input("missing") is None
    assert controller.set_digital_output("missing", 1) is False
    with pytest.raises(TypeError):
        controller.set_digital_output("count", 1.5)
    assert controller.get_digital_input("count") == 5


def test_load_io_config_copies_the_signals(controller):
    first = Signal("a", 1)
    config = [first, Signal("b", 0.5, "analog"), Signal("a", 2)]
    controller.load_io_config(config=config)
    first.value = 7
    config.append(Signal("c", 1))
    assert controller.get_digital_input("a") == 2
    assert controller.get_digital_input("b") is None
    assert controller.get_digital_input("c") is None
    with pytest.raises(TypeError):
        controller.load_io_config([Signal("d", 1), "e"])
    assert controller.get_digital_input("d") is None


def test_driver_load_io_config(io_driver):
    io_driver.load_io_config([Signal("vacuum", 0, "suction cup")])
    assert io_driver.get_digital_input("vacuum") == 0


def test_config_file_from_a_path_object(controller, tmp_path):
    file = tmp_path / "cell.json"
    file.write_text(json.dumps({"in": 1, "out": 0, "bad": 1.5}))
    controller.load_io_config_from_file(file=file)
    assert controller.get_digital_input("in") == 1
    assert controller.get_digital_input("out") == 0
    assert controller.get_digital_input("bad") is None


def test_driver_config_file_from_a_string(io_driver, tmp_path):
    file = tmp_path / "cell.json"
    file.write_text('{"sensor": 1}')
    io_driver.load_io_config_from_file(str(file))
    assert io_driver.get_digital_input("sensor") == 1


def test_missing_config_file_is_a_runtime_error(controller, io_driver, tmp_path):
    missing = tmp_path / "missing.json"
    for target in (controller, io_driver):
        with pytest.raises(RuntimeError) as raised:
            target.load_io_config_from_file(missing)
        assert f"Could not open the I/O config json file at '{missing}'." in str(raised.value)
    with pytest.raises(TypeError):
        controller.load_io_config_from_file(5)


def test_invalid_config_file_is_a_runtime_error_and_creates_nothing(controller, io_driver, tmp_path):
    file = tmp_path / "broken.json"
    file.write_text('{"a": 1, "b": ')
    controller.create_io("a", 0)
    for target in (controller, io_driver):
        with pytest.raises(RuntimeError) as raised:
            target.load_io_config_from_file(file)
        assert "parse error" in str(raised.value)
    assert controller.get_digital_input("a") == 0
    assert io_driver.get_digital_input("a") is None


def test_standalone_and_driver_tables_are_separate(controller, io_driver):
    controller.create_io("shared", 1)
    assert io_driver.get_digital_input("shared") is None
    io_driver.create_io("own", 1)
    assert controller.get_digital_input("own") is None


def test_controller_without_arguments_serves_the_viewer_until_dropped():
    assert not viewer_answers()
    controller = Controller()
    assert wait_until(viewer_answers)
    controller.create_io("x", 1)
    del controller
    assert wait_until(lambda: not viewer_answers())


def test_set_digital_output_reaches_an_open_page():
    controller = Controller(serve_io_viewer=True)
    controller.create_io("lamp", 0)
    assert wait_until(viewer_answers)

    async def page():
        async with websockets.connect("ws://127.0.0.1:8679/") as connection:
            assert controller.set_digital_output("lamp", 1) is True
            return await asyncio.wait_for(connection.recv(), timeout=5)

    assert "lamp" in asyncio.run(page())
    del controller
    assert wait_until(lambda: not viewer_answers())


def test_dropping_a_controller_waits_for_a_page_of_the_same_script():
    # The page closes on a script thread, which needs the interpreter lock while
    # the controller's destruction waits for that page.
    script = textwrap.dedent("""
        import asyncio, threading, time
        import websockets
        import velmor_driver_simulated as vds

        controller = vds.SimulatedDriver.Controller()
        connected = threading.Event()

        async def page():
            for _ in range(100):
                try:
                    async with websockets.connect("ws://127.0.0.1:8679/"):
                        connected.set()
                        await asyncio.sleep(0.5)
                    return
                except OSError:
                    await asyncio.sleep(0.05)

        thread = threading.Thread(target=lambda: asyncio.run(page()))
        thread.start()
        assert connected.wait(10)
        started = time.monotonic()
        del controller
        print(f"{time.monotonic() - started:.3f}")
        thread.join()
    """)
    finished = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert finished.returncode == 0, finished.stderr
    assert float(finished.stdout.split()[-1]) > 0.2


@pytest.mark.parametrize("keep_io_viewer_running", [True, False])
def test_ctrl_c_ends_the_wait_for_the_viewer(keep_io_viewer_running):
    # The controller goes when the function returns; its viewer keeps waiting
    # for the test's open page (or for ever when kept running) until Ctrl-C.
    script = textwrap.dedent(f"""
        import velmor_driver_simulated as vds

        def serve():
            controller = vds.SimulatedDriver.Controller(keep_io_viewer_running={keep_io_viewer_running})
            input()

        serve()
        print("not interrupted")
    """)
    child = subprocess.Popen([sys.executable, "-c", script], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    page = socket.socket()
    try:
        assert wait_until(viewer_answers, timeout=10)
        page.settimeout(5)
        page.connect(("127.0.0.1", 8679))
        page.sendall(b"GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")
        assert page.recv(12) == b"HTTP/1.1 101"
        child.stdin.write("\n")
        child.stdin.flush()
        # Until the wait has begun, Ctrl-C lands in the script itself; so it is repeated.
        deadline = time.monotonic() + 10
        while child.poll() is None and time.monotonic() < deadline:
            child.send_signal(signal.SIGINT)
            time.sleep(0.2)
        stdout, stderr = child.communicate(timeout=5)
    finally:
        child.kill()
        page.close()
    assert "KeyboardInterrupt" in stderr
    assert "not interrupted" not in stdout


Direction = SimulatedDriver.Direction


def directed(planner, kind, strict_io=False, serve_io_viewer=False):
    if kind == "driver":
        owner = SimulatedDriver(planner, serve_io_viewer=serve_io_viewer)
        owner.strict_io = strict_io
    else:
        owner = Controller(serve_io_viewer=serve_io_viewer, strict_io=strict_io)
    owner.create_io("part", 0, direction=Direction.Input)
    owner.create_io("gripper", 0, direction=Direction.Output)
    owner.create_io("level", 0.5)
    return owner


@pytest.mark.parametrize("kind", ["driver", "controller"])
def test_directions_keep_the_program_off_inputs_and_the_page_off_outputs(planner, kind):
    owner = directed(planner, kind, serve_io_viewer=True)
    assert wait_until(viewer_answers)
    assert owner.set_digital_output("part", 1) is False
    assert owner.set_digital_output("gripper", 1) is True

    async def page():
        async with websockets.connect("ws://127.0.0.1:8679/") as connection:
            for _ in range(3):
                await asyncio.wait_for(connection.recv(), timeout=5)
            answers = []
            for name, action, value in [("gripper", "set-value", "0"), ("gripper", "toggle", "0"),
                                        ("part", "set-value", "1")]:
                await connection.send(json.dumps({"name": name, "action": action, "value": value}))
                answers.append(await asyncio.wait_for(connection.recv(), timeout=5))
            return answers

    refused_set, refused_toggle, accepted = asyncio.run(page())
    assert "velmor-io-notice" in refused_set and "gripper" in refused_set and refused_set == refused_toggle
    assert accepted.startswith('<div id="part"')
    assert (owner.get_digital_input("gripper"), owner.get_digital_input("part")) == (1, 1)
    del owner
    assert wait_until(lambda: not viewer_answers())


@pytest.mark.parametrize("kind", ["driver", "controller"])
@pytest.mark.parametrize("name", ["missing", "level"])
def test_strict_io_names_an_unknown_signal_or_one_of_the_other_kind(planner, kind, name):
    lenient, strict = directed(planner, kind), directed(planner, kind, strict_io=True)
    assert lenient.get_digital_input(name) is None and lenient.set_digital_output(name, 1) is False
    for call in (lambda: strict.get_digital_input(name), lambda: strict.set_digital_output(name, 1)):
        with pytest.raises(RuntimeError, match=f"'{name}'"):
            call()
    assert strict.get_digital_input("gripper") == 0
