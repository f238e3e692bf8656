#pragma once

#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <velmor/drivers/commands.hpp>
#include <velmor/drivers/recording/recording.hpp>
#include <velmor/drivers/result.hpp>
#include <velmor/drivers/signal_value.hpp>
#include <velmor/motion/state.hpp>

#include "drivers/recording/cycle_chunk.hpp"

namespace velmor::drivers {

//! Records what a driver does into a Recording, through hooks that the driver
//! calls where things happen. While no recording runs every hook returns at once.
//!
//! Cycles are appended to preallocated columnar chunks without allocating;
//! a helper thread prepares the next chunk and, for a recording given a file,
//! writes full chunks and records there and recycles the chunks, so memory
//! stays bounded and the control loop never formats or writes.
//!
//! Threads: on_cycle is called with the owner's cycle lock held (the lock given
//! to the constructor), so that start and stop, which take that lock too, never
//! meet a cycle half-written; cycles never overlap. The other hooks may be
//! called from any thread.
class Recorder {
public:
    //! Cycles per chunk.
    static constexpr std::size_t chunk_capacity = 4096;
    //! Cycles that follow each other back to back (at time_speed 0) read the
    //! clock once in this many; the ones between are interpolated.
    static constexpr std::uint32_t back_to_back_clock_period = 4;
    //! Counter ticks per cycle above which cycles count as paced, each reading
    //! the clock: about a microsecond.
    static constexpr std::uint64_t paced_cycle_ticks = 2000;
    //! Chunks a streamed recording holds in memory at most. At time_speed 0 the
    //! loop outruns the file; these chunks let it run unhindered for a while.
    static constexpr std::size_t stream_chunks = 8;

    //! `cycle_mutex` is the lock its owner holds around every on_cycle call.
    explicit Recorder(std::mutex& cycle_mutex);
    //! Ends a running recording.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    //! Starts recording a robot described by `header`, made of `arms` (see
    //! Recording::arms), streaming to `path` when given (as MCAP for a ".mcap" path,
    //! chunks compressed as `compression` says, else JSON Lines). Throws VelmorError
    //! (module "recording") when a recording runs already or the file cannot be created.
    std::shared_ptr<Recording> start(RecordingHeader header, std::vector<std::shared_ptr<const RobotArm>> arms,
                                     const std::optional<std::filesystem::path>& path,
                                     McapCompression compression = McapCompression::Zstd);
    //! Ends the running recording, if any; see Recording::stop.
    void stop();
    //! Whether a recording runs.
    [[nodiscard]] bool is_recording() const { return active.load(); }

    //! The driver's simulated clock [s], which recorded times follow from the start of
    //! each recording. Set once, before any recording starts; without one, hooks outside
    //! the cycles take the time of the next cycle.
    void set_clock(std::function<double()> simulated_clock);

    //! Appends one control cycle: the state just played, the speed scale it was
    //! played at, and the simulated clock at the cycle's start [s]; `may_end` when
    //! the motion may stand still after it (the trajectory finished, or standstill).
    void on_cycle(const velmor::State& state, double scale, bool may_end, double clock_at_cycle) {
        if (cycles == nullptr) {
            return;
        }
        if (cycle_chunk == nullptr) {
            begin_chunk();
        }
        // Counter readings stand in for the wall clock until end_chunk turns them into seconds.
        const bool read_clock = --clock_countdown == 0 || may_end || clock_wanted.load(std::memory_order_relaxed);
        const std::uint64_t ticks = read_clock ? read_ticks() : 0;
        const double cycle_time = clock_at_cycle - clock_origin;
        cycle_chunk->append(cycle_time, std::bit_cast<double>(ticks), scale,
                            current_command.load(std::memory_order_relaxed), state);
        if (read_clock) {
            clock_read(ticks);
        }
        ++cycle_count;
        next_cycle_time.store(cycle_time + cycle_step, std::memory_order_relaxed);
        if (cycle_chunk->full()) {
            end_chunk();
        }
    }
    //! A command was given; it is the one being executed until on_command_finished.
    void on_command_started(const Command& command);
    //! A paused motion was resumed; counts as a command of kind "resume".
    void on_resume_started();
    //! A trajectory of `duration` [s] was planned for the command being executed.
    void on_trajectory_planned(double duration);
    //! The command being executed got its result; `plan_failure` says why its trajectory
    //! could not be planned (empty when it could, or none was asked for).
    void on_command_finished(const Result& result, const std::string& plan_failure = {});
    //! The event registered as number `event` fired at `trajectory_time` [s].
    void on_event_fired(std::uint64_t event, double trajectory_time);
    //! A signal's value changed (see simulated::IoObserver).
    void on_io_change(const std::string& name, const std::optional<SignalValue>& old_value,
                      const SignalValue& new_value, IoSource source, const std::string& device = {});
    //! The program marked the clock's present time with `label`.
    void on_mark(const std::string& label);
    //! A dwell or wait of the program begins now: its record with the start filled in,
    //! for end_wait; none while no recording runs.
    std::optional<WaitRecord> begin_wait(std::string kind, std::string condition);
    //! The wait begun as `record` ended now; `held` says whether its condition held.
    void end_wait(WaitRecord record, std::optional<bool> held);
    //! A dwell or wait begun as `record` runs on the future `answer`; it is recorded once
    //! the future is ready (or the recording stops), ending at `*held_at` [s of the clock]
    //! when its condition held, else `limit` [s] after its start.
    void end_wait_later(WaitRecord record, std::shared_future<bool> answer,
                        std::shared_ptr<const std::atomic<double>> held_at, std::optional<double> limit);

private:
    friend class Recording;
    struct CycleSide;
    struct RecordSide;

    // Wall-clock time of every cycle is read from the processor's time-stamp
    // counter, a fraction of the cost of the steady clock; end_chunk maps the
    // readings onto steady-clock readings taken at the chunk's start and end.
    static std::uint64_t read_ticks() {
#if defined(__x86_64__) || defined(__i386__)
        return __builtin_ia32_rdtsc();
#else
        return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
    }
    void begin_chunk();
    void end_chunk();
    // A counter reading and the wall-clock time [s] since the recording began, of one moment.
    void read_anchor(std::uint64_t& ticks, double& wall) const;
    void clock_read(std::uint64_t ticks);
    [[nodiscard]] std::uint64_t ticks_since_last_read(std::uint64_t ticks) const;
    void fill_unread_rows(std::size_t end, std::uint64_t ticks);
    void start_command(std::string kind, std::string arguments);
    void stop(const Recording& recording);
    [[nodiscard]] double wall_time() const;
    // Simulated time now [s] since the recording began; needs records_mutex.
    [[nodiscard]] double now() const;
    // Keeps the waits on futures that have ended, or all of them when the recording stops; needs records_mutex.
    void keep_ended_waits(bool stopping);

    std::mutex& cycle_mutex;
    // Guards `records` and the start and end of a recording.
    std::mutex records_mutex;
    std::atomic<bool> active {false};
    // Set and cleared with cycle_mutex held; touched by on_cycle only.
    std::unique_ptr<CycleSide> cycles;
    // What on_cycle needs of it, kept here to spare the loop a call: the chunk
    // it fills (null between chunks), the simulated clock at the recording's
    // start [s] and delta_time [s].
    CycleChunk* cycle_chunk {nullptr};
    double clock_origin {0.0};
    double cycle_step {0.0};
    std::size_t cycle_count {0};
    // Reading the clock costs as much as the rest of a cycle's record, so
    // cycles that come back to back read it once in a few (see clock_read).
    std::uint32_t clock_countdown {1};
    std::size_t last_read_row {0};
    std::uint64_t last_read_ticks {0};
    std::uint64_t ticks_per_row {0};
    // Set by hooks after which the loop may stand still for a while: the next cycle reads the clock.
    std::atomic<bool> clock_wanted {false};
    // Set and cleared with records_mutex held.
    std::unique_ptr<RecordSide> records;
    // Set before any recording starts, read only after.
    std::function<double()> clock;
    // Simulated time of the next cycle [s]: "now" for the hooks on other threads.
    std::atomic<double> next_cycle_time {0.0};
    std::atomic<std::int64_t> current_command {-1};
    // Lets recordings reach this recorder while it exists.
    std::shared_ptr<Recording::Link> link;
};

}  // namespace velmor::drivers
