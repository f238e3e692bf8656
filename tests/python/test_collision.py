"""Obstacles, collision checks, planning around obstacles and straight-line motions, from scripts."""

import pytest

import velmor
from velmor_driver_simulated import Result
from conftest import close

PICK = [0.6, -1.1, 1.8, -2.3, -1.57, 0.0]
PLACE = [-0.6, -1.1, 1.8, -2.3, -1.57, 0.0]
# The tool pushed down through the table top.
THROUGH_TABLE = [0.6, -0.75, 1.8, -2.3, -1.57, 0.0]


@pytest.fixture
def cell(planner):
    """The planner's environment with a table under the arm and a fixture between the stations."""
    environment = planner.environment
    environment.add_obstacle("table", velmor.Box(size=[1.6, 1.4, 0.04], frame=velmor.Frame(-0.3, 0.0, -0.02)))
    environment.add_obstacle(name="fixture", shape=velmor.Box([0.3, 0.1, 0.4], velmor.Frame(-0.6, -0.15, 0.2)))
    return environment


def test_shapes_keep_their_dimensions_and_refuse_invalid_ones():
    box = velmor.Box(size=[1.2, 0.8, 0.05], frame=velmor.Frame(0.5, 0.0, -0.025))
    assert box.size == [1.2, 0.8, 0.05] and close(box.frame.translation(), [0.5, 0.0, -0.025])
    assert box.contains([0.5, 0.39, 0.0]) and not box.contains([0.5, 0.41, 0.0])
    assert velmor.Sphere(radius=0.1).contains([0.0, 0.0, 0.1])
    assert velmor.Cylinder(radius=0.1, length=0.4).length == 0.4
    with pytest.raises(RuntimeError, match="velmor.exception.shapes"):
        velmor.Box(size=[1.0, -1.0, 1.0])


def test_obstacles_are_added_removed_and_saved_to_a_scene(cell, tmp_path):
    assert sorted(cell.obstacles()) == ["fixture", "table"]
    assert isinstance(cell.obstacles()["table"], velmor.Box)
    path = tmp_path / "scene.json"
    cell.save_scene(path)
    cell.remove_obstacle("fixture")
    with pytest.raises(RuntimeError, match="no obstacle"):
        cell.remove_obstacle("fixture")
    cell.load_scene(str(path))
    assert sorted(cell.obstacles()) == ["fixture", "table"]
    # A Mirava client shows them once connected; unconnected, it only keeps the environment.
    client = velmor.Mirava(auto_connect=False)
    client.set_environment(environment=cell)
    client.set_environment(None)


def test_collision_checks_name_the_pair(planner, robot, cell):
    assert planner.check_collision(PICK) is None
    hit = planner.check_collision(joint_position=THROUGH_TABLE)
    assert (hit.link_name, hit.obstacle, hit.time) == ("wrist_3", "table", 0.0)
    assert hit.describe() == 'link "wrist_3" and obstacle "table"'
    folded = planner.check_collision([0.0, 0.0, 3.14, 0.0, 0.0, 0.0])
    assert folded.obstacle == "" and folded.other_link_name
    direct = planner.plan(velmor.Motion(robot, "", PICK, PLACE))
    met = planner.check_trajectory(trajectory=direct)
    assert met.obstacle == "fixture" and 0.0 < met.time < direct.duration


def test_planning_with_options_goes_around_and_without_them_plans_as_before(planner, robot, cell):
    motion = velmor.Motion(robot, "over", PICK, PLACE)
    assert isinstance(planner.plan(motion), velmor.Trajectory)
    result = planner.plan(motion, options=velmor.PlanOptions(seed=3))
    assert isinstance(result, velmor.PlanResult)
    assert result.warning == "" and result.blocking is None and result.iterations > 0
    assert planner.check_trajectory(result.trajectory) is None
    planner.add_motion(motion)
    blocked = planner.plan("over", goal=THROUGH_TABLE, options=velmor.PlanOptions())
    assert blocked.trajectory is None
    assert blocked.warning.startswith("The goal is in collision") and blocked.blocking.obstacle == "table"
    through = planner.plan("over", options=velmor.PlanOptions(ignore_collisions=True))
    assert planner.check_trajectory(through.trajectory).obstacle == "fixture"


def test_the_driver_goes_around_obstacles_and_refuses_a_blocked_goal(driver, planner, cell):
    assert driver.move_to(PICK, ignore_collisions=True) == Result.Success
    assert driver.move_to(PLACE) == Result.Success
    assert close(driver.current_joint_position, PLACE)
    assert driver.move_to(THROUGH_TABLE) == Result.ErrorTrajectoryDidNotUpdate
    assert close(driver.current_joint_position, PLACE)
    assert driver.move_to(THROUGH_TABLE, ignore_collisions=True) == Result.Success


def test_a_blocked_goal_sent_to_a_running_driver_leaves_the_motion_running(driver, planner, cell):
    far_side = [1.2, -1.1, 1.8, -2.3, -1.57, 0.0]
    assert driver.move_to(PICK, ignore_collisions=True) == Result.Success
    moving = driver.move_to_async(far_side)
    refused = driver.move_to_async(THROUGH_TABLE)
    assert moving.get() == Result.Success
    # The failed plan leaves the motion running; its future ends with the motion it failed to replace.
    assert refused.get() == Result.Success
    assert close(driver.current_joint_position, far_side)


def test_link_geometry_is_given_per_link_and_checked():
    links = velmor.robots.UR5e().get_link_geometry()
    assert [link.name for link in links] == ["base", "shoulder", "upper_arm", "forearm", "wrist_1", "wrist_2",
                                            "wrist_3"]
    model = velmor.robots.UR5e()
    arm = velmor.RobotArm("copy", model.get_dh_parameters(), model.get_joint_limits(), velmor.Frame(), velmor.Frame(),
                          links=links)
    assert arm.get_link_geometry()[3].capsules[0].radius == links[3].capsules[0].radius
    with pytest.raises(RuntimeError, match="7 links"):
        velmor.RobotArm("short", model.get_dh_parameters(), model.get_joint_limits(), velmor.Frame(), velmor.Frame(),
                        links=links[:3])


def test_a_straight_line_is_registered_and_driven_by_name(driver, planner, robot):
    above = [0.6, -1.3, 1.6, -1.9, -1.57, 0.0]
    assert driver.move_to(above) == Result.Success
    down = velmor.Frame(0.0, 0.0, -0.15) * robot.calculate_tcp(above)
    line = velmor.LinearMotion(robot, "down", None, velmor.CartesianWaypoint(down), max_tool_speed=0.2)
    assert line.max_tool_speed == 0.2
    planner.add_motion(line)
    assert driver.move_along("down") == Result.Success
    assert close(robot.calculate_tcp(driver.current_joint_position).translation(), down.translation(), 1e-9)
    # Back up along the same line, to the tool pose of a joint position given as the goal.
    assert driver.move_along("down", goal=above) == Result.Success
    assert close(driver.current_joint_position, above, 1e-6)
    with pytest.raises(RuntimeError, match="outside the robot's reach"):
        planner.plan(velmor.LinearMotion(robot, "far", above, velmor.CartesianWaypoint(velmor.Frame(2.0, 0.0, 0.3))))
    planner.add_motion(velmor.LinearMotion(robot, "far", None, velmor.CartesianWaypoint(velmor.Frame(2.0, 0.0, 0.3))))
    assert driver.move_along("far") == Result.ErrorTrajectoryDidNotUpdate
