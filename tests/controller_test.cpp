#include <velmor/drivers/simulated/controller.hpp>

#include <gtest/gtest.h>

#include <future>

#include <velmor/drivers/simulated/sensor_html.hpp>

#include "support/viewer_client.hpp"

using namespace velmor::drivers::simulated;
using namespace std::chrono_literals;

namespace {

// Controllers that serve the viewer use its own port.
constexpr std::uint16_t viewer_port = 8679;

}  // namespace

TEST(Controller, CreatedDigitalSignalIsReadable) {
    Controller controller(false, false);
    controller.create_io("lamp", std::int32_t {1});
    EXPECT_EQ(controller.get_digital_input("lamp"), 1);
    EXPECT_EQ(controller.get_viewer(), nullptr);
}

TEST(Controller, AnalogSignalIsNeitherReadNorWrittenAsDigital) {
    Controller controller(false, false);
    controller.create_io("speed", 0.5F);
    EXPECT_FALSE(controller.get_digital_input("speed").has_value());
    EXPECT_FALSE(controller.set_digital_output("speed", 1));
    EXPECT_EQ(controller.find_signal("speed")->value, (std::variant<std::int32_t, float>(0.5F)));
}

TEST(Controller, UnknownNameIsNeitherReadNorWritten) {
    Controller controller(false, false);
    EXPECT_FALSE(controller.get_digital_input("nothing").has_value());
    EXPECT_FALSE(controller.set_digital_output("nothing", 1));
    EXPECT_FALSE(controller.find_signal("nothing").has_value());
}

TEST(Controller, DigitalOutputStoresAnyIntegerUnchanged) {
    Controller controller(false, false);
    controller.create_io("lamp", std::int32_t {0});
    EXPECT_TRUE(controller.set_digital_output("lamp", 5));
    EXPECT_EQ(controller.get_digital_input("lamp"), 5);
    EXPECT_TRUE(controller.set_digital_output("lamp", -3));
    EXPECT_EQ(controller.get_digital_input("lamp"), -3);
}

TEST(Controller, UnreachableControllerNeitherReadsNorWrites) {
    Controller controller(false, false);
    controller.create_io("lamp", std::int32_t {1});
    controller.connect_result = false;
    EXPECT_FALSE(controller.get_digital_input("lamp").has_value());
    EXPECT_FALSE(controller.set_digital_output("lamp", 0));
    controller.connect_result = true;
    EXPECT_EQ(controller.get_digital_input("lamp"), 1);
}

TEST(Controller, CreateIoOverwritesValueKindAndDropsDescription) {
    Controller controller(false, false);
    controller.load_io_config({Signal {"lamp", std::int32_t {1}, "Cell lamp"}});
    EXPECT_EQ(controller.find_signal("lamp")->description, "Cell lamp");
    controller.create_io("lamp", 0.75F);
    const auto analog = controller.find_signal("lamp");
    EXPECT_EQ(analog->value, (std::variant<std::int32_t, float>(0.75F)));
    EXPECT_FALSE(analog->description.has_value());
    EXPECT_FALSE(controller.get_digital_input("lamp").has_value());
    controller.create_io("lamp", std::int32_t {0});
    EXPECT_EQ(controller.get_digital_input("lamp"), 0);
}

TEST(Controller, LoadIoConfigKeepsTheLaterOfTwoEntries) {
    Controller controller(false, false);
    controller.load_io_config({Signal {"a", std::int32_t {1}, "first"}, Signal {"b", 2.0F, std::nullopt},
                               Signal {"a", std::int32_t {7}, "second"}});
    EXPECT_EQ(controller.get_digital_input("a"), 7);
    EXPECT_EQ(controller.find_signal("a")->description, "second");
    EXPECT_EQ(controller.find_signal("b")->value, (std::variant<std::int32_t, float>(2.0F)));
}

TEST(Controller, WithoutViewerDestructionDoesNotBlock) {
    auto destroyed = std::async(std::launch::async, [] {
        Controller controller(false, false);
        controller.create_io("lamp", std::int32_t {0});
        controller.set_digital_output("lamp", 1);
    });
    EXPECT_EQ(destroyed.wait_for(5s), std::future_status::ready);
}

TEST(Controller, DestroyedRightAfterConstructionEndsItsViewer) {
    auto destroyed = std::async(std::launch::async, [] { Controller controller(true, false, viewer_port); });
    EXPECT_EQ(destroyed.wait_for(10s), std::future_status::ready);
}

TEST(Controller, DigitalOutputReachesOpenPages) {
    Controller controller(true, false, viewer_port);
    controller.create_io("lamp", std::int32_t {0});
    velmor::testing::ViewerClient page(viewer_port);
    ASSERT_TRUE(page.read().has_value());
    ASSERT_TRUE(controller.set_digital_output("lamp", 1));
    EXPECT_EQ(page.read(), get_sensor_html(Signal {"lamp", std::int32_t {1}, std::nullopt}, false));
    controller.connect_result = false;
    EXPECT_FALSE(controller.set_digital_output("lamp", 0));
    EXPECT_FALSE(page.read(200ms).has_value());
}

TEST(Controller, ViewerBackedControllerWaitsForAnOpenPage) {
    auto controller = std::make_unique<Controller>(true, false, viewer_port);
    velmor::testing::ViewerClient page(viewer_port);
    auto destroyed = std::async(std::launch::async, [&] { controller.reset(); });
    EXPECT_EQ(destroyed.wait_for(300ms), std::future_status::timeout);
    page.close();
    EXPECT_EQ(destroyed.wait_for(10s), std::future_status::ready);
}
