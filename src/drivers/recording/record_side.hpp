// What a recorder's hooks other than on_cycle keep while a recording runs.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "drivers/recording/chunk_worker.hpp"
#include "drivers/recording/record_json.hpp"
#include "drivers/recording/recorder.hpp"

namespace velmor::drivers {

//! A dwell or wait the program runs on a future, kept once it is known to have ended.
struct PendingWait {
    WaitRecord record;
    std::shared_future<bool> answer;
    //! Simulated clock [s] at which a wait's condition held; NaN until then.
    std::shared_ptr<const std::atomic<double>> held_at;
    //! Its length [s] for a dwell, its timeout for a wait; none: no limit.
    std::optional<double> limit;
};

// Guarded by the recorder's records_mutex.
struct Recorder::RecordSide {
    std::shared_ptr<Recording> recording;
    std::shared_ptr<recording::ChunkWorker> worker;
    bool streaming {false};
    std::chrono::steady_clock::time_point started;
    // The simulated clock when the recording started [s]: recorded times count from it.
    double clock_origin {0.0};
    std::uint64_t commands {0};
    recording::RecordCounts counts;
    std::optional<CommandRecord> open_command;
    std::vector<PendingWait> pending_waits;

    void keep(CommandRecord record) { keep(std::move(record), recording->commands, counts.commands); }
    void keep(EventRecord record) { keep(std::move(record), recording->events, counts.events); }
    void keep(IoRecord record) { keep(std::move(record), recording->io, counts.io); }
    void keep(MarkRecord record) { keep(std::move(record), recording->marks, counts.marks); }
    void keep(WaitRecord record) { keep(std::move(record), recording->waits, counts.waits); }

    // A command that got no result before the next one or the end of the recording.
    void close_open_command() {
        if (open_command) {
            keep(std::move(*open_command));
            open_command.reset();
        }
    }

private:
    template <typename Record>
    void keep(Record record, std::vector<Record>& kept, std::size_t& count) {
        ++count;
        if (streaming) {
            worker->write(std::move(record));
        } else {
            kept.push_back(std::move(record));
        }
    }
};

}  // namespace velmor::drivers
