#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include <velmor/drivers/devices/device.hpp>
#include <velmor/drivers/driver.hpp>
#include <velmor/drivers/faults/fault.hpp>
#include <velmor/drivers/faults/safety_limits.hpp>
#include <velmor/drivers/pacing.hpp>
#include <velmor/drivers/signal_reader.hpp>
#include <velmor/drivers/simulated/controller.hpp>
#include <velmor/drivers/simulated/signal.hpp>
#include <velmor/drivers/simulated_driver_options.hpp>
#include <velmor/drivers/time_speed.hpp>
#include <velmor/motion/mirava.hpp>

namespace velmor::drivers {

class ClockWaits;
class CommandPlanner;
class ControlLoop;
class FaultMonitor;
class MiravaMirror;
class SimulatedClock;

//! Number of the last signal caught by handle_interrupt (0: none).
extern std::atomic<int> global_signal_status;

//! SIGINT handler: records the signal, restores its default action and raises it again.
void handle_interrupt(int signal);

//! A driver for a robot that exists only in simulation: it advances the robot's
//! state itself in a 4 ms control loop and may mirror it to Mirava.
//!
//! Beyond a real controller's interface it lets a program rehearse what goes
//! wrong: controller faults can be injected (at once or when a trigger holds),
//! safety limits watched, and the control loop stepped cycle by cycle.
//!
//! Thread safety: every public operation may be called from any thread, and
//! from an event action with the exceptions that Driver names (the operations
//! that wait for this driver's control loop), to which this driver adds `step`,
//! `step_until` and `set_stepping`. One lock, the command planner's motion lock,
//! serialises the commands, the faults and the hand-over to the control loop; it is
//! never held while sleeping or planning on the loop. A driver must not be destroyed
//! inside one of its own control cycles, as destruction waits for the loop to end.
//!
//! The driver owns its collaborators and runs the control cycle, one step of each:
//! the command planner (commands, searches around obstacles, fault stops), the
//! control loop (loop thread, stepping, pacing), the fault monitor (faults and
//! safety limits) and the Mirava mirror.
class SimulatedDriver : public Driver {
public:
    //! Class-wide switch: when false every connection attempt fails, enable and
    //! disable report a connection error and digital inputs read nothing.
    static inline std::atomic<bool> connect_result {true};
    //! Cycles that step_until runs at most unless told otherwise: 1000 s of control time.
    static constexpr std::size_t default_step_limit {250'000};

    //! Simulated time speed: the wall-clock pause between cycles is delta_time / time_speed.
    //! A change acts on the pause under way, as stop, a switch of stepping and disconnect do.
    TimeSpeed time_speed {1.0};
    //! How the free-running loop spaces its cycles; the pause after each cycle's work by default.
    std::atomic<Pacing> pacing {Pacing::PauseAfterWork};

    //! Builds, connects and starts at rest in the all-zero joint position.
    //! Throws VelmorError (module "driver") when the robot cannot be chosen or connecting fails.
    SimulatedDriver(std::shared_ptr<velmor::Planner> planner, std::shared_ptr<velmor::Robot> robot,
                    bool sync_with_mirava, bool log_stream, bool serve_io_viewer, bool keep_io_viewer_running,
                    const std::string& host, int port);
    //! The same, driving the environment's single robot.
    SimulatedDriver(std::shared_ptr<velmor::Planner> planner, bool sync_with_mirava, bool log_stream,
                    bool serve_io_viewer, bool keep_io_viewer_running, const std::string& host, int port);
    //! The same with named settings: `SimulatedDriver(planner, {.robot = arm, .serve_io_viewer = true})`.
    explicit SimulatedDriver(std::shared_ptr<velmor::Planner> planner, const SimulatedDriverOptions& options = {});
    //! Waits for a running motion to end, then releases everything.
    ~SimulatedDriver() override;

    //! Connects (to Mirava when syncing) and, once connected, clears a ConnectionLost
    //! fault in the same step, so that a fault striking meanwhile either comes first and
    //! is mended or comes after and holds. Never waits for the control loop.
    bool reconnect() override;
    //! Waits for a running motion to end (in stepping mode: runs its cycles), its cycles
    //! following each other without pauses meanwhile, and rethrows an exception that
    //! ended the control loop; throws VelmorError inside one of its control cycles.
    bool disconnect() override;
    //! Alarm while a fault is active (Failure for a lost connection), else Unknown.
    ControllerStatus get_controller_status() override;
    Result enable() override;
    Result disable() override;
    std::vector<double> get_current_joint_position() override;
    RobotState get_current_state() override;

    std::shared_future<Result> run_async(const velmor::Trajectory& trajectory) override;
    std::shared_future<Result> move_to_async(const Goal& goal, bool ignore_collisions) override;
    std::shared_future<Result> move_along_async(const std::string& name, const std::optional<Goal>& goal,
                                                bool ignore_collisions) override;
    std::shared_future<Result> blend_into_async(const velmor::Trajectory& trajectory, double duration) override;
    std::shared_future<Result> stop_async(bool fast_stop) override;
    std::shared_future<Result> resume_async() override;

    //! Places the robot at `joint_position` (meant for a robot at rest) and shows it in Mirava.
    //! Throws VelmorError (module "driver") for a value that is not finite, changing nothing;
    //! the length is not checked.
    void set_current_joint_position(const std::vector<double>& joint_position);

    //! Creates or overwrites a simulated I/O signal (an int is digital, a float analog);
    //! without a direction it takes any writer.
    void create_io(const std::string& name, std::variant<int, float> default_value,
                   std::optional<simulated::Direction> direction = std::nullopt);
    //! Whether the digital I/O calls throw for an unknown signal or one of the other kind
    //! (Controller::strict_io); off by default.
    bool is_strict_io() const { return io_controller.strict_io; }
    //! Turns strict I/O on or off.
    void set_strict_io(bool strict) { io_controller.strict_io = strict; }
    //! Creates or overwrites each signal of the list, in order.
    void load_io_config(const std::vector<simulated::Signal>& config);
    //! Creates a digital signal per integer member of a JSON file (errors as the controller's).
    void load_io_config_from_file(const std::filesystem::path& file);
    //! The simulated digital input; empty while connect_result is false.
    std::optional<int> get_digital_input(const std::string& name) override;
    //! Sets the simulated digital output.
    bool set_digital_output(const std::string& name, int value) override;

    //! Hands `command` to the control loop, starting one when idle.
    std::shared_future<Result> run_command_async(const Command& command);

    //! Makes the controller suffer `fault` now. During a motion the robot stops as
    //! a controller would stop it: at once for EStop (velocity and acceleration 0
    //! in that cycle), on its path with the pause ramp for Hold (resume() goes on
    //! once the fault is cleared), along the planner's stop from the current state
    //! for the others; the motion's command ends with the fault's result once the
    //! robot stands. ConnectionLost also disconnects the driver. Until the fault is
    //! cleared every motion command, stop and resume included, returns its result at once.
    void inject_fault(Fault fault);
    //! Arms `fault` to strike in the first control cycle, of this motion or a later
    //! one, whose state makes `trigger` hold (the context of events). Faults armed
    //! earlier are tried first; armed faults wait while a fault is active.
    void inject_fault(Fault fault, const Trigger& trigger);
    //! The active fault; empty when there is none.
    [[nodiscard]] std::optional<Fault> get_active_fault() const;
    //! Acknowledges the active fault, as resetting the controller does, and disarms
    //! every armed fault. A lost connection stays lost until reconnect(). After a
    //! SafetyViolation the controller is in recovery: motions that never carry the
    //! robot farther beyond a watched limit run, others are refused with
    //! Result::ErrorControllerSafetyViolation, until the robot is within the limits.
    void clear_fault();

    //! The safety limits watched in every cycle.
    [[nodiscard]] SafetyLimits get_safety_limits() const;
    //! Watches `limits` from the next cycle on.
    void set_safety_limits(const SafetyLimits& limits);

    //! Whether the control loop advances only through step, step_until and the synchronous commands.
    [[nodiscard]] bool is_stepping() const;
    //! Turns stepping on (the loop thread, if any, leaves the motion to the caller
    //! after its current cycle; this waits for that) or off (a motion under way
    //! goes on with the normal clock). Throws VelmorError inside one of its control cycles.
    void set_stepping(bool on);
    //! Runs up to `cycles` control cycles on the calling thread, back to back,
    //! stopping early once the driver is idle; returns the number run (0 at once on
    //! an idle driver). Calls from several threads take turns. Throws VelmorError
    //! outside stepping mode and inside one of its control cycles.
    std::size_t step(std::size_t cycles = 1);
    //! Runs cycles as step does until one whose state makes `trigger` hold (the
    //! context of events); returns the number of cycles run up to and including
    //! that one, or nothing when `max_cycles` ran or the driver became idle first.
    std::optional<std::size_t> step_until(const Trigger& trigger, std::size_t max_cycles = default_step_limit);

    //! The simulated time [s] since the driver was made. Control cycles, dwells and waits
    //! advance it by their simulated length; while the loop runs freely at a time_speed
    //! above 0 with no motion, wall-clock time × time_speed does too. In stepping mode and at
    //! time_speed 0 only cycles, dwells and waits do, so runs repeat exactly.
    [[nodiscard]] double clock() const;
    //! Dwells `seconds` [s] on the clock: seconds / time_speed of wall-clock time, none at
    //! time_speed 0 or in stepping mode, and the clock advances by exactly `seconds` at rest.
    //! A motion goes on meanwhile (in stepping mode this runs its cycles). Throws VelmorError
    //! for a length that is negative or not finite, and inside one of its control cycles.
    void sleep(double seconds);
    //! The same on a thread of its own; the future holds true once the dwell is over.
    std::shared_future<bool> sleep_async(double seconds);
    //! Waits until `condition` holds (at rest its context is the current joint position,
    //! time 0 and no trajectory; I/O triggers read this driver's signals), or until `timeout`
    //! [s] has passed on the clock (none: no limit); whether it held. Where nothing else
    //! advances the clock (time_speed 0 or stepping, at rest) a timeout comes at once.
    //! Throws VelmorError for a timeout that is NaN and inside one of its control cycles.
    bool wait_for(const Trigger& condition, std::optional<double> timeout = std::nullopt);
    //! The same on a thread of its own; the future holds whether the condition held.
    std::shared_future<bool> wait_for_async(const Trigger& condition, std::optional<double> timeout = std::nullopt);
    //! Marks the clock's present time with `label` (e.g. "part 3 placed") in the running
    //! recording, whose report then gives the cycle time of each interval between marks;
    //! does nothing while none runs. Throws VelmorError for a label that is not UTF-8 or is
    //! longer than MarkRecord::max_label_bytes.
    void mark(const std::string& label);

    //! Adds a device of the cell after the others; it acts on the simulated clock from now
    //! on, at the cycle or the instant it is due, and its changes have the source Device.
    //! A device that throws is removed, and the next disconnect() throws its error.
    //! Throws VelmorError (module "devices") for a name taken and a device that refuses the cell.
    void add_device(std::shared_ptr<devices::Device> device);
    //! Removes the device of that name; whether there was one.
    bool remove_device(const std::string& name);
    //! The devices, in the order they act.
    [[nodiscard]] std::vector<std::shared_ptr<devices::Device>> devices() const;

    //! The Mirava client (empty when none).
    [[nodiscard]] std::shared_ptr<velmor::Mirava> get_mirava() const;
    //! Replaces the Mirava client; the control loop mirrors positions whenever one is set.
    void set_mirava(std::shared_ptr<velmor::Mirava> client);
    //! Result of every motion that reaches its end.
    [[nodiscard]] Result get_run_result() const {
        const std::lock_guard lock(results_mutex);
        return run_result;
    }
    void set_run_result(const Result& result) {
        const std::lock_guard lock(results_mutex);
        run_result = result;
    }
    //! What enable() and disable() return while connected.
    [[nodiscard]] Result get_enable_result() const {
        const std::lock_guard lock(results_mutex);
        return enable_result;
    }
    void set_enable_result(const Result& result) {
        const std::lock_guard lock(results_mutex);
        enable_result = result;
    }

    //! Number of control cycles from one Mirava update to the next.
    [[nodiscard]] std::uint64_t get_mirava_update_interval() const;

protected:
    //! Threads running control cycles now: loop threads and stepping callers.
    std::atomic<int> active_loops {0};
    //! The most threads that ever ran control cycles at once (1 unless the hand-over is broken).
    std::atomic<int> most_active_loops {0};

    //! In stepping mode, steps until `ready` holds or the driver is idle.
    void run_cycles_while_waiting(const std::function<bool()>& ready) override;

private:
    friend class CommandPlanner;
    friend class RestPlanner;

    // One control cycle, whichever thread runs it; whether the motion goes on. `observe`
    // runs after the cycle's events, while the cycle still owns the motion's state.
    bool run_cycle(const std::function<void()>& observe);
    TimeScaler::StepOutcome step_state(std::optional<double> record_at);
    TimeScaler::StepOutcome check_faults(TimeScaler::StepOutcome outcome);
    // Records the cycle, when a recording runs, after its fault check; `clock_at_cycle`:
    // the simulated clock at the cycle's start. step_state records it when no check is due.
    void record_cycle(TimeScaler::StepOutcome outcome, double clock_at_cycle);

    bool holds_now(const Trigger& condition);
    std::optional<Eigen::Vector3d> tool_point(const std::string& arm);
    void use_clock_for_devices();
    void start_alarm_thread();
    void stop_alarm_thread();
    // Lets the devices that watch the robot see where it was placed.
    void robot_placed();

    bool log_stream;
    simulated::Controller io_controller;
    // Reads this driver's signals for the triggers of its events and waits.
    SignalReader::Function read_signal;

    mutable std::mutex results_mutex;
    Result run_result {Result::Success};
    Result enable_result {Result::Success};

    // Owned by whichever thread runs the cycles: copies of the current cycle's position
    // and velocity, kept to reuse their capacity.
    std::vector<double> cycle_position;
    std::vector<double> cycle_velocity;

    std::unique_ptr<SimulatedClock> simulated_clock;
    std::unique_ptr<FaultMonitor> faults;
    std::unique_ptr<MiravaMirror> mirror;
    // Destroyed before the monitor and the mirror, waiting for its searches.
    std::unique_ptr<CommandPlanner> commands;
    std::unique_ptr<ControlLoop> loop;
    // Closed first on destruction: its threads read the state and the signals.
    std::unique_ptr<ClockWaits> waits;
    // Rings the devices' alarm while the clock follows wall-clock time; started with the
    // first device and ended by closing the clock. Guarded by `alarm_thread_mutex`.
    std::mutex alarm_thread_mutex;
    std::thread alarm_thread;
};

}  // namespace velmor::drivers
