#include <velmor/motion/trajectory.hpp>

#include <random>
#include <string>

#include <gtest/gtest.h>

#include <velmor/motion/frame.hpp>
#include <velmor/motion/version_number.hpp>
#include <velmor/common/velmor_error.hpp>

namespace {

using velmor::Trajectory;
using Samples = std::vector<std::vector<double>>;

// A one-joint trajectory whose position equals ten times its time.
Trajectory ramp(std::vector<double> times) {
    Samples positions;
    Samples zeros;
    for (double t : times) {
        positions.push_back({10.0 * t});
        zeros.push_back({0.0});
    }
    return Trajectory(std::move(times), positions, zeros, zeros);
}

std::string refusal(std::vector<double> times, Samples positions, Samples velocities, Samples accelerations) {
    try {
        Trajectory(std::move(times), std::move(positions), std::move(velocities), std::move(accelerations));
    } catch (const velmor::VelmorError& error) {
        EXPECT_EQ(error.module, "trajectory");
        return error.message;
    }
    return "accepted";
}

TEST(Trajectory, RefusesSamplesThatBreakItsInvariants) {
    EXPECT_NE(refusal({0.1, 0.2}, {{0}, {1}}, {{0}, {0}}, {{0}, {0}}).find("first sample time"), std::string::npos);
    EXPECT_NE(refusal({0.0, 0.2, 0.2}, {{0}, {1}, {2}}, {{0}, {0}, {0}}, {{0}, {0}, {0}}).find("strictly ascending"),
              std::string::npos);
    EXPECT_NE(refusal({0.0, 0.2, 0.1}, {{0}, {1}, {2}}, {{0}, {0}, {0}}, {{0}, {0}, {0}}).find("strictly ascending"),
              std::string::npos);
    EXPECT_NE(refusal({0.0, 0.1}, {{0}}, {{0}, {0}}, {{0}, {0}}).find("positions"), std::string::npos);
    EXPECT_NE(refusal({0.0, 0.1}, {{0}, {1}}, {{0}}, {{0}, {0}}).find("velocities"), std::string::npos);
    EXPECT_NE(refusal({0.0, 0.1}, {{0, 1}, {1}}, {{0, 0}, {0, 0}}, {{0, 0}, {0, 0}}).find("Sample 1"),
              std::string::npos);
    EXPECT_EQ(refusal({0.0, 0.1}, {{0}, {1}}, {{0}, {0}}, {{0}, {0}}), "accepted");
}

TEST(Trajectory, DurationIsTheLastTime) {
    EXPECT_DOUBLE_EQ(ramp({0.0, 0.004, 0.01}).duration(), 0.01);
    EXPECT_EQ(Trajectory().duration(), 0.0);
    EXPECT_THROW((void)Trajectory().front(), velmor::VelmorError);
    EXPECT_THROW((void)ramp({0.0}).at(1), velmor::VelmorError);
}

TEST(Trajectory, SliceRebasesTimesAndClipsAtTheEnd) {
    const Trajectory full = ramp({0.0, 0.1, 0.2, 0.3, 0.4});
    const Trajectory tail = full.slice(2, 1000000000);
    ASSERT_EQ(tail.size(), 3U);
    EXPECT_DOUBLE_EQ(tail.times()[0], 0.0);
    EXPECT_NEAR(tail.times()[2], 0.2, 1e-15);
    EXPECT_DOUBLE_EQ(tail.duration(), tail.times().back());
    EXPECT_DOUBLE_EQ(tail.front().position[0], 2.0);

    const Trajectory middle = full.slice(1, 2);
    ASSERT_EQ(middle.size(), 2U);
    EXPECT_DOUBLE_EQ(middle.back().position[0], 2.0);

    EXPECT_TRUE(full.slice(5, 3).empty());
    EXPECT_TRUE(full.slice(0, 0).empty());
}

TEST(Trajectory, AppendMeetsInOneSampleAndShiftsTimes) {
    Trajectory first = ramp({0.0, 0.1, 0.2});
    const Trajectory second = ramp({0.0, 0.1, 0.3}).slice(0, 3);
    first.append(second);
    ASSERT_EQ(first.size(), 5U);
    EXPECT_NEAR(first.times()[3], 0.3, 1e-15);
    EXPECT_NEAR(first.times()[4], 0.5, 1e-15);
    EXPECT_NEAR(first.duration(), 0.5, 1e-15);
    // The meeting state is the first trajectory's last sample.
    EXPECT_DOUBLE_EQ(first.positions()[2][0], 2.0);
    EXPECT_DOUBLE_EQ(first.positions()[3][0], 1.0);
}

TEST(Trajectory, AppendToOrOfAnEmptyTrajectory) {
    Trajectory empty;
    empty.append(ramp({0.0, 0.1}));
    EXPECT_EQ(empty.size(), 2U);
    EXPECT_EQ(empty.degrees_of_freedom(), 1U);

    Trajectory single = ramp({0.0});
    single.append(Trajectory());
    EXPECT_EQ(single.size(), 1U);

    Trajectory one_joint = ramp({0.0, 0.1});
    const Trajectory two_joints({0.0}, {{0, 0}}, {{0, 0}}, {{0, 0}});
    EXPECT_THROW(one_joint.append(two_joints), velmor::VelmorError);
}

TEST(Trajectory, SlicingAndJoiningKeepTheInvariants) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> step(0.001, 0.05);
    std::uniform_int_distribution<std::size_t> index(0, 40);
    for (int round = 0; round < 500; ++round) {
        std::vector<double> times {0.0};
        for (std::size_t i = 0; i < index(random) + 1; ++i) {
            times.push_back(times.back() + step(random));
        }
        Trajectory joined = ramp(times).slice(index(random), index(random));
        joined.append(ramp(times).slice(index(random), index(random)));
        // Rebuilding from the samples runs every invariant check again.
        const Trajectory rebuilt(joined.times(), joined.positions(), joined.velocities(), joined.accelerations());
        if (!joined.empty()) {
            EXPECT_EQ(joined.times().front(), 0.0);
            EXPECT_EQ(joined.duration(), joined.times().back());
        }
        EXPECT_EQ(rebuilt.size(), joined.size());
    }
}

TEST(Frame, EulerAnglesRoundTrip) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> angle(-3.0, 3.0);
    std::uniform_real_distribution<double> pitch(-1.5, 1.5);
    for (int round = 0; round < 200; ++round) {
        const double a = angle(random);
        const double b = pitch(random);
        const double c = angle(random);
        const auto euler = velmor::Frame::from_euler(0.1, -0.2, 0.3, a, b, c).to_euler();
        EXPECT_NEAR(euler[0], 0.1, 1e-12);
        EXPECT_NEAR(euler[1], -0.2, 1e-12);
        EXPECT_NEAR(euler[2], 0.3, 1e-12);
        EXPECT_NEAR(euler[3], a, 1e-9);
        EXPECT_NEAR(euler[4], b, 1e-9);
        EXPECT_NEAR(euler[5], c, 1e-9);
    }
}

TEST(Frame, IdentityAndComposition) {
    EXPECT_EQ(velmor::Frame::Identity().to_euler(), (std::array<double, 6> {0, 0, 0, 0, 0, 0}));
    const auto turned = velmor::Frame::from_euler(0, 0, 0, M_PI / 2, 0, 0) * velmor::Frame::from_translation(1, 0, 0);
    const auto euler = turned.to_euler();
    EXPECT_NEAR(euler[0], 0.0, 1e-12);
    EXPECT_NEAR(euler[1], 1.0, 1e-12);
    EXPECT_NEAR(euler[3], M_PI / 2, 1e-12);
    // At a pitch of ±90° only the combined yaw and roll are defined; the frame must survive the round trip.
    const auto locked = velmor::Frame::from_euler(0, 0, 0, 0.3, M_PI / 2, -0.4);
    const auto e = locked.to_euler();
    EXPECT_TRUE(locked.rotation().isApprox(velmor::Frame::from_euler(0, 0, 0, e[3], e[4], e[5]).rotation(), 1e-9));
}

TEST(VersionNumber, ComparesFieldByFieldAndPrints) {
    EXPECT_EQ(velmor::version_number.to_string(), "0.0.30");
    EXPECT_LT((velmor::VersionNumber {0, 0, 29}), velmor::version_number);
    EXPECT_LT((velmor::VersionNumber {0, 0, 99}), (velmor::VersionNumber {0, 1, 0}));
    EXPECT_GT((velmor::VersionNumber {1, 0, 0}), (velmor::VersionNumber {0, 9, 9}));
}

}  // namespace
