"""The motion module's surface: frames, trajectories and their JSON form, planning."""

import math

import pytest

import velmor
from conftest import GOAL, close, rest_to_rest


def test_version():
    assert velmor.version == "0.0.30"
    number = velmor.version_number
    assert (number.major, number.minor, number.patch) == (0, 0, 30)


def test_frame_from_position_and_angles():
    frame = velmor.Frame(1.0, 2.0, 3.0, c=0.5)
    assert close(frame.to_euler(), [1.0, 2.0, 3.0, 0.0, 0.0, 0.5])
    assert close(frame.translation(), [1.0, 2.0, 3.0])
    assert close(velmor.Frame.Identity().to_euler(), [0.0] * 6)


def test_frame_composition_and_inverse():
    frame = velmor.Frame(0.3, -0.2, 0.1, 0.4, 0.2, -0.3)
    assert close((frame * frame.inverse()).to_euler(), [0.0] * 6, 1e-12)
    turned = velmor.Frame(0, 0, 0, math.pi / 2) * velmor.Frame(1.0, 0.0, 0.0)
    assert close(turned.translation(), [0.0, 1.0, 0.0], 1e-12)


def test_trajectory_from_samples_fills_missing_derivatives_with_zeros():
    trajectory = velmor.Trajectory([0.0, 0.5, 1.0], [[0.0, 0.0], [0.5, 1.0], [1.0, 2.0]])
    assert len(trajectory) == 3
    assert trajectory.degrees_of_freedom == 2
    assert trajectory.duration == 1.0
    assert trajectory.times == [0.0, 0.5, 1.0]
    assert trajectory.positions[1] == [0.5, 1.0]
    assert trajectory.velocities == [[0.0, 0.0]] * 3
    assert trajectory.accelerations == [[0.0, 0.0]] * 3
    assert trajectory.front().position == [0.0, 0.0]
    assert trajectory.back().position == [1.0, 2.0]


def test_trajectory_with_given_velocities():
    velocities = [[0.0], [1.0]]
    trajectory = velmor.Trajectory(times=[0.0, 1.0], positions=[[0.0], [0.5]], velocities=velocities)
    assert trajectory.velocities == velocities
    assert trajectory.accelerations == [[0.0], [0.0]]


@pytest.mark.parametrize("times,positions", [
    ([0.0, 1.0], [[0.0]]),             # fewer positions than times
    ([0.5, 1.0], [[0.0], [1.0]]),      # does not start at 0
    ([0.0, 0.0], [[0.0], [1.0]]),      # times do not rise
    ([0.0, 1.0], [[0.0], [1.0, 2.0]]),  # samples with different numbers of joints
])
def test_inconsistent_samples_raise_runtime_error(times, positions):
    with pytest.raises(RuntimeError, match="velmor.exception.trajectory"):
        velmor.Trajectory(times, positions)


def test_trajectory_slice_and_append():
    trajectory = velmor.Trajectory([0.0, 1.0, 2.0], [[0.0], [1.0], [2.0]])
    tail = trajectory.slice(start=1, count=5)
    assert tail.times == [0.0, 1.0]
    assert tail.positions == [[1.0], [2.0]]
    trajectory.append(tail)
    assert trajectory.times == [0.0, 1.0, 2.0, 3.0]
    with pytest.raises(RuntimeError):
        trajectory.append(velmor.Trajectory([0.0], [[0.0, 0.0]]))
    with pytest.raises(RuntimeError):
        velmor.Trajectory().front()


def test_json_round_trip_keeps_every_field(planner, robot, tmp_path):
    trajectory = rest_to_rest(planner, robot, [0.0] * 6, GOAL)
    trajectory.id = "take-7"
    trajectory.motion = "pick"
    loaded = velmor.Trajectory.from_json(trajectory.to_json())
    path = tmp_path / "trajectory.json"
    trajectory.save(str(path))
    for copy in (loaded, velmor.Trajectory.load(path=str(path))):
        assert (copy.id, copy.motion) == ("take-7", "pick")
        assert copy.times == trajectory.times
        assert copy.positions == trajectory.positions
        assert copy.velocities == trajectory.velocities
        assert copy.accelerations == trajectory.accelerations


def test_malformed_json_and_missing_files_raise(tmp_path):
    with pytest.raises(RuntimeError):
        velmor.Trajectory.from_json("{")
    with pytest.raises(RuntimeError, match="times"):
        velmor.Trajectory.from_json('{"id": "", "motion": ""}')
    with pytest.raises(RuntimeError):
        velmor.Trajectory.load(str(tmp_path / "absent.json"))
    with pytest.raises(RuntimeError):
        velmor.Trajectory([0.0], [[math.nan]]).to_json()


def test_plan_returns_a_trajectory_to_the_goal(planner, robot):
    trajectory = rest_to_rest(planner, robot, [0.0] * 6, GOAL)
    assert close(trajectory.back().position, GOAL)
    assert trajectory.duration > 0.0


def test_plan_returns_none_for_an_unreachable_goal(planner, robot):
    unreachable = velmor.CartesianWaypoint(velmor.Frame(10.0, 0.0, 0.0))
    motion = velmor.Motion(robot, "far", [0.0] * 6, unreachable)
    assert planner.plan(motion) is None


@pytest.mark.parametrize("start, refusal", [
    ([1e6] + [0.0] * 5, None),                        # days away: no trajectory rather than gigabytes of samples
    ([math.nan] + [0.0] * 5, "not a finite number"),
    ([0.0] * 5 + [math.inf], "not a finite number"),
])
def test_plan_refuses_far_and_non_finite_starts(planner, robot, start, refusal):
    motion = velmor.LowLevelMotion(robot, "far", velmor.Waypoint(start), velmor.Waypoint([0.0] * 6))
    if refusal is None:
        assert planner.plan(motion) is None
    else:
        with pytest.raises(RuntimeError, match=refusal):
            planner.plan(motion)


def test_plan_named_motion_with_start_and_goal_keywords(planner, robot):
    planner.add_motion(velmor.Motion(robot, "pick", None, GOAL))
    trajectory = planner.plan("pick", start=[0.0] * 6)
    assert close(trajectory.back().position, GOAL)
    trajectory = planner.plan("pick", start=velmor.Waypoint([0.0] * 6), goal=[0.1] * 6)
    assert close(trajectory.back().position, [0.1] * 6)
    with pytest.raises(RuntimeError):
        planner.plan("unknown", start=[0.0] * 6)


def test_low_level_motion_control_interface(planner, robot):
    motion = velmor.LowLevelMotion(robot, start=velmor.Waypoint([0.0] * 6, [0.2] * 6), goal=velmor.Waypoint(6))
    motion.control_interface = velmor.LowLevelMotion.ControlInterface.Velocity
    trajectory = planner.plan(motion)
    assert close(trajectory.back().velocity, [0.0] * 6)


def test_robot_map_converts_from_a_dict():
    left, right = velmor.robots.UR5e(), velmor.robots.UR5e(velmor.Frame(0.0, 1.0, 0.0))
    dual = velmor.robots.DualArm(left, right)
    assert dual.degrees_of_freedom == 12
    assert dual.get_next_arm() is left
    planner = velmor.Planner(velmor.Environment(dual))
    start = [0.0] * 12
    trajectory = planner.plan(velmor.Motion(dual, "both", start, {left: GOAL, right: velmor.Waypoint([0.1] * 6)}))
    assert close(trajectory.back().position, GOAL + [0.1] * 6)
    trajectory = planner.plan(velmor.Motion(dual, "right only", start, {right: GOAL}))
    assert close(trajectory.back().position, [0.0] * 6 + GOAL)


def test_builtin_robots_and_environment(robot):
    assert robot.degrees_of_freedom == 6
    assert isinstance(robot, velmor.RobotArm)
    assert "ur5e" in velmor.robots.model_names()
    made = velmor.robots.make("dual-arm")
    assert made.degrees_of_freedom == 12
    environment = velmor.Environment()
    environment.add_robot("arm", robot)
    assert environment.get_robot("arm") is robot
    with pytest.raises(RuntimeError):
        environment.get_robot("other")
    tcp = robot.calculate_tcp([0.0] * 6)
    solution = robot.inverse_kinematics(tcp, [0.1] * 6)
    assert solution is not None and close(robot.calculate_tcp(solution).to_euler(), tcp.to_euler(), 1e-6)


def test_mirava_without_connecting_and_failing_connection(monkeypatch):
    client = velmor.Mirava(auto_connect=False)
    client.set_joint_position([0.0] * 6)
    monkeypatch.setenv("VELMOR_MIRAVA_ADDRESS", "not-an-address")
    with pytest.raises(RuntimeError, match="mirava"):
        client.reconnect(timeout=0.1)
