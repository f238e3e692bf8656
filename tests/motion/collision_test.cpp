#include <velmor/motion/collision.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/urdf.hpp>
#include <velmor/motion/robots.hpp>

#include "support/robots_folder.hpp"

namespace {

using namespace velmor;

constexpr double pi = std::numbers::pi;

//! A planar arm of `joints` links, each 1 m long about parallel z axes, each a
//! capsule of radius 0.1 m from its joint to the next.
std::shared_ptr<RobotArm> planar_arm(std::size_t joints) {
    std::vector<LinkGeometry> links {{"base", {}}};
    for (std::size_t i = 1; i <= joints; ++i) {
        links.push_back({"link" + std::to_string(i), {{{-1.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, 0.1}}});
    }
    return std::make_shared<RobotArm>("planar", std::vector<DenavitHartenberg>(joints, {0.0, 0.0, 1.0, 0.0}),
                                      std::vector<JointLimits>(joints, {-2 * pi, 2 * pi, 1.0, 1.0, 1.0}),
                                      Frame::Identity(), Frame::Identity(), links);
}

struct HandCase {
    const char* name;
    Shape obstacle;
    double clearance;
};

class OneLinkArm : public ::testing::TestWithParam<HandCase> {};

// The link lies along x from 0 to 1 m; its surface reaches 1.1 m at the tip and 0.1 m to the side.
TEST_P(OneLinkArm, MeetsTheClearanceWorkedOutByHand) {
    const auto& [name, obstacle, expected] = GetParam();
    const CollisionModel model(planar_arm(1), {{"thing", obstacle}});
    EXPECT_NEAR(model.clearance({0.0}), expected, 1e-9);
    const auto collision = model.check(std::vector<double> {0.0});
    EXPECT_EQ(collision.has_value(), expected <= CollisionModel::contact_distance);
    if (collision) {
        EXPECT_EQ(collision->obstacle, "thing");
        EXPECT_EQ(collision->link_name, "link1");
        EXPECT_EQ(collision->link, 1U);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Collision, OneLinkArm,
    ::testing::Values(HandCase {"box_touching_the_tip", Box({0.1, 1.0, 1.0}, Frame::from_translation(1.15, 0, 0)), 0.0},
                      HandCase {"box_a_millimetre_off", Box({0.1, 1.0, 1.0}, Frame::from_translation(1.151, 0, 0)), 0.001},
                      HandCase {"box_turned_onto_its_edge",
                                Box({0.2, 0.2, 1.0}, Frame::from_euler(0.5, 0.1 + 0.1 * std::sqrt(2.0) + 0.002, 0,
                                                                         pi / 4, 0, 0)),
                                0.002},
                      HandCase {"sphere_touching_the_side", Sphere(0.2, Frame::from_translation(0.5, 0.3, 0.0)), 0.0},
                      HandCase {"sphere_beyond_the_tip", Sphere(0.2, Frame::from_translation(1.5, 0.0, 0.0)), 0.2},
                      HandCase {"cylinder_across_the_link",
                                Cylinder(0.05, 1.0, Frame::from_translation(0.5, 0.0, 0.0)), -0.1},
                      HandCase {"cylinder_a_millimetre_above",
                                Cylinder(0.05, 0.2, Frame::from_translation(0.5, 0.0, 0.201)), 0.001}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Collision, FindsAThinWallThatTheLinkSweepsThroughBetweenTwoSamples) {
    // A wall 1 mm thick in the plane y = 0, 0.5 m to 0.9 m from the axis. At both
    // samples (±0.5 rad) the link is well clear of it; on the way it passes through.
    const Box wall({0.4, 0.001, 0.2}, Frame::from_translation(0.7, 0.0, 0.0));
    const CollisionModel model(planar_arm(1), {{"wall", wall}});
    const Trajectory sweep({0.0, 1.0}, {{-0.5}, {0.5}}, {{0.0}, {0.0}}, {{0.0}, {0.0}});
    ASSERT_FALSE(model.check(std::vector<double> {-0.5}));
    ASSERT_FALSE(model.check(std::vector<double> {0.5}));
    const auto collision = model.check(sweep);
    ASSERT_TRUE(collision);
    EXPECT_EQ(collision->obstacle, "wall");
    // First contact where 0.5 m · sin θ - 0.0005 m = 0.1 m, at θ = -asin(0.201).
    EXPECT_NEAR(collision->time, 0.5 - std::asin(0.201), 1e-4);
}

TEST(Collision, SelfCollisionCountsOnlyBetweenLinksThatAreNotNeighbours) {
    const CollisionModel model(planar_arm(3), {});
    // Folded into a square's three sides: the first and third link lie 1 m apart, and
    // the neighbours touch only at their joints.
    EXPECT_NEAR(model.clearance({0.0, pi / 2, pi / 2}), 0.8, 1e-12);
    EXPECT_FALSE(model.check(std::vector<double> {0.0, pi / 2, pi / 2}));
    // Folded further, the third link crosses the first.
    const auto collision = model.check(std::vector<double> {0.0, 2.5, 2.5});
    ASSERT_TRUE(collision);
    EXPECT_EQ(collision->link_name, "link1");
    EXPECT_EQ(collision->other_link_name, "link3");
    EXPECT_TRUE(collision->obstacle.empty());
    EXPECT_EQ(collision->describe(), "link \"link1\" and link \"link3\"");
}

// Poses the real arm reaches without touching itself, and two where it folds into itself.
class UR5ePose : public ::testing::TestWithParam<std::pair<std::vector<double>, bool>> {};

TEST_P(UR5ePose, TouchesItselfOnlyWhenFolded) {
    const auto& [position, folded] = GetParam();
    const CollisionModel model(robots::make("ur5e"), {});
    EXPECT_EQ(model.check(position).has_value(), folded);
    const CollisionModel two(robots::make("dual-arm"), {});
    std::vector<double> both = position;
    both.insert(both.end(), position.begin(), position.end());
    EXPECT_EQ(two.check(both).has_value(), folded);
}

INSTANTIATE_TEST_SUITE_P(
    Collision, UR5ePose,
    ::testing::Values(std::pair {std::vector<double> {0, 0, 0, 0, 0, 0}, false},
                      std::pair {std::vector<double> {0, -pi / 2, 0, -pi / 2, 0, 0}, false},
                      std::pair {std::vector<double> {0, -pi / 2, 0, 0, 0, 0}, false},
                      std::pair {std::vector<double> {0, -1.2, 1.4, -0.2, 1.57, 0}, false},
                      std::pair {std::vector<double> {0.6, -1.1, 1.8, -2.3, -1.57, 0}, false},
                      std::pair {std::vector<double> {1.2, -0.8, 1.0, -0.2, 1.57, 0.6}, false},
                      std::pair {std::vector<double> {0, pi / 2, 0, 0, 0, 0}, false},
                      std::pair {std::vector<double> {0, -2.0, 2.6, -2.2, -pi / 2, 0}, false},
                      std::pair {std::vector<double> {0, 0, pi, 0, 0, 0}, true},
                      std::pair {std::vector<double> {0, -0.5, 2.8, 0, 0, 0}, true}));

TEST(Collision, TwoArmsMeetEachOther) {
    const CollisionModel model(robots::make("dual-arm"), {});
    // The arms stand 1 m apart along y; turned towards each other and stretched, they overlap.
    const auto collision = model.check(std::vector<double> {pi / 2, 0, 0, 0, 0, 0, -pi / 2, 0, 0, 0, 0, 0});
    ASSERT_TRUE(collision);
    EXPECT_NE(collision->arm, collision->other_arm);
    EXPECT_EQ(collision->link_name.substr(0, 5), "arm0/");
}

TEST(Collision, WrongSizesAndNumbersAreRefused) {
    const CollisionModel model(robots::make("ur5e"), {});
    EXPECT_THROW(model.check(std::vector<double>(5, 0.0)), VelmorError);
    EXPECT_THROW(model.check(std::vector<double> {0, 0, std::nan(""), 0, 0, 0}), VelmorError);
    EXPECT_THROW(model.check(Trajectory({0.0}, {{0.0}}, {{0.0}}, {{0.0}})), VelmorError);
    EXPECT_THROW(model.check_motion(std::vector<double>(6, 0.0), std::vector<double>(7, 0.0)), VelmorError);
}

// Cross-check of the continuous check against dense sampling, on random straight
// motions of the arm among obstacles: every contact that sampling finds, the check
// finds no later, and where it finds none, sampling finds none either.
TEST(Collision, ContinuousCheckAgreesWithDenseSampling) {
    const std::map<std::string, Shape> cell {
        {"table", Box({1.0, 1.0, 0.04}, Frame::from_translation(0.5, 0.0, -0.1))},
        {"post", Cylinder(0.06, 1.2, Frame::from_translation(-0.4, 0.3, 0.3))},
        {"ball", Sphere(0.15, Frame::from_translation(0.0, -0.5, 0.5))},
        {"sheet", Box({0.002, 1.2, 1.2}, Frame::from_translation(-0.5, -0.3, 0.3))},
    };
    const CollisionModel model(robots::make("ur5e"), cell);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> joint(-pi, pi);
    int colliding = 0;
    for (int motion = 0; motion < 60; ++motion) {
        std::vector<double> from(6);
        std::vector<double> to(6);
        do {
            for (std::size_t j = 0; j < 6; ++j) {
                from[j] = joint(random);
                to[j] = from[j] + joint(random) / 2;
            }
        } while (model.check(from) || model.check(to));
        const auto found = model.check_motion(from, to);
        std::optional<double> sampled;
        constexpr int samples = 1000;
        for (int k = 1; k < samples && !sampled; ++k) {
            const double t = static_cast<double>(k) / samples;
            std::vector<double> q(6);
            for (std::size_t j = 0; j < 6; ++j) {
                q[j] = from[j] + t * (to[j] - from[j]);
            }
            if (model.clearance(q) <= CollisionModel::contact_distance) {
                sampled = t;
            }
        }
        ASSERT_EQ(found.has_value(), sampled.has_value()) << "motion " << motion;
        if (found) {
            ++colliding;
            EXPECT_LE(found->time, *sampled + 1e-12) << "motion " << motion;
            EXPECT_GE(found->time, *sampled - 1.0 / samples) << "motion " << motion;
        }
    }
    // The random motions must exercise both outcomes.
    EXPECT_GT(colliding, 5);
    EXPECT_LT(colliding, 55);
}

// A box stood on its side, beside the link: its thin axis is horizontal, so turning the
// link about the vertical changes the link's gap to the slab between its broad faces, and
// the turn must be checked step by step into the box.
TEST(Collision, FindsABoxStoodOnItsSideThatTheFirstJointTurnsTheLinkInto) {
    const Eigen::Isometry3d upright = Eigen::Translation3d(0.7, 0.5, 0.0) * Eigen::AngleAxisd(pi / 2, Eigen::Vector3d::UnitX());
    const CollisionModel model(planar_arm(1), {{"upright", Box({0.2, 0.4, 0.1}, Frame(upright))}});
    EXPECT_FALSE(model.check(std::vector<double> {0.0}));
    EXPECT_FALSE(model.check(std::vector<double> {1.2}));
    const auto met = model.check_motion({0.0}, {1.2});
    ASSERT_TRUE(met);
    EXPECT_EQ(met->obstacle, "upright");
}

// Kinematics and the collision model must place every link alike, or checks would look
// for the solids where the arm is not.
std::shared_ptr<Robot> robot_for_frames(const std::string& name) {
    if (name != "offsets") {
        return robots::make(name);
    }
    // An offset in every parameter and a turned base, so that no term goes unnoticed.
    return std::make_shared<RobotArm>(
        "offsets",
        std::vector<DenavitHartenberg> {{0.3, 0.2, 0.1, 0.7}, {-0.1, -1.1, 0.5, -0.4}, {0.05, 2.0, -0.3, 1.3}},
        std::vector<JointLimits>(3, {-pi, pi, 1.0, 1.0, 1.0}), Frame::from_euler(-0.2, 0.1, 0.3, 1.0, 0.2, -0.6));
}

class LinkFrames : public ::testing::TestWithParam<const char*> {};

TEST_P(LinkFrames, EqualTheJointFramesOfTheKinematics) {
    const auto robot = robot_for_frames(GetParam());
    const CollisionModel model(robot, {});
    std::mt19937 random(23);
    std::uniform_real_distribution<double> angle(-pi, pi);
    for (int sample = 0; sample < 100; ++sample) {
        std::vector<double> q(robot->get_degrees_of_freedom());
        std::generate(q.begin(), q.end(), [&] { return angle(random); });
        std::vector<Frame> expected;
        auto first = q.begin();
        for (auto arm = robot->get_next_arm(nullptr); arm; arm = robot->get_next_arm(arm)) {
            const auto last = first + static_cast<std::ptrdiff_t>(arm->get_degrees_of_freedom());
            const auto frames = arm->calculate_joint_frames({first, last});
            // The last frame is the tool's, which carries no link.
            expected.insert(expected.end(), frames.begin(), frames.end() - 1);
            first = last;
        }
        const auto frames = model.link_frames(q);
        ASSERT_EQ(frames.size(), expected.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_TRUE(frames[i].transform.isApprox(expected[i].transform, 1e-12)) << "link " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Robots, LinkFrames, ::testing::Values("ur5e", "dual-arm", "offsets"));

//! A robot for the cross-checks: a built-in model, or an arm read from a description file.
std::shared_ptr<Robot> cross_check_robot(const std::string& name) {
    if (name.ends_with(".urdf")) {
        return robots::from_urdf(std::string(velmor::testing::robots_folder()) + "/" + name);
    }
    return robots::make(name);
}

class CheckedTrajectories : public ::testing::TestWithParam<const char*> {};

// Planned motions between random clear positions among obstacles, checked as a whole
// against dense sampling of every step: a motion the check calls free has no contact at
// any sample, and a contact it reports is one (the position at its time touches), no
// later than the first that sampling finds. The arms turn about and slide along axes of
// every direction, alone and in pairs.
TEST_P(CheckedTrajectories, AgreeWithDenseSamplingOfEveryStep) {
    const auto robot = cross_check_robot(GetParam());
    auto cell = std::make_shared<Environment>(robot);
    cell->add_obstacle("table", Box({1.6, 1.4, 0.04}, Frame::from_translation(-0.3, 0.0, -0.05)));
    cell->add_obstacle("post", Cylinder(0.05, 1.2, Frame::from_translation(0.45, 0.1, 0.6)));
    cell->add_obstacle("sheet", Box({0.002, 1.2, 0.8}, Frame::from_translation(-0.5, -0.3, 0.4)));
    cell->add_obstacle("block", Box({0.3, 0.3, 0.7}, Frame::from_translation(0.6, 0.4, 0.35)));
    const Planner planner(cell, 0.008);
    const auto model = planner.collision_model();
    const std::size_t dof = robot->get_degrees_of_freedom();
    const auto limits = robot->get_joint_limits();
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto draw = [&] {
        std::vector<double> q(dof);
        for (std::size_t j = 0; j < dof; ++j) {
            const double low = std::max(limits[j].min_position, -2.5);
            const double high = std::min(limits[j].max_position, 2.5);
            q[j] = low + unit(random) * (high - low);
        }
        return q;
    };
    const auto position_at = [dof](const Trajectory& trajectory, double t) {
        const auto& times = trajectory.times();
        const std::size_t k = std::min<std::size_t>(
            static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), t) - times.begin()), times.size() - 1);
        const std::size_t before = k == 0 ? 0 : k - 1;
        const double u = times[k] > times[before] ? (t - times[before]) / (times[k] - times[before]) : 0.0;
        std::vector<double> q(dof);
        for (std::size_t j = 0; j < dof; ++j) {
            q[j] = trajectory.positions()[before][j] + u * (trajectory.positions()[k][j] - trajectory.positions()[before][j]);
        }
        return q;
    };
    constexpr int motions = 16;
    int colliding = 0;
    for (int motion = 0; motion < motions; ++motion) {
        std::vector<double> from;
        std::vector<double> to;
        int attempts = 0;
        do {
            ASSERT_LT(++attempts, 1000) << "no clear positions";
            from = draw();
            to = draw();
        } while (model->check(from) || model->check(to));
        const auto trajectory = planner.plan(Motion(robot, "", from, to));
        ASSERT_TRUE(trajectory);
        const auto found = model->check(*trajectory);
        std::optional<double> sampled;
        constexpr int steps = 8;
        const auto& times = trajectory->times();
        for (std::size_t k = 0; k + 1 < times.size() && !sampled; ++k) {
            for (int i = 1; i <= steps && !sampled; ++i) {
                const double t = times[k] + (times[k + 1] - times[k]) * i / steps;
                if (model->clearance(position_at(*trajectory, t)) <= CollisionModel::contact_distance) {
                    sampled = t;
                }
            }
        }
        if (sampled) {
            ASSERT_TRUE(found) << "motion " << motion;
            EXPECT_LE(found->time, *sampled + 1e-9) << "motion " << motion;
        }
        if (found) {
            ++colliding;
            EXPECT_LE(model->clearance(position_at(*trajectory, found->time)), CollisionModel::contact_distance + 1e-9)
                << "motion " << motion;
        }
    }
    // The random motions must exercise both outcomes.
    EXPECT_GT(colliding, 0);
    EXPECT_LT(colliding, motions);
}

INSTANTIATE_TEST_SUITE_P(Robots, CheckedTrajectories,
                         ::testing::Values("ur5e", "dual-arm", "six_axis.urdf", "seven_axis.urdf", "gantry_wrist.urdf"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

}  // namespace
