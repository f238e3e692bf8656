#include <velmor/drivers/simulated_driver.hpp>

#include <cmath>
#include <csignal>
#include <string>
#include <utility>

#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

#include "clock/clock_waits.hpp"
#include "clock/simulated_clock.hpp"
#include "commands/command_planner.hpp"
#include "control_loop/control_loop.hpp"
#include "cycle_lines.hpp"
#include "devices/cell_devices.hpp"
#include "faults/fault_monitor.hpp"
#include "mirror/mirava_mirror.hpp"
#include "recording/recorder.hpp"

namespace velmor::drivers {

namespace {

constexpr double control_interval = 0.004;  // [s]
constexpr double largest_time_scale = 1'000'000.0;
constexpr double mirava_reconnect_timeout = 5.0;  // [s]

}  // namespace

SimulatedDriver::SimulatedDriver(std::shared_ptr<velmor::Planner> planner, std::shared_ptr<velmor::Robot> robot,
                                 bool sync_with_mirava, bool log_stream, bool serve_io_viewer,
                                 bool keep_io_viewer_running, const std::string& host, int port)
    : Driver(std::move(planner), std::move(robot), host, port, control_interval),
      log_stream(log_stream),
      io_controller(serve_io_viewer, keep_io_viewer_running),
      read_signal([this](const std::string& name) { return io_controller.value_of(name); }),
      simulated_clock(std::make_unique<SimulatedClock>(time_speed.load(), delta_time)),
      faults(std::make_unique<FaultMonitor>(this->robot, this->robot->get_joint_limits())),
      mirror(std::make_unique<MiravaMirror>(delta_time, sync_with_mirava)),
      commands(std::make_unique<CommandPlanner>(*this)),
      loop(std::make_unique<ControlLoop>(
          ControlLoop::Owner {commands->motion_mutex(), running,
                              [this](const std::function<void()>& observe) { return run_cycle(observe); },
                              [this] { commands->fail(); }},
          ControlLoop::Clock {delta_time, time_speed, pacing, active_loops, most_active_loops, *simulated_clock})),
      waits(std::make_unique<ClockWaits>(*simulated_clock,
                                         [this](const auto& ready) { run_cycles_while_waiting(ready); })) {
    io_controller.set_io_observer(
        [this](const auto& name, const auto& old_value, const auto& new_value, auto source, const auto& device) {
            recorder.on_io_change(name, old_value, new_value, source, device);
            simulated_clock->notify();
        });
    use_clock_for_devices();
    time_speed.set_observer([this](double speed) { simulated_clock->set_speed(speed); });
    recorder.set_clock([this] { return simulated_clock->now(); });
    std::signal(SIGINT, handle_interrupt);
    time_scaler.max_scale = largest_time_scale;
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

SimulatedDriver::SimulatedDriver(std::shared_ptr<velmor::Planner> planner, const SimulatedDriverOptions& options)
    : SimulatedDriver(std::move(planner), options.robot, options.sync_with_mirava, options.log_stream,
                      options.serve_io_viewer, options.keep_io_viewer_running, options.host, options.port) {}

SimulatedDriver::~SimulatedDriver() {
    waits->close();
    stop_alarm_thread();
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
    loop->wait_for_end();
}

bool SimulatedDriver::reconnect() {
    if (mirror->syncs()) {
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
    commands->set_connected(result);
    return result;
}

bool SimulatedDriver::disconnect() {
    refuse_inside_control_cycle("disconnect",
                                "disconnect from the script once the motion has ended (stop_async() ends it early)");
    const TimeSpeed::Hurry hurry(time_speed);
    run_cycles_while_waiting([this] { return !running; });
    loop->join();
    set_mirava(nullptr);
    connected = false;
    if (auto failure = io_controller.cell_devices().take_failure()) {
        std::rethrow_exception(failure);
    }
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
    robot_placed();
}

void SimulatedDriver::create_io(const std::string& name, std::variant<int, float> default_value,
                                std::optional<simulated::Direction> direction) {
    io_controller.create_io(name, default_value, direction);
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
    return mirror->client();
}

void SimulatedDriver::set_mirava(std::shared_ptr<velmor::Mirava> client) {
    mirror->set_client(std::move(client));
}

std::uint64_t SimulatedDriver::get_mirava_update_interval() const {
    return mirror->update_interval();
}

std::shared_future<Result> SimulatedDriver::run_async(const velmor::Trajectory& trajectory) {
    return run_command_async(TrajectoryCommand {trajectory});
}

std::shared_future<Result> SimulatedDriver::move_to_async(const Goal& goal, bool ignore_collisions) {
    return run_command_async(PointCommand {goal, ignore_collisions});
}

std::shared_future<Result> SimulatedDriver::move_along_async(const std::string& name, const std::optional<Goal>& goal,
                                                             bool ignore_collisions) {
    return run_command_async(MotionCommand {name, goal, ignore_collisions});
}

std::shared_future<Result> SimulatedDriver::blend_into_async(const velmor::Trajectory& trajectory, double duration) {
    return run_command_async(BlendIntoCommand {trajectory, duration});
}

std::shared_future<Result> SimulatedDriver::stop_async(bool fast_stop) {
    auto stopped = commands->stop(fast_stop);
    time_speed.wake();
    return stopped;
}

std::shared_future<Result> SimulatedDriver::resume_async() {
    const SimulatedClock::Hold hold(*simulated_clock);
    return commands->resume();
}

std::shared_future<Result> SimulatedDriver::run_command_async(const Command& command) {
    // Planning at rest costs no simulated time, so that a run repeats exactly at any speed.
    const SimulatedClock::Hold hold(*simulated_clock);
    return commands->run(command);
}

void SimulatedDriver::inject_fault(Fault fault) {
    commands->inject_fault(fault);
}

void SimulatedDriver::inject_fault(Fault fault, const Trigger& trigger) {
    faults->arm(fault, trigger);
}

std::optional<Fault> SimulatedDriver::get_active_fault() const {
    return faults->active();
}

void SimulatedDriver::clear_fault() {
    // Let go of once the motion lock is released.
    const auto disarmed = commands->clear_fault();
}

ControllerStatus SimulatedDriver::get_controller_status() {
    const auto fault = get_active_fault();
    return fault ? fault_status(*fault) : ControllerStatus::Unknown;
}

SafetyLimits SimulatedDriver::get_safety_limits() const {
    return faults->safety_limits();
}

void SimulatedDriver::set_safety_limits(const SafetyLimits& limits) {
    faults->set_safety_limits(limits);
}

bool SimulatedDriver::is_stepping() const {
    return loop->is_stepping();
}

void SimulatedDriver::set_stepping(bool on) {
    refuse_inside_control_cycle("set_stepping", "switch stepping from the script, outside event actions");
    loop->set_stepping(on);
}

std::size_t SimulatedDriver::step(std::size_t cycles) {
    // Asked first, so that a step allocates nothing for the refusal's text.
    if (in_own_control_cycle()) {
        refuse_inside_control_cycle("step", "an event action runs inside a cycle that a step is running already");
    }
    if (!is_stepping()) {
        throw VelmorError("driver", "step() runs control cycles only in stepping mode; set stepping to true first.");
    }
    return loop->run_steps(cycles, [] { return false; });
}

std::optional<std::size_t> SimulatedDriver::step_until(const Trigger& trigger, std::size_t max_cycles) {
    refuse_inside_control_cycle("step_until", "an event action runs inside a cycle that a step is running already");
    if (!is_stepping()) {
        throw VelmorError("driver",
                          "step_until() runs control cycles only in stepping mode; set stepping to true first.");
    }
    bool held {false};
    const std::size_t ran = loop->run_steps(max_cycles, [&] {
        held = trigger(robot, time_scaler.get_trajectory_time(), cycle_position, current_trajectory);
        return held;
    });
    if (!held) {
        return std::nullopt;
    }
    return ran;
}

void SimulatedDriver::run_cycles_while_waiting(const std::function<bool()>& ready) {
    loop->run_while_waiting(ready);
}

bool SimulatedDriver::run_cycle(const std::function<void()>& observe) {
    const ControlCycle cycle(*this);
    const SignalReader signals(read_signal);
    double clock_at_cycle {0.0};
    const bool devices_due = simulated_clock->advance(delta_time, clock_at_cycle);
    if (global_signal_status.load() == SIGINT) {
        commands->interrupt();
        return false;
    }
    commands->take_over_pending_command();
    // With no fault to check the stepped state is final, and is recorded under the lock that steps it.
    const bool faults_due = faults->has_work() || commands->holding();
    TimeScaler::StepOutcome outcome = step_state(faults_due ? std::nullopt : std::optional<double>(clock_at_cycle));
    if (faults_due) {
        outcome = check_faults(outcome);
        record_cycle(outcome, clock_at_cycle);
    }
    // A streamed recording whose file fell behind waits for it here, holding no lock.
    recorder.wait_for_room();
    // Before the events, which then see what the devices made of this cycle.
    if (devices_due || io_controller.cell_devices().watches_robot()) {
        io_controller.cell_devices().ring(simulated_clock->now(), true);
    }
    if (log_stream || log_motions) {
        print_cycle_lines(cycle_position, log_stream, log_motions);
    }
    if (mirror->has_client()) {
        mirror->on_cycle(cycle_position);
    }
    if (has_events()) {
        try {
            check_for_events(time_scaler.get_trajectory_time(), cycle_position);
        } catch (...) {
            outcome = commands->fail_in_cycle(std::current_exception());
        }
    }
    if (observe) {
        observe();
    }
    return !commands->finish_cycle(outcome);
}

TimeScaler::StepOutcome SimulatedDriver::step_state(std::optional<double> record_at) {
    std::lock_guard lock(state_mutex);
    const TimeScaler::StepOutcome outcome = time_scaler.next(current_state);
    slice_state_offset(current_state);
    cycle_position = current_state.position;
    cycle_velocity = current_state.velocity;
    if (record_at && recorder.is_recording()) {
        recorder.on_cycle(current_state, time_scaler.get_scale(), outcome != TimeScaler::StepOutcome::Moving,
                          *record_at);
    }
    return outcome;
}

// A fault strikes after the cycle's state is computed and before anything sees it
// (recording, Mirava, events), so that an E-Stop's standstill is what every observer
// gets in that cycle.
TimeScaler::StepOutcome SimulatedDriver::check_faults(TimeScaler::StepOutcome outcome) {
    const CycleView view {robot, time_scaler.get_trajectory_time(), cycle_position, cycle_velocity, current_trajectory};
    if (const auto fault = faults->check(view)) {
        return commands->strike(*fault, outcome);
    }
    if (commands->holding()) {
        commands->keep_holding();
    }
    return outcome;
}

void SimulatedDriver::record_cycle(TimeScaler::StepOutcome outcome, double clock_at_cycle) {
    // Most cycles are not recorded; on_cycle checks again under the lock, so a cycle
    // racing the start of a recording is at worst left out of it.
    if (!recorder.is_recording()) {
        return;
    }
    std::lock_guard lock(state_mutex);
    recorder.on_cycle(current_state, time_scaler.get_scale(), outcome != TimeScaler::StepOutcome::Moving,
                      clock_at_cycle);
}

}  // namespace velmor::drivers
