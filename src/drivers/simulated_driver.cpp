#include <velmor/drivers/simulated_driver.hpp>

#include <cmath>
#include <csignal>
#include <string>
#include <utility>

#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

#include "deferred_search.hpp"
#include "recording/recorder.hpp"

namespace velmor::drivers {

std::atomic<int> global_signal_status {0};

void handle_interrupt(int signal) {
    global_signal_status.store(signal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

namespace {

constexpr double control_interval = 0.004;  // [s]
constexpr double largest_time_scale = 1'000'000.0;
constexpr double mirava_updates_per_second = 60.0;
constexpr double mirava_reconnect_timeout = 5.0;  // [s]

}  // namespace

SimulatedDriver::SimulatedDriver(std::shared_ptr<velmor::Planner> planner, std::shared_ptr<velmor::Robot> robot,
                                 bool sync_with_mirava, bool log_stream, bool serve_io_viewer,
                                 bool keep_io_viewer_running, const std::string& host, int port)
    : Driver(std::move(planner), std::move(robot), host, port, control_interval),
      sync_with_mirava(sync_with_mirava),
      log_stream(log_stream),
      io_controller(serve_io_viewer, keep_io_viewer_running),
      search(std::make_unique<DeferredSearch>()) {
    joint_limits = this->robot->get_joint_limits();
    io_controller.set_io_observer([this](const auto& name, const auto& old_value, const auto& new_value, auto source) {
        recorder.on_io_change(name, old_value, new_value, source);
    });
    std::signal(SIGINT, handle_interrupt);
    time_scaler.max_scale = largest_time_scale;
    if (sync_with_mirava) {
        mirava_update_interval =
            static_cast<std::uint64_t>(std::floor(1.0 / (mirava_updates_per_second * delta_time)));
        if (mirava_update_interval == 0) {
            mirava_update_interval = 1;
        }
        velmor::log::log_<velmor::log::Level::Debug>(
            "driver", "Mirava update rate is '" + std::to_string(mirava_update_interval) + "'.");
    }
    {
        std::lock_guard lock(state_mutex);
        current_state.position.assign(degrees_of_freedom, 0.0);
        current_state.velocity.assign(degrees_of_freedom, 0.0);
        current_state.acceleration.assign(degrees_of_freedom, 0.0);
    }
    if (!reconnect()) {
        throw velmor::VelmorError("driver", "Could not connect to the simulated robot (e.g. Mirava).");
    }
}

SimulatedDriver::SimulatedDriver(std::shared_ptr<velmor::Planner> planner, bool sync_with_mirava, bool log_stream,
                                 bool serve_io_viewer, bool keep_io_viewer_running, const std::string& host,
                                 int port)
    : SimulatedDriver(std::move(planner), nullptr, sync_with_mirava, log_stream, serve_io_viewer,
                      keep_io_viewer_running, host, port) {}

SimulatedDriver::~SimulatedDriver() {
    try {
        disconnect();
    } catch (const std::exception& error) {
        velmor::log::log_<velmor::log::Level::Error>("driver",
                                                     std::string("The control loop ended with an error: ") + error.what());
    } catch (...) {
        velmor::log::log_<velmor::log::Level::Error>("driver", "The control loop ended with an unknown error.");
    }
    // A command from another thread may have started a loop while disconnect()
    // waited; no member may go before that loop is over.
    wait_for_loop_end();
}

bool SimulatedDriver::reconnect() {
    refuse_inside_control_cycle("reconnect", "reconnect from the script once the motion has ended");
    if (sync_with_mirava) {
        try {
            auto client = std::make_shared<velmor::Mirava>(false, connect_timeout);
            // Mirava shows the cell's obstacles along with the robot.
            client->set_environment(planner->environment);
            set_mirava(client);
            client->reconnect(mirava_reconnect_timeout);
        } catch (const velmor::VelmorError&) {
            return false;
        }
    }
    const bool result = connect_result.load();
    connected = result;
    if (result) {
        std::lock_guard lock(command_mutex);
        if (active_fault_code == static_cast<int>(Fault::ConnectionLost)) {
            active_fault_code = no_fault_code;
        }
        // A lost connection that has not struck the motion yet is mended along with it.
        if (pending_strike == Fault::ConnectionLost) {
            pending_strike.reset();
        }
    }
    return result;
}

bool SimulatedDriver::disconnect() {
    refuse_inside_control_cycle("disconnect",
                                "disconnect from the script once the motion has ended (stop_async() ends it early)");
    run_cycles_while_waiting([this] { return !running; });
    std::future<void> loop;
    std::exception_ptr error;
    {
        std::lock_guard lock(command_mutex);
        loop = std::move(control_loop);
        error = std::exchange(loop_error, nullptr);
    }
    if (loop.valid()) {
        loop.get();
    }
    if (error) {
        std::rethrow_exception(error);
    }
    set_mirava(nullptr);
    connected = false;
    return true;
}

Result SimulatedDriver::enable() {
    if (connected && connect_result) {
        return get_enable_result();
    }
    return Result::ErrorControllerConnection;
}

Result SimulatedDriver::disable() {
    return enable();
}

std::vector<double> SimulatedDriver::get_current_joint_position() {
    std::lock_guard lock(state_mutex);
    return current_state.position;
}

RobotState SimulatedDriver::get_current_state() {
    std::lock_guard lock(state_mutex);
    return current_state;
}

void SimulatedDriver::set_current_joint_position(const std::vector<double>& joint_position) {
    for (std::size_t joint = 0; joint < joint_position.size(); ++joint) {
        // A motion planned from a position that is not a number never ends well:
        // it reports success at NaN or samples without end.
        if (!std::isfinite(joint_position[joint])) {
            throw velmor::VelmorError("driver", "The joint position must be finite, but joint '" +
                                                    std::to_string(joint) + "' is '" +
                                                    std::to_string(joint_position[joint]) + "'.");
        }
    }
    {
        std::lock_guard lock(state_mutex);
        current_state.position = joint_position;
    }
    if (const auto client = get_mirava()) {
        client->set_joint_position(joint_position, nullptr);
    }
}

void SimulatedDriver::create_io(const std::string& name, std::variant<int, float> default_value) {
    io_controller.create_io(name, default_value);
}

void SimulatedDriver::load_io_config(const std::vector<simulated::Signal>& config) {
    io_controller.load_io_config(config);
}

void SimulatedDriver::load_io_config_from_file(const std::filesystem::path& file) {
    io_controller.load_io_config_from_file(file);
}

std::optional<int> SimulatedDriver::get_digital_input(const std::string& name) {
    if (!connect_result) {
        return std::nullopt;
    }
    return io_controller.get_digital_input(name);
}

bool SimulatedDriver::set_digital_output(const std::string& name, int value) {
    return io_controller.set_digital_output(name, value);
}

std::shared_ptr<velmor::Mirava> SimulatedDriver::get_mirava() const {
    std::lock_guard lock(mirava_mutex);
    return mirava;
}

void SimulatedDriver::set_mirava(std::shared_ptr<velmor::Mirava> client) {
    std::lock_guard lock(mirava_mutex);
    has_mirava = client != nullptr;
    mirava = std::move(client);
}

Result SimulatedDriver::get_run_result() const {
    std::lock_guard lock(results_mutex);
    return run_result;
}

void SimulatedDriver::set_run_result(const Result& result) {
    std::lock_guard lock(results_mutex);
    run_result = result;
}

Result SimulatedDriver::get_enable_result() const {
    std::lock_guard lock(results_mutex);
    return enable_result;
}

void SimulatedDriver::set_enable_result(const Result& result) {
    std::lock_guard lock(results_mutex);
    enable_result = result;
}

}  // namespace velmor::drivers
