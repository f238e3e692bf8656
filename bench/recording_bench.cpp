// Cost of recording the simulated driver:
//  - control-loop throughput at time_speed 0 with recording off, in memory and
//    streamed to a file, measured in alternating rounds of the same run;
//  - memory per recorded cycle for six joints;
//  - saving and loading 1,000,000 cycles as JSON Lines and MCAP (zstd and
//    uncompressed chunks), the CSV export, and streaming 1,000,000 cycles to each.
#include <velmor/drivers/recording/recording.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include <velmor/drivers/simulated_driver.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robots.hpp>

namespace {

using Clock = std::chrono::steady_clock;
using velmor::drivers::Recording;
using velmor::drivers::Result;
using velmor::drivers::SimulatedDriver;

// Samples `step` [s] apart that start and end in the all-zero position. With
// samples far apart the loop interpolates, and handing the trajectory over costs
// next to nothing, so a whole run() times the cycles.
velmor::Trajectory long_trajectory(std::size_t joints, std::size_t samples, double step) {
    std::vector<double> times(samples);
    std::vector<std::vector<double>> positions(samples, std::vector<double>(joints));
    auto velocities = positions;
    auto accelerations = positions;
    for (std::size_t i = 0; i < samples; ++i) {
        times[i] = step * static_cast<double>(i);
        const double phase = 2.0 * M_PI * static_cast<double>(i) / static_cast<double>(samples - 1);
        for (std::size_t j = 0; j < joints; ++j) {
            positions[i][j] = 0.1 * std::sin(phase);
            velocities[i][j] = 0.1 * std::cos(phase);
        }
    }
    return velmor::Trajectory(times, positions, velocities, accelerations);
}

struct Cell {
    std::shared_ptr<velmor::RobotArm> robot = std::make_shared<velmor::robots::UR5e>();
    std::shared_ptr<velmor::Planner> planner = std::make_shared<velmor::Planner>(robot);
    SimulatedDriver driver {planner, false, false, false, false, "192.168.0.1", 8000};

    Cell() { driver.time_speed = 0.0; }
};

std::filesystem::path scratch(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("velmor_recording_bench_" + std::to_string(::getpid()) + name);
}

// 25,000 cycles of 4 ms: 100 s along 201 samples.
velmor::Trajectory sparse_trajectory() {
    return long_trajectory(6, 201, 0.5);
}

constexpr double sparse_cycles = 100.0 / 0.004 + 2.0;

double process_seconds() {
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double thread_seconds() {
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Seconds per cycle of one motion, from the command to its result: wall clock;
// processor time of every thread (the loop, and the recording's helper thread
// while it prepares or writes chunks); and processor time of the loop thread
// alone, read by an event in the motion's last cycles (a loop thread lives for
// one motion, so its clock starts with it). Processor times hold up on a busy machine.
struct CycleCost {
    double wall;
    double processor;
    double loop;
};

CycleCost seconds_per_cycle(Cell& cell, const velmor::Trajectory& trajectory) {
    double loop = 0.0;
    cell.driver.add_event(velmor::drivers::Trigger::TimeToGoal() < 0.002,
                          velmor::drivers::Action([&loop](double) { loop = thread_seconds(); }));
    const auto started = Clock::now();
    const double processor = process_seconds();
    benchmark::DoNotOptimize(cell.driver.run(trajectory));
    return {std::chrono::duration<double>(Clock::now() - started).count() / sparse_cycles,
            (process_seconds() - processor) / sparse_cycles, loop / sparse_cycles};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Rounds of the same motion: off, recorded in memory, streamed as JSON Lines and as MCAP.
void loop_throughput_recorded(benchmark::State& bench) {
    Cell cell;
    const auto trajectory = sparse_trajectory();
    const auto file = scratch(".jsonl");
    const auto mcap_file = scratch(".mcap");
    std::vector<CycleCost> off;
    std::vector<CycleCost> memory;
    std::vector<CycleCost> streamed;
    std::vector<CycleCost> streamed_mcap;
    for (auto _ : bench) {
        off.push_back(seconds_per_cycle(cell, trajectory));
        auto in_memory = cell.driver.record();
        memory.push_back(seconds_per_cycle(cell, trajectory));
        in_memory->stop();
        in_memory.reset();
        auto to_file = cell.driver.record(file);
        streamed.push_back(seconds_per_cycle(cell, trajectory));
        to_file->stop();
        auto to_mcap = cell.driver.record(mcap_file);
        streamed_mcap.push_back(seconds_per_cycle(cell, trajectory));
        to_mcap->stop();
    }
    std::filesystem::remove(file);
    std::filesystem::remove(mcap_file);
    const auto medians = [](const std::vector<CycleCost>& costs) {
        std::vector<double> wall;
        std::vector<double> processor;
        std::vector<double> loop;
        for (const auto& cost : costs) {
            wall.push_back(cost.wall);
            processor.push_back(cost.processor);
            loop.push_back(cost.loop);
        }
        return CycleCost {median(wall), median(processor), median(loop)};
    };
    const CycleCost base = medians(off);
    const auto report = [&](const char* name, const std::vector<CycleCost>& costs) {
        const CycleCost cost = medians(costs);
        const std::string prefix(name);
        bench.counters[prefix + "_ns"] = 1e9 * cost.wall;
        bench.counters[prefix + "_cpu_ns"] = 1e9 * cost.processor;
        bench.counters[prefix + "_loop_ns"] = 1e9 * cost.loop;
        if (&costs != &off) {
            bench.counters[prefix + "_ratio"] = cost.wall / base.wall;
            bench.counters[prefix + "_cpu_ratio"] = cost.processor / base.processor;
            bench.counters[prefix + "_loop_ratio"] = cost.loop / base.loop;
        }
    };
    report("off", off);
    report("memory", memory);
    report("stream", streamed);
    report("mcap", streamed_mcap);
}

// Steady state over a long recording: many motions into one recording, which
// streamed outgrows its buffer and so runs at the pace of the file.
void long_recording_throughput(benchmark::State& bench) {
    const bool stream = bench.range(0) != 0;
    Cell cell;
    const auto trajectory = sparse_trajectory();
    const auto file = scratch(".jsonl");
    std::vector<double> per_cycle;
    for (auto _ : bench) {
        auto recording = stream ? cell.driver.record(file) : cell.driver.record();
        for (int i = 0; i < 20; ++i) {
            per_cycle.push_back(seconds_per_cycle(cell, trajectory).wall);
        }
        recording->stop();
    }
    std::filesystem::remove(file);
    bench.counters["ns_per_cycle"] = 1e9 * median(per_cycle);
}

std::size_t allocated_bytes() {
    const auto info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void memory_per_cycle(benchmark::State& bench) {
    Cell cell;
    const auto trajectory = sparse_trajectory();
    for (auto _ : bench) {
        const std::size_t before = allocated_bytes();
        auto recording = cell.driver.record();
        for (int i = 0; i < 20; ++i) {
            cell.driver.run(trajectory);
        }
        recording->stop();
        const std::size_t after = allocated_bytes();
        bench.counters["bytes_per_cycle"] =
            static_cast<double>(after - before) / static_cast<double>(recording->cycle_count());
        bench.counters["cycles"] = static_cast<double>(recording->cycle_count());
    }
}

// One recording of 1,000,000 cycles, made once.
std::shared_ptr<Recording> million_cycles() {
    static const auto recording = [] {
        Cell cell;
        const auto trajectory = sparse_trajectory();
        auto made = cell.driver.record();
        for (int i = 0; i < 40; ++i) {
            cell.driver.run(trajectory);
        }
        made->stop();
        return made;
    }();
    return recording;
}

// The file kinds of the save and load cases, by argument.
const char* const suffixes[] = {".jsonl", ".csv", ".mcap", ".mcap"};

velmor::drivers::McapCompression compression_of(std::int64_t kind) {
    return kind == 3 ? velmor::drivers::McapCompression::None : velmor::drivers::McapCompression::Zstd;
}

void save_million_cycles(benchmark::State& bench) {
    const auto recording = million_cycles();
    const auto file = scratch(suffixes[bench.range(0)]);
    for (auto _ : bench) {
        recording->save(file, compression_of(bench.range(0)));
    }
    bench.counters["cycles"] = static_cast<double>(recording->cycle_count());
    bench.counters["MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    std::filesystem::remove(file);
}

void load_million_cycles(benchmark::State& bench) {
    const auto recording = million_cycles();
    const auto file = scratch(suffixes[bench.range(0)]);
    recording->save(file, compression_of(bench.range(0)));
    for (auto _ : bench) {
        benchmark::DoNotOptimize(Recording::load(file));
    }
    bench.counters["cycles"] = static_cast<double>(recording->cycle_count());
    std::filesystem::remove(file);
}

// The whole run of 1,000,000 cycles at time_speed 0, streamed to a file: the
// loop waits for the file only when the writer falls eight chunks behind.
void stream_million_cycles(benchmark::State& bench) {
    Cell cell;
    const auto trajectory = sparse_trajectory();
    const auto file = scratch(suffixes[bench.range(0)]);
    for (auto _ : bench) {
        auto recording = cell.driver.record(file, compression_of(bench.range(0)));
        for (int i = 0; i < 40; ++i) {
            cell.driver.run(trajectory);
        }
        recording->stop();
    }
    bench.counters["cycles"] = 40 * sparse_cycles;
    bench.counters["MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    std::filesystem::remove(file);
}

}  // namespace

BENCHMARK(loop_throughput_recorded)->Unit(benchmark::kMillisecond)->Iterations(30)->UseRealTime();
BENCHMARK(long_recording_throughput)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(memory_per_cycle)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(save_million_cycles)->DenseRange(0, 3)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(load_million_cycles)->Arg(0)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(stream_million_cycles)->Arg(0)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

BENCHMARK_MAIN();
