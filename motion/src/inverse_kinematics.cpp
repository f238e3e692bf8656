#include <velmor/motion/robot_arm.hpp>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>

#include <Eigen/Dense>

#include <velmor/common/velmor_error.hpp>

#include "jacobian.hpp"

namespace velmor {

namespace {

using Vector6d = Eigen::Matrix<double, 6, 1>;

constexpr double position_tolerance = 1e-10;     // [m]
constexpr double orientation_tolerance = 1e-10;  // [rad]
constexpr int max_iterations = 100;
constexpr int restarts = 12;

//! Position error, then the rotation vector that turns the current orientation into the target one.
Vector6d pose_error(const Frame& target, const Frame& current) {
    Vector6d error;
    error.head<3>() = target.translation() - current.translation();
    const Eigen::AngleAxisd rotation(target.rotation() * current.rotation().transpose());
    error.tail<3>() = rotation.angle() * rotation.axis();
    return error;
}

bool converged(const Vector6d& error) {
    return error.head<3>().norm() < position_tolerance && error.tail<3>().norm() < orientation_tolerance;
}

//! The 2π-equivalent of `value` that lies within the limits and is nearest `reference`, if
//! any; a prismatic joint's `value` itself if it lies within them.
std::optional<double> fold_into_limits(double value, double reference, const JointLimits& limits, JointType type) {
    if (type == JointType::Prismatic) {
        return value >= limits.min_position && value <= limits.max_position ? std::optional(value) : std::nullopt;
    }
    constexpr double turn = 2.0 * std::numbers::pi;
    double best = value + turn * std::round((reference - value) / turn);
    std::optional<double> result;
    for (const double candidate : {best, best - turn, best + turn, best - 2.0 * turn, best + 2.0 * turn}) {
        if (candidate >= limits.min_position && candidate <= limits.max_position &&
            (!result || std::abs(candidate - reference) < std::abs(*result - reference))) {
            result = candidate;
        }
    }
    return result;
}

//! Keeps the search within the joint limits, so that a redundant arm finds a solution
//! there rather than one that folding into the limits cannot repair.
void clamp_to_limits(Eigen::VectorXd& q, const std::vector<JointLimits>& limits) {
    for (Eigen::Index i = 0; i < q.size(); ++i) {
        const JointLimits& l = limits[static_cast<std::size_t>(i)];
        q[i] = std::clamp(q[i], l.min_position, l.max_position);
    }
}

}  // namespace

std::optional<std::vector<double>> RobotArm::inverse_kinematics(const Frame& tcp,
                                                               const std::vector<double>& reference) const {
    const std::size_t n = chain.size();
    if (reference.size() != n) {
        throw VelmorError("kinematics", "The reference has " + std::to_string(reference.size()) +
                                            " joint positions but robot \"" + name + "\" has " + std::to_string(n) +
                                            " joints.");
    }
    // A fixed seed keeps the restarts, and therefore the solutions, reproducible.
    std::mt19937 random(0x5eed);
    std::uniform_real_distribution<double> perturbation(-std::numbers::pi, std::numbers::pi);

    for (int attempt = 0; attempt <= restarts; ++attempt) {
        Eigen::VectorXd q(static_cast<Eigen::Index>(n));
        for (std::size_t i = 0; i < n; ++i) {
            q[static_cast<Eigen::Index>(i)] = reference[i] + (attempt == 0 ? 0.0 : perturbation(random));
        }
        clamp_to_limits(q, limits);
        std::vector<double> joints(q.data(), q.data() + n);
        std::vector<Frame> frames = calculate_joint_frames(joints);
        Vector6d error = pose_error(tcp, frames.back());
        double damping = 1e-3;
        for (int iteration = 0; iteration < max_iterations && !converged(error); ++iteration) {
            const Eigen::Matrix<double, 6, Eigen::Dynamic> jacobian = geometric_jacobian(chain, frames);
            // Damped least squares; the damping adapts like Levenberg-Marquardt so that
            // steps near singularities stay short and steps far from them stay fast.
            const Eigen::Matrix<double, 6, 6> normal =
                jacobian * jacobian.transpose() + damping * damping * Eigen::Matrix<double, 6, 6>::Identity();
            const Eigen::VectorXd step = jacobian.transpose() * normal.ldlt().solve(error);
            Eigen::VectorXd candidate = q + step;
            clamp_to_limits(candidate, limits);
            std::vector<double> candidate_joints(candidate.data(), candidate.data() + n);
            std::vector<Frame> candidate_frames = calculate_joint_frames(candidate_joints);
            const Vector6d candidate_error = pose_error(tcp, candidate_frames.back());
            if (candidate_error.norm() < error.norm()) {
                q = candidate;
                frames = std::move(candidate_frames);
                error = candidate_error;
                damping = std::max(damping * 0.5, 1e-6);
            } else {
                damping *= 4.0;
                if (damping > 1e3) {
                    break;
                }
            }
        }
        if (!converged(error)) {
            continue;
        }
        std::vector<double> solution(n);
        bool within_limits = true;
        for (std::size_t i = 0; i < n && within_limits; ++i) {
            const auto folded = fold_into_limits(q[static_cast<Eigen::Index>(i)], reference[i], limits[i],
                                                  chain[i].get_type());
            within_limits = folded.has_value();
            solution[i] = folded.value_or(0.0);
        }
        if (within_limits) {
            return solution;
        }
    }
    return std::nullopt;
}

}  // namespace velmor
