// The viewer's handling of page messages and its toggle threads.
#include <velmor/drivers/simulated/signal_viewer.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <optional>
#include <variant>

#include <nlohmann/json.hpp>

#include <velmor/drivers/simulated/sensor_html.hpp>
#include <velmor/log/log.hpp>

#include "drivers/simulated/server/shared_state.hpp"

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

// A page message as read before the table is looked at.
struct PageMessage {
    std::string name;
    std::string action;
    // The value of a set-value, as a digital and as an analog signal reads it.
    std::optional<std::int32_t> integer;
    std::optional<float> number;
    // The delay and period of a toggle [s].
    std::optional<float> after;
    std::optional<float> interval;
};

// The message, or why it is dropped.
std::variant<PageMessage, std::string> read_message(std::string_view text) {
    const auto message = Json::parse(text.begin(), text.end(), nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
        return "not a JSON object";
    }
    const auto name = string_member(message, "name", "");
    const auto action = string_member(message, "action", "");
    if (!name || !action) {
        return "\"name\" or \"action\" is not a string";
    }
    PageMessage read {*name, *action, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    if (read.action == "set-value") {
        // An absent value is zero, which both kinds read alike.
        const auto value = string_member(message, "value", "0");
        read.integer = value ? parse_integer(*value) : std::nullopt;
        read.number = value ? parse_float(*value) : std::nullopt;
    } else if (read.action == "toggle") {
        const auto after = string_member(message, "after", "0");
        const auto interval = string_member(message, "interval", "0");
        read.after = after ? parse_float(*after) : std::nullopt;
        read.interval = interval ? parse_float(*interval) : std::nullopt;
    }
    return read;
}

// What is left to do once the table's lock is released.
struct Applied {
    // Why the message is dropped; empty when it is not.
    std::optional<std::string> dropped;
    // Whether a digital signal is to be toggled.
    bool toggles {false};
    // Why the change is refused, as the page that asked for it shows it; empty when it is not.
    std::optional<std::string> refused {};
};

// Carries out what the message changes in the table, as one step under its lock.
Applied apply(SharedSignalTable::Locked& table, const Signal& signal, const PageMessage& message) {
    const bool digital = std::holds_alternative<std::int32_t>(signal.value);
    const bool changes = message.action == "set-value" || (message.action == "toggle" && digital);
    if (changes && signal.direction == Direction::Output) {
        return {"'" + message.name + "' is an output", false,
                "'" + message.name + "' is an output: only the program sets it."};
    }
    if (message.action == "set-value") {
        if (digital && !message.integer) {
            return {"the value for '" + message.name + "' is not an integer"};
        }
        if (!digital && !message.number) {
            return {"the value for '" + message.name + "' is not a number"};
        }
        table.set(message.name, digital ? SignalValue(*message.integer) : SignalValue(*message.number),
                  IoSource::Viewer);
        return {};
    }
    if (message.action == "toggle" && digital) {
        if (!message.after || !message.interval) {
            return {"the times for '" + message.name + "' are not numbers"};
        }
        return {std::nullopt, true};
    }
    return {};
}

}  // namespace

std::optional<server::Update> SignalViewer::handle_message(std::string_view text) {
    const auto read = read_message(text);
    if (const auto* reason = std::get_if<std::string>(&read)) {
        drop(*reason);
        return std::nullopt;
    }
    const auto& message = std::get<PageMessage>(read);
    const Signal* signal = nullptr;
    Applied applied;
    {
        auto table = signals.lock();
        signal = table.find(message.name);
        if (signal != nullptr) {
            applied = apply(table, *signal, message);
        }
    }
    if (signal == nullptr) {
        drop("no I/O named '" + message.name + "'");
        return std::nullopt;
    }
    if (applied.dropped) {
        drop(*applied.dropped);
        if (applied.refused) {
            return server::Update {notice_id, get_notice_html(*applied.refused)};
        }
        return std::nullopt;
    }
    // Toggle threads are started and ended outside the table's lock, which they take to flip.
    IntervalThread& entry = interval_threads[message.name];
    if (applied.toggles) {
        start_toggle(*signal, entry, *message.after, *message.interval);
        // Published at once, so that pages see the toggle start before its thread's flips.
        publish_fragment(*signal);
    } else if (message.action == "stop" && entry.running) {
        end_toggle(entry);
        publish_fragment(*signal);
    } else {
        // Values that a page sends in a burst ride on one queued publish.
        send_update(*signal);
    }
    return std::nullopt;
}

void SignalViewer::start_toggle(const Signal& signal, IntervalThread& entry, float after, float interval) {
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
    auto table = signals.lock();
    if (const auto value = flipped(signal)) {
        table.set(signal.name, *value, IoSource::Viewer);
    }
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
    const Signal* signal = viewer.signals.lock().find(name);
    if (signal == nullptr) {
        running = false;
        return;
    }
    flip_until_ended(*signal, viewer);
    // A thread that ends on its own, as when the viewer closes, must not leave
    // its pages showing a toggle that no longer runs.
    if (running.exchange(false)) {
        viewer.send_update(*signal);
    }
}

void SignalViewer::IntervalThread::flip_until_ended(const Signal& signal, SignalViewer& viewer) const {
    // A period under a millisecond would be no wait at all: the thread would
    // flip as fast as the machine goes and starve the signal table's lock.
    constexpr float shortest_period = 0.001F;
    if (!viewer.wait_seconds(*this, after)) {
        return;
    }
    while (true) {
        {
            auto table = viewer.signals.lock();
            const auto value = flipped(signal);
            if (!value) {
                return;
            }
            table.set(signal.name, *value, IoSource::Toggle);
        }
        viewer.send_update(signal);
        if (!running || !viewer.wait_seconds(*this, std::max(interval, shortest_period))) {
            return;
        }
    }
}

}  // namespace velmor::drivers::simulated
