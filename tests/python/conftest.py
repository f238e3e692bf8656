"""Shared fixtures. The motion module is imported first: the driver module
converts motion types only once `velmor` has registered them."""

import math

import pytest

import velmor  # noqa: F401  (registers the motion types)
import velmor_driver_simulated as vds

# A joint position that every built-in arm reaches from zero within its limits.
GOAL = [0.4, -0.3, 0.5, 0.2, -0.2, 0.3]


def rest_to_rest(planner, robot, start, goal):
    """A planned rest-to-rest trajectory between two joint positions."""
    motion = velmor.LowLevelMotion(robot, "test", velmor.Waypoint(start), velmor.Waypoint(goal))
    trajectory = planner.plan(motion)
    assert trajectory is not None
    return trajectory


def close(a, b, tolerance=1e-6):
    return len(a) == len(b) and all(math.isclose(x, y, abs_tol=tolerance) for x, y in zip(a, b))


@pytest.fixture
def robot():
    return velmor.robots.UR5e()


@pytest.fixture
def planner(robot):
    return velmor.Planner(velmor.Environment(robot))


@pytest.fixture
def driver(planner):
    """A simulated driver that plays motions ten times faster than real time."""
    created = vds.SimulatedDriver(planner)
    created.time_speed = 10.0
    yield created
    created.disconnect()


@pytest.fixture(autouse=True)
def connectable():
    """Every test starts and ends with connections allowed."""
    vds.SimulatedDriver.connect_result = True
    yield
    vds.SimulatedDriver.connect_result = True
