// Where a collision model's links are at one joint position, and their clearances there.
#include <algorithm>
#include <cmath>
#include <limits>

#include "collision/distance.hpp"
#include "collision/model.hpp"

namespace velmor {

namespace {

// Pairs whose bounding balls are farther apart than this keep the balls' distance as
// their clearance: a lower bound that is large enough to let a motion check step far.
constexpr double exact_within = 0.05;  // [m]
// A link farther than this from the capsule about a cylinder's axis keeps that distance as
// its clearance to the cylinder: exact beside it, and costing one distance between
// segments instead of a search along the link.
constexpr double capsule_within = 0.01;  // [m]

}  // namespace

void CollisionModel::Impl::place_frames(const Arm& arm, const double* q, std::size_t count,
                                        std::vector<Eigen::Isometry3d>& frames) {
    Eigen::Isometry3d transform = arm.base;
    frames[arm.first_link] = transform;
    for (std::size_t i = 0; i < count; ++i) {
        const double position = q[arm.first_joint + i];
        if (arm.about_z[i]) {
            // Turning about z mixes the first two columns of the rotation so far.
            const double c = std::cos(position);
            const double s = std::sin(position);
            Eigen::Matrix3d turned;
            turned.col(0) = c * transform.linear().col(0) + s * transform.linear().col(1);
            turned.col(1) = c * transform.linear().col(1) - s * transform.linear().col(0);
            turned.col(2) = transform.linear().col(2);
            const Eigen::Isometry3d& offset = arm.joints[i].get_offset().transform;
            transform.translation() += turned * offset.translation();
            transform.linear() = turned * offset.linear();
        } else {
            transform = transform * arm.joints[i].transform(position);
        }
        frames[arm.first_link + i + 1] = transform;
    }
}

void CollisionModel::Impl::place(const double* q, Pose& pose) const {
    pose.frames.resize(links.size());
    for (const Arm& arm : arms) {
        place_frames(arm, q, arm.joints.size(), pose.frames);
    }
    pose.starts.resize(bodies.size());
    pose.ends.resize(bodies.size());
    for (std::size_t b = 0; b < bodies.size(); ++b) {
        const Eigen::Isometry3d& frame = pose.frames[bodies[b].link];
        pose.starts[b] = frame * bodies[b].start;
        pose.ends[b] = frame * bodies[b].end;
    }
    evaluated.fetch_add(1, std::memory_order_relaxed);
}

void CollisionModel::Impl::place(const double* q, Pose& pose, const std::vector<std::size_t>& which) const {
    pose.frames.resize(links.size());
    pose.starts.resize(bodies.size());
    pose.ends.resize(bodies.size());
    pose.needed.assign(links.size(), 0);
    for (const std::size_t p : which) {
        pose.needed[pairs[p].link] = 1;
        if (!pairs[p].with_obstacle) {
            pose.needed[pairs[p].other] = 1;
        }
    }
    for (const Arm& arm : arms) {
        std::size_t last = 0;
        for (std::size_t i = 0; i <= arm.joints.size(); ++i) {
            last = pose.needed[arm.first_link + i] ? i : last;
        }
        place_frames(arm, q, last, pose.frames);
    }
    for (std::size_t b = 0; b < bodies.size(); ++b) {
        if (pose.needed[bodies[b].link]) {
            const Eigen::Isometry3d& frame = pose.frames[bodies[b].link];
            pose.starts[b] = frame * bodies[b].start;
            pose.ends[b] = frame * bodies[b].end;
        }
    }
    evaluated.fetch_add(1, std::memory_order_relaxed);
}

double CollisionModel::Impl::clearance(const Pose& pose, const Pair& pair, bool exact) const {
    const Link& link = links[pair.link];
    const Eigen::Vector3d centre = pose.frames[pair.link] * link.centre;
    double result = std::numeric_limits<double>::infinity();
    if (pair.with_obstacle) {
        const Obstacle& obstacle = obstacles[pair.other];
        const double apart = (centre - obstacle.centre).norm() - link.reach - obstacle.reach;
        if (!exact && apart > exact_within) {
            return apart;
        }
        for (const std::size_t b : link.capsules) {
            double distance = 0.0;
            if (obstacle.kind == Kind::Sphere) {
                distance = collision::segment_point_distance(pose.starts[b], pose.ends[b], obstacle.centre) -
                           obstacle.radius;
            } else {
                const Eigen::Vector3d start = obstacle.to_local * pose.starts[b];
                const Eigen::Vector3d end = obstacle.to_local * pose.ends[b];
                if (obstacle.kind == Kind::Box) {
                    distance = collision::segment_box_distance(start, end, obstacle.half);
                } else {
                    // The cylinder lies within the capsule about its axis: the distance to that
                    // capsule bounds the distance to it from below, and a large bound is enough.
                    const Eigen::Vector3d top(0.0, 0.0, obstacle.half_length);
                    distance = collision::segment_segment_distance(start, end, -top, top) - obstacle.radius;
                    if (exact || distance - bodies[b].radius <= capsule_within) {
                        distance = collision::segment_cylinder_distance(start, end, obstacle.radius,
                                                                        obstacle.half_length);
                    }
                }
            }
            result = std::min(result, distance - bodies[b].radius);
        }
        return result;
    }
    const Link& other = links[pair.other];
    const double apart =
        (centre - pose.frames[pair.other] * other.centre).norm() - link.reach - other.reach;
    if (!exact && apart > exact_within) {
        return apart;
    }
    for (const std::size_t b : link.capsules) {
        for (const std::size_t c : other.capsules) {
            const double distance =
                collision::segment_segment_distance(pose.starts[b], pose.ends[b], pose.starts[c], pose.ends[c]);
            result = std::min(result, distance - bodies[b].radius - bodies[c].radius);
        }
    }
    return result;
}

double CollisionModel::Impl::slab_clearance(const Pose& pose, const Pair& pair) const {
    const Obstacle& obstacle = obstacles[pair.other];
    const auto k = static_cast<Eigen::Index>(pair.slab);
    double result = std::numeric_limits<double>::infinity();
    for (const std::size_t b : links[pair.link].capsules) {
        const double start = (obstacle.to_local * pose.starts[b])[k];
        const double end = (obstacle.to_local * pose.ends[b])[k];
        const double gap = std::max({std::min(start, end) - obstacle.half[k], -obstacle.half[k] - std::max(start, end), 0.0});
        result = std::min(result, gap - bodies[b].radius);
    }
    return result;
}

void CollisionModel::Impl::clearances(const Pose& pose, const std::vector<std::size_t>& which,
                                      std::vector<double>& out) const {
    out.resize(pairs.size(), std::numeric_limits<double>::infinity());
    for (const std::size_t p : which) {
        out[p] = clearance(pose, pairs[p], false);
    }
}

double CollisionModel::Impl::approach(const Pair& pair, const double* dq) {
    double total = 0.0;
    for (const std::size_t j : pair.moving) {
        total += pair.lever[j] * dq[j];
    }
    return total;
}

}  // namespace velmor
