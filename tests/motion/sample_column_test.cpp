#include <velmor/motion/trajectory.hpp>

#include <random>

#include <velmor/common/velmor_error.hpp>

#include <gtest/gtest.h>

#include "motion/profile_bound.hpp"
#include "planning/sampling.hpp"
#include "planning/state_to_state.hpp"

namespace {

using namespace velmor;
using planning::JointState;
using Rows = std::vector<std::vector<double>>;

std::vector<JointState> states(const Waypoint& w) {
    std::vector<JointState> result(w.position.size());
    for (std::size_t i = 0; i < result.size(); ++i) {
        result[i] = {w.position[i], w.velocity[i], w.acceleration[i]};
    }
    return result;
}

class SampleColumnTest : public ::testing::TestWithParam<unsigned> {};

// Every sample of a planned motion is its profiles' state at the sample time, read straight
// from the profiles (the first and last samples are the start and goal themselves).
TEST_P(SampleColumnTest, SamplesAreTheProfilesStates) {
    std::mt19937 random(GetParam());
    const std::vector<JointLimits> limits = velmor::testing::varied_limits();
    const auto [start, goal] = velmor::testing::random_state_pair(random, limits);
    const std::vector<JointState> from = states(start);
    const std::vector<JointState> to = states(goal);
    const planning::JointMotion motion = planning::state_to_state(from, to, limits);
    const Trajectory trajectory = planning::sample(motion, 0.002 + 0.001 * GetParam(), from, to);
    ASSERT_GT(trajectory.size(), 2U);
    ASSERT_EQ(trajectory.degrees_of_freedom(), limits.size());
    for (std::size_t k = 0; k < trajectory.size(); ++k) {
        for (std::size_t j = 0; j < limits.size(); ++j) {
            const bool inner = k > 0 && k + 1 < trajectory.size();
            const JointState expected =
                inner ? motion.joints[j].at(trajectory.times()[k]) : (k == 0 ? from[j] : to[j]);
            ASSERT_EQ(trajectory.positions()[k][j], expected.position) << k << ", " << j;
            ASSERT_EQ(trajectory.velocities()[k][j], expected.velocity) << k << ", " << j;
            ASSERT_EQ(trajectory.accelerations()[k][j], expected.acceleration) << k << ", " << j;
        }
    }
}

// Built from rows, sliced and joined, a trajectory holds what the same operations on the rows give.
TEST_P(SampleColumnTest, ColumnsMatchRowsThroughSliceAndAppend) {
    std::mt19937 random(GetParam());
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    const std::size_t joints = 1 + GetParam() % 7;
    const auto make = [&](std::size_t count) {
        std::vector<double> times;
        Rows p(count, std::vector<double>(joints));
        Rows v = p;
        Rows a = p;
        for (std::size_t k = 0; k < count; ++k) {
            times.push_back(k == 0 ? 0.0 : times.back() + 0.001 + std::abs(value(random)));
            for (std::size_t j = 0; j < joints; ++j) {
                p[k][j] = value(random);
                v[k][j] = value(random);
                a[k][j] = value(random);
            }
        }
        return std::tuple {Trajectory(times, p, v, a), times, p, v, a};
    };
    auto [first, times, p, v, a] = make(3 + GetParam() % 11);
    const auto [second, times2, p2, v2, a2] = make(2 + GetParam() % 5);
    EXPECT_EQ(first.positions().rows(), p);
    EXPECT_EQ(first.velocities(), v);
    EXPECT_EQ(first.accelerations(), a);
    EXPECT_EQ(first.at(1).position, p[1]);

    const std::size_t from = 1 + GetParam() % (p.size() - 1);
    const Trajectory tail = first.slice(from, 4);
    const auto end = static_cast<std::ptrdiff_t>(std::min(from + 4, p.size()));
    const auto begin = static_cast<std::ptrdiff_t>(from);
    EXPECT_EQ(tail.positions(), Rows(p.begin() + begin, p.begin() + end));
    EXPECT_EQ(tail.accelerations(), Rows(a.begin() + begin, a.begin() + end));

    first.append(second);
    p.insert(p.end(), p2.begin() + 1, p2.end());
    v.insert(v.end(), v2.begin() + 1, v2.end());
    EXPECT_EQ(first.positions(), p);
    EXPECT_EQ(first.velocities(), v);
    EXPECT_EQ(first.size(), p.size());
    EXPECT_EQ(first.positions().back(), p.back());
}

// A block whose size does not match its samples, or columns of different joints, are refused.
TEST(SampleColumn, RefusesMismatchedSizes) {
    EXPECT_THROW(SampleColumn(3, 2, std::vector<double>(5)), VelmorError);
    EXPECT_NO_THROW(SampleColumn(3, 2, std::vector<double>(6)));
    const SampleColumn two(2, 2, std::vector<double>(4));
    const SampleColumn three(2, 3, std::vector<double>(6));
    EXPECT_THROW(Trajectory({0.0, 1.0}, two, three, two), VelmorError);
    EXPECT_THROW(Trajectory({0.0, 1.0}, two, two, SampleColumn(1, 2, {0.0, 0.0})), VelmorError);
    EXPECT_NO_THROW(Trajectory({0.0, 1.0}, two, two, two));
}

INSTANTIATE_TEST_SUITE_P(RandomTrajectories, SampleColumnTest, ::testing::Range(0U, 40U));

}  // namespace
