#include <velmor/drivers/simulated_driver.hpp>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <velmor/velmor_error.hpp>

#include "support/fake_mirava.hpp"
#include "support/simulated_robot.hpp"

namespace {

using velmor::drivers::Result;
using velmor::drivers::SimulatedDriver;
using velmor::testing::FakeApplication;

class MiravaMirroring : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string address = "127.0.0.1:" + std::to_string(application.port());
        ::setenv("VELMOR_MIRAVA_ADDRESS", address.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("VELMOR_MIRAVA_ADDRESS"); }

    //! The next position frame; the obstacle frames between go to `obstacles`.
    std::vector<double> next_position() {
        while (const auto frame = application.next_frame()) {
            const auto message = nlohmann::json::parse(*frame);
            if (message.at("type") == "obstacles") {
                obstacles.push_back(message.at("obstacles"));
                continue;
            }
            return message.at("position").get<std::vector<double>>();
        }
        return {};
    }

    std::vector<nlohmann::json> obstacles;

    FakeApplication application;
    std::shared_ptr<velmor::RobotArm> robot = std::make_shared<velmor::robots::UR5e>();
    std::shared_ptr<velmor::Planner> planner = std::make_shared<velmor::Planner>(robot);
};

TEST_F(MiravaMirroring, EveryFourthCycleOfEachLoopRunIsSent) {
    SimulatedDriver driver(planner, true, false, false, false, "192.168.0.1", 8000);
    EXPECT_EQ(driver.get_mirava_update_interval(), 4U);
    ASSERT_NE(driver.get_mirava(), nullptr);
    const std::vector<double> zero(6, 0.0);
    const std::vector<double> goal {0.05, -0.05, 0.05, 0.0, 0.05, 0.0};
    const auto trajectory = planner->plan(velmor::Motion(robot, "", velmor::Waypoint(zero), goal));
    ASSERT_TRUE(trajectory.has_value());

    EXPECT_EQ(driver.run(*trajectory), Result::Success);
    // Cycle k of the loop shows sample k; one more cycle repeats the last sample.
    const std::size_t cycles = trajectory->size() + 1;
    std::size_t received = 0;
    std::size_t expected_cycle = 0;
    for (std::vector<double> position = next_position(); !position.empty(); position = next_position()) {
        // Frames may be dropped when the application lags, never reordered or invented.
        while (expected_cycle < cycles &&
               !velmor::drivers::Driver::are_positions_within(
                   position, trajectory->positions()[std::min(expected_cycle, trajectory->size() - 1)], 1e-9)) {
            expected_cycle += 4;
        }
        ASSERT_LT(expected_cycle, cycles) << "a frame of a cycle that is not a multiple of 4";
        if (received == 0) {
            EXPECT_EQ(expected_cycle, 0U);
        }
        ++received;
        expected_cycle += 4;
        if (expected_cycle >= cycles) {
            break;
        }
    }
    EXPECT_GE(received, (cycles + 3) / 4 / 2);
}

TEST_F(MiravaMirroring, PlacingTheRobotShowsItAndDisconnectReleasesTheClient) {
    SimulatedDriver driver(planner, true, false, false, false, "192.168.0.1", 8000);
    driver.set_current_joint_position({0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
    EXPECT_EQ(next_position(), (std::vector<double> {0.1, 0.2, 0.3, 0.4, 0.5, 0.6}));
    EXPECT_TRUE(driver.disconnect());
    EXPECT_EQ(driver.get_mirava(), nullptr);
}

TEST_F(MiravaMirroring, TheObstaclesGoFirstAndAgainWhenTheyChange) {
    planner->environment->add_obstacle("table", velmor::Box({1.0, 1.0, 0.04}, velmor::Frame::from_translation(0, 0, -0.02)));
    SimulatedDriver driver(planner, true, false, false, false, "192.168.0.1", 8000);
    const auto first = application.next_frame();
    ASSERT_TRUE(first);
    const auto message = nlohmann::json::parse(*first);
    EXPECT_EQ(message.at("type"), "obstacles");
    ASSERT_EQ(message.at("obstacles").size(), 1U);
    EXPECT_EQ(message.at("obstacles")[0].at("name"), "table");

    planner->environment->add_obstacle("ball", velmor::Sphere(0.1, velmor::Frame::from_translation(0.5, 0, 0.5)));
    driver.set_current_joint_position({0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
    EXPECT_EQ(next_position(), (std::vector<double> {0.1, 0.2, 0.3, 0.4, 0.5, 0.6}));
    ASSERT_EQ(obstacles.size(), 1U);
    EXPECT_EQ(obstacles[0].size(), 2U);
}

TEST(MiravaConnection, AnAbsentApplicationFailsConstruction) {
    // Nothing listens on port 1.
    ::setenv("VELMOR_MIRAVA_ADDRESS", "127.0.0.1:1", 1);
    auto robot = std::make_shared<velmor::robots::UR5e>();
    auto planner = std::make_shared<velmor::Planner>(robot);
    const auto construct = [&] { SimulatedDriver driver(planner, true, false, false, false, "192.168.0.1", 8000); };
    EXPECT_THROW(construct(), velmor::VelmorError);
    ::unsetenv("VELMOR_MIRAVA_ADDRESS");
}

}  // namespace
