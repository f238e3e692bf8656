#include <velmor/drivers/driver.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string_view>
#include <utility>

#include <velmor/log/log.hpp>
#include <velmor/motion/version_number.hpp>
#include <velmor/velmor_error.hpp>

#include "future_wait.hpp"
#include "ready_future.hpp"
#include "recording/recorder.hpp"

namespace velmor::drivers {

namespace {

constexpr velmor::VersionNumber minimum_motion_library_version {0, 0, 29};

// Ramp length of a pause: long enough to stop smoothly, short enough to feel immediate.
constexpr double pause_ramp_duration {0.7};

// What to call inside a control cycle instead of a command that would wait for it.
std::string use_async_form(const std::string& operation) {
    return "use " + operation + "_async() there and do not wait for its future";
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool log_motions_from_environment() {
    const char* value = std::getenv("VELMOR_LOG_MOTIONS");
    return value != nullptr && (equals_ignoring_case(value, "on") || equals_ignoring_case(value, "true"));
}

}  // namespace

Driver::Driver(std::shared_ptr<velmor::Planner> planner, std::shared_ptr<velmor::Robot> robot, const std::string& host,
               int port, double delta_time)
    : time_scaler(delta_time),
      planner(std::move(planner)),
      robot(get_robot(this->planner, robot)),
      host(host),
      port(port),
      degrees_of_freedom(this->robot->get_degrees_of_freedom()),
      delta_time(delta_time),
      recorder_owner(std::make_unique<Recorder>(state_mutex)),
      recorder(*recorder_owner) {
    if (velmor::version_number < minimum_motion_library_version) {
        throw VelmorError("driver", "The driver requires a minimum version '" +
                                        minimum_motion_library_version.to_string() + "' of the motion library.");
    }
    velmor::log::level.store(velmor::log::get_default_level());
    log_motions.store(log_motions_from_environment());
    joint_offset = calculate_offset(this->planner, this->robot);
}

Driver::~Driver() = default;

template <typename T>
bool Driver::wait_on(const std::shared_future<T>& future, std::optional<double> timeout) {
    if (future.valid() && !is_done(future)) {
        refuse_inside_control_cycle("wait", "keep the future and wait on it outside the action");
    }
    return wait_for_future(future, timeout, [this](const auto& ready) { run_cycles_while_waiting(ready); });
}

template <typename T>
T Driver::value_of(const std::shared_future<T>& future, std::optional<double> timeout) {
    if (!wait_on(future, timeout)) {
        throw timed_out(*timeout);
    }
    return future.get();
}

bool Driver::wait(const std::shared_future<Result>& future, std::optional<double> timeout) {
    return wait_on(future, timeout);
}

bool Driver::wait(const std::shared_future<bool>& future, std::optional<double> timeout) {
    return wait_on(future, timeout);
}

Result Driver::get(const std::shared_future<Result>& future, std::optional<double> timeout) {
    return value_of(future, timeout);
}

bool Driver::get(const std::shared_future<bool>& future, std::optional<double> timeout) {
    return value_of(future, timeout);
}

void Driver::run_cycles_while_waiting(const std::function<bool()>& /*ready*/) {}

void Driver::refuse_inside_control_cycle(const std::string& operation, const std::string& instead) const {
    if (in_own_control_cycle()) {
        throw VelmorError("driver", operation +
                                        "() waits for the control loop, so it cannot be called from an event action "
                                        "(the action runs inside a control cycle); " +
                                        instead + ".");
    }
}

bool Driver::reconnect() {
    return false;
}

bool Driver::disconnect() {
    return false;
}

bool Driver::is_connected() const {
    return connected.load();
}

ControllerStatus Driver::get_controller_status() {
    return ControllerStatus::Unknown;
}

Result Driver::enable() {
    return Result::Success;
}

Result Driver::disable() {
    return Result::Success;
}

std::vector<double> Driver::get_current_joint_position() {
    const std::lock_guard lock(state_mutex);
    return current_state.position;
}

Result Driver::run(const velmor::Trajectory& trajectory) {
    refuse_inside_control_cycle("run", use_async_form("run"));
    return get(run_async(trajectory));
}

Result Driver::move_to(const Goal& goal, bool ignore_collisions) {
    refuse_inside_control_cycle("move_to", use_async_form("move_to"));
    return get(move_to_async(goal, ignore_collisions));
}

Result Driver::move_along(const std::string& name, const std::optional<Goal>& goal, bool ignore_collisions) {
    refuse_inside_control_cycle("move_along", use_async_form("move_along"));
    return get(move_along_async(name, goal, ignore_collisions));
}

Result Driver::blend_into(const velmor::Trajectory& trajectory, double duration) {
    refuse_inside_control_cycle("blend_into", use_async_form("blend_into"));
    return get(blend_into_async(trajectory, duration));
}

Result Driver::stop(bool fast_stop) {
    refuse_inside_control_cycle("stop", use_async_form("stop"));
    return get(stop_async(fast_stop));
}

Result Driver::resume() {
    refuse_inside_control_cycle("resume", use_async_form("resume"));
    return get(resume_async());
}

std::optional<int> Driver::get_digital_input(const std::string& /*name*/) {
    return std::nullopt;
}

bool Driver::set_digital_output(const std::string& /*name*/, int /*value*/) {
    return false;
}

std::optional<double> Driver::get_analog_input(const std::string& /*name*/) {
    return std::nullopt;
}

bool Driver::set_analog_output(const std::string& /*name*/, double /*value*/) {
    return false;
}

std::optional<int> Driver::get_group_input(const std::string& /*name*/) {
    return std::nullopt;
}

bool Driver::set_group_output(const std::string& /*name*/, int /*value*/) {
    return false;
}

std::optional<int> Driver::get_int_register(const std::string& /*name*/) {
    return std::nullopt;
}

bool Driver::set_int_register(const std::string& /*name*/, int /*value*/) {
    return false;
}

std::optional<double> Driver::get_double_register(const std::string& /*name*/) {
    return std::nullopt;
}

bool Driver::set_double_register(const std::string& /*name*/, double /*value*/) {
    return false;
}

bool Driver::is_running() const {
    return running.load();
}

bool Driver::is_paused() const {
    return get_speed() < std::numeric_limits<double>::epsilon();
}

double Driver::get_speed() const {
    return time_scaler.get_scale();
}

// Both forms replace whatever ramp runs, a pause ramp included, so a pause is
// no longer under way once they return.
void Driver::set_speed(double speed) {
    const std::lock_guard lock(pause_mutex);
    this->speed.store(speed);
    time_scaler.stop_scale_movement();
    time_scaler.set_scale(speed);
    is_pausing.store(false);
}

void Driver::set_speed(double speed, double duration) {
    const std::lock_guard lock(pause_mutex);
    this->speed.store(speed);
    // The returned future only matters to pause_async; a speed ramp has no waiter.
    static_cast<void>(time_scaler.move_scale_linearly_to(speed, duration));
    is_pausing.store(false);
}

// Deciding, claiming `is_pausing` and starting the ramp form one step under
// pause_mutex: a speed change cannot slip in between the claim and the ramp, and
// the end of a motion, which clears `running` under the same lock, either comes
// first (the pause then finds an idle driver) or ends the ramp this step started.
std::shared_future<bool> Driver::pause_async() {
    const std::lock_guard lock(pause_mutex);
    if (is_paused()) {
        // Below epsilon the motion would still creep on and never stand still,
        // so the pause makes it exact, unless a pause ramp is about to.
        if (!is_pausing.load()) {
            time_scaler.stop_scale_movement();
            time_scaler.set_scale(0.0);
        }
        return ready_future(true);
    }
    if (is_pausing.load()) {
        return ready_future(false);
    }
    if (is_running()) {
        auto ramp_done = time_scaler.move_scale_linearly_to(0.0, pause_ramp_duration);
        if (ramp_done.valid()) {
            is_pausing.store(true);
            return ramp_done;
        }
        // The scale is too close to zero to ramp from: the rest of the way is no
        // ramp at all, and the motion stands still in its next cycle.
    }
    // A speed ramp left over from earlier must not lift the scale off zero in the next motion.
    time_scaler.stop_scale_movement();
    time_scaler.set_scale(0.0);
    return ready_future(true);
}

bool Driver::pause() {
    refuse_inside_control_cycle("pause", use_async_form("pause"));
    return get(pause_async());
}

void Driver::add_event(const Trigger& trigger, const Action& action) {
    const std::lock_guard lock(new_events_mutex);
    new_events.push_back(Event {trigger, action, events_added++});
}

void Driver::create_io_alias(const std::string& name, std::size_t address) {
    const std::lock_guard lock(io_aliases_mutex);
    io_aliases[name] = address;
}

bool Driver::are_positions_within(const std::vector<double>& a, const std::vector<double>& b, double tolerance) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        // Positions and tolerances are decimal figures: 1.1 - 1.0 is 0.1 plus a rounding
        // residue, which must not decide the test. Two units in the last place of the
        // largest operand cover the rounding of the inputs and of the difference.
        const double magnitude = std::max({std::abs(a[i]), std::abs(b[i]), std::abs(tolerance)});
        const double slack =
            std::isfinite(magnitude) ? 2.0 * std::numeric_limits<double>::epsilon() * magnitude : 0.0;
        // Written as "exceeds" so that a NaN difference, which compares false, passes.
        if (std::abs(a[i] - b[i]) > tolerance + slack) {
            return false;
        }
    }
    return true;
}

void Driver::on_motion_did_finish() {
    stop_running();
    // Dropping an event may release a script action, which takes the interpreter
    // lock; so neither pause_mutex nor new_events_mutex, which script threads
    // take with that lock held, is held meanwhile.
    events.clear();
    std::vector<Event> unchecked;
    {
        const std::lock_guard lock(new_events_mutex);
        unchecked.swap(new_events);
    }
}

void Driver::stop_running() {
    const std::lock_guard lock(pause_mutex);
    running.store(false);
    end_outrun_pause_locked();
}

void Driver::end_outrun_pause() {
    const std::lock_guard lock(pause_mutex);
    end_outrun_pause_locked();
}

// A pause ramp started in the last cycles of a motion would otherwise wait for a
// next cycle that may never come; told now, its waiter learns false, and the ramp
// carries on into the next motion, which it brings to a standstill. A ramp that
// reached its end has set the scale to 0 and reported true: then the driver
// stays paused.
void Driver::end_outrun_pause_locked() {
    if (!is_pausing.load() || time_scaler.report_outrun_ramp()) {
        return;
    }
    is_pausing.store(false);
}

bool Driver::has_events() const {
    if (!events.empty()) {
        return true;
    }
    const std::lock_guard lock(new_events_mutex);
    return !new_events.empty();
}

void Driver::check_for_events(double time, const std::vector<double>& position) {
    {
        const std::lock_guard lock(new_events_mutex);
        if (!new_events.empty()) {
            events.insert(events.end(), std::make_move_iterator(new_events.begin()),
                          std::make_move_iterator(new_events.end()));
            new_events.clear();
        }
    }
    // Triggers and actions run without any lock held, so an action may add events.
    std::size_t index {0};
    while (index < events.size()) {
        bool fired {false};
        try {
            if (events[index].trigger(robot, time, position, current_trajectory)) {
                recorder.on_event_fired(events[index].index, time);
                events[index].action(time);
                fired = true;
            }
        } catch (...) {
            // A failing event would fail again in every later cycle and motion.
            events.erase(events.begin() + static_cast<std::ptrdiff_t>(index));
            throw;
        }
        if (fired) {
            events.erase(events.begin() + static_cast<std::ptrdiff_t>(index));
        } else {
            ++index;
        }
    }
}

}  // namespace velmor::drivers
