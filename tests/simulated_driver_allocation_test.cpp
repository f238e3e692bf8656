// The control cycle must not allocate in its steady state: this program replaces the
// global operator new with one that counts while a motion is stepped.
#include <velmor/drivers/simulated_driver.hpp>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include <velmor/motion/planner.hpp>
#include <velmor/motion/robots.hpp>

namespace {

std::atomic<bool> counting {false};
std::atomic<std::size_t> allocations {0};

}  // namespace

void* operator new(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

// Inlined into callers, the pairing of the replaced operators looks mismatched to GCC.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
#pragma GCC diagnostic pop

namespace {

using velmor::drivers::SimulatedDriver;

constexpr std::size_t steady_cycles = 10'000;

// A slow swing of every joint from the all-zero position and back, sampled every cycle.
velmor::Trajectory swing(std::size_t joints, std::size_t samples) {
    std::vector<double> times;
    std::vector<std::vector<double>> positions;
    std::vector<std::vector<double>> velocities;
    const double step = 2.0 * M_PI / static_cast<double>(samples - 1);  // [rad]
    for (double phase = 0.0; times.size() < samples; phase += step) {
        times.push_back(0.004 * static_cast<double>(times.size()));
        positions.emplace_back(joints, 0.1 * std::sin(phase));
        velocities.emplace_back(joints, 0.1 * std::cos(phase));
    }
    return velmor::Trajectory(times, positions, velocities, std::vector<std::vector<double>>(samples, std::vector<double>(joints)));
}

// At full speed the cycles copy samples; at other speeds they interpolate between them.
class SteadyCycle : public ::testing::TestWithParam<double> {};

TEST_P(SteadyCycle, AllocatesNothingWhileTheMotionRuns) {
    auto robot = std::make_shared<velmor::robots::UR5e>();
    SimulatedDriver driver(std::make_shared<velmor::Planner>(robot), false, false, false, false, "127.0.0.1", 8000);
    driver.set_stepping(true);
    driver.set_speed(GetParam());
    const auto motion = driver.run_async(swing(6, 2 * steady_cycles));
    // The first cycles size the state's buffers.
    ASSERT_EQ(driver.step(10), 10U);

    allocations = 0;
    counting = true;
    const std::size_t ran = driver.step(steady_cycles);
    counting = false;

    EXPECT_EQ(ran, steady_cycles);
    EXPECT_TRUE(driver.is_running());
    EXPECT_EQ(allocations.load(), 0U);
    static_cast<void>(driver.stop_async(true));
}

INSTANTIATE_TEST_SUITE_P(SimulatedDriver, SteadyCycle, ::testing::Values(1.0, 0.75));

}  // namespace
