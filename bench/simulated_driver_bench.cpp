// Control-loop figures of the simulated driver:
//  - loop throughput at time_speed 0, against a bare TimeScaler::next loop on the same trajectory;
//  - the same for a whole motion of two samples, command to result, comparable across
//    versions whatever their trajectories' storage costs to copy;
//  - the same two in alternating rounds of one run, with every hook present but unused
//    (argument 0) and with the joint safety limits watched (argument 1): the medians'
//    ratio, in wall-clock and in processor time;
//  - wall-clock cycle period at time_speed 1 over 2,000 cycles, for each pacing
//    (argument 0: pause after the cycle's work, the default; 1: fixed rate);
//  - latency from run_async on an idle driver to its first cycle, and from a stop to its pick-up.
// Cycle time stamps come from a trigger that records the clock and never holds.
#include <velmor/drivers/simulated_driver.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <numeric>
#include <ctime>
#include <vector>

#include <benchmark/benchmark.h>

#include <velmor/drivers/time_scaler.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robots.hpp>

namespace {

using Clock = std::chrono::steady_clock;
using velmor::drivers::Result;
using velmor::drivers::SimulatedDriver;
using velmor::drivers::Trigger;

// Samples `step` [s] apart that start and end in the all-zero position.
velmor::Trajectory long_trajectory(std::size_t joints, std::size_t samples = 10000, double step = 0.004) {
    std::vector<double> times(samples);
    std::vector<std::vector<double>> positions(samples, std::vector<double>(joints));
    auto velocities = positions;
    auto accelerations = positions;
    for (std::size_t i = 0; i < samples; ++i) {
        times[i] = step * static_cast<double>(i);
        const double phase = 2.0 * M_PI * static_cast<double>(i) / static_cast<double>(samples - 1);
        for (std::size_t j = 0; j < joints; ++j) {
            positions[i][j] = 0.1 * std::sin(phase);
        }
    }
    return velmor::Trajectory(times, positions, velocities, accelerations);
}

struct Cell {
    std::shared_ptr<velmor::RobotArm> robot = std::make_shared<velmor::robots::UR5e>();
    std::shared_ptr<velmor::Planner> planner = std::make_shared<velmor::Planner>(robot);
    SimulatedDriver driver {planner, false, false, false, false, "192.168.0.1", 8000};
};

// Records the time of every cycle in which it is evaluated.
struct CycleClock {
    std::mutex mutex;
    std::vector<Clock::time_point> stamps;
    std::vector<std::size_t> trajectory_sizes;

    Trigger trigger() {
        return Trigger([this](const auto&, double, const auto&, const velmor::Trajectory& trajectory) {
            std::lock_guard lock(mutex);
            stamps.push_back(Clock::now());
            trajectory_sizes.push_back(trajectory.size());
            return false;
        });
    }
};

// Timed from the moment run_async has handed the motion over (copying a long
// trajectory costs more than playing it) to the end of the motion.
void loop_throughput(benchmark::State& bench) {
    Cell cell;
    cell.driver.time_speed = 0.0;
    const auto trajectory = long_trajectory(6);
    for (auto _ : bench) {
        const auto motion = cell.driver.run_async(trajectory);
        const auto started = Clock::now();
        benchmark::DoNotOptimize(motion.get());
        bench.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
    }
    bench.counters["cycles_per_s"] =
        benchmark::Counter(static_cast<double>(trajectory.size() + 1) * static_cast<double>(bench.iterations()),
                           benchmark::Counter::kIsRate);
}

// The whole motion timed, from the command to its result: two samples 400 s apart,
// interpolated in 100,000 cycles, so that handing the motion over costs nothing
// beside playing it, whatever the trajectory's storage.
void loop_throughput_whole_motion(benchmark::State& bench) {
    Cell cell;
    cell.driver.time_speed = 0.0;
    const std::vector<std::vector<double>> ends {std::vector<double>(6, 0.0), std::vector<double>(6, 0.1)};
    const velmor::Trajectory trajectory({0.0, 400.0}, ends, {ends[0], ends[0]}, {ends[0], ends[0]});
    for (auto _ : bench) {
        benchmark::DoNotOptimize(cell.driver.run_async(trajectory).get());
    }
    bench.counters["cycles_per_s"] = benchmark::Counter(100'001.0 * static_cast<double>(bench.iterations()),
                                                        benchmark::Counter::kIsRate);
}

void bare_time_scaler(benchmark::State& bench) {
    const auto trajectory = long_trajectory(6);
    velmor::drivers::TimeScaler scaler(0.004);
    velmor::State state;
    for (auto _ : bench) {
        scaler.set_trajectory(&trajectory);
        while (scaler.next(state) != velmor::drivers::TimeScaler::StepOutcome::Finished) {
            benchmark::DoNotOptimize(state.position.data());
        }
    }
    bench.counters["cycles_per_s"] =
        benchmark::Counter(static_cast<double>(trajectory.size() + 1) * static_cast<double>(bench.iterations()),
                           benchmark::Counter::kIsRate);
}

double process_seconds() {
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Wall-clock and processor seconds of one round.
struct RoundCost {
    double wall;
    double processor;
};

template <typename Round>
RoundCost time_round(Round&& round) {
    const double processor = process_seconds();
    const auto started = Clock::now();
    round();
    return {std::chrono::duration<double>(Clock::now() - started).count(), process_seconds() - processor};
}

double median_of(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The whole motion, from the command to its result, against the bare time scaler over
// the same trajectory; the main thread waits for the result without spinning, so the
// processor time is the loop thread's. The trajectory is short enough to be handed
// over in a moment, long enough that the cycles dominate.
void loop_against_time_scaler(benchmark::State& bench) {
    Cell cell;
    cell.driver.time_speed = 0.0;
    if (bench.range(0) != 0) {
        velmor::drivers::SafetyLimits limits;
        limits.joint_position = true;
        limits.joint_velocity = true;
        cell.driver.set_safety_limits(limits);
    }
    // 25,000 cycles of 4 ms along samples 0.5 s apart.
    const auto sparse = long_trajectory(6, 201, 0.5);
    const double cycles = 100.0 / 0.004 + 1.0;
    velmor::drivers::TimeScaler scaler(0.004);
    velmor::State state;
    std::vector<double> loop_wall;
    std::vector<double> loop_processor;
    std::vector<double> bare_wall;
    std::vector<double> bare_processor;
    for (auto _ : bench) {
        const RoundCost loop = time_round([&] { benchmark::DoNotOptimize(cell.driver.run(sparse)); });
        const RoundCost bare = time_round([&] {
            scaler.set_trajectory(&sparse);
            while (scaler.next(state) != velmor::drivers::TimeScaler::StepOutcome::Finished) {
                benchmark::DoNotOptimize(state.position.data());
            }
        });
        loop_wall.push_back(loop.wall / cycles);
        loop_processor.push_back(loop.processor / cycles);
        bare_wall.push_back(bare.wall / cycles);
        bare_processor.push_back(bare.processor / cycles);
    }
    bench.counters["loop_ns"] = 1e9 * median_of(loop_wall);
    bench.counters["bare_ns"] = 1e9 * median_of(bare_wall);
    bench.counters["ratio"] = median_of(loop_wall) / median_of(bare_wall);
    bench.counters["loop_cpu_ns"] = 1e9 * median_of(loop_processor);
    bench.counters["bare_cpu_ns"] = 1e9 * median_of(bare_processor);
    bench.counters["cpu_ratio"] = median_of(loop_processor) / median_of(bare_processor);
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

void cycle_period_at_real_time(benchmark::State& bench) {
    Cell cell;
    cell.driver.pacing = bench.range(0) == 0 ? velmor::drivers::Pacing::PauseAfterWork : velmor::drivers::Pacing::FixedRate;
    const auto trajectory = long_trajectory(6, 2001);
    std::vector<double> periods;
    for (auto _ : bench) {
        CycleClock clock;
        cell.driver.add_event(clock.trigger(), velmor::drivers::Action([](double) {}));
        benchmark::DoNotOptimize(cell.driver.run(trajectory));
        std::lock_guard lock(clock.mutex);
        for (std::size_t i = 1; i < clock.stamps.size(); ++i) {
            periods.push_back(std::chrono::duration<double, std::milli>(clock.stamps[i] - clock.stamps[i - 1]).count());
        }
    }
    const double mean = std::accumulate(periods.begin(), periods.end(), 0.0) / static_cast<double>(periods.size());
    bench.counters["mean_ms"] = mean;
    bench.counters["p50_ms"] = percentile(periods, 0.5);
    bench.counters["p99_ms"] = percentile(periods, 0.99);
    bench.counters["max_ms"] = *std::max_element(periods.begin(), periods.end());
    bench.counters["excess_us"] = 1000.0 * (mean - 4.0);
}

void start_and_stop_latency(benchmark::State& bench) {
    Cell cell;
    const auto trajectory = long_trajectory(6, 500);
    std::vector<double> start_latencies;
    std::vector<double> stop_latencies;
    for (auto _ : bench) {
        CycleClock clock;
        cell.driver.add_event(clock.trigger(), velmor::drivers::Action([](double) {}));
        const auto started = Clock::now();
        const auto motion = cell.driver.run_async(trajectory);
        while (true) {
            std::lock_guard lock(clock.mutex);
            if (clock.stamps.size() >= 3) {
                break;
            }
        }
        const auto stopped = Clock::now();
        const auto stop = cell.driver.stop_async(true);
        benchmark::DoNotOptimize(stop.get());
        std::lock_guard lock(clock.mutex);
        start_latencies.push_back(std::chrono::duration<double, std::micro>(clock.stamps.front() - started).count());
        const auto picked_up = std::find_if(clock.trajectory_sizes.begin(), clock.trajectory_sizes.end(),
                                            [&](std::size_t size) { return size != trajectory.size(); });
        if (picked_up != clock.trajectory_sizes.end()) {
            const auto index = static_cast<std::size_t>(picked_up - clock.trajectory_sizes.begin());
            stop_latencies.push_back(std::chrono::duration<double, std::micro>(clock.stamps[index] - stopped).count());
        }
        // Back to the start for the next round.
        cell.driver.set_current_joint_position(std::vector<double>(6, 0.0));
    }
    bench.counters["start_p50_us"] = percentile(start_latencies, 0.5);
    bench.counters["start_max_us"] = *std::max_element(start_latencies.begin(), start_latencies.end());
    if (!stop_latencies.empty()) {
        bench.counters["stop_p50_us"] = percentile(stop_latencies, 0.5);
        bench.counters["stop_max_us"] = *std::max_element(stop_latencies.begin(), stop_latencies.end());
    }
}

}  // namespace

BENCHMARK(loop_throughput)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(loop_throughput_whole_motion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bare_time_scaler)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(loop_against_time_scaler)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(30)->UseRealTime();
BENCHMARK(cycle_period_at_real_time)->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(start_and_stop_latency)->Unit(benchmark::kMillisecond)->Iterations(20);

BENCHMARK_MAIN();
