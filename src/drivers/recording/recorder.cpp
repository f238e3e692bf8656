#include "drivers/recording/recorder.hpp"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <limits>
#include <utility>

#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

#include "drivers/recording/chunk_worker.hpp"
#include "drivers/recording/command_text.hpp"
#include "drivers/recording/mcap/recording_writer.hpp"
#include "drivers/recording/output_file.hpp"
#include "drivers/recording/record_json.hpp"
#include "drivers/recording/record_side.hpp"

namespace velmor::drivers {

namespace {

using Clock = std::chrono::steady_clock;
using recording::ChunkWorker;

double seconds_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

std::string utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm parts {};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

}  // namespace

// What the control loop touches besides the hot members, guarded by the owner's cycle lock.
struct Recorder::CycleSide {
    std::shared_ptr<Recording> recording;
    std::shared_ptr<ChunkWorker> worker;
    bool streaming {false};
    Clock::time_point started;
    // The chunk being filled when streaming; kept in the recording otherwise.
    std::unique_ptr<CycleChunk> streamed_chunk;
    std::uint64_t first_ticks {0};
    double first_wall {0.0};
};

Recorder::Recorder(std::mutex& cycle_mutex)
    : cycle_mutex(cycle_mutex), link(std::make_shared<Recording::Link>()) {
    link->recorder = this;
}

Recorder::~Recorder() {
    try {
        stop();
    } catch (const VelmorError& error) {
        log::log_<log::Level::Error>("recording", error.message);
    }
    const std::lock_guard lock(link->mutex);
    link->recorder = nullptr;
}

std::shared_ptr<Recording> Recorder::start(RecordingHeader header, std::vector<std::shared_ptr<const RobotArm>> arms,
                                           const std::optional<std::filesystem::path>& path,
                                           McapCompression compression) {
    if (active) {
        throw VelmorError("recording", "A recording is running already; stop it first.");
    }
    header.started = utc_now();
    auto recording = std::make_shared<Recording>();
    recording->header = std::move(header);
    recording->arms = std::move(arms);
    recording->link = link;
    const std::size_t joints = recording->header.degrees_of_freedom;

    std::shared_ptr<ChunkWorker> worker;
    if (path) {
        std::string line;
        std::unique_ptr<mcap::RecordingWriter> mcap;
        if (mcap::is_mcap_path(*path)) {
            mcap = std::make_unique<mcap::RecordingWriter>(recording->header, recording->arms, compression);
            mcap->take_output(line);
        } else {
            recording::append_header_line(recording->header, line);
        }
        std::FILE* file = recording::open_stream(*path, line);
        worker = std::make_shared<ChunkWorker>(joints, chunk_capacity, file, stream_chunks, std::move(mcap));
        recording->stream_path = *path;
    } else {
        worker = std::make_shared<ChunkWorker>(joints, chunk_capacity);
    }

    const double clock_origin_now = clock ? clock() : 0.0;
    auto cycle_side = std::make_unique<CycleSide>();
    auto record_side = std::make_unique<RecordSide>();
    const auto started = Clock::now();
    cycle_side->recording = record_side->recording = recording;
    cycle_side->worker = record_side->worker = worker;
    cycle_side->streaming = record_side->streaming = path.has_value();
    cycle_side->started = record_side->started = started;
    {
        const std::lock_guard cycle_lock(cycle_mutex);
        const std::lock_guard records_lock(records_mutex);
        if (records) {
            throw VelmorError("recording", "A recording is running already; stop it first.");
        }
        next_cycle_time = 0.0;
        current_command = -1;
        cycle_chunk = nullptr;
        clock_origin = record_side->clock_origin = clock_origin_now;
        cycle_step = recording->header.delta_time;
        cycle_count = 0;
        recording->running = true;
        cycles = std::move(cycle_side);
        records = std::move(record_side);
        active = true;
    }
    return recording;
}

void Recorder::stop() {
    std::shared_ptr<Recording> running;
    {
        const std::lock_guard lock(records_mutex);
        if (!records) {
            return;
        }
        running = records->recording;
    }
    stop(*running);
}

void Recorder::stop(const Recording& recording) {
    std::shared_ptr<Recording> stopped;
    std::shared_ptr<ChunkWorker> worker;
    std::string end_line;
    {
        const std::lock_guard cycle_lock(cycle_mutex);
        const std::lock_guard records_lock(records_mutex);
        if (!records || records->recording.get() != &recording) {
            return;
        }
        active = false;
        if (cycle_chunk != nullptr) {
            end_chunk();
        }
        records->close_open_command();
        keep_ended_waits(true);
        recording::append_end_line(cycle_count, records->counts, end_line);
        stopped = records->recording;
        worker = records->worker;
        cycles.reset();
        records.reset();
        current_command = -1;
    }
    const auto error = worker->finish(end_line);
    stopped->running = false;
    if (error) {
        throw VelmorError("recording", "Could not write the recording to '" + stopped->stream_path->string() +
                                           "': " + *error + ".");
    }
}

void Recorder::begin_chunk() {
    CycleSide& side = *cycles;
    std::unique_ptr<CycleChunk> fresh = side.worker->take();
    if (!fresh) {
        // The worker fell behind; a rare allocation beats a lost cycle.
        fresh = std::make_unique<CycleChunk>(side.recording->header.degrees_of_freedom, chunk_capacity);
    }
    cycle_chunk = fresh.get();
    if (side.streaming) {
        side.streamed_chunk = std::move(fresh);
    } else {
        side.recording->chunks.push_back(std::move(fresh));
    }
    read_anchor(side.first_ticks, side.first_wall);
    clock_countdown = 1;
}

std::uint64_t Recorder::ticks_since_last_read(std::uint64_t ticks) const {
    // Counters of two cores may disagree by a little; time never runs backwards here.
    return ticks > last_read_ticks ? ticks - last_read_ticks : 0;
}

void Recorder::clock_read(std::uint64_t ticks) {
    const std::size_t row = cycle_chunk->count - 1;
    if (row > 0) {
        fill_unread_rows(row, ticks);
        const std::uint64_t rows = row - last_read_row;
        ticks_per_row = ticks_since_last_read(ticks) / rows;
    }
    last_read_row = row;
    last_read_ticks = ticks;
    clock_countdown = ticks_per_row > paced_cycle_ticks || row == 0 ? 1 : back_to_back_clock_period;
    clock_wanted.store(false, std::memory_order_relaxed);
}

void Recorder::fill_unread_rows(std::size_t end, std::uint64_t ticks) {
    const std::size_t rows = end - last_read_row;
    if (rows <= 1) {
        return;
    }
    const std::uint64_t step = ticks_since_last_read(ticks) / rows;
    // Rows that came back to back lie evenly between two readings; after a
    // longer stand-still they followed the reading before it at the pace of the rows before.
    const std::uint64_t pace = step > paced_cycle_ticks ? ticks_per_row : step;
    for (std::size_t k = 1; k < rows; ++k) {
        cycle_chunk->wall_time[last_read_row + k] = std::bit_cast<double>(last_read_ticks + k * pace);
    }
}

void Recorder::read_anchor(std::uint64_t& ticks, double& wall) const {
    // The clock is read between two counter readings and dated halfway between them. Of a
    // few tries the tightest pair counts: a thread put aside between the reads would
    // otherwise shift every wall time of the chunk.
    std::uint64_t tightest = std::numeric_limits<std::uint64_t>::max();
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::uint64_t before = read_ticks();
        const auto now = Clock::now();
        const std::uint64_t after = read_ticks();
        const std::uint64_t spread = after > before ? after - before : 0;
        if (spread < tightest) {
            tightest = spread;
            ticks = before + spread / 2;
            wall = seconds_between(cycles->started, now);
        }
    }
}

void Recorder::end_chunk() {
    CycleSide& side = *cycles;
    std::uint64_t last_ticks {0};
    double last_wall {0.0};
    read_anchor(last_ticks, last_wall);
    // Rows after the last reading followed it back to back, up to now at the latest.
    const std::size_t end = cycle_chunk->count;
    if (end > last_read_row + 1) {
        fill_unread_rows(end, std::min(last_read_ticks + (end - last_read_row) * ticks_per_row, last_ticks));
    }
    const double per_tick = last_ticks > side.first_ticks
                                ? (last_wall - side.first_wall) / static_cast<double>(last_ticks - side.first_ticks)
                                : 0.0;
    for (std::size_t i = 0; i < cycle_chunk->count; ++i) {
        const auto ticks = std::bit_cast<std::uint64_t>(cycle_chunk->wall_time[i]);
        cycle_chunk->wall_time[i] =
            side.first_wall + static_cast<double>(static_cast<std::int64_t>(ticks - side.first_ticks)) * per_tick;
    }
    if (side.streaming) {
        side.worker->write(std::move(side.streamed_chunk));
    }
    cycle_chunk = nullptr;
}

double Recorder::wall_time() const {
    return seconds_between(records->started, Clock::now());
}

double Recorder::now() const {
    return clock ? clock() - records->clock_origin : next_cycle_time.load();
}

void Recorder::set_clock(std::function<double()> simulated_clock) {
    clock = std::move(simulated_clock);
}

void Recorder::on_command_started(const Command& command) {
    if (!active) {
        return;
    }
    start_command(recording::command_kind(command), recording::command_arguments(command));
}

void Recorder::on_resume_started() {
    if (!active) {
        return;
    }
    start_command("resume", "");
}

void Recorder::start_command(std::string kind, std::string arguments) {
    const std::lock_guard lock(records_mutex);
    if (!records) {
        return;
    }
    records->close_open_command();
    CommandRecord record;
    record.index = records->commands++;
    record.kind = std::move(kind);
    record.arguments = std::move(arguments);
    record.start_time = now();
    record.start_wall_time = wall_time();
    current_command = static_cast<std::int64_t>(record.index);
    records->open_command = std::move(record);
    // The driver may have stood idle since its last cycle.
    clock_wanted.store(true, std::memory_order_relaxed);
}

void Recorder::on_trajectory_planned(double duration) {
    if (!active) {
        return;
    }
    const std::lock_guard lock(records_mutex);
    if (records && records->open_command) {
        records->open_command->planned_duration = duration;
    }
}

void Recorder::on_command_finished(const Result& result, const std::string& plan_failure) {
    if (!active) {
        return;
    }
    const std::lock_guard lock(records_mutex);
    if (!records || !records->open_command) {
        return;
    }
    CommandRecord& record = *records->open_command;
    record.end_time = now();
    record.end_wall_time = wall_time();
    record.result = result;
    record.plan_failure = plan_failure.empty() ? std::nullopt : std::optional<std::string>(plan_failure);
    current_command = -1;
    records->close_open_command();
}

void Recorder::on_event_fired(std::uint64_t event, double trajectory_time) {
    if (!active) {
        return;
    }
    const std::lock_guard lock(records_mutex);
    if (!records) {
        return;
    }
    // The event's action runs before the next cycle, and may take a while.
    clock_wanted.store(true, std::memory_order_relaxed);
    const std::int64_t command = current_command.load();
    records->keep(EventRecord {event, now(), wall_time(), trajectory_time,
                               command >= 0 ? std::optional<std::uint64_t>(command) : std::nullopt});
}

void Recorder::on_io_change(const std::string& name, const std::optional<SignalValue>& old_value,
                            const SignalValue& new_value, IoSource source, const std::string& device) {
    if (!active) {
        return;
    }
    const std::lock_guard lock(records_mutex);
    if (!records) {
        return;
    }
    records->keep(IoRecord {name, old_value, new_value, source, device, now(), wall_time()});
}

}  // namespace velmor::drivers
