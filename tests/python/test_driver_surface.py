"""The driver classes' surface: constructors, attributes, keywords and docstrings."""

import asyncio

import pytest

import velmor
import velmor_driver_simulated as vds
from velmor_driver_simulated import Driver, Result, SimulatedDriver


def test_driver_cannot_be_constructed():
    with pytest.raises(TypeError, match=r": No constructor defined!$"):
        Driver()


def test_class_docstrings_are_empty():
    assert Driver.__doc__ == ""
    assert SimulatedDriver.__doc__ == ""
    assert issubclass(SimulatedDriver, Driver)


def test_defaults_of_a_driver_built_from_a_planner(driver):
    assert driver.host == "192.168.0.1"
    assert driver.port == 8000
    assert driver.degrees_of_freedom == 6
    assert driver.delta_time == pytest.approx(0.004)
    assert driver.mirava is None
    assert driver.is_connected
    assert not driver.is_running
    assert driver.current_joint_position == [0.0] * 6
    assert driver.controller_status == vds.ControllerStatus.Unknown
    assert driver.run_result == Result.Success
    assert driver.enable_result == Result.Success


def test_constructor_with_robot_and_keywords(planner, robot):
    driver = SimulatedDriver(planner=planner, robot=robot, host="10.0.0.2", port=30002)
    assert (driver.host, driver.port) == ("10.0.0.2", 30002)
    driver.disconnect()


def test_third_positional_true_binds_to_sync_with_mirava(planner, robot, monkeypatch):
    # An address that the Mirava client refuses at once makes syncing fail fast,
    # which shows which parameter the positional True reached.
    monkeypatch.setenv("VELMOR_MIRAVA_ADDRESS", "no-port")
    with pytest.raises(RuntimeError, match=r"Could not connect to the simulated robot \(e\.g\. Mirava\)\."):
        SimulatedDriver(planner, robot, True)
    with pytest.raises(RuntimeError, match="Could not connect"):
        SimulatedDriver(planner, True)
    SimulatedDriver(planner, robot, False, True).disconnect()


def test_read_only_attributes(driver):
    for name in ("host", "port", "degrees_of_freedom", "delta_time", "is_connected", "controller_status",
                 "current_joint_position", "current_state", "is_running", "is_paused"):
        with pytest.raises(AttributeError):
            setattr(driver, name, getattr(driver, name))


def test_read_write_attributes(driver):
    driver.connect_timeout = 0.5
    driver.monitor_path_deviation = False
    driver.path_deviation_error_threshold = 0.25
    driver.log_motions = True
    driver.log_motions = False
    assert (driver.connect_timeout, driver.monitor_path_deviation, driver.path_deviation_error_threshold) == (
        0.5, False, 0.25)
    driver.time_speed = 3.0
    assert driver.time_speed == 3.0
    driver.speed = 0.5
    assert driver.speed == pytest.approx(0.5)


def test_attribute_docstrings():
    docs = {
        "host": "The host address of the robot controller",
        "port": "The port of the robot controller",
        "degrees_of_freedom": "Degrees of freedom of the robot",
        "delta_time": "Control interval of the robot's driver",
        "connect_timeout": "Timeout for reconnecting to the robot",
        "monitor_path_deviation": "Monitor the path deviation between planned and executed trajectory",
        "path_deviation_error_threshold": "",
        "log_motions": "Whether to log motions",
    }
    for name, doc in docs.items():
        assert Driver.__dict__[name].__doc__ == doc, name
    assert SimulatedDriver.__dict__["time_speed"].__doc__ == (
        "Simulated time speed for the control cycle (does not affect velocities\nand accelerations)")
    assert SimulatedDriver.__dict__["mirava"].__doc__ == "Mirava connection"
    assert SimulatedDriver.__dict__["run_result"].__doc__ == "Result of a motion"
    assert SimulatedDriver.__dict__["enable_result"].__doc__ == "Result of enabling/disabling"


def test_method_docstrings():
    assert Driver.reconnect.__doc__.endswith(
        "Connect to the robot, in particular after an external disconnection.\nReturns reconnection success.\n")
    assert Driver.disconnect.__doc__.endswith("Disconnect from the robot. Returns disconnection success.\n")
    assert Driver.pause.__doc__.endswith("Pause along the currently executed trajectory\n")
    assert Driver.create_io_alias.__doc__.endswith("Give I/O address an alias name\n")
    assert SimulatedDriver.set_current_joint_position.__doc__.endswith("Set the joint position\n")


def test_connect_result_false_makes_construction_fail(planner):
    SimulatedDriver.connect_result = False
    assert SimulatedDriver.connect_result is False
    with pytest.raises(RuntimeError, match=r"Could not connect to the simulated robot \(e\.g\. Mirava\)\."):
        SimulatedDriver(planner)


def test_connect_result_is_shared_by_all_drivers(driver):
    assert driver.enable() == Result.Success
    SimulatedDriver.connect_result = False
    assert driver.enable() == Result.ErrorControllerConnection
    assert driver.reconnect() is False
    assert not driver.is_connected
    SimulatedDriver.connect_result = True
    assert driver.reconnect() is True


def test_enable_result_and_disconnect(driver):
    driver.enable_result = Result.ErrorControllerEStopActive
    assert driver.enable() == Result.ErrorControllerEStopActive
    assert driver.disable() == Result.ErrorControllerEStopActive
    assert driver.disconnect() is True
    assert driver.disconnect() is True
    assert driver.enable() == Result.ErrorControllerConnection
    assert driver.run_async(trajectory=velmor.Trajectory()).get() == Result.ErrorControllerConnection


def test_io_defaults_and_keywords(driver):
    assert driver.get_analog_input(name="a") is None
    assert driver.set_analog_output(name="a", value=1.5) is False
    assert driver.get_int_register(name="r") is None
    assert driver.set_double_register(name="r", value=1.0) is False
    driver.create_io_alias(name="gripper", address=3)
    with pytest.raises(TypeError):
        driver.create_io_alias(name="gripper", address=-1)


def test_keyword_names_of_commands(driver):
    with pytest.raises(TypeError):
        driver.move_to_async(goal=[0.0] * 6)
    with pytest.raises(TypeError):
        driver.move_to(point=[0.0] * 6)
    with pytest.raises(TypeError):
        driver.stop(fast=True)
    with pytest.raises(TypeError):
        driver.run(trajectory=[0.0] * 6)


def test_set_current_joint_position_stores_the_vector_unchanged(driver):
    driver.set_current_joint_position(joint_position=[0.1, 0.2])
    assert driver.current_joint_position == [0.1, 0.2]
    state = driver.current_state
    assert isinstance(state, vds.RobotState)
    assert state.position == [0.1, 0.2]
    state.position = [1.0]
    assert state.position == [1.0]
    assert driver.current_joint_position == [0.1, 0.2]
    with pytest.raises(RuntimeError, match="The joint position must be finite, but joint '1' is 'inf'."):
        driver.set_current_joint_position([0.0, float("inf")])
    assert driver.current_joint_position == [0.1, 0.2]


def test_mirava_attribute_shares_the_client(driver):
    client = velmor.Mirava(auto_connect=False)
    driver.mirava = client
    assert driver.mirava is client
    driver.mirava = None
    assert driver.mirava is None


def test_stop_and_resume_on_an_idle_driver_return_run_result(driver):
    driver.run_result = Result.ErrorControllerAlarmActive
    assert driver.stop() == Result.ErrorControllerAlarmActive
    assert driver.stop_async(fast_stop=False).get() == Result.ErrorControllerAlarmActive


def test_finished_future_ends_the_iteration_at_once(driver):
    future = driver.stop_async()
    awaited = future.__await__()
    assert isinstance(awaited, vds.FutureResult) and awaited is not future
    assert iter(awaited) is awaited
    with pytest.raises(StopIteration) as stop:
        next(awaited)
    assert stop.value.value == Result.Success
    future.wait()
    assert future.get() == Result.Success


def test_pause_future_is_awaitable(driver):
    async def pause():
        return await driver.pause_async()
    assert asyncio.run(pause()) is True
    assert driver.is_paused


def test_driver_members_are_registered_in_order():
    expected = [
        "host", "port", "degrees_of_freedom", "delta_time", "connect_timeout", "monitor_path_deviation",
        "path_deviation_error_threshold", "log_motions", "speed", "set_speed", "reconnect", "disconnect",
        "is_connected", "controller_status", "enable", "disable", "current_joint_position", "current_state",
        "is_running", "is_paused", "run", "run_async", "move_to", "move_to_async", "move_along", "move_along_async",
        "blend_into", "blend_into_async", "stop", "stop_async", "pause", "pause_async", "resume", "resume_async",
        "add_event", "create_io_alias", "get_digital_input", "set_digital_output", "get_analog_input",
        "set_analog_output", "get_group_input", "set_group_output", "get_int_register", "set_int_register",
        "get_double_register", "set_double_register", "record",
    ]
    assert [name for name in vars(Driver) if not name.startswith("_")] == expected
