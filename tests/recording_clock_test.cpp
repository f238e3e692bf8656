// Marks, dwells and waits in recordings, on the driver's simulated clock.
#include <velmor/drivers/recording/recording.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

#include <velmor/velmor_error.hpp>

#include "support/simulated_robot.hpp"

using namespace velmor::drivers;
using velmor::drivers::testing::SimulatedRobot;

namespace {

struct ExpectedWait {
    const char* kind;
    const char* condition;
    double start;
    double end;
    std::optional<bool> held;
};

// Kept in memory and saved, or streamed and read back: the same records either way.
class ClockRecords : public ::testing::TestWithParam<bool> {};

TEST_P(ClockRecords, FollowTheClockAndReadBackUnchanged) {
    const auto path = std::filesystem::path(::testing::TempDir()) /
                      (std::to_string(::getpid()) + "_clock_records.jsonl");
    SimulatedRobot cell(0.0);
    cell.driver->create_io("part", 0);
    cell.driver->sleep(1.0);
    cell.driver->mark("not recorded");
    const auto recording = cell.driver->record(GetParam() ? std::optional(path) : std::nullopt);
    cell.driver->sleep(0.25);
    EXPECT_FALSE(cell.driver->wait_for(Trigger::IO("part") == 1.0, 0.5));
    EXPECT_TRUE(cell.driver->sleep_async(0.125).get());
    cell.driver->set_digital_output("part", 1);
    EXPECT_TRUE(cell.driver->wait_for((Trigger::IO("part") >= 0.5) || (Trigger::Time() < -1.0), 3.0));
    cell.driver->mark("part 1 \xe2\x9c\x93");
    EXPECT_THROW(cell.driver->mark(std::string(MarkRecord::max_label_bytes + 1, 'a')), velmor::VelmorError);
    EXPECT_THROW(cell.driver->mark("\xff"), velmor::VelmorError);
    recording->stop();
    if (GetParam()) {
        recording->read_back();
    } else {
        recording->save(path);
    }
    const auto loaded = GetParam() ? recording : Recording::load(path);

    ASSERT_EQ(loaded->marks.size(), 1U);
    EXPECT_EQ(loaded->marks[0].label, "part 1 \xe2\x9c\x93");
    EXPECT_DOUBLE_EQ(loaded->marks[0].time, 0.875);
    EXPECT_GE(loaded->marks[0].wall_time, 0.0);
    const ExpectedWait expected[] = {{"dwell", "", 0.0, 0.25, std::nullopt},
                                     {"wait", "io('part') == 1", 0.25, 0.75, false},
                                     {"dwell", "", 0.75, 0.875, std::nullopt},
                                     {"wait", "(io('part') >= 0.5) | (time < -1)", 0.875, 0.875, true}};
    ASSERT_EQ(loaded->waits.size(), std::size(expected));
    for (std::size_t k = 0; k < std::size(expected); ++k) {
        const WaitRecord& wait = loaded->waits[k];
        EXPECT_EQ(wait.kind, expected[k].kind) << k;
        EXPECT_EQ(wait.condition, expected[k].condition) << k;
        EXPECT_DOUBLE_EQ(wait.start_time, expected[k].start) << k;
        ASSERT_TRUE(wait.end_time) << k;
        EXPECT_DOUBLE_EQ(*wait.end_time, expected[k].end) << k;
        EXPECT_EQ(wait.held, expected[k].held) << k;
        // A dwell on a future ends at a wall-clock time nobody saw.
        EXPECT_EQ(wait.end_wall_time.has_value(), k != 2) << k;
    }
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(KeptOrStreamed, ClockRecords, ::testing::Bool());

}  // namespace
