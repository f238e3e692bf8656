#include "planning/linear_path.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <Eigen/Dense>

#include <velmor/common/velmor_error.hpp>

#include "jacobian.hpp"
#include "planning/double_s_profile.hpp"
#include "planning/plan_guards.hpp"
#include "planning/sampling.hpp"
#include "reach.hpp"

namespace velmor::planning {

namespace {

using Vector6d = Eigen::Matrix<double, 6, 1>;
using Joints = std::vector<double>;

// Neighbouring points of the path may differ by this much in any joint [rad]; a bigger
// jump means the arm's solution flipped to another branch.
constexpr double largest_joint_step = 0.05;
// Path points at least this close together (as a share of the line) [m], [rad].
constexpr double grid_spacing = 0.002;
constexpr double grid_turn = 0.005;
// Below this share of the line between two points, a jump cannot be followed.
constexpr double smallest_step = 1e-7;
// The path's derivatives are known at its points only; between them they may be larger.
constexpr double derivative_margin = 1.25;
// A line that would take longer than this [s] passes too close to a singularity.
constexpr double longest_duration = 600.0;
// Each retry after a sampled limit was exceeded plays the line this much slower.
constexpr double retry_rate = 0.8;
constexpr int retries = 8;

std::string share(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", 100.0 * s);
    return text;
}

//! Poses along the line: position interpolated, orientation turned about a fixed axis.
struct Line {
    Eigen::Vector3d from;
    Eigen::Vector3d to;
    Eigen::Matrix3d start_rotation;
    //! The shortest rotation from the start orientation to the goal's, in the start frame.
    Eigen::AngleAxisd turn;

    Line(const Frame& start, const Frame& goal)
        : from(start.translation()),
          to(goal.translation()),
          start_rotation(start.rotation()),
          turn(start.rotation().transpose() * goal.rotation()) {}

    [[nodiscard]] Frame at(double s) const {
        Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
        pose.translation() = from + s * (to - from);
        pose.linear() = start_rotation * Eigen::AngleAxisd(s * turn.angle(), turn.axis()).toRotationMatrix();
        return Frame(pose);
    }

    //! Derivative of the pose along the line: linear, then angular velocity in the world per unit of s.
    [[nodiscard]] Vector6d rate() const {
        Vector6d result;
        result.head<3>() = to - from;
        result.tail<3>() = start_rotation * turn.axis() * turn.angle();
        return result;
    }
};

double largest_difference(const Joints& a, const Joints& b) {
    double result = 0.0;
    for (std::size_t j = 0; j < a.size(); ++j) {
        result = std::max(result, std::abs(a[j] - b[j]));
    }
    return result;
}

//! The joint position for `pose` next to `previous`, unless the arm cannot follow there.
std::optional<Joints> follow(const RobotArm& arm, const Frame& pose, const Joints& previous) {
    auto q = arm.inverse_kinematics(pose, previous);
    if (q && largest_difference(*q, previous) > largest_joint_step) {
        return std::nullopt;
    }
    return q;
}

//! dq/ds at `q`: the joint rates that move the tool by `rate` per unit of s.
Eigen::VectorXd joint_rate(const RobotArm& arm, const Joints& q, const Vector6d& rate) {
    return geometric_jacobian(arm.get_chain(), arm.calculate_joint_frames(q))
        .completeOrthogonalDecomposition()
        .solve(rate);
}

//! The joint path sampled densely along the line, with its first three derivatives by s.
struct JointPath {
    std::vector<double> s;
    std::vector<Joints> q;
    std::vector<Eigen::VectorXd> first;
    std::vector<Eigen::VectorXd> second;
    std::vector<Eigen::VectorXd> third;

    //! The second derivative at `at`, interpolated between the path's points.
    [[nodiscard]] Eigen::VectorXd second_at(double at) const {
        const auto next = std::upper_bound(s.begin(), s.end(), at);
        const auto k = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(next - s.begin(), 1,
                                                                           static_cast<std::ptrdiff_t>(s.size()) - 1));
        const double u = std::clamp((at - s[k - 1]) / (s[k] - s[k - 1]), 0.0, 1.0);
        return (1 - u) * second[k - 1] + u * second[k];
    }
};

//! Finite differences by s of `values`, at every point of the path.
std::vector<Eigen::VectorXd> differentiate(const std::vector<double>& s, const std::vector<Eigen::VectorXd>& values) {
    std::vector<Eigen::VectorXd> result(values.size());
    for (std::size_t k = 0; k < values.size(); ++k) {
        const std::size_t before = k == 0 ? 0 : k - 1;
        const std::size_t after = std::min(k + 1, values.size() - 1);
        result[k] = (values[after] - values[before]) / (s[after] - s[before]);
    }
    return result;
}

//! The joint position at `to` along the line, reached from `q` at `from` in steps short
//! enough for the solution to move continuously; refuses where it cannot.
Joints advance(const RobotArm& arm, const Line& line, Joints q, double from, double to) {
    double step = to - from;
    while (from < to) {
        const double next = std::min(to, from + step);
        if (auto found = follow(arm, line.at(next), q)) {
            q = std::move(*found);
            from = next;
            step *= 2;
            continue;
        }
        step /= 2;
        if (step < smallest_step) {
            if (!arm.inverse_kinematics(line.at(next), q)) {
                refuse_plan("The straight line leaves the robot's reach or joint limits at " + share(next) +
                       " of its length.");
            }
            refuse_plan("The straight line crosses a singularity at " + share(next) +
                   " of its length, where the joints cannot follow it.");
        }
    }
    return q;
}

JointPath follow_line(const RobotArm& arm, const Line& line, const Joints& start) {
    const double length = (line.to - line.from).norm();
    // Evenly spaced points, so that the derivatives' finite differences stay well conditioned.
    const auto count = static_cast<std::size_t>(
        std::max({1.0, std::ceil(length / grid_spacing), std::ceil(line.turn.angle() / grid_turn)}));
    JointPath path;
    path.s.push_back(0.0);
    path.q.push_back(start);
    for (std::size_t k = 1; k <= count; ++k) {
        const double s = static_cast<double>(k) / static_cast<double>(count);
        path.q.push_back(advance(arm, line, path.q.back(), path.s.back(), s));
        path.s.push_back(s);
    }
    const Vector6d rate = line.rate();
    for (const Joints& q : path.q) {
        path.first.push_back(joint_rate(arm, q, rate));
    }
    path.second = differentiate(path.s, path.first);
    path.third = differentiate(path.s, path.second);
    return path;
}

//! Limits of s(t) that keep every joint within its limits along the whole path:
//! q' = dq/ds and so on, with q̇ = q'ṡ, q̈ = q'' ṡ² + q' s̈, q⃛ = q''' ṡ³ + 3 q'' ṡ s̈ + q' s⃛.
JointLimits line_limits(const JointPath& path, const std::vector<JointLimits>& limits, double length,
                        std::optional<double> max_tool_speed) {
    double velocity = max_tool_speed && length > 0.0 ? *max_tool_speed / length : std::numeric_limits<double>::max();
    const std::size_t dof = limits.size();
    std::vector<double> m1(dof, 0.0);
    std::vector<double> m2(dof, 0.0);
    std::vector<double> m3(dof, 0.0);
    for (std::size_t k = 0; k < path.s.size(); ++k) {
        for (std::size_t j = 0; j < dof; ++j) {
            const auto i = static_cast<Eigen::Index>(j);
            m1[j] = std::max(m1[j], derivative_margin * std::abs(path.first[k][i]));
            m2[j] = std::max(m2[j], derivative_margin * std::abs(path.second[k][i]));
            m3[j] = std::max(m3[j], derivative_margin * std::abs(path.third[k][i]));
        }
    }
    // The velocity leaves half of each acceleration and a third of each jerk limit to
    // the path's bending; the acceleration another third of the jerk limit.
    for (std::size_t j = 0; j < dof; ++j) {
        const JointLimits& l = limits[j];
        velocity = std::min({velocity, l.max_velocity / std::max(m1[j], 1e-300),
                             std::sqrt(l.max_acceleration / (2 * std::max(m2[j], 1e-300))),
                             std::cbrt(l.max_jerk / (3 * std::max(m3[j], 1e-300)))});
    }
    double acceleration = std::numeric_limits<double>::max();
    for (std::size_t j = 0; j < dof; ++j) {
        const JointLimits& l = limits[j];
        acceleration = std::min({acceleration, (l.max_acceleration - m2[j] * velocity * velocity) / std::max(m1[j], 1e-300),
                                 l.max_jerk / (9 * std::max(m2[j] * velocity, 1e-300))});
    }
    double jerk = std::numeric_limits<double>::max();
    for (std::size_t j = 0; j < dof; ++j) {
        const JointLimits& l = limits[j];
        jerk = std::min(jerk, (l.max_jerk - 3 * m2[j] * velocity * acceleration - m3[j] * std::pow(velocity, 3)) /
                                  std::max(m1[j], 1e-300));
    }
    return JointLimits {0.0, 1.0, velocity, acceleration, jerk};
}

//! Whether every sample keeps within the limits, the jerk taken between samples.
bool within_limits(const Trajectory& trajectory, const std::vector<JointLimits>& limits) {
    constexpr double slack = 1.0 + 1e-9;
    const auto& t = trajectory.times();
    const auto& v = trajectory.velocities();
    const auto& a = trajectory.accelerations();
    for (std::size_t k = 0; k < t.size(); ++k) {
        for (std::size_t j = 0; j < limits.size(); ++j) {
            if (std::abs(v[k][j]) > limits[j].max_velocity * slack ||
                std::abs(a[k][j]) > limits[j].max_acceleration * slack ||
                (k > 0 && std::abs(a[k][j] - a[k - 1][j]) > limits[j].max_jerk * slack * (t[k] - t[k - 1]))) {
                return false;
            }
        }
    }
    return true;
}

Trajectory sample(const RobotArm& arm, const Line& line, const JointPath& path, const Profile& s,
                  double delta_time) {
    const std::size_t dof = path.q.front().size();
    std::vector<double> times = sample_times(s.duration(), delta_time);
    std::vector<Joints> positions {path.q.front()};
    std::vector<Joints> velocities {Joints(dof, 0.0)};
    std::vector<Joints> accelerations {Joints(dof, 0.0)};
    const Vector6d rate = line.rate();
    for (std::size_t k = 1; k < times.size(); ++k) {
        const bool last = k + 1 == times.size();
        const JointState at = last ? JointState {1.0, 0.0, 0.0} : s.at(times[k]);
        const double along = std::clamp(at.position, 0.0, 1.0);
        auto q = follow(arm, line.at(along), positions.back());
        if (!q) {
            refuse_plan("The straight line crosses a singularity at " + share(along) +
                   " of its length, where the joints cannot follow it.");
        }
        const Eigen::VectorXd first = joint_rate(arm, *q, rate);
        const Eigen::VectorXd second = path.second_at(along);
        Joints v(dof);
        Joints a(dof);
        for (std::size_t j = 0; j < dof; ++j) {
            const auto i = static_cast<Eigen::Index>(j);
            v[j] = first[i] * at.velocity;
            a[j] = second[i] * at.velocity * at.velocity + first[i] * at.acceleration;
        }
        positions.push_back(std::move(*q));
        velocities.push_back(std::move(v));
        accelerations.push_back(std::move(a));
    }
    return Trajectory(std::move(times), std::move(positions), std::move(velocities), std::move(accelerations));
}

}  // namespace

std::optional<Trajectory> linear_path(const RobotArm& arm, const std::vector<double>& start, const Frame& goal,
                                      std::optional<double> max_tool_speed, double delta_time) {
    if (max_tool_speed && !(*max_tool_speed > 0.0)) {
        refuse_plan("The tool speed limit must be a positive number of metres per second.");
    }
    const Line line(arm.calculate_tcp(start), goal);
    const double length = (line.to - line.from).norm();
    if (length == 0.0 && line.turn.angle() == 0.0) {
        const Joints rest(start.size(), 0.0);
        return Trajectory({0.0}, {start}, {rest}, {rest});
    }
    if (!arm.inverse_kinematics(goal, start)) {
        refuse_plan("The goal pose of the straight line lies outside the robot's reach or joint limits. " +
                    unreachable_pose(arm, goal));
    }
    const JointPath path = follow_line(arm, line, start);
    const std::vector<JointLimits> limits = arm.get_joint_limits();
    JointLimits along = line_limits(path, limits, length, max_tool_speed);
    for (int attempt = 0; attempt <= retries; ++attempt) {
        const Profile s = double_s(0.0, 1.0, along);
        if (!(s.duration() <= longest_duration)) {
            refuse_plan("The straight line passes so close to a singularity that the joints' limits would make it last "
                   "longer than " + std::to_string(static_cast<int>(longest_duration)) + " s.");
        }
        if (!within_sample_cap(s.duration(), delta_time)) {
            return std::nullopt;
        }
        Trajectory trajectory = sample(arm, line, path, s, delta_time);
        if (within_limits(trajectory, limits)) {
            return trajectory;
        }
        along.max_velocity *= retry_rate;
        along.max_acceleration *= retry_rate * retry_rate;
        along.max_jerk *= retry_rate * retry_rate * retry_rate;
    }
    refuse_plan("The straight line bends too sharply in joint space to be followed within the joints' limits.");
}

}  // namespace velmor::planning
