#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <velmor/drivers/recording/mcap_compression.hpp>
#include <velmor/drivers/recording/records.hpp>
#include <velmor/motion/robot.hpp>
#include <velmor/motion/shapes.hpp>

namespace velmor::drivers {

class Recorder;
struct CycleChunk;

//! What a report or a figure needs to know about the recorded robot.
struct RecordingHeader {
    //! Version of the file format this recording follows.
    static constexpr int format_version = 1;

    //! Name of the driven robot.
    std::string robot;
    //! Name of the environment's whole robot, of which the driven one may be a part.
    std::string environment_robot;
    //! Index of the driven robot's first joint in the whole robot's joints.
    std::size_t joint_offset {0};
    //! Joints per cycle.
    std::size_t degrees_of_freedom {0};
    //! Limits of each driven joint.
    std::vector<velmor::JointLimits> limits;
    //! Control interval [s].
    double delta_time {0.0};
    //! Version of the driver library that recorded it.
    std::string driver_version;
    //! Wall-clock date and time at which recording began (UTC, ISO 8601).
    std::string started;
    //! The obstacles around the robot when recording began, keyed by name.
    std::map<std::string, velmor::Shape> obstacles;
};

//! Which per-cycle column to copy out of a recording.
enum class CycleColumn { Time, WallTime, Scale };
//! Which per-joint quantity to copy out of a recording.
enum class JointColumn { Position, Velocity, Acceleration };

//! What a driver did while it was recorded: the samples of every control cycle
//! in columnar chunks, and every command, fired event, I/O change, mark, dwell and wait.
//!
//! A recording that is still running belongs to its recorder: read it only
//! after stop(). A recording streamed to a file keeps no samples in memory;
//! load() its file to read them.
class Recording {
public:
    Recording() = default;
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    //! The robot, its limits and the control interval.
    RecordingHeader header;
    //! Samples of the control cycles, oldest first, in the library's own columnar
    //! chunks; read them through the copy_ functions.
    std::vector<std::unique_ptr<CycleChunk>> chunks;
    //! Commands in the order they were given.
    std::vector<CommandRecord> commands;
    //! Fired events in the order they fired.
    std::vector<EventRecord> events;
    //! I/O changes in the order they happened.
    std::vector<IoRecord> io;
    //! Marks in the order they were made.
    std::vector<MarkRecord> marks;
    //! Dwells and waits of the program, each once it has ended or the recording stopped.
    std::vector<WaitRecord> waits;
    //! The arms of the recorded robot in the order of their joints, whose tool poses an
    //! MCAP file carries; known to a recording made by a driver, empty for a loaded one.
    std::vector<std::shared_ptr<const RobotArm>> arms;
    //! The file a streamed recording was written to; empty for one kept in memory.
    std::optional<std::filesystem::path> stream_path;

    //! Number of recorded cycles.
    [[nodiscard]] std::size_t cycle_count() const;
    //! Copies a per-cycle column into `out`, which has room for cycle_count() values.
    void copy_column(CycleColumn column, double* out) const;
    //! Copies the per-cycle command indices (-1 for none) into `out`.
    void copy_commands(std::int64_t* out) const;
    //! Copies a joint quantity, row-major (cycle × joint), into `out`, which
    //! has room for cycle_count() × degrees_of_freedom values.
    void copy_joints(JointColumn column, double* out) const;

    //! Whether the recorder still appends to it.
    [[nodiscard]] bool is_running() const { return running.load(); }
    //! How often the control loop waited for the file of a streamed recording that fell
    //! too far behind (its chunks in memory all full), holding no lock; 0 in memory.
    [[nodiscard]] std::size_t loop_waits() const { return waits_for_file.load(); }
    //! How long [s of wall-clock time] those waits lasted in all.
    [[nodiscard]] double loop_wait_seconds() const { return seconds_waited_for_file.load(); }
    //! Ends the recording if it still runs; throws VelmorError (module
    //! "recording") when a streamed recording could not be written completely.
    void stop();
    //! Whether it was streamed and its samples are not in memory (see read_back).
    [[nodiscard]] bool is_on_file_only() const { return stream_path && !read_back_done && !is_running(); }
    //! Reads a stopped streamed recording back from its file into memory; does
    //! nothing for any other. Throws VelmorError as load() does.
    void read_back();

    //! Writes the recording: CSV of the joint samples for a path ending in
    //! ".csv", MCAP for ".mcap" (chunks compressed as `compression` says; see
    //! README, "Recordings"), else JSON Lines. Throws VelmorError (module "recording") when it
    //! is still running or the file cannot be written; the file at `path` is
    //! replaced only once the new one is whole on the disk.
    void save(const std::filesystem::path& path, McapCompression compression = McapCompression::Zstd) const;
    //! Reads a recording saved or streamed as JSON Lines or MCAP (told apart by
    //! the file's first bytes); of an MCAP file cut short, the complete chunks
    //! are read, with a warning. Throws VelmorError
    //! (module "recording") naming the file and line when it cannot be read or
    //! breaks the bounds of velmor/common/recording_bounds.hpp.
    static std::shared_ptr<Recording> load(const std::filesystem::path& path);

private:
    friend class Recorder;

    // The recorder that fills this recording, reachable while it runs; the
    // recorder clears it under the link's lock before it goes away.
    struct Link {
        std::mutex mutex;
        Recorder* recorder {nullptr};
    };
    std::atomic<bool> running {false};
    // Added to by the thread that runs a cycle, read by anybody.
    std::atomic<std::size_t> waits_for_file {0};
    std::atomic<double> seconds_waited_for_file {0.0};
    bool read_back_done {false};
    std::shared_ptr<Link> link;
};

}  // namespace velmor::drivers
