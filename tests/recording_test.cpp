#include <velmor/drivers/recording/recording.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <sys/stat.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <velmor/drivers/simulated/io_observer.hpp>
#include <velmor/velmor_error.hpp>

#include "support/simulated_robot.hpp"

using namespace velmor::drivers;
using velmor::drivers::testing::SimulatedRobot;

namespace {

constexpr double dt = 0.004;
const std::vector<double> home(6, 0.0);
const std::vector<double> goal {0.4, -0.3, 0.5, 0.2, -0.4, 0.3};

std::filesystem::path temporary(const std::string& name) {
    return std::filesystem::path(::testing::TempDir()) / (std::to_string(::getpid()) + "_" + name);
}

std::vector<double> column(const Recording& recording, CycleColumn which) {
    std::vector<double> values(recording.cycle_count());
    recording.copy_column(which, values.data());
    return values;
}

std::vector<double> joints(const Recording& recording, JointColumn which) {
    std::vector<double> values(recording.cycle_count() * recording.header.degrees_of_freedom);
    recording.copy_joints(which, values.data());
    return values;
}

// Linear interpolation of the trajectory's positions at `time` [s].
std::vector<double> position_at(const velmor::Trajectory& trajectory, double time) {
    const auto& times = trajectory.times();
    const auto upper = std::upper_bound(times.begin(), times.end(), time);
    if (upper == times.end()) {
        return trajectory.positions().back();
    }
    const auto k = static_cast<std::size_t>(upper - times.begin()) - 1;
    const double share = (time - times[k]) / (times[k + 1] - times[k]);
    std::vector<double> position(trajectory.degrees_of_freedom());
    for (std::size_t j = 0; j < position.size(); ++j) {
        position[j] = trajectory.positions()[k][j] * (1.0 - share) + trajectory.positions()[k + 1][j] * share;
    }
    return position;
}

// Bytes the allocator hands out now, including large blocks it maps on their own.
std::size_t allocated_bytes() {
    const auto info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](double x, double y) {
               return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
           });
}

// A recorded run with two moves, two events (one never fires), a script and an event I/O change.
struct RecordedRun {
    SimulatedRobot cell {0.0};
    std::shared_ptr<Recording> recording;

    explicit RecordedRun(const std::optional<std::filesystem::path>& stream = std::nullopt) {
        cell.driver->create_io("gripper", 0);
        recording = cell.driver->record(stream);
        cell.driver->add_event(Trigger::Time() > 100.0, Action([](double) {}));
        cell.driver->add_event(Trigger::Time() > 0.5,
                               Action([this](double) { cell.driver->set_digital_output("gripper", 1); }));
        EXPECT_EQ(cell.driver->move_to(goal, false), Result::Success);
        cell.driver->set_digital_output("gripper", 0);
        EXPECT_EQ(cell.driver->move_to(home, false), Result::Success);
        recording->stop();
    }
};

}  // namespace

TEST(Recording, CyclesFollowThePlayedTrajectoryAtTheirSimulatedTimes) {
    SimulatedRobot cell(0.0);
    const auto trajectory = cell.plan(home, goal);
    const auto recording = cell.driver->record();
    ASSERT_EQ(cell.driver->run(trajectory), Result::Success);
    recording->stop();

    // One cycle per sample, then the cycle that finds the trajectory finished.
    ASSERT_EQ(recording->cycle_count(), trajectory.size() + 1);
    const auto times = column(*recording, CycleColumn::Time);
    const auto walls = column(*recording, CycleColumn::WallTime);
    const auto positions = joints(*recording, JointColumn::Position);
    for (std::size_t i = 0; i < times.size(); ++i) {
        EXPECT_NEAR(times[i], static_cast<double>(i) * dt, 1e-9);
        if (i > 0) {
            EXPECT_GE(walls[i], walls[i - 1]);
        }
        const auto expected = position_at(trajectory, times[i]);
        for (std::size_t j = 0; j < 6; ++j) {
            ASSERT_NEAR(positions[i * 6 + j], expected[j], 1e-9) << "cycle " << i << ", joint " << j;
        }
    }
    std::vector<std::int64_t> commands(recording->cycle_count());
    recording->copy_commands(commands.data());
    EXPECT_TRUE(std::all_of(commands.begin(), commands.end(), [](auto c) { return c == 0; }));
}

TEST(Recording, CommandsEventsAndIoChangesAppearOnceInOrderWithTheirTimes) {
    RecordedRun run;
    const Recording& recording = *run.recording;

    ASSERT_EQ(recording.commands.size(), 2U);
    for (std::size_t k = 0; k < 2; ++k) {
        const auto& command = recording.commands[k];
        EXPECT_EQ(command.index, k);
        EXPECT_EQ(command.kind, "move_to");
        ASSERT_TRUE(command.planned_duration && command.end_time && command.result);
        EXPECT_EQ(*command.result, Result::Success);
        // The motion took its planned duration, rounded up to whole cycles, plus the cycle on
        // its last sample and the one that finds it done.
        const double executed = *command.end_time - command.start_time;
        EXPECT_NEAR(executed, std::ceil(*command.planned_duration / dt - 1e-9) * dt + 2 * dt, 1e-9);
        EXPECT_LE(command.start_wall_time, *command.end_wall_time);
    }
    EXPECT_EQ(recording.commands[0].arguments, "[0.4, -0.3, 0.5, 0.2, -0.4, 0.3]");
    // Simulated time stands still between the motions.
    EXPECT_DOUBLE_EQ(recording.commands[1].start_time, *recording.commands[0].end_time);
    EXPECT_DOUBLE_EQ(column(recording, CycleColumn::Time).back() + dt, *recording.commands[1].end_time);

    ASSERT_EQ(recording.events.size(), 1U);
    const auto& event = recording.events[0];
    EXPECT_EQ(event.event, 1U);
    EXPECT_EQ(event.command, 0U);
    EXPECT_GT(event.trajectory_time, 0.5);
    EXPECT_LE(event.trajectory_time, 0.5 + dt + 1e-9);
    EXPECT_NEAR(event.time - recording.commands[0].start_time, event.trajectory_time, 1e-9);

    ASSERT_EQ(recording.io.size(), 2U);
    EXPECT_EQ(recording.io[0].name, "gripper");
    EXPECT_EQ(recording.io[0].old_value, simulated::SignalValue(0));
    EXPECT_EQ(recording.io[0].new_value, simulated::SignalValue(1));
    EXPECT_DOUBLE_EQ(recording.io[0].time, event.time);
    EXPECT_EQ(recording.io[1].new_value, simulated::SignalValue(0));
    EXPECT_DOUBLE_EQ(recording.io[1].time, *recording.commands[0].end_time);
    EXPECT_LE(recording.io[0].wall_time, recording.io[1].wall_time);
}

TEST(Recording, WallTimesOfCyclesLieWithinTheirCommandsAcrossIdleTime) {
    SimulatedRobot cell(0.0);
    const auto recording = cell.driver->record();
    ASSERT_EQ(cell.driver->move_to(goal, false), Result::Success);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(cell.driver->move_to(home, false), Result::Success);
    recording->stop();

    const auto walls = column(*recording, CycleColumn::WallTime);
    std::vector<std::int64_t> commands(recording->cycle_count());
    recording->copy_commands(commands.data());
    for (std::size_t i = 0; i < walls.size(); ++i) {
        const auto& command = recording->commands.at(static_cast<std::size_t>(commands[i]));
        EXPECT_GE(walls[i], command.start_wall_time) << "cycle " << i;
        EXPECT_LE(walls[i], *command.end_wall_time) << "cycle " << i;
        if (i > 0) {
            EXPECT_GE(walls[i], walls[i - 1]) << "cycle " << i;
        }
    }
}

TEST(Recording, SavedAndLoadedRecordingIsTheSameBitForBit) {
    RecordedRun run;
    const Recording& original = *run.recording;
    const auto path = temporary("round_trip.jsonl");
    original.save(path);
    const auto loaded = Recording::load(path);

    EXPECT_EQ(loaded->header.robot, "ur5e");
    EXPECT_EQ(loaded->header.degrees_of_freedom, 6U);
    EXPECT_EQ(loaded->header.limits.size(), 6U);
    EXPECT_EQ(loaded->header.limits[2].max_velocity, original.header.limits[2].max_velocity);
    EXPECT_EQ(loaded->header.delta_time, dt);
    ASSERT_EQ(loaded->cycle_count(), original.cycle_count());
    for (auto which : {CycleColumn::Time, CycleColumn::WallTime, CycleColumn::Scale}) {
        EXPECT_TRUE(same_bits(column(*loaded, which), column(original, which)));
    }
    for (auto which : {JointColumn::Position, JointColumn::Velocity, JointColumn::Acceleration}) {
        EXPECT_TRUE(same_bits(joints(*loaded, which), joints(original, which)));
    }
    ASSERT_EQ(loaded->commands.size(), original.commands.size());
    for (std::size_t k = 0; k < original.commands.size(); ++k) {
        const auto& a = loaded->commands[k];
        const auto& b = original.commands[k];
        EXPECT_EQ(std::tie(a.kind, a.arguments, a.planned_duration, a.start_time, a.end_time, a.start_wall_time,
                           a.end_wall_time),
                  std::tie(b.kind, b.arguments, b.planned_duration, b.start_time, b.end_time, b.start_wall_time,
                           b.end_wall_time));
        EXPECT_EQ(a.result->description, b.result->description);
    }
    ASSERT_EQ(loaded->events.size(), 1U);
    EXPECT_EQ(loaded->events[0].wall_time, original.events[0].wall_time);
    ASSERT_EQ(loaded->io.size(), 2U);
    EXPECT_EQ(loaded->io[0].old_value, original.io[0].old_value);
    EXPECT_EQ(loaded->io[0].source, simulated::IoSource::Script);
    std::filesystem::remove(path);
}

TEST(Recording, StreamedFileHoldsTheWholeRun) {
    const auto path = temporary("streamed.jsonl");
    RecordedRun run(path);
    EXPECT_TRUE(run.recording->is_on_file_only());
    EXPECT_EQ(run.recording->cycle_count(), 0U);
    run.recording->read_back();
    const auto& recording = *run.recording;
    ASSERT_EQ(recording.commands.size(), 2U);
    double executed = 0.0;
    for (const auto& command : recording.commands) {
        executed += *command.end_time - command.start_time;
    }
    EXPECT_NEAR(static_cast<double>(recording.cycle_count()) * dt, executed, 1e-9);
    EXPECT_EQ(recording.events.size(), 1U);
    EXPECT_EQ(recording.io.size(), 2U);
    std::filesystem::remove(path);
}

TEST(Recording, StreamedLongRunKeepsMemoryBounded) {
    const auto path = temporary("long.jsonl");
    SimulatedRobot cell(0.0);
    const auto out = cell.plan(home, goal);
    const auto back = cell.plan(goal, home);
    const std::size_t before = allocated_bytes();
    const auto recording = cell.driver->record(path);
    std::size_t cycles = 0;
    while (cycles < 120'000) {
        ASSERT_EQ(cell.driver->run(out), Result::Success);
        ASSERT_EQ(cell.driver->run(back), Result::Success);
        cycles += out.size() + back.size() + 2;
    }
    const std::size_t during = allocated_bytes();
    recording->stop();
    // Kept in memory these cycles would take 120,000 × 176 bytes, over 20 MB.
    EXPECT_LT(during - std::min(during, before), 8'000'000U);
    const auto loaded = Recording::load(path);
    EXPECT_EQ(loaded->cycle_count(), cycles);
    std::filesystem::remove(path);
}

// A pipe that nobody drains stands for a disk that fell behind: once every chunk in
// memory is full the loop waits for it, holding no lock, so the state stays readable.
TEST(Recording, StreamedRecordingWaitsForASlowFileOutsideTheStateLock) {
    const auto path = temporary("slow.jsonl");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::FILE* reader = nullptr;
    std::thread opener([&] { reader = std::fopen(path.c_str(), "rb"); });
    SimulatedRobot cell(0.0);
    const auto recording = cell.driver->record(path);
    opener.join();
    ASSERT_NE(reader, nullptr);
    // 50,000 cycles, more than the chunks in memory hold, along samples 0.5 s apart.
    std::vector<double> times(401);
    std::vector<std::vector<double>> positions(times.size(), home);
    for (std::size_t i = 0; i < times.size(); ++i) {
        times[i] = 0.5 * static_cast<double>(i);
        positions[i][0] = 0.1 * std::sin(2.0 * M_PI * static_cast<double>(i) / 400.0);
    }
    const std::vector<std::vector<double>> still(times.size(), home);
    const velmor::Trajectory long_way(times, positions, still, still);
    auto motion = cell.driver->run_async(long_way);
    std::vector<double> before = cell.driver->get_current_joint_position();
    while (true) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_NE(motion.wait_for(std::chrono::seconds(0)), std::future_status::ready);
        const std::vector<double> now = cell.driver->get_current_joint_position();
        if (now == before) {
            break;
        }
        before = now;
    }
    std::thread drain([reader] {
        char buffer[65536];
        while (std::fread(buffer, 1, sizeof(buffer), reader) > 0) {
        }
    });
    EXPECT_EQ(motion.get(), Result::Success);
    recording->stop();
    drain.join();
    std::fclose(reader);
    EXPECT_GE(recording->loop_waits(), 1U);
    EXPECT_GE(recording->loop_wait_seconds(), 0.1);
    std::filesystem::remove(path);
}

TEST(Recording, OnlyOneRecordingRunsAndStoppingTwiceIsHarmless) {
    SimulatedRobot cell(0.0);
    const auto recording = cell.driver->record();
    EXPECT_THROW(cell.driver->record(), velmor::VelmorError);
    recording->stop();
    recording->stop();
    EXPECT_FALSE(recording->is_running());
    EXPECT_NO_THROW(cell.driver->record()->stop());
}

TEST(Recording, DriverGoneFirstEndsTheRecording) {
    std::shared_ptr<Recording> recording;
    {
        SimulatedRobot cell(0.0);
        recording = cell.driver->record();
        cell.driver->move_to(goal, false);
    }
    EXPECT_FALSE(recording->is_running());
    EXPECT_GT(recording->cycle_count(), 0U);
    EXPECT_NO_THROW(recording->stop());
}

TEST(Recording, CsvHasOneRowPerCycleWithEveryJointSample) {
    SimulatedRobot cell(0.0);
    const auto recording = cell.driver->record();
    cell.driver->move_to(goal, false);
    recording->stop();
    const auto path = temporary("samples.csv");
    recording->save(path);
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    EXPECT_EQ(line.rfind("time,wall_time,scale,command,position_1,", 0), 0U);
    EXPECT_NE(line.find(",acceleration_6"), std::string::npos);
    std::size_t rows = 0;
    std::string last;
    while (std::getline(file, line)) {
        ++rows;
        last = line;
    }
    EXPECT_EQ(rows, recording->cycle_count());
    EXPECT_EQ(std::count(last.begin(), last.end(), ','), 3 + 18);
    std::filesystem::remove(path);
}

struct BrokenFile {
    const char* name;
    std::string text;
    const char* message;
};

class RecordingLoad : public ::testing::TestWithParam<BrokenFile> {};

TEST_P(RecordingLoad, RefusesBrokenFilesNamingTheLine) {
    const auto path = temporary(std::string(GetParam().name) + ".jsonl");
    {
        RecordedRun run;
        run.recording->save(path);
    }
    std::string text;
    {
        std::ifstream file(path);
        std::string line;
        std::getline(file, line);
        text = line + "\n" + GetParam().text;
    }
    std::ofstream(path) << text;
    try {
        Recording::load(path);
        FAIL() << "loaded a broken file";
    } catch (const velmor::VelmorError& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().message), std::string::npos) << error.what();
    }
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    Broken, RecordingLoad,
    ::testing::Values(BrokenFile {"bad_base64", R"({"type":"cycles","count":1,"time":"!!!!AAAAAAA=","wall_time":"",)"
                                                R"("scale":"","command":"","position":"","velocity":"","acceleration":""})"
                                                "\n",
                                  "line 2: column \"time\""},
                      BrokenFile {"short_column",
                                  R"({"type":"cycles","count":2,"time":"AAAAAAAAAAA=","wall_time":"AAAAAAAAAAA=",)"
                                  R"("scale":"","command":"","position":"","velocity":"","acceleration":""})"
                                  "\n",
                                  "line 2: column \"time\" does not hold 2 values"},
                      BrokenFile {"unknown_type", "{\"type\":\"nonsense\"}\n", "line 2: unknown line type"},
                      BrokenFile {"not_json_inside", "{\"type\":\"io\"\n{\"type\":\"end\"}\n",
                                  "line 2: not a JSON object"},
                      BrokenFile {"missing_member", "{\"type\":\"event\",\"event\":1}\n", "line 2: no \"time\""},
                      BrokenFile {"wait_of_unknown_kind",
                                  R"({"type":"wait","kind":"nap","condition":"","start_time":0,"start_wall_time":0,)"
                                  R"("end_time":null,"end_wall_time":null,"held":null})"
                                  "\n",
                                  "line 2: \"kind\" is \"nap\", not \"dwell\" or \"wait\""},
                      BrokenFile {"mark_label_too_long",
                                  R"({"type":"mark","label":")" + std::string(1025, 'x') + R"(","time":0,"wall_time":0})"
                                  "\n",
                                  "line 2: the mark's label is longer than 1024 bytes"}),
    [](const auto& info) { return info.param.name; });

TEST(RecordingLoad, RefusesAFileThatIsNoRecordingAndKeepsACutShortLastLine) {
    const auto path = temporary("other.jsonl");
    std::ofstream(path) << "{\"type\":\"cycles\"}\n";
    EXPECT_THROW(Recording::load(path), velmor::VelmorError);
    EXPECT_THROW(Recording::load(temporary("missing.jsonl")), velmor::VelmorError);

    RecordedRun run;
    run.recording->save(path);
    const auto whole = Recording::load(path);
    std::string text;
    {
        std::ifstream file(path);
        text.assign(std::istreambuf_iterator<char>(file), {});
    }
    // The end line cut in the middle, as a killed process leaves it.
    std::ofstream(path, std::ios::trunc) << text.substr(0, text.size() - 10);
    const auto cut = Recording::load(path);
    EXPECT_EQ(cut->cycle_count(), whole->cycle_count());
    EXPECT_EQ(cut->io.size(), whole->io.size());
    std::filesystem::remove(path);
}
