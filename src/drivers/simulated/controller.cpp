#include <velmor/drivers/simulated/controller.hpp>

#include <variant>

namespace velmor::drivers::simulated {

Controller::Controller(bool serve_io_viewer, bool keep_io_viewer_running, std::uint16_t io_viewer_port)
    : keep_io_viewer_running(keep_io_viewer_running) {
    if (serve_io_viewer) {
        viewer = std::make_shared<SignalViewer>(signals, io_viewer_port);
    }
}

Controller::~Controller() {
    if (viewer != nullptr && !keep_io_viewer_running) {
        viewer->close();
    }
    viewer.reset();
}

void Controller::set_io_observer(IoObserver observer) {
    signals.set_observer(std::move(observer));
}

void Controller::create_io(const std::string& name, std::variant<std::int32_t, float> value) {
    signals.lock().store(Signal {name, value, std::nullopt}, IoSource::Script);
}

void Controller::load_io_config(const std::vector<Signal>& config) {
    auto table = signals.lock();
    for (const auto& signal : config) {
        table.store(signal, IoSource::Script);
    }
}

std::optional<std::int32_t> Controller::get_digital_input(const std::string& name) {
    if (!connect_result) {
        return std::nullopt;
    }
    const auto table = signals.lock();
    const Signal* found = table.find(name);
    if (found == nullptr) {
        return std::nullopt;
    }
    if (const auto* digital = std::get_if<std::int32_t>(&found->value)) {
        return *digital;
    }
    return std::nullopt;
}

bool Controller::set_digital_output(const std::string& name, std::int32_t value) {
    if (!connect_result) {
        return false;
    }
    // Only a digital signal takes an integer.
    const Signal* stored = signals.set(name, value, IoSource::Script);
    if (stored == nullptr) {
        return false;
    }
    // The viewer only queues the update; its server thread reads the value later.
    if (viewer != nullptr) {
        viewer->send_update(*stored);
    }
    return true;
}

std::optional<Signal> Controller::find_signal(const std::string& name) const {
    return signals.get(name);
}

std::optional<double> Controller::value_of(const std::string& name) {
    const auto table = signals.lock();
    const Signal* found = table.find(name);
    if (found == nullptr) {
        return std::nullopt;
    }
    return std::visit([](auto value) { return static_cast<double>(value); }, found->value);
}

}  // namespace velmor::drivers::simulated
