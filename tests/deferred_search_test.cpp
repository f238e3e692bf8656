#include "drivers/commands/deferred_search.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <vector>

#include <velmor/drivers/time_scaler.hpp>

namespace {

using velmor::Trajectory;
using velmor::drivers::TimeScaler;

constexpr double delta_time = 0.004;  // [s]

// Samples at uneven times (some closer than a cycle, some many cycles apart) with random values.
Trajectory random_trajectory(std::mt19937& random) {
    std::uniform_real_distribution<double> gap(0.0005, 0.05);
    std::uniform_real_distribution<double> value(-2.0, 2.0);
    const std::size_t samples = std::uniform_int_distribution<std::size_t>(2, 200)(random);
    const std::size_t joints = std::uniform_int_distribution<std::size_t>(1, 7)(random);
    std::vector<double> times {0.0};
    std::vector<std::vector<std::vector<double>>> fields(3, std::vector<std::vector<double>>(samples));
    for (std::size_t i = 0; i < samples; ++i) {
        if (i > 0) {
            times.push_back(times.back() + gap(random));
        }
        for (auto& field : fields) {
            for (std::size_t j = 0; j < joints; ++j) {
                field[i].push_back(value(random));
            }
        }
    }
    return Trajectory(times, fields[0], fields[1], fields[2]);
}

// Between speed changes and ramps the prediction from the scaler's playback position
// must be the very state the scaler plays that many cycles later, to the last bit:
// a hand-over compares the two and drops a finished search when they differ.
TEST(PredictState, EqualsTheCyclesThatTheTimeScalerPlays) {
    std::mt19937 random(20261209);
    std::uniform_real_distribution<double> speed(0.0, 3.0);
    std::uniform_real_distribution<double> ramp_duration(0.0, 0.3);
    std::uniform_int_distribution<std::size_t> lead(1, 80);
    std::size_t compared {0};
    for (int round = 0; round < 200; ++round) {
        const Trajectory trajectory = random_trajectory(random);
        TimeScaler scaler(delta_time);
        scaler.max_scale = 3.0;
        // Full speed is the scaler's shortcut of copying samples; it must be predicted too.
        scaler.set_scale(round % 2 == 0 ? 1.0 : speed(random));
        scaler.set_trajectory(&trajectory);
        velmor::State played;
        while (scaler.next(played) != TimeScaler::StepOutcome::Finished) {
            switch (random() % 4) {
            case 0:
                scaler.set_scale(speed(random));
                break;
            case 1:
                static_cast<void>(scaler.move_scale_linearly_to(speed(random), ramp_duration(random)));
                while (scaler.is_ramping() && scaler.next(played) != TimeScaler::StepOutcome::Finished) {
                }
                break;
            default:
                break;
            }
            const std::size_t cycles = lead(random);
            const auto predicted = velmor::drivers::predict_state(trajectory, scaler.get_trajectory_time(),
                                                                  scaler.get_scale(), delta_time, cycles);
            for (std::size_t cycle = 0; cycle < cycles; ++cycle) {
                scaler.next(played);
            }
            ASSERT_EQ(predicted.position, played.position) << "round " << round << ", " << cycles << " cycles";
            ASSERT_EQ(predicted.velocity, played.velocity) << "round " << round << ", " << cycles << " cycles";
            ASSERT_EQ(predicted.acceleration, played.acceleration) << "round " << round;
            ++compared;
        }
    }
    EXPECT_GT(compared, 1000U);
}

}  // namespace
