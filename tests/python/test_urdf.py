"""Robots from robot descriptions (URDF): reading, writing and planning with them."""

import math
import os
import pathlib
import subprocess
import sys

import pytest

import velmor
from conftest import close

ROBOTS = pathlib.Path(__file__).resolve().parents[2] / "motion" / "robots"


def test_shipped_descriptions_read_with_their_limits():
    seven = velmor.robots.from_urdf(ROBOTS / "seven_axis.urdf", max_acceleration=5.0)
    assert seven.name == "seven-axis" and seven.degrees_of_freedom == 7
    assert [limit.max_acceleration for limit in seven.get_joint_limits()] == [5.0] * 7
    assert seven.get_joint_limits()[6].max_jerk == pytest.approx(16 * 3.2)
    gantry = velmor.robots.from_urdf(str(ROBOTS / "gantry_wrist.urdf"), tip_link="spindle")
    assert math.isinf(gantry.get_joint_limits()[5].max_position)
    six = velmor.robots.from_urdf((ROBOTS / "six_axis.urdf").read_text())
    builtin = velmor.robots.UR5e()
    assert close(six.calculate_tcp([0.1, -1.2, 1.3, -0.4, 0.5, 0.6]).translation(),
                 builtin.calculate_tcp([0.1, -1.2, 1.3, -0.4, 0.5, 0.6]).translation(), 1e-12)


def test_package_references_resolve_in_their_package(tmp_path):
    description = (ROBOTS / "seven_axis.urdf").read_text().replace("meshes/", "package://cell/meshes/")
    with pytest.raises(RuntimeError, match='names the package "cell"'):
        velmor.robots.from_urdf(description)
    arm = velmor.robots.from_urdf(description, package_paths={"cell": ROBOTS})
    assert velmor.robots.from_urdf(arm.to_urdf()).degrees_of_freedom == 7


def test_a_description_arm_plans_straight_lines_and_explains_unreachable_poses():
    arm = velmor.robots.from_urdf(ROBOTS / "seven_axis.urdf")
    planner = velmor.Planner(velmor.Environment(arm))
    start = [0.2, 0.6, 0.1, 1.2, -0.1, 0.9, 0.3]
    down = velmor.Frame(0.0, 0.0, -0.1) * arm.calculate_tcp(start)
    trajectory = planner.plan(velmor.LinearMotion(arm, "down", start, velmor.CartesianWaypoint(down)))
    assert close(arm.calculate_tcp(trajectory.back().position).translation(), down.translation(), 1e-6)
    with pytest.raises(RuntimeError, match="beyond the arm's reach"):
        planner.plan(velmor.LinearMotion(arm, "far", start, velmor.CartesianWaypoint(velmor.Frame(3.0, 0.0, 0.3))))


@pytest.mark.parametrize("ball, link", [((0.11, 0.0, 0.5), "upper_arm"), ((0.12, 0.0, 0.5), None),
                                        ((0.0, 0.1, 0.92), "forearm"), ((0.0, 0.0, 1.32), "flange")])
def test_collision_shapes_come_from_the_description(ball, link):
    arm = velmor.robots.from_urdf(ROBOTS / "seven_axis.urdf")
    planner = velmor.Planner(velmor.Environment(arm))
    assert planner.check_collision([0.0] * 7) is None, "links meeting at a joint must not overlap"
    planner.environment.add_obstacle("ball", velmor.Sphere(radius=0.05, frame=velmor.Frame(*ball)))
    hit = planner.check_collision([0.0] * 7)
    assert (hit.link_name if hit else None) == link


READ_SEVEN_AXIS = f"""import velmor, velmor_driver_simulated as vds
velmor.robots.from_urdf({str(ROBOTS / "seven_axis.urdf")!r})
assert vds.flush_log()
"""


def test_the_gripper_collides_by_its_mesh_with_an_info_line():
    environment = dict(os.environ, VELMOR_LOG_LEVEL="info", NO_COLOR="1")
    finished = subprocess.run([sys.executable, "-c", READ_SEVEN_AXIS], env=environment, capture_output=True,
                              text=True, timeout=60)
    assert finished.returncode == 0, finished.stderr
    assert 'link "flange" collides as the 0.08 × 0.12 × 0.09 m box around its mesh "meshes/gripper.stl" ' \
           "(36 triangles)" in finished.stdout, finished.stdout


def test_disabled_collision_pairs_are_given_by_link_name():
    arm = velmor.robots.from_urdf(ROBOTS / "seven_axis.urdf", disabled_collisions=[("flange", "base")])
    assert arm.get_link_geometry()[7].ignored_links == [0]
    with pytest.raises(RuntimeError, match='not in the description: "palm"'):
        velmor.robots.from_urdf(ROBOTS / "seven_axis.urdf", disabled_collisions=[("flange", "palm")])
