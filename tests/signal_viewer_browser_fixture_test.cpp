#include <velmor/drivers/simulated/controller.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

using namespace velmor::drivers::simulated;

// Serves a few signals on port 8679 for the real-browser test
// (tests/browser/run_viewer.sh) until standard input closes. Without
// VELMOR_BROWSER_FIXTURE=1 it only checks that the signals it would serve load.
TEST(BrowserFixture, Serve) {
    const char* wanted = std::getenv("VELMOR_BROWSER_FIXTURE");
    const bool serve = wanted != nullptr && std::string(wanted) == "1";
    Controller controller(serve, false);
    controller.load_io_config({
        Signal {"lamp", std::int32_t {0}, "Cell lamp"},
        Signal {"gripper", std::int32_t {1}, "Gripper closed"},
        Signal {"speed", 0.5F, "Conveyor speed [m/s]"},
        Signal {"<b>bold</b>", std::int32_t {0}, "Name with markup"},
    });
    ASSERT_EQ(controller.get_digital_input("lamp"), 0);
    if (!serve) {
        return;
    }
    for (int i = 0; i < 1000 && !controller.get_viewer()->is_listening(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(controller.get_viewer()->is_listening());
    std::cout << "fixture ready" << std::endl;
    std::string ignored;
    while (std::getline(std::cin, ignored)) {
    }
}
