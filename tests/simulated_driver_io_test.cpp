#include <velmor/drivers/simulated_driver.hpp>

#include <string>

#include <gtest/gtest.h>

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
