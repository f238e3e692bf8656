#include <velmor/drivers/simulated/controller.hpp>

namespace velmor::drivers::simulated {

Controller::Controller(bool serve_io_viewer, bool keep_io_viewer_running, std::uint16_t io_viewer_port)
    : keep_io_viewer_running(keep_io_viewer_running) {
    if (serve_io_viewer) {
        viewer = std::make_shared<SignalViewer>(signals, signals_mutex, io_viewer_port, &io_observer);
    }
}

Controller::~Controller() {
    if (viewer != nullptr && !keep_io_viewer_running) {
        viewer->close();
    }
    viewer.reset();
}

void Controller::store(const Signal& signal, IoSource source) {
    auto [stored, inserted] = signals.try_emplace(signal.name, signal);
    std::optional<SignalValue> old_value;
    if (!inserted) {
        old_value = stored->second.value;
        stored->second = signal;
    }
    if (io_observer && old_value != signal.value) {
        io_observer(signal.name, old_value, signal.value, source);
    }
}

void Controller::set_io_observer(IoObserver observer) {
    const std::lock_guard lock(signals_mutex);
    io_observer = std::move(observer);
}

void Controller::create_io(const std::string& name, std::variant<std::int32_t, float> value) {
    const std::lock_guard lock(signals_mutex);
    store(Signal {name, value, std::nullopt}, IoSource::Script);
}

void Controller::load_io_config(const std::vector<Signal>& config) {
    const std::lock_guard lock(signals_mutex);
    for (const auto& signal : config) {
        store(signal, IoSource::Script);
    }
}

std::optional<std::int32_t> Controller::get_digital_input(const std::string& name) {
    if (!connect_result) {
        return std::nullopt;
    }
    const std::lock_guard lock(signals_mutex);
    const auto found = signals.find(name);
    if (found == signals.end()) {
        return std::nullopt;
    }
    if (const auto* digital = std::get_if<std::int32_t>(&found->second.value)) {
        return *digital;
    }
    return std::nullopt;
}

bool Controller::set_digital_output(const std::string& name, std::int32_t value) {
    if (!connect_result) {
        return false;
    }
    const Signal* stored = nullptr;
    {
        const std::lock_guard lock(signals_mutex);
        const auto found = signals.find(name);
        if (found == signals.end() || !std::holds_alternative<std::int32_t>(found->second.value)) {
            return false;
        }
        if (io_observer && found->second.value != SignalValue(value)) {
            io_observer(name, found->second.value, value, IoSource::Script);
        }
        found->second.value = value;
        stored = &found->second;
    }
    // The viewer only queues the update; its server thread reads the value later.
    if (viewer != nullptr) {
        viewer->send_update(*stored);
    }
    return true;
}

std::optional<Signal> Controller::find_signal(const std::string& name) const {
    const std::lock_guard lock(signals_mutex);
    const auto found = signals.find(name);
    if (found == signals.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace velmor::drivers::simulated
