// Devices on a controller of their own, whose clock the test advances: each acts at the
// very time it names, and its changes carry its name.
#include <velmor/drivers/simulated/controller.hpp>

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <velmor/drivers/devices/callback.hpp>
#include <velmor/drivers/devices/feeder.hpp>
#include <velmor/drivers/devices/follow.hpp>
#include <velmor/drivers/devices/pulse.hpp>
#include <velmor/drivers/devices/zone_sensor.hpp>
#include <velmor/velmor_error.hpp>

namespace {

using namespace velmor::drivers;
using namespace velmor::drivers::devices;
using simulated::Controller;

struct Change {
    std::string name;
    std::int32_t value;
    double time;
    std::string device;
    bool operator==(const Change&) const = default;
};

void PrintTo(const Change& change, std::ostream* out) {
    *out << change.name << "=" << change.value << "@" << change.time << " by '" << change.device << "'";
}

// A controller on its own clock that notes every change of a digital signal.
class CellOnItsOwnClock : public ::testing::Test {
protected:
    CellOnItsOwnClock() {
        controller.set_io_observer([this](const std::string& name, const auto&, const SignalValue& value,
                                          IoSource source, const std::string& device) {
            EXPECT_EQ(source == IoSource::Device, !device.empty());
            changes.push_back({name, std::get<std::int32_t>(value), controller.clock(), device});
        });
        for (const char* name : {"grip", "closed", "part", "beat"}) {
            controller.create_io(name, std::int32_t {0});
        }
        changes.clear();
    }

    Controller controller {false, false};
    std::vector<Change> changes;
};

TEST_F(CellOnItsOwnClock, FollowAnswersEachChangeAfterItsDelayThroughItsMap) {
    controller.add_device(std::make_shared<Follow>("grip", "closed", 0.05, std::map<std::int32_t, std::int32_t> {{1, 7}}));
    controller.set_digital_output("grip", 1);
    controller.advance(0.03);
    controller.set_digital_output("grip", 0);
    controller.advance(0.049);
    EXPECT_EQ(controller.get_digital_input("closed"), 7);
    controller.advance(0.1);
    EXPECT_EQ(changes, (std::vector<Change> {{"grip", 1, 0.0, ""},
                                             {"grip", 0, 0.03, ""},
                                             {"closed", 7, 0.05, "closed"},
                                             {"closed", 0, 0.03 + 0.05, "closed"}}));
}

TEST_F(CellOnItsOwnClock, PulseKeepsItsPeriodWithoutDrift) {
    controller.advance(1.0);
    controller.add_device(std::make_shared<Pulse>("beat", 0.1, 0.25));
    controller.advance(1000.0);
    ASSERT_EQ(changes.size(), 20'001U);
    EXPECT_EQ(changes[0], (Change {"beat", 1, 1.0, "beat"}));
    EXPECT_EQ(changes[1], (Change {"beat", 0, 1.0 + 0.25 * 0.1, "beat"}));
    EXPECT_EQ(changes.back(), (Change {"beat", 1, 1.0 + 10'000 * 0.1, "beat"}));
}

TEST_F(CellOnItsOwnClock, FeederShowsOnePartAtATimeUntilTaken) {
    controller.add_device(std::make_shared<Feeder>("part", 0.5, 1.0, 3, "grip"));
    controller.advance(2.0);  // two parts arrived, one shows
    controller.set_digital_output("grip", 1);
    controller.advance(0.25);
    controller.set_digital_output("grip", 0);
    controller.set_digital_output("grip", 1);
    controller.advance(10.0);
    const auto by_feeder = [this] {
        std::vector<Change> made;
        std::copy_if(changes.begin(), changes.end(), std::back_inserter(made),
                     [](const Change& change) { return change.device == "part"; });
        return made;
    }();
    EXPECT_EQ(by_feeder, (std::vector<Change> {{"part", 1, 0.5, "part"},
                                              {"part", 0, 2.0, "part"},
                                              {"part", 1, 2.0, "part"},
                                              {"part", 0, 2.25, "part"},
                                              {"part", 1, 2.5, "part"}}));
}

TEST_F(CellOnItsOwnClock, FailingDevicesAreRemovedAndTheirErrorReported) {
    controller.add_device(std::make_shared<Callback>("broken", 0.01, [](double, devices::Cell&) {}));
    controller.add_device(std::make_shared<Callback>("writer", 0.01, [](double, devices::Cell& cell) {
        cell.write("missing", std::int32_t {1});
    }));
    EXPECT_THROW(controller.add_device(std::make_shared<Pulse>("beat", 0.1, 0.5, "writer")), velmor::VelmorError);
    try {
        controller.advance(0.02);
        FAIL() << "the device's error was not passed on";
    } catch (const velmor::VelmorError& error) {
        EXPECT_NE(std::string(error.what()).find("'missing', which does not exist"), std::string::npos);
    }
    ASSERT_EQ(controller.devices().size(), 1U);
    EXPECT_EQ(controller.devices()[0]->name(), "broken");
    EXPECT_NO_THROW(controller.advance(1.0));
}

TEST_F(CellOnItsOwnClock, DevicesChasingEachOtherAtOneInstantAreCutOff) {
    controller.add_device(std::make_shared<Follow>("grip", "closed", 0.0, std::map<std::int32_t, std::int32_t> {}, "a"));
    controller.add_device(std::make_shared<Follow>("closed", "grip", 0.0, std::map<std::int32_t, std::int32_t> {{1, 2}, {2, 1}}, "b"));
    controller.set_digital_output("grip", 1);
    EXPECT_THROW(controller.advance(0.0), velmor::VelmorError);
    EXPECT_TRUE(controller.devices().size() < 2);
}

TEST(Devices, RefuseWhatTheyCannotDo) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(Follow("a", "a", 0.1), velmor::VelmorError);
    EXPECT_THROW(Follow("a", "b", -0.1), velmor::VelmorError);
    EXPECT_THROW(Pulse("a", 1e-4), velmor::VelmorError);
    EXPECT_THROW(Pulse("a", 1.0, 1.0), velmor::VelmorError);
    EXPECT_THROW(Feeder("a", nan), velmor::VelmorError);
    EXPECT_THROW(Feeder("a", 0.0, 1.0, 0), velmor::VelmorError);
    EXPECT_THROW(Callback("a", 1.0, nullptr), velmor::VelmorError);
    Controller controller(false, false);
    EXPECT_THROW(controller.add_device(std::make_shared<ZoneSensor>("a", velmor::Box({1.0, 1.0, 1.0}))),
                 velmor::VelmorError);
    EXPECT_THROW(controller.advance(-1.0), velmor::VelmorError);
}

}  // namespace
