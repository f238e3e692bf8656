#include "cell_devices.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <velmor/common/utf8_text.hpp>
#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

namespace velmor::drivers::devices {

namespace {

constexpr double not_due {std::numeric_limits<double>::infinity()};

// The cell as one device sees it: its writes carry its name.
class DeviceCell : public Cell {
public:
    DeviceCell(const CellDevices::Io& io, const std::string& device) : io(io), device(device) {}

    [[nodiscard]] std::optional<SignalValue> read(const std::string& name) const override { return io.read(name); }
    void write(const std::string& name, SignalValue value) override { io.write(device, name, value); }
    [[nodiscard]] std::optional<Eigen::Vector3d> tool_point(const std::string& arm) const override {
        return io.tool_point ? io.tool_point(arm) : std::nullopt;
    }

private:
    const CellDevices::Io& io;
    const std::string& device;
};

std::string error_text(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        return caught.what();
    } catch (...) {
        return "an unknown error";
    }
}

}  // namespace

CellDevices::CellDevices(Io io) : io(std::move(io)), manual_alarm(not_due) {
    timing.now = [this] { return manual_now.load(); };
    timing.set_alarm = [this](double time) { manual_alarm = time; };
}

void CellDevices::use_clock(Timing timing, std::function<std::optional<Eigen::Vector3d>(const std::string&)> tool_point) {
    const std::lock_guard lock(mutex);
    this->timing = std::move(timing);
    io.tool_point = std::move(tool_point);
    own_clock = true;
}

bool CellDevices::has_own_clock() const {
    const std::lock_guard lock(mutex);
    return own_clock;
}

void CellDevices::refuse_from_device(const char* operation) const {
    if (acting_thread.load() == std::this_thread::get_id()) {
        throw VelmorError("devices", std::string("A device cannot ") + operation + " devices while it acts.");
    }
}

void CellDevices::add(std::shared_ptr<Device> device) {
    refuse_from_device("add");
    if (device == nullptr) {
        throw VelmorError("devices", "No device to add.");
    }
    const std::lock_guard lock(mutex);
    const bool taken = std::any_of(devices.begin(), devices.end(),
                                   [&device](const auto& present) { return present->name() == device->name(); });
    if (taken) {
        throw VelmorError("devices", "A device named '" + as_utf8(device->name()) + "' is there already.");
    }
    DeviceCell cell(io, device->name());
    device->attach(timing.now(), cell);
    devices.push_back(std::move(device));
    count_devices();
    schedule();
}

bool CellDevices::remove(const std::string& name) {
    refuse_from_device("remove");
    const std::lock_guard lock(mutex);
    const auto found =
        std::find_if(devices.begin(), devices.end(), [&name](const auto& device) { return device->name() == name; });
    if (found == devices.end()) {
        return false;
    }
    devices.erase(found);
    count_devices();
    schedule();
    return true;
}

std::vector<std::shared_ptr<Device>> CellDevices::list() const {
    refuse_from_device("list");
    const std::lock_guard lock(mutex);
    return devices;
}

void CellDevices::count_devices() {
    count = devices.size();
    watchers = static_cast<std::size_t>(
        std::count_if(devices.begin(), devices.end(), [](const auto& device) { return device->watches_robot(); }));
}

void CellDevices::signal_changed(const std::string& name, const SignalValue& value) {
    if (empty()) {
        return;
    }
    const double time = timing.now();
    const std::lock_guard lock(inbox_mutex);
    if (inbox.size() >= max_inbox) {
        inbox_overflowed = true;
        return;
    }
    inbox.push_back(Change {name, value, time});
    timing.set_alarm(-not_due);
}

void CellDevices::ring(double time, bool robot_moved) {
    refuse_from_device("let act");
    const std::lock_guard lock(mutex);
    acting_thread = std::this_thread::get_id();
    run_rounds(time, robot_moved);
    acting_thread = std::thread::id();
    schedule();
}

void CellDevices::run_rounds(double time, bool robot_moved) {
    std::vector<std::string> acted;
    for (int round = 0; round < max_rounds; ++round) {
        std::vector<Change> changes;
        bool overflowed {false};
        {
            const std::lock_guard inbox_lock(inbox_mutex);
            changes.swap(inbox);
            overflowed = std::exchange(inbox_overflowed, false);
        }
        if (overflowed) {
            fail("", std::make_exception_ptr(VelmorError(
                         "devices", "More than " + std::to_string(max_inbox) +
                                        " signal changes came while no device could act; the devices were removed.")));
        }
        for (const auto& change : changes) {
            for (std::size_t index = 0; index < devices.size();) {
                auto& device = *devices[index];
                try {
                    device.observe(change.name, change.value, change.time);
                    ++index;
                } catch (...) {
                    fail(device.name(), std::current_exception());
                }
            }
        }
        acted.clear();
        for (std::size_t index = 0; index < devices.size();) {
            auto& device = *devices[index];
            const bool due = device.next_due() <= time || (robot_moved && round == 0 && device.watches_robot());
            if (due) {
                acted.push_back(device.name());
            }
            if (!due || act(device, time)) {
                ++index;
            }
        }
        if (acted.empty() && changes.empty()) {
            return;
        }
    }
    // Each round made another change at the same instant: the devices chase each other.
    for (const auto& name : acted) {
        fail(name, std::make_exception_ptr(VelmorError("devices", "The device kept acting at " + std::to_string(time) +
                                                                      " s without end, each change making another.")));
    }
}

bool CellDevices::act(Device& device, double time) {
    try {
        DeviceCell cell(io, device.name());
        device.act(time, cell);
        return true;
    } catch (...) {
        fail(device.name(), std::current_exception());
        return false;
    }
}

void CellDevices::fail(std::string name, std::exception_ptr error) {
    const std::string text = error_text(error);
    if (name.empty()) {
        devices.clear();
    } else if (const auto found = std::find_if(devices.begin(), devices.end(),
                                               [&name](const auto& device) { return device->name() == name; });
               found != devices.end()) {
        devices.erase(found);
    }
    count_devices();
    log::log_<log::Level::Error>("devices", name.empty() ? text
                                                         : "The device '" + as_utf8(name) +
                                                               "' failed and was removed: " + text);
    if (!failure) {
        failure = std::move(error);
    }
}

double CellDevices::earliest_due() const {
    double earliest = not_due;
    for (const auto& device : devices) {
        earliest = std::min(earliest, device->next_due());
    }
    return earliest;
}

void CellDevices::schedule() {
    const double due = earliest_due();
    const std::lock_guard inbox_lock(inbox_mutex);
    timing.set_alarm(inbox.empty() || devices.empty() ? due : -not_due);
}

double CellDevices::now() const {
    return timing.now();
}

void CellDevices::advance(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0.0) {
        throw VelmorError("devices", "A controller's clock advances by a finite number of seconds, not less than 0; got " +
                                         std::to_string(seconds) + ".");
    }
    refuse_from_device("advance the clock of");
    if (has_own_clock()) {
        throw VelmorError("devices", "This controller runs on its driver's clock, which the driver advances.");
    }
    const double end = manual_now.load() + seconds;
    // Each device acts at the very time it names, in order of those times.
    while (manual_alarm.load() <= end) {
        manual_now = std::max(manual_now.load(), manual_alarm.load());
        ring(manual_now.load());
    }
    manual_now = end;
    if (auto error = take_failure()) {
        std::rethrow_exception(error);
    }
}

std::exception_ptr CellDevices::take_failure() {
    const std::lock_guard lock(mutex);
    return std::exchange(failure, nullptr);
}

}  // namespace velmor::drivers::devices
