#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <velmor/motion/planner.hpp>
#include <velmor/motion/robot.hpp>
#include <velmor/motion/trajectory.hpp>
#include <velmor/common/velmor_error.hpp>

namespace velmor::testing {

//! Checks that `call` throws the planner's VelmorError with `fragment` in its message.
inline void expect_planner_error(const std::function<void()>& call, const std::string& fragment) {
    try {
        call();
        FAIL() << "expected VelmorError mentioning \"" << fragment << "\"";
    } catch (const VelmorError& error) {
        EXPECT_EQ(error.module, "planner");
        EXPECT_NE(error.message.find(fragment), std::string::npos) << error.message;
    }
}

//! Checks the sample grid and every limit, sample by sample: velocity and
//! acceleration directly, jerk by finite differences of the accelerations, and
//! that positions, velocities and accelerations integrate into each other. A
//! trajectory joined from several motions has `regular_grid` false: each of its
//! intervals may then be shorter than `delta_time`.
inline void expect_within_limits(const Trajectory& trajectory, const std::vector<JointLimits>& limits,
                                 double delta_time, bool regular_grid = true) {
    ASSERT_FALSE(trajectory.empty());
    ASSERT_EQ(trajectory.degrees_of_freedom(), limits.size());
    const auto& t = trajectory.times();
    const auto& p = trajectory.positions();
    const auto& v = trajectory.velocities();
    const auto& a = trajectory.accelerations();
    constexpr double slack = 1e-9;
    for (std::size_t k = 0; k < t.size(); ++k) {
        if (k + 1 < t.size()) {
            const double h = t[k + 1] - t[k];
            if (regular_grid && k + 2 < t.size()) {
                ASSERT_NEAR(h, delta_time, 1e-12) << "sample " << k;
            } else {
                ASSERT_GT(h, 0.0);
                ASSERT_LE(h, delta_time + 1e-12);
            }
        }
        for (std::size_t i = 0; i < limits.size(); ++i) {
            const JointLimits& l = limits[i];
            ASSERT_LE(std::abs(v[k][i]), l.max_velocity * (1 + slack)) << "sample " << k << " joint " << i;
            ASSERT_LE(std::abs(a[k][i]), l.max_acceleration * (1 + slack)) << "sample " << k << " joint " << i;
            if (k + 1 == t.size()) {
                continue;
            }
            const double h = t[k + 1] - t[k];
            ASSERT_LE(std::abs(a[k + 1][i] - a[k][i]) / h, l.max_jerk * (1 + 1e-6) + 1e-9)
                << "sample " << k << " joint " << i;
            // Trapezoid rule: exact up to h³·jerk/12 for the position, h²·jerk for the velocity.
            ASSERT_NEAR(p[k + 1][i] - p[k][i], h * (v[k][i] + v[k + 1][i]) / 2, h * h * h * l.max_jerk / 12 + 1e-12)
                << "sample " << k << " joint " << i;
            ASSERT_NEAR(v[k + 1][i] - v[k][i], h * (a[k][i] + a[k + 1][i]) / 2, h * h * l.max_jerk + 1e-12)
                << "sample " << k << " joint " << i;
        }
    }
}

//! Checks that the trajectory starts exactly in `start`.
inline void expect_starts_at(const Trajectory& trajectory, const Waypoint& start) {
    const State front = trajectory.front();
    EXPECT_EQ(front.time, 0.0);
    EXPECT_EQ(front.position, start.position);
    EXPECT_EQ(front.velocity, start.velocity.empty() ? std::vector<double>(start.position.size()) : start.velocity);
    EXPECT_EQ(front.acceleration,
              start.acceleration.empty() ? std::vector<double>(start.position.size()) : start.acceleration);
}

//! Checks that the trajectory ends in `goal` (position, velocity, acceleration) within `tolerance`.
inline void expect_ends_at(const Trajectory& trajectory, const Waypoint& goal, double tolerance = 1e-12) {
    const State back = trajectory.back();
    EXPECT_EQ(back.time, trajectory.duration());
    for (std::size_t i = 0; i < goal.position.size(); ++i) {
        EXPECT_NEAR(back.position[i], goal.position[i], tolerance) << "joint " << i;
        EXPECT_NEAR(back.velocity[i], goal.velocity.empty() ? 0.0 : goal.velocity[i], tolerance) << "joint " << i;
        EXPECT_NEAR(back.acceleration[i], goal.acceleration.empty() ? 0.0 : goal.acceleration[i], tolerance)
            << "joint " << i;
    }
}

//! The state of `trajectory` at sample `index`, as a waypoint.
inline Waypoint waypoint_at(const Trajectory& trajectory, std::size_t index) {
    const State s = trajectory.at(index);
    return Waypoint(s.position, s.velocity, s.acceleration);
}

}  // namespace velmor::testing
