#include <velmor/motion/linear_motion.hpp>

#include <cmath>

#include <gtest/gtest.h>

#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robots.hpp>

#include "motion/trajectory_checks.hpp"

namespace {

using namespace velmor;
using velmor::testing::expect_within_limits;

struct Line {
    const char* name;
    std::vector<double> start;
    //! The goal: the tool pose at `start` moved by this [m] and turned by `turn`.
    Eigen::Vector3d shift;
    Eigen::AngleAxisd turn;
    std::optional<double> max_tool_speed;
};

Frame moved(const Frame& pose, const Line& line) {
    Eigen::Isometry3d goal = pose.transform;
    goal.translation() += line.shift;
    goal.linear() = goal.linear() * line.turn.toRotationMatrix();
    return Frame(goal);
}

class StraightLine : public ::testing::TestWithParam<Line> {};

TEST_P(StraightLine, KeepsTheToolOnTheLineAndTheJointsWithinTheirLimits) {
    const Line& line = GetParam();
    const auto arm = std::make_shared<robots::UR5e>();
    const Planner planner(arm);
    const Frame start = arm->calculate_tcp(line.start);
    const Frame goal = moved(start, line);
    const auto trajectory =
        planner.plan(LinearMotion(arm, line.name, line.start, CartesianWaypoint {goal, std::nullopt}, line.max_tool_speed));
    ASSERT_TRUE(trajectory);
    EXPECT_EQ(trajectory->motion, line.name);
    expect_within_limits(*trajectory, arm->get_joint_limits(), planner.delta_time);
    EXPECT_EQ(trajectory->front().position, line.start);

    const Eigen::Vector3d from = start.translation();
    const Eigen::Vector3d along = goal.translation() - from;
    const Eigen::AngleAxisd turn(start.rotation().transpose() * goal.rotation());
    // Check the samples, and between them the positions the driver plays by interpolation.
    const auto& q = trajectory->positions();
    double previous_s = 0.0;
    for (std::size_t k = 0; k < 2 * q.size() - 1; ++k) {
        std::vector<double> joints = q[k / 2];
        if (k % 2 == 1) {
            for (std::size_t j = 0; j < joints.size(); ++j) {
                joints[j] = (q[k / 2][j] + q[k / 2 + 1][j]) / 2;
            }
        }
        const Frame tool = arm->calculate_tcp(joints);
        const Eigen::Vector3d offset = tool.translation() - from;
        const double s = along.norm() > 0 ? offset.dot(along) / along.squaredNorm()
                                          : Eigen::AngleAxisd(start.rotation().transpose() * tool.rotation()).angle() /
                                                turn.angle();
        EXPECT_LT((offset - s * along).norm(), 1e-4) << "point " << k;
        const Eigen::Matrix3d expected = start.rotation() * Eigen::AngleAxisd(s * turn.angle(), turn.axis()).toRotationMatrix();
        EXPECT_LT(Eigen::AngleAxisd(expected.transpose() * tool.rotation()).angle(), 1e-3) << "point " << k;
        EXPECT_GE(s, previous_s - 1e-9) << "point " << k;
        previous_s = s;
        if (line.max_tool_speed && k % 2 == 0 && k > 0) {
            const double h = trajectory->times()[k / 2] - trajectory->times()[k / 2 - 1];
            const double travelled =
                (tool.translation() - arm->calculate_tcp(q[k / 2 - 1]).translation()).norm();
            EXPECT_LE(travelled / h, *line.max_tool_speed * (1 + 1e-6)) << "sample " << k / 2;
        }
    }
    const Frame end = arm->calculate_tcp(q.back());
    EXPECT_LT((end.translation() - goal.translation()).norm(), 1e-9);
    EXPECT_LT(Eigen::AngleAxisd(end.rotation().transpose() * goal.rotation()).angle(), 1e-9);
}

const std::vector<double> above_pick {0.6, -1.3, 1.6, -1.9, -1.57, 0.0};

INSTANTIATE_TEST_SUITE_P(
    LinearMotion, StraightLine,
    ::testing::Values(Line {"down", above_pick, {0.0, 0.0, -0.15}, Eigen::AngleAxisd::Identity(), std::nullopt},
                      Line {"across_and_turning", above_pick, {0.3, -0.25, 0.1},
                            Eigen::AngleAxisd(0.8, Eigen::Vector3d(1, 2, 3).normalized()), std::nullopt},
                      Line {"slowly", above_pick, {-0.2, 0.4, 0.0}, Eigen::AngleAxisd::Identity(), 0.1},
                      Line {"turning_in_place", above_pick, Eigen::Vector3d::Zero(),
                            Eigen::AngleAxisd(1.2, Eigen::Vector3d::UnitZ()), std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct Refused {
    const char* name;
    std::vector<double> start;
    std::vector<double> start_velocity;
    //! The goal: the tool pose of these joints, or of the start moved by `shift`.
    std::vector<double> goal_joints;
    Eigen::Vector3d shift;
    const char* message;
};

class RefusedLine : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedLine, IsRefusedSayingWhy) {
    const Refused& refused = GetParam();
    const auto arm = std::make_shared<robots::UR5e>();
    const Planner planner(arm);
    Eigen::Isometry3d goal = arm->calculate_tcp(refused.goal_joints.empty() ? refused.start : refused.goal_joints).transform;
    goal.translation() += refused.shift;
    const LinearMotion line(arm, "", Waypoint(refused.start, refused.start_velocity),
                            CartesianWaypoint {Frame(goal), std::nullopt});
    try {
        (void)planner.plan(line);
        ADD_FAILURE() << "planned";
    } catch (const VelmorError& error) {
        EXPECT_EQ(error.module, "planner");
        EXPECT_NE(error.message.find(refused.message), std::string::npos) << error.message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    LinearMotion, RefusedLine,
    ::testing::Values(
        Refused {"goal_out_of_reach", above_pick, {}, {}, {-1.5, 0.0, 0.0}, "goal pose of the straight line lies outside"},
        // Straight over the base, where the tool cannot come with this orientation.
        Refused {"across_the_base", {-0.346, -1.74, 2.227, -2.074, -1.547, -0.946}, {}, {}, {0.8, 0.0, 0.0},
                 "leaves the robot's reach or joint limits at"},
        // Wrist 2 turns through zero on the way: the wrist's axes line up.
        Refused {"through_the_wrist_singularity", {-0.499, -0.554, -0.536, -1.957, 0.179, -0.083}, {},
                 {-0.505, -0.631, -0.58, -1.612, -0.323, 0.687}, Eigen::Vector3d::Zero(), "crosses a singularity at"},
        Refused {"moving_start", above_pick, {0.1, 0, 0, 0, 0, 0}, {}, {0.0, 0.0, -0.1}, "starts at rest"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinearMotion, IsPlannedByNameAndRefusedWhenItMeetsAnObstacle) {
    const auto arm = std::make_shared<robots::UR5e>();
    auto environment = std::make_shared<Environment>(arm);
    Planner planner(environment);
    const Frame start = arm->calculate_tcp(above_pick);
    const Frame goal = Frame::from_translation(0.0, 0.0, -0.2) * start;
    planner.add_motion(LinearMotion(arm, "down", std::nullopt, CartesianWaypoint {goal, std::nullopt}));
    const auto down = planner.plan("down", Goal(above_pick));
    ASSERT_TRUE(down);
    EXPECT_LT((arm->calculate_tcp(down->back().position).translation() - goal.translation()).norm(), 1e-9);

    // A plate 5 cm above the goal lies across the line.
    const Eigen::Vector3d where = goal.translation() + Eigen::Vector3d(0, 0, 0.05);
    environment->add_obstacle("plate", Box({0.3, 0.3, 0.01}, Frame::from_translation(where.x(), where.y(), where.z())));
    const auto blocked = planner.plan("down", Goal(above_pick), std::nullopt, PlanOptions {});
    EXPECT_FALSE(blocked.trajectory);
    ASSERT_TRUE(blocked.blocking);
    EXPECT_EQ(blocked.blocking->obstacle, "plate");
    EXPECT_EQ(blocked.warning.rfind("The straight line meets link ", 0), 0U) << blocked.warning;
    EXPECT_TRUE(planner.plan("down", Goal(above_pick), std::nullopt, PlanOptions {true, 0, 0}).trajectory);

    // A motion added under the same name replaces the straight line.
    planner.add_motion(Motion(arm, "down", std::nullopt, above_pick));
    EXPECT_EQ(planner.plan("down", Goal(above_pick))->size(), 1U);
    EXPECT_THROW((void)planner.plan(LinearMotion(robots::make("dual-arm"), "", std::nullopt, {goal, std::nullopt}),
                                    Goal(std::vector<double>(12, 0.0))),
                 VelmorError);
}

TEST(LinearMotion, IsNotPlannedBeyondAMillionSamples) {
    const auto arm = std::make_shared<robots::UR5e>();
    const Frame goal = Frame::from_translation(0.0, 0.0, -0.2) * arm->calculate_tcp(above_pick);
    const LinearMotion down(arm, "down", above_pick, CartesianWaypoint {goal, std::nullopt});
    EXPECT_TRUE(Planner(arm, 1e-3).plan(down));
    EXPECT_FALSE(Planner(arm, 1e-7).plan(down));
}

}  // namespace
