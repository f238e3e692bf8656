#include <velmor/motion/collision.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

#include <velmor/common/velmor_error.hpp>

#include "collision/axes.hpp"
#include "collision/distance.hpp"
#include "collision/model.hpp"

namespace velmor {

namespace {

using collision::off_axis;
using collision::reach_about_first_joint;
using collision::reach_about_joint_after_next;
using collision::reach_about_next_joint;
using collision::slab_about_first_joint;

Eigen::Vector3d vector(const std::array<double, 3>& value) {
    return {value[0], value[1], value[2]};
}

//! How far a joint and its link can carry the next link's origin from the previous one's [m].
double link_length(const ChainJoint& joint, const JointLimits& limits) {
    double length = joint.get_origin().translation().norm() + joint.get_offset().translation().norm();
    if (joint.get_type() == JointType::Prismatic) {
        length += std::max(std::abs(limits.min_position), std::abs(limits.max_position));
    }
    return length;
}

//! Whether one of two links of an arm ignores the other.
bool ignores(const CollisionModel::Impl::Link& link, const CollisionModel::Impl::Link& other) {
    const auto& a = link.ignored;
    const auto& b = other.ignored;
    return std::find(a.begin(), a.end(), other.index) != a.end() || std::find(b.begin(), b.end(), link.index) != b.end();
}

//! The joints' axes and the reach of every link, for the motion bounds.
void add_arm(CollisionModel::Impl& model, const RobotArm& arm, std::size_t first_joint, bool several_arms) {
    using Impl = CollisionModel::Impl;
    const std::size_t arm_index = model.arms.size();
    Impl::Arm data {arm.get_chain(), arm.get_base().transform, first_joint, model.links.size()};
    for (const ChainJoint& joint : data.joints) {
        data.about_z.push_back(joint.get_type() == JointType::Revolute && joint.get_axis() == Eigen::Vector3d::UnitZ() &&
                               joint.get_origin().transform.matrix().isIdentity(0.0));
    }
    const auto limits = arm.get_joint_limits();
    const auto& geometry = arm.get_link_geometry();
    for (std::size_t i = 0; i < geometry.size(); ++i) {
        Impl::Link link {arm_index, i, (several_arms ? "arm" + std::to_string(arm_index) + "/" : "") + geometry[i].name,
                         {}, Eigen::Vector3d::Zero(), 0.0, std::vector<double>(model.degrees_of_freedom, 0.0)};
        link.ignored = geometry[i].ignored_links;
        double farthest = 0.0;
        Eigen::Vector3d low = Eigen::Vector3d::Constant(std::numeric_limits<double>::infinity());
        Eigen::Vector3d high = -low;
        for (const Capsule& capsule : geometry[i].capsules) {
            const Eigen::Vector3d start = vector(capsule.start);
            const Eigen::Vector3d end = vector(capsule.end);
            link.capsules.push_back(model.bodies.size());
            model.bodies.push_back(Impl::Body {model.links.size(), start, end, capsule.radius});
            farthest = std::max({farthest, start.norm(), end.norm()});
            low = low.cwiseMin(start).cwiseMin(end);
            high = high.cwiseMax(start).cwiseMax(end);
        }
        if (!link.capsules.empty()) {
            link.centre = (low + high) / 2;
            for (const std::size_t b : link.capsules) {
                const Impl::Body& body = model.bodies[b];
                link.reach = std::max({link.reach, (body.start - link.centre).norm() + body.radius,
                                       (body.end - link.centre).norm() + body.radius});
            }
        }
        // Joint j turns link i (j ≤ i) about its axis; a point of the link lies at most the
        // offset of link j from that axis, plus the lengths of the later links, plus its own
        // distance from the link's origin away from it. A sliding joint moves it as far as it slides.
        for (std::size_t j = 1; j <= i; ++j) {
            const ChainJoint& joint = data.joints[j - 1];
            double distance = 1.0;
            if (joint.get_type() == JointType::Revolute && j == i) {
                // Its own joint turns the link alone: exactly its capsules' distance from the axis.
                distance = 0.0;
                for (const Capsule& capsule : geometry[i].capsules) {
                    for (const auto& point : {capsule.start, capsule.end}) {
                        distance = std::max(distance, off_axis(joint.get_axis(), Eigen::Vector3d::Zero(),
                                                               joint.get_offset().transform * vector(point)));
                    }
                }
            } else if (joint.get_type() == JointType::Revolute) {
                const Eigen::Vector3d offset = joint.get_offset().translation();
                distance = (offset - joint.get_axis() * joint.get_axis().dot(offset)).norm() + farthest;
                for (std::size_t k = j + 1; k <= i; ++k) {
                    distance += link_length(data.joints[k - 1], limits[k - 1]);
                }
            }
            link.lever[first_joint + j - 1] = distance;
        }
        model.links.push_back(std::move(link));
    }
    model.arms.push_back(std::move(data));
}

CollisionModel::Impl::Obstacle make_obstacle(const std::string& name, const Shape& shape) {
    check_shape(shape);
    using Impl = CollisionModel::Impl;
    Impl::Obstacle obstacle {name, Impl::Kind::Box, {}, {}, 0.0, Eigen::Vector3d::Zero(), 0.0, 0.0};
    Frame frame;
    if (const auto* box = std::get_if<Box>(&shape)) {
        frame = box->frame;
        obstacle.half = vector(box->size) / 2;
        obstacle.reach = obstacle.half.norm();
    } else if (const auto* sphere = std::get_if<Sphere>(&shape)) {
        frame = sphere->frame;
        obstacle.kind = Impl::Kind::Sphere;
        obstacle.radius = sphere->radius;
        obstacle.reach = sphere->radius;
    } else {
        const auto& cylinder = std::get<Cylinder>(shape);
        frame = cylinder.frame;
        obstacle.kind = Impl::Kind::Cylinder;
        obstacle.radius = cylinder.radius;
        obstacle.half_length = cylinder.length / 2;
        obstacle.reach = std::hypot(cylinder.radius, obstacle.half_length);
    }
    obstacle.to_local = frame.transform.inverse();
    obstacle.centre = frame.translation();
    return obstacle;
}

}  // namespace

CollisionModel::Impl::Impl(const std::shared_ptr<Robot>& robot, const std::map<std::string, Shape>& shapes) {
    if (!robot) {
        throw VelmorError("collision", "A collision model needs a robot.");
    }
    degrees_of_freedom = robot->get_degrees_of_freedom();
    std::vector<std::shared_ptr<RobotArm>> chain;
    for (auto arm = robot->get_next_arm(nullptr); arm; arm = robot->get_next_arm(arm)) {
        chain.push_back(arm);
    }
    std::size_t first_joint = 0;
    for (const auto& arm : chain) {
        add_arm(*this, *arm, first_joint, chain.size() > 1);
        first_joint += arm->get_degrees_of_freedom();
    }
    if (first_joint != degrees_of_freedom) {
        throw VelmorError("collision", "The arms of robot \"" + robot->name + "\" have " + std::to_string(first_joint) +
                                           " joints but the robot has " + std::to_string(degrees_of_freedom) + ".");
    }
    for (const auto& [name, shape] : shapes) {
        obstacles.push_back(make_obstacle(name, shape));
    }
    for (std::size_t l = 0; l < links.size(); ++l) {
        const Link& link = links[l];
        if (link.capsules.empty()) {
            continue;
        }
        for (std::size_t o = 0; o < obstacles.size() && link.index > 0; ++o) {
            Pair pair {l, o, true, link.lever};
            double& first = pair.lever[arms[link.arm].first_joint];
            first = std::min(first, reach_about_first_joint(arms[link.arm], obstacles[o]));
            pair.slab = slab_about_first_joint(arms[link.arm], obstacles[o]);
            if (pair.slab < 3) {
                pair.slab_lever = pair.lever;
                pair.slab_lever[arms[link.arm].first_joint] = 0.0;
            }
            pairs.push_back(std::move(pair));
        }
        for (std::size_t m = l + 1; m < links.size(); ++m) {
            const Link& other = links[m];
            const bool same_arm = other.arm == link.arm;
            if (other.capsules.empty() || (same_arm && other.index == link.index + 1) ||
                (link.index == 0 && other.index == 0) || (same_arm && ignores(link, other))) {
                continue;
            }
            Pair pair {l, m, false, other.lever};
            if (same_arm) {
                // Seen from the nearer link, only the joints between the two move the farther one.
                const std::size_t arm_start = arms[link.arm].first_joint;
                const auto next = pair.lever.begin() + static_cast<std::ptrdiff_t>(arm_start + link.index);
                std::fill(pair.lever.begin(), next, 0.0);
                *next = std::min(*next, reach_about_next_joint(*this, link));
                if (*next == 0.0) {
                    // The link turns into itself with the next one: seen from that one, it stands still.
                    *(next + 1) = std::min(*(next + 1), reach_about_joint_after_next(*this, link));
                }
            } else {
                for (std::size_t j = 0; j < degrees_of_freedom; ++j) {
                    pair.lever[j] += link.lever[j];
                }
            }
            pairs.push_back(std::move(pair));
        }
    }
    for (Pair& pair : pairs) {
        for (std::size_t j = 0; j < degrees_of_freedom; ++j) {
            if (pair.lever[j] != 0.0) {
                pair.moving.push_back(j);
            }
            if (!pair.slab_lever.empty() && pair.slab_lever[j] != 0.0) {
                pair.slab_moving.push_back(j);
            }
        }
    }
}

void CollisionModel::Impl::check_position(const std::vector<double>& q, const char* what) const {
    if (q.size() != degrees_of_freedom) {
        throw VelmorError("collision", std::string("The ") + what + " has " + std::to_string(q.size()) +
                                           " joint values but the robot has " + std::to_string(degrees_of_freedom) +
                                           " joints.");
    }
    check_finite(q.data(), what);
}

void CollisionModel::Impl::check_finite(const double* q, const char* what) const {
    for (std::size_t j = 0; j < degrees_of_freedom; ++j) {
        if (!std::isfinite(q[j])) {
            // Distances from such a position are not numbers, and would never report a contact.
            throw VelmorError("collision", std::string("The ") + what + " of joint " + std::to_string(j) +
                                               " is not a finite number.");
        }
    }
}

Collision CollisionModel::Impl::report(const Pair& pair, double time) const {
    const Link& link = links[pair.link];
    Collision collision;
    collision.time = time;
    collision.arm = link.arm;
    collision.link = link.index;
    collision.link_name = link.name;
    if (pair.with_obstacle) {
        collision.obstacle = obstacles[pair.other].name;
    } else {
        const Link& other = links[pair.other];
        collision.other_arm = other.arm;
        collision.other_link = other.index;
        collision.other_link_name = other.name;
    }
    return collision;
}

std::string Collision::describe() const {
    return "link \"" + link_name + "\" and " +
           (obstacle.empty() ? "link \"" + other_link_name + "\"" : "obstacle \"" + obstacle + "\"");
}

CollisionModel::CollisionModel(std::shared_ptr<Robot> robot, const std::map<std::string, Shape>& obstacles)
    : impl(std::make_unique<Impl>(robot, obstacles)) {}

CollisionModel::~CollisionModel() = default;
CollisionModel::CollisionModel(CollisionModel&&) noexcept = default;
CollisionModel& CollisionModel::operator=(CollisionModel&&) noexcept = default;

std::optional<Collision> CollisionModel::check(const std::vector<double>& joint_position) const {
    impl->check_position(joint_position, "joint position");
    const double time = 0.0;
    return impl->check_path(joint_position.data(), 1, &time);
}

std::optional<Collision> CollisionModel::check(const Trajectory& trajectory) const {
    if (trajectory.empty()) {
        return std::nullopt;
    }
    const SampleColumn& positions = trajectory.positions();
    if (positions.joints() != impl->degrees_of_freedom) {
        impl->check_position(positions.front(), "trajectory's position");
    }
    const std::vector<double>& values = positions.flat();
    if (!std::all_of(values.begin(), values.end(), [](double value) { return std::isfinite(value); })) {
        for (const SampleRow position : positions) {
            impl->check_finite(position.data(), "trajectory's position");
        }
    }
    return impl->check_path(positions.flat().data(), positions.size(), trajectory.times().data());
}

std::optional<Collision> CollisionModel::check_motion(const std::vector<double>& from,
                                                      const std::vector<double>& to) const {
    impl->check_position(from, "start of the motion");
    impl->check_position(to, "end of the motion");
    std::vector<double> ends(from);
    ends.insert(ends.end(), to.begin(), to.end());
    const double times[] {0.0, 1.0};
    return impl->check_path(ends.data(), 2, times);
}

double CollisionModel::clearance(const std::vector<double>& joint_position) const {
    impl->check_position(joint_position, "joint position");
    Impl::Pose pose;
    impl->place(joint_position.data(), pose);
    double least = std::numeric_limits<double>::infinity();
    for (const auto& pair : impl->pairs) {
        least = std::min(least, impl->clearance(pose, pair, true));
    }
    return least;
}

std::vector<std::pair<std::size_t, std::size_t>> CollisionModel::links_in_contact(
    const std::vector<double>& joint_position) const {
    impl->check_position(joint_position, "joint position");
    Impl::Pose pose;
    impl->place(joint_position.data(), pose);
    std::vector<bool> touching(impl->links.size(), false);
    for (const auto& pair : impl->pairs) {
        if (impl->clearance(pose, pair, false) <= contact_distance) {
            touching[pair.link] = true;
            if (!pair.with_obstacle) {
                touching[pair.other] = true;
            }
        }
    }
    std::vector<std::pair<std::size_t, std::size_t>> result;
    for (std::size_t l = 0; l < touching.size(); ++l) {
        if (touching[l]) {
            result.emplace_back(impl->links[l].arm, impl->links[l].index);
        }
    }
    return result;
}

std::vector<Frame> CollisionModel::link_frames(const std::vector<double>& joint_position) const {
    impl->check_position(joint_position, "joint position");
    Impl::Pose pose;
    impl->place(joint_position.data(), pose);
    return {pose.frames.begin(), pose.frames.end()};
}

std::size_t CollisionModel::evaluations() const {
    return impl->evaluated.load(std::memory_order_relaxed);
}

}  // namespace velmor
