#pragma once

#include <pybind11/pybind11.h>

namespace velmor::python {

//! Frame.
void bind_frame(pybind11::module_& m);
//! State and Trajectory, with its JSON form.
void bind_trajectory(pybind11::module_& m);
//! Waypoint, CartesianWaypoint, Region and CartesianRegion.
void bind_points(pybind11::module_& m);
//! Robot, RobotArm, Environment and the submodule `robots` with the built-in models.
void bind_robots(pybind11::module_& m);
//! Motion, LowLevelMotion and Planner.
void bind_planner(pybind11::module_& m);
//! The Mirava client and the library's version.
void bind_mirava(pybind11::module_& m);
//! Box, Sphere and Cylinder, and the obstacles of an Environment.
void bind_shapes(pybind11::module_& m);
//! Link geometry, Collision, PlanOptions, PlanResult, LinearMotion and the planner's members for them.
void bind_collision(pybind11::module_& m);

}  // namespace velmor::python
