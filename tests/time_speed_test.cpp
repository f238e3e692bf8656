#include <velmor/drivers/time_speed.hpp>

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace {

using velmor::drivers::TimeSpeed;
using namespace std::chrono_literals;

struct Change {
    const char* name;
    std::function<void(TimeSpeed&, std::optional<TimeSpeed::Hurry>&)> make;
    TimeSpeed::PauseEnd end;
};

void PrintTo(const Change& change, std::ostream* out) {
    *out << change.name;
}

class EndlessPause : public ::testing::TestWithParam<Change> {};

// At 1e-13 the pause after a 4 ms cycle would last 4e10 s; whatever changes the pace ends it.
TEST_P(EndlessPause, EndsAtTheChange) {
    TimeSpeed speed(1e-13);
    std::optional<TimeSpeed::Hurry> hurry;
    auto pause = std::async(std::launch::async, [&speed, woken_at = speed.wakes()] {
        return speed.pause(std::chrono::steady_clock::now(), 0.004, woken_at);
    });
    EXPECT_EQ(pause.wait_for(50ms), std::future_status::timeout);
    GetParam().make(speed, hurry);
    ASSERT_EQ(pause.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(pause.get().end, GetParam().end);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, EndlessPause,
    ::testing::Values(Change {"speed_back", [](TimeSpeed& speed, auto&) { speed = 1.0; }, TimeSpeed::PauseEnd::Elapsed},
                      Change {"no_pause", [](TimeSpeed& speed, auto&) { speed = 0.0; }, TimeSpeed::PauseEnd::NoPause},
                      Change {"wake", [](TimeSpeed& speed, auto&) { speed.wake(); }, TimeSpeed::PauseEnd::Woken},
                      Change {"hurry", [](TimeSpeed& speed, auto& hurry) { hurry.emplace(speed); },
                              TimeSpeed::PauseEnd::Woken}),
    [](const ::testing::TestParamInfo<Change>& info) { return std::string(info.param.name); });

}  // namespace
