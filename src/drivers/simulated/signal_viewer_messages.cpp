// The viewer's handling of page messages and its toggle threads.
#include <velmor/drivers/simulated/signal_viewer.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <optional>

#include <nlohmann/json.hpp>

#include <velmor/log/log.hpp>

namespace velmor::drivers::simulated {

namespace {

using Json = nlohmann::json;

void drop(const std::string& reason) {
    log::log_<log::Level::Debug>("driver", "Dropped an I/O viewer message: " + reason + ".");
}

// A member of a page message: the fallback when absent, empty when it is not a string.
std::optional<std::string> string_member(const Json& message, const char* key, const char* fallback) {
    const auto found = message.find(key);
    if (found == message.end()) {
        return fallback;
    }
    if (!found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

// Decimal text as strtol reads it: "12abc" gives 12; no digit or a value
// outside 32 bits gives nothing.
std::optional<std::int32_t> parse_integer(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

// The longest prefix that reads as a float; none or out of range gives nothing.
std::optional<float> parse_float(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(begin, &end);
    if (end == begin || errno == ERANGE) {
        return std::nullopt;
    }
    return value;
}

// 1 - value in 32-bit two's complement; empty when the signal is not digital.
std::optional<std::int32_t> flipped(const Signal& signal) {
    const auto* digital = std::get_if<std::int32_t>(&signal.value);
    if (digital == nullptr) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(1U - static_cast<std::uint32_t>(*digital));
}

}  // namespace

void SignalViewer::handle_message(std::string_view text) {
    const auto message = Json::parse(text.begin(), text.end(), nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
        drop("not a JSON object");
        return;
    }
    const auto name = string_member(message, "name", "");
    const auto action = string_member(message, "action", "");
    if (!name || !action) {
        drop("\"name\" or \"action\" is not a string");
        return;
    }
    std::unique_lock lock(signals_mutex);
    const auto found = signals.find(*name);
    if (found == signals.end()) {
        lock.unlock();
        drop("no I/O named '" + *name + "'");
        return;
    }
    Signal& signal = found->second;
    IntervalThread& entry = interval_threads[*name];
    const bool digital = std::holds_alternative<std::int32_t>(signal.value);
    if (*action == "set-value") {
        const auto value = string_member(message, "value", digital ? "0" : "0.0");
        if (digital) {
            const auto parsed = value ? parse_integer(*value) : std::nullopt;
            if (!parsed) {
                lock.unlock();
                drop("the value for '" + *name + "' is not an integer");
                return;
            }
            change(signal, *parsed, IoSource::Viewer);
        } else {
            const auto parsed = value ? parse_float(*value) : std::nullopt;
            if (!parsed) {
                lock.unlock();
                drop("the value for '" + *name + "' is not a number");
                return;
            }
            change(signal, *parsed, IoSource::Viewer);
        }
        lock.unlock();
    } else if (*action == "toggle" && digital) {
        const auto after_text = string_member(message, "after", "0");
        const auto interval_text = string_member(message, "interval", "0");
        const auto after = after_text ? parse_float(*after_text) : std::nullopt;
        const auto interval = interval_text ? parse_float(*interval_text) : std::nullopt;
        lock.unlock();
        if (!after || !interval) {
            drop("the times for '" + *name + "' are not numbers");
            return;
        }
        start_toggle(signal, entry, *after, *interval);
    } else {
        lock.unlock();
        if (*action == "stop" && entry.running) {
            end_toggle(entry);
        }
    }
    publish_fragment(signal);
}

void SignalViewer::start_toggle(Signal& signal, IntervalThread& entry, float after, float interval) {
    // A page that missed an update may toggle while the old thread still waits:
    // that thread makes its pending flip now and ends before the new one starts.
    if (entry.thread.joinable()) {
        end_toggle(entry);
    }
    entry.after = after;
    entry.interval = interval;
    if (interval > 0.0F || after > 0.0F) {
        entry.running = interval > 0.0F;
        {
            const std::lock_guard lock(toggle_mutex);
            entry.woken = false;
        }
        entry.thread = std::thread([&entry, name = signal.name, this] { entry.run(name, *this); });
        return;
    }
    const std::lock_guard lock(signals_mutex);
    if (const auto value = flipped(signal)) {
        change(signal, *value, IoSource::Viewer);
    }
}

void SignalViewer::change(Signal& signal, SignalValue value, IoSource source) {
    if (io_observer != nullptr && *io_observer && signal.value != value) {
        (*io_observer)(signal.name, signal.value, value, source);
    }
    signal.value = value;
}

void SignalViewer::end_toggle(IntervalThread& entry) {
    // The woken thread skips the rest of its wait, makes its one more flip and
    // ends, so the server thread waits here only for a moment.
    entry.running = false;
    {
        const std::lock_guard lock(toggle_mutex);
        entry.woken = true;
    }
    toggle_wake.notify_all();
    entry.thread.join();
}

void SignalViewer::IntervalThread::run(const std::string& name, SignalViewer& viewer) {
    Signal* signal = nullptr;
    {
        const std::lock_guard lock(viewer.signals_mutex);
        const auto found = viewer.signals.find(name);
        if (found == viewer.signals.end()) {
            running = false;
            return;
        }
        signal = &found->second;
    }
    flip_until_ended(*signal, viewer);
    // A thread that ends on its own, as when the viewer closes, must not leave
    // its pages showing a toggle that no longer runs.
    if (running.exchange(false)) {
        viewer.send_update(*signal);
    }
}

void SignalViewer::IntervalThread::flip_until_ended(Signal& signal, SignalViewer& viewer) const {
    // A period under a millisecond would be no wait at all: the thread would
    // flip as fast as the machine goes and starve the signal table's lock.
    constexpr float shortest_period = 0.001F;
    if (!viewer.wait_seconds(*this, after)) {
        return;
    }
    while (true) {
        {
            const std::lock_guard lock(viewer.signals_mutex);
            const auto value = flipped(signal);
            if (!value) {
                return;
            }
            viewer.change(signal, *value, IoSource::Toggle);
        }
        viewer.send_update(signal);
        if (!running || !viewer.wait_seconds(*this, std::max(interval, shortest_period))) {
            return;
        }
    }
}

}  // namespace velmor::drivers::simulated
