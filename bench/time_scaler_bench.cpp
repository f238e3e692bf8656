#include <velmor/drivers/time_scaler.hpp>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

// Counts every allocation of the process, so that the timed loop can show it allocates nothing.
std::atomic<std::int64_t> allocations {0};

}  // namespace

// Not inlined, so that the compiler never pairs a visible malloc with a delete expression.
[[gnu::noinline]] void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

[[gnu::noinline]] void operator delete(void* memory) noexcept {
    std::free(memory);
}

[[gnu::noinline]] void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

using velmor::drivers::TimeScaler;

// 10,000 samples 4 ms apart of a smooth motion of every joint.
velmor::Trajectory long_trajectory(std::size_t joints) {
    constexpr std::size_t samples = 10000;
    std::vector<double> times(samples);
    std::vector<std::vector<double>> positions(samples, std::vector<double>(joints));
    std::vector<std::vector<double>> velocities = positions;
    std::vector<std::vector<double>> accelerations = positions;
    for (std::size_t i = 0; i < samples; ++i) {
        times[i] = 0.004 * static_cast<double>(i);
        for (std::size_t j = 0; j < joints; ++j) {
            const double phase = times[i] + 0.1 * static_cast<double>(j);
            positions[i][j] = std::sin(phase);
            velocities[i][j] = std::cos(phase);
            accelerations[i][j] = -std::sin(phase);
        }
    }
    return velmor::Trajectory(times, positions, velocities, accelerations);
}

// Arguments: number of joints, scale in thousandths.
void next_per_call(benchmark::State& bench) {
    const auto joints = static_cast<std::size_t>(bench.range(0));
    const double scale = static_cast<double>(bench.range(1)) / 1000.0;
    const velmor::Trajectory trajectory = long_trajectory(joints);
    TimeScaler scaler(0.004);
    scaler.set_scale(scale);
    scaler.set_trajectory(&trajectory);
    velmor::State state;
    scaler.next(state);

    std::int64_t restarts = 0;
    const std::int64_t before = allocations.load();
    for (auto _ : bench) {
        // The restart costs one lock and a few stores once per 10,000 or more calls.
        if (scaler.next(state) == TimeScaler::StepOutcome::Finished) {
            scaler.set_trajectory(&trajectory);
            ++restarts;
        }
        benchmark::DoNotOptimize(state.position.data());
        benchmark::ClobberMemory();
    }
    const std::int64_t allocated = allocations.load() - before;
    bench.counters["allocs_per_call"] =
        benchmark::Counter(static_cast<double>(allocated), benchmark::Counter::kAvgIterations);
    bench.counters["restarts"] = static_cast<double>(restarts);
}

BENCHMARK(next_per_call)->ArgNames({"joints", "scale_milli"})->ArgsProduct({{6, 12}, {1000, 370}});

}  // namespace

BENCHMARK_MAIN();
