#include <velmor/drivers/simulated/controller.hpp>

#include <variant>

#include "../devices/cell_devices.hpp"

#include <velmor/common/utf8_text.hpp>
#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

namespace velmor::drivers::simulated {

namespace {

// Under strict I/O a name the table does not hold, or a signal of the other kind, is a
// mistake in the program, reported where it is made rather than read as a neutral answer.
void check_digital(bool strict, const Signal* found, const std::string& name) {
    if (!strict) {
        return;
    }
    if (found == nullptr) {
        throw VelmorError("driver", "There is no I/O signal named '" + as_utf8(name) + "'.");
    }
    if (!std::holds_alternative<std::int32_t>(found->value)) {
        throw VelmorError("driver", "The I/O signal '" + as_utf8(name) + "' is analog, not digital.");
    }
}

}  // namespace

Controller::Controller(bool serve_io_viewer, bool keep_io_viewer_running, std::uint16_t io_viewer_port)
    : keep_io_viewer_running(keep_io_viewer_running) {
    if (serve_io_viewer) {
        viewer = std::make_shared<SignalViewer>(signals, io_viewer_port);
    }
    cell = std::make_unique<devices::CellDevices>(devices::CellDevices::Io {
        [this](const std::string& name) {
            const auto signal = signals.get(name);
            return signal ? std::optional<SignalValue>(signal->value) : std::nullopt;
        },
        [this](const std::string& device, const std::string& name, SignalValue value) {
            write_as_device(device, name, value);
        },
        {}});
    set_io_observer({});
}

Controller::~Controller() {
    if (viewer != nullptr && !keep_io_viewer_running) {
        viewer->close();
    }
    viewer.reset();
}

void Controller::set_io_observer(IoObserver observer) {
    // The devices see every change first, whoever else is told.
    signals.set_observer([this, observer = std::move(observer)](const std::string& name,
                                                                const std::optional<SignalValue>& old_value,
                                                                const SignalValue& new_value, IoSource source,
                                                                const std::string& device) {
        cell->signal_changed(name, new_value);
        if (observer) {
            observer(name, old_value, new_value, source, device);
        }
    });
}

void Controller::write_as_device(const std::string& device, const std::string& name, SignalValue value) {
    const Signal* stored = nullptr;
    {
        auto table = signals.lock();
        const Signal* found = table.find(name);
        if (found == nullptr) {
            throw VelmorError("devices", "The device '" + as_utf8(device) + "' writes the I/O signal '" +
                                             as_utf8(name) + "', which does not exist.");
        }
        stored = table.set(name, value, IoSource::Device, device);
        if (stored == nullptr) {
            throw VelmorError("devices", "The device '" + as_utf8(device) + "' writes the I/O signal '" +
                                             as_utf8(name) + "' with a value of the other kind (digital or analog).");
        }
    }
    if (viewer != nullptr) {
        viewer->send_update(*stored);
    }
}

void Controller::add_device(std::shared_ptr<devices::Device> device) {
    cell->add(std::move(device));
}

bool Controller::remove_device(const std::string& name) {
    return cell->remove(name);
}

std::vector<std::shared_ptr<devices::Device>> Controller::devices() const {
    return cell->list();
}

double Controller::clock() const {
    return cell->now();
}

void Controller::advance(double seconds) {
    cell->advance(seconds);
}

void Controller::create_io(const std::string& name, std::variant<std::int32_t, float> value,
                           std::optional<Direction> direction) {
    signals.lock().store(Signal {name, value, std::nullopt, direction}, IoSource::Script);
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
    check_digital(strict_io, found, name);
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
    const Signal* stored = nullptr;
    bool input = false;
    {
        auto table = signals.lock();
        const Signal* found = table.find(name);
        check_digital(strict_io, found, name);
        input = found != nullptr && found->direction == Direction::Input;
        // Only a digital signal takes an integer.
        if (!input) {
            stored = table.set(name, value, IoSource::Script);
        }
    }
    if (input) {
        log::log_<log::Level::Warn>("driver", "Did not write the I/O signal '" + as_utf8(name) +
                                                  "': it is an input, written only by the cell and the viewer page.");
        return false;
    }
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
