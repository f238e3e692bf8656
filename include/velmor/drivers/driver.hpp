#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <velmor/drivers/commands.hpp>
#include <velmor/drivers/controller_status.hpp>
#include <velmor/drivers/events.hpp>
#include <velmor/drivers/recording/recording.hpp>
#include <velmor/drivers/result.hpp>
#include <velmor/drivers/robot_state.hpp>
#include <velmor/drivers/time_scaler.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robot.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor::drivers {

class Recorder;

//! The environment's robot, or `robot` when given. Throws VelmorError (module
//! "driver") without planner or environment, or when the environment does not
//! hold exactly one robot and none is given.
std::shared_ptr<velmor::Robot> get_robot(const std::shared_ptr<velmor::Planner>& planner,
                                         const std::shared_ptr<velmor::Robot>& robot);

//! Index of `robot`'s first joint within the environment's single robot. Throws
//! VelmorError (module "driver") when the environment does not hold exactly one robot.
std::size_t calculate_offset(const std::shared_ptr<velmor::Planner>& planner,
                             const std::shared_ptr<velmor::Robot>& robot);

//! Controller-independent base of a robot driver: binds one robot of a
//! planner's environment, keeps the shared motion state and fixes the command
//! interface. Every motion command exists as an asynchronous operation that a
//! concrete driver implements and as a synchronous one that waits on it.
//!
//! Event actions run inside a control cycle, on the thread that runs the cycle.
//! There every operation may be called, except those that wait for the loop of
//! the driver whose cycle runs: its synchronous `run`, `move_to`, `move_along`,
//! `blend_into`, `stop`, `resume` and `pause`, its `disconnect`, and a wait on one
//! of its futures that is not done. Called inside one of this driver's control
//! cycles they change nothing and throw VelmorError (module "driver") naming what
//! to use instead, such as the `_async` form of the command. Other drivers, and
//! operations that never wait such as `reconnect`, work there.
class Driver {
protected:
    //! Index of the driven robot's first joint in the environment robot's joints.
    std::size_t joint_offset {0};
    //! What is_connected() reports; set by the concrete driver.
    std::atomic<bool> connected {false};
    //! A motion is being executed.
    std::atomic<bool> running {false};
    //! A pause ramp runs and no motion has stood still in it yet (a trajectory that
    //! ends first leaves it to the next one); changed under `pause_mutex`.
    std::atomic<bool> is_pausing {false};
    //! The trajectory being executed.
    velmor::Trajectory current_trajectory;
    //! `pending_command` waits to be picked up by the running control loop.
    std::atomic<bool> has_new_command {false};
    //! The last command handed to the control loop.
    Command pending_command;
    //! The robot's current time stamp [s], joint positions, velocities and accelerations.
    RobotState current_state;
    //! Guards `current_state` between the control loop and readers.
    mutable std::mutex state_mutex;
    //! Samples `current_trajectory` cycle by cycle at the current speed.
    TimeScaler time_scaler;
    //! Target speed factor: the last value given to set_speed; resuming ramps back to it.
    std::atomic<double> speed {1.0};
    //! Aliases set by create_io_alias.
    std::unordered_map<std::string, std::size_t> io_aliases;
    //! Guards `io_aliases`, which an event action may change.
    std::mutex io_aliases_mutex;
    //! Pending events, owned by the control loop while it runs.
    std::vector<Event> events;
    //! Guards `is_pausing` together with the start of pause and speed ramps and
    //! the end of a motion, so that a pause starts either on a running motion
    //! that will see it or on an idle driver. Taken before the time scaler's lock.
    std::mutex pause_mutex;
    //! The motion planner, shared with the caller.
    std::shared_ptr<velmor::Planner> planner;
    //! The driven robot, shared with the planner's environment.
    std::shared_ptr<velmor::Robot> robot;
    //! Network address of the robot controller.
    std::string host;
    //! Port of the robot controller.
    int port;
    //! Number of joints driven.
    std::size_t degrees_of_freedom;
    //! Control interval [s].
    double delta_time;

private:
    // Owns `recorder`. The recorder's type is private to the library, so that
    // this header shows none of its counters and chunks.
    std::unique_ptr<Recorder> recorder_owner;

protected:
    //! Records cycles, commands, events and I/O changes while a recording runs;
    //! its hooks are declared in drivers/recording/recorder.hpp beside the sources.
    Recorder& recorder;

public:
    //! Seconds to wait when (re)connecting to the controller [s].
    double connect_timeout {2.0};
    //! Whether a driver compares planned and executed paths.
    bool monitor_path_deviation {true};
    //! Deviation at which such monitoring reports an error.
    double path_deviation_error_threshold {0.1};
    //! Whether the control loop logs every commanded position.
    std::atomic<bool> log_motions {false};

    //! Binds the driver to `robot` (or the environment's single robot when empty).
    //! Throws VelmorError (module "driver") for a missing planner or environment,
    //! an ambiguous robot, or a motion library older than 0.0.29.
    Driver(std::shared_ptr<velmor::Planner> planner, std::shared_ptr<velmor::Robot> robot, const std::string& host,
           int port, double delta_time);
    virtual ~Driver();

    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    //! Whether the calling thread runs a control cycle of any driver now, as it does while an event action runs.
    [[nodiscard]] static bool in_control_cycle();
    //! Whether the calling thread runs one of this driver's control cycles now: a wait
    //! for this driver's loop would then wait for itself.
    [[nodiscard]] bool in_own_control_cycle() const;

    //! Connects to the controller; whether it succeeded.
    virtual bool reconnect();
    //! Disconnects from the controller; whether it succeeded.
    virtual bool disconnect();
    //! Whether the driver is connected.
    [[nodiscard]] virtual bool is_connected() const;
    //! State of the controller.
    virtual ControllerStatus get_controller_status();
    //! Enables the robot's servos.
    virtual Result enable();
    //! Disables the robot's servos.
    virtual Result disable();

    //! Current joint positions of the driven robot.
    virtual std::vector<double> get_current_joint_position();
    //! Current motion state of the driven robot.
    virtual RobotState get_current_state() = 0;

    //! Runs `trajectory` and waits for the result.
    virtual Result run(const velmor::Trajectory& trajectory);
    //! Runs `trajectory`; the future holds the result.
    virtual std::shared_future<Result> run_async(const velmor::Trajectory& trajectory) = 0;
    //! Moves to `goal` and waits for the result.
    virtual Result move_to(const Goal& goal, bool ignore_collisions);
    //! Moves to `goal`; the future holds the result.
    virtual std::shared_future<Result> move_to_async(const Goal& goal, bool ignore_collisions) = 0;
    //! Moves along the planner's motion `name` (to `goal` when given) and waits for the result.
    virtual Result move_along(const std::string& name, const std::optional<Goal>& goal, bool ignore_collisions);
    //! Moves along the planner's motion `name`; the future holds the result.
    virtual std::shared_future<Result> move_along_async(const std::string& name, const std::optional<Goal>& goal,
                                                        bool ignore_collisions) = 0;
    //! Joins `trajectory` `duration` [s] into it and waits for the result.
    virtual Result blend_into(const velmor::Trajectory& trajectory, double duration);
    //! Joins `trajectory` `duration` [s] into it; the future holds the result.
    virtual std::shared_future<Result> blend_into_async(const velmor::Trajectory& trajectory, double duration) = 0;
    //! Brings the robot to rest and waits for the result.
    virtual Result stop(bool fast_stop);
    //! Brings the robot to rest; the future holds the result.
    virtual std::shared_future<Result> stop_async(bool fast_stop) = 0;
    //! Resumes a paused motion and waits for the result.
    virtual Result resume();
    //! Resumes a paused motion; the future holds the result.
    virtual std::shared_future<Result> resume_async() = 0;

    //! Digital input `name`; empty when the controller has no such signal.
    virtual std::optional<int> get_digital_input(const std::string& name);
    //! Sets digital output `name`; whether it was set.
    virtual bool set_digital_output(const std::string& name, int value);
    //! Analog input `name`; empty when the controller has no such signal.
    virtual std::optional<double> get_analog_input(const std::string& name);
    //! Sets analog output `name`; whether it was set.
    virtual bool set_analog_output(const std::string& name, double value);
    //! Group input `name`; empty when the controller has no such signal.
    virtual std::optional<int> get_group_input(const std::string& name);
    //! Sets group output `name`; whether it was set.
    virtual bool set_group_output(const std::string& name, int value);
    //! Integer register `name`; empty when the controller has no such register.
    virtual std::optional<int> get_int_register(const std::string& name);
    //! Sets integer register `name`; whether it was set.
    virtual bool set_int_register(const std::string& name, int value);
    //! Floating-point register `name`; empty when the controller has no such register.
    virtual std::optional<double> get_double_register(const std::string& name);
    //! Sets floating-point register `name`; whether it was set.
    virtual bool set_double_register(const std::string& name, double value);

    //! Whether a motion is being executed.
    [[nodiscard]] bool is_running() const;
    //! Whether the current speed is zero.
    [[nodiscard]] bool is_paused() const;
    //! The time scaler's current speed factor.
    [[nodiscard]] double get_speed() const;
    //! Sets the speed factor at once.
    void set_speed(double speed);
    //! Ramps the speed factor linearly to `speed` over `duration` [s] of control time.
    void set_speed(double speed, double duration);
    //! Slows the motion to a standstill over 0.7 s; true once standing still,
    //! false when the motion ended first or another pause is under way. At a
    //! scale too small to ramp from, the scale becomes 0 at once (true).
    std::shared_future<bool> pause_async();
    //! Waits on pause_async(); throws VelmorError inside one of its control cycles.
    bool pause();

    //! Waits until `future`, returned by one of this driver's commands, is done, or
    //! until `timeout` [s] of wall-clock time (none: no limit) have passed; whether it
    //! is done. In stepping mode the driver's cycles run on the calling thread
    //! meanwhile, as the synchronous commands run them. Throws VelmorError (module
    //! "driver") for a timeout that is not a number, and inside one of this
    //! driver's control cycles while the future is not done.
    bool wait(const std::shared_future<Result>& future, std::optional<double> timeout = std::nullopt);
    bool wait(const std::shared_future<bool>& future, std::optional<double> timeout = std::nullopt);
    //! The value of `future` once wait() finds it done; throws VelmorError (module
    //! "driver") when `timeout` [s] passes first.
    Result get(const std::shared_future<Result>& future, std::optional<double> timeout = std::nullopt);
    bool get(const std::shared_future<bool>& future, std::optional<double> timeout = std::nullopt);
    //! Runs `action` once, in the first control cycle in which `trigger` holds.
    void add_event(const Trigger& trigger, const Action& action);
    //! Starts recording every control cycle, command, fired event and I/O change;
    //! with `path` the recording is streamed to that file, as MCAP for a ".mcap"
    //! path (chunks compressed as `compression` says) and JSON Lines for any other. Throws
    //! VelmorError (module "recording") when a recording runs already or the file cannot be created.
    std::shared_ptr<Recording> record(const std::optional<std::filesystem::path>& path = std::nullopt,
                                      McapCompression compression = McapCompression::Zstd);
    //! Gives the I/O address `address` the alias `name`.
    void create_io_alias(const std::string& name, std::size_t address);
    //! Whether `a` and `b` have equal sizes and differ by at most `tolerance` per entry.
    static bool are_positions_within(const std::vector<double>& a, const std::vector<double>& b, double tolerance);
    //! Network address of the robot controller.
    [[nodiscard]] const std::string& get_host() const { return host; }
    //! Port of the robot controller.
    [[nodiscard]] int get_port() const { return port; }
    //! Number of joints driven.
    [[nodiscard]] std::size_t get_degrees_of_freedom() const { return degrees_of_freedom; }
    //! Control interval [s].
    [[nodiscard]] double get_delta_time() const { return delta_time; }

protected:
    //! Marks the calling thread as running a control cycle of `driver` while it
    //! lives; a concrete driver holds one around each cycle, whichever thread runs
    //! it. Cycles of several drivers nest on one thread when an action steps another
    //! driver, so the marks form a chain from the innermost one outwards.
    class ControlCycle {
    public:
        explicit ControlCycle(const Driver& driver);
        ~ControlCycle();
        ControlCycle(const ControlCycle&) = delete;
        ControlCycle& operator=(const ControlCycle&) = delete;

        //! Whether the calling thread runs a cycle of `driver`, or of any driver when it is null.
        [[nodiscard]] static bool on_this_thread(const Driver* driver);

    private:
        const Driver& driver;
        const ControlCycle* outer;
        static thread_local const ControlCycle* innermost;
    };

    //! Throws VelmorError (module "driver") inside one of this driver's control cycles:
    //! `operation` would wait for the loop that runs the caller; `instead` says what to use.
    void refuse_inside_control_cycle(const std::string& operation, const std::string& instead) const;
    //! Called by the synchronous operations before they wait on a future: a driver
    //! whose cycles run only when told runs them here, on the waiting thread,
    //! until `ready` holds or nothing is left to run. The base does nothing.
    virtual void run_cycles_while_waiting(const std::function<bool()>& ready);
    //! Ends the motion: not running, pending events dropped.
    void on_motion_did_finish();
    //! Clears `running`. A pause that the motion did not reach standstill in yields
    //! false, and its ramp stays for the next trajectory to continue; a pause whose
    //! ramp is over is no longer under way. A concrete driver clears `running` only
    //! through this.
    void stop_running();
    //! Tells a pause under way that its trajectory has ended, as stop_running does.
    void end_outrun_pause();
    //! Whether any event is pending.
    [[nodiscard]] bool has_events() const;
    //! Fires, in registration order, every pending event whose trigger holds.
    void check_for_events(double time, const std::vector<double>& position);
    //! Turns `command` into a trajectory from `state`; on false `trajectory` is untouched
    //! and `failure` (when given) says why. A search around obstacles gives up once
    //! `cancel` (when given) is set.
    bool calculate_trajectory(const Command& command, velmor::Trajectory& trajectory, const RobotState& state,
                              const std::atomic<bool>* cancel = nullptr, std::string* failure = nullptr) const;
    //! How calculate_direct_trajectory went.
    enum class DirectPlanning {
        //! No trajectory: `trajectory` is untouched.
        Failed,
        //! `trajectory` holds the new trajectory.
        Planned,
        //! The direct motion of a point or named move collides: only a search around the
        //! obstacles (calculate_trajectory) can plan it; `trajectory` is untouched.
        SearchNeeded,
    };
    //! calculate_trajectory without the slow part, for the control loop: a point or named
    //! move is planned directly and checked for collisions, never searched. On Failed,
    //! `failure` (when given) says why.
    DirectPlanning calculate_direct_trajectory(const Command& command, velmor::Trajectory& trajectory,
                                               const RobotState& state, std::string* failure = nullptr) const;
    //! Narrows a state of the environment's whole robot to the driven robot's joints.
    void slice_state_offset(velmor::State& state) const;

private:
    // Events added by callers wait here until the control loop takes them over,
    // so that actions may add events without the loop holding a lock.
    mutable std::mutex new_events_mutex;
    std::vector<Event> new_events;
    // Whether `new_events` may hold any: set and cleared under new_events_mutex, read
    // without it, so that a cycle with no event to take over takes no lock.
    std::atomic<bool> new_events_waiting {false};
    std::uint64_t events_added {0};

    // end_outrun_pause with pause_mutex held.
    void end_outrun_pause_locked();
    // Waits on `future` (running cycles meanwhile where the driver needs it); whether it is done.
    template <typename T>
    bool wait_on(const std::shared_future<T>& future, std::optional<double> timeout);
    // Its value once done within `timeout`.
    template <typename T>
    T value_of(const std::shared_future<T>& future, std::optional<double> timeout);
};

}  // namespace velmor::drivers
