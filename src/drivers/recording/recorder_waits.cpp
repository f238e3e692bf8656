// The recorder's hooks for the program's own timing: marks, dwells and waits.
#include <chrono>
#include <cmath>
#include <utility>

#include "drivers/recording/record_side.hpp"
#include "drivers/recording/recorder.hpp"

namespace velmor::drivers {

void Recorder::on_mark(const std::string& label) {
    if (!active) {
        return;
    }
    const std::lock_guard lock(records_mutex);
    if (!records) {
        return;
    }
    keep_ended_waits(false);
    records->keep(MarkRecord {label, now(), wall_time()});
}

std::optional<WaitRecord> Recorder::begin_wait(std::string kind, std::string condition) {
    if (!active) {
        return std::nullopt;
    }
    const std::lock_guard lock(records_mutex);
    if (!records) {
        return std::nullopt;
    }
    WaitRecord record;
    record.kind = std::move(kind);
    record.condition = std::move(condition);
    record.start_time = now();
    record.start_wall_time = wall_time();
    return record;
}

void Recorder::end_wait(WaitRecord record, std::optional<bool> held) {
    if (!active) {
        return;
    }
    const std::lock_guard lock(records_mutex);
    if (!records) {
        return;
    }
    record.end_time = now();
    record.end_wall_time = wall_time();
    record.held = held;
    keep_ended_waits(false);
    records->keep(std::move(record));
}

void Recorder::end_wait_later(WaitRecord record, std::shared_future<bool> answer,
                              std::shared_ptr<const std::atomic<double>> held_at, std::optional<double> limit) {
    if (!active) {
        return;
    }
    const std::lock_guard lock(records_mutex);
    if (!records) {
        return;
    }
    keep_ended_waits(false);
    records->pending_waits.push_back(PendingWait {std::move(record), std::move(answer), std::move(held_at), limit});
}

void Recorder::keep_ended_waits(bool stopping) {
    auto& pending = records->pending_waits;
    auto next = pending.begin();
    while (next != pending.end()) {
        const bool ended = next->answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        if (!ended && !stopping) {
            ++next;
            continue;
        }
        WaitRecord record = std::move(next->record);
        if (ended) {
            // A future that holds an error belongs to a wait that the driver's end cut short.
            bool held {false};
            bool failed {false};
            try {
                held = next->answer.get();
            } catch (...) {
                failed = true;
            }
            const double held_time = next->held_at->load();
            if (record.kind == "dwell" && !failed) {
                record.end_time = record.start_time + next->limit.value_or(0.0);
            } else if (!failed && held && std::isfinite(held_time)) {
                record.held = true;
                record.end_time = held_time - records->clock_origin;
            } else if (!failed && next->limit) {
                record.held = false;
                record.end_time = record.start_time + *next->limit;
            }
        }
        records->keep(std::move(record));
        next = pending.erase(next);
    }
}

}  // namespace velmor::drivers
