#include <velmor/drivers/simulated_driver.hpp>

#include <string>

#include <gtest/gtest.h>

#include <velmor/drivers/devices/follow.hpp>
#include <velmor/drivers/devices/pulse.hpp>
#include <velmor/drivers/events.hpp>
#include <velmor/velmor_error.hpp>

#include "support/simulated_robot.hpp"

namespace {

using velmor::drivers::SimulatedDriver;
using velmor::drivers::simulated::Signal;
using velmor::drivers::testing::SimulatedRobot;

class SimulatedDriverIo : public ::testing::Test {
protected:
    void TearDown() override { SimulatedDriver::connect_result = true; }
    SimulatedRobot cell {0.0};
};

TEST_F(SimulatedDriverIo, DigitalSignalsAreReadAndWritten) {
    auto& driver = *cell.driver;
    driver.create_io("gripper", 1);
    EXPECT_EQ(driver.get_digital_input("gripper"), 1);
    EXPECT_TRUE(driver.set_digital_output("gripper", 5));
    EXPECT_EQ(driver.get_digital_input("gripper"), 5);
}

TEST_F(SimulatedDriverIo, AnalogAndUnknownSignalsAreNotDigital) {
    auto& driver = *cell.driver;
    driver.create_io("pressure", 0.5F);
    EXPECT_FALSE(driver.get_digital_input("pressure").has_value());
    EXPECT_FALSE(driver.get_digital_input("missing").has_value());
    EXPECT_FALSE(driver.set_digital_output("pressure", 1));
    EXPECT_FALSE(driver.set_digital_output("missing", 1));
    // Analog signals live in the viewer only.
    EXPECT_FALSE(driver.get_analog_input("pressure").has_value());
}

TEST_F(SimulatedDriverIo, TheClassWideSwitchGuardsReadsOnly) {
    auto& driver = *cell.driver;
    driver.create_io("door", 0);
    SimulatedDriver::connect_result = false;
    EXPECT_FALSE(driver.get_digital_input("door").has_value());
    EXPECT_TRUE(driver.set_digital_output("door", 1));
    SimulatedDriver::connect_result = true;
    EXPECT_EQ(driver.get_digital_input("door"), 1);
}

TEST_F(SimulatedDriverIo, ConfigurationsAreCopiedInOrder) {
    auto& driver = *cell.driver;
    std::vector<Signal> config {{"a", 1, "first"}, {"b", 2.5F, std::nullopt}, {"a", 3, std::nullopt}};
    driver.load_io_config(config);
    config[0].value = 7;
    EXPECT_EQ(driver.get_digital_input("a"), 3);
    EXPECT_FALSE(driver.get_digital_input("b").has_value());
}

TEST_F(SimulatedDriverIo, AMissingConfigurationFileIsAnError) {
    try {
        cell.driver->load_io_config_from_file("/nonexistent/io.json");
        FAIL() << "no error";
    } catch (const velmor::VelmorError& error) {
        EXPECT_EQ(error.module, "driver");
        EXPECT_EQ(error.message, "Could not open the I/O config json file at '/nonexistent/io.json'.");
    }
}

}  // namespace

// Devices act on the driver's clock: at time_speed 0 a wait jumps to their next action;
// at a speed above 0 the alarm thread lets them act as the clock follows wall-clock time.
class DevicesOnTheClock : public ::testing::TestWithParam<double> {};

TEST_P(DevicesOnTheClock, AFollowAnswersAWaitAfterItsDelay) {
    SimulatedRobot cell {GetParam()};
    auto& driver = *cell.driver;
    driver.create_io("grip", 0);
    driver.create_io("closed", 0);
    driver.create_io("beat", 0);
    driver.add_device(std::make_shared<velmor::drivers::devices::Follow>("grip", "closed", 0.5));
    driver.add_device(std::make_shared<velmor::drivers::devices::Pulse>("beat", 0.1));
    const double start = driver.clock();
    ASSERT_TRUE(driver.set_digital_output("grip", 1));
    EXPECT_TRUE(driver.wait_for(velmor::drivers::Trigger::IO("closed") == 1, 5.0));
    const double waited = driver.clock() - start;
    EXPECT_GE(waited, 0.5 - 1e-12);
    // At a speed above 0 the scheduling of threads adds wall-clock time, which the clock follows.
    if (GetParam() == 0.0) {
        EXPECT_LT(waited, 0.5 + 1e-12);
    }
    EXPECT_TRUE(driver.remove_device("beat"));
    EXPECT_NO_THROW(driver.disconnect());
}

INSTANTIATE_TEST_SUITE_P(Speeds, DevicesOnTheClock, ::testing::Values(0.0, 200.0));
