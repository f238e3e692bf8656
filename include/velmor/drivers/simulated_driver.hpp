#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include <velmor/drivers/driver.hpp>
#include <velmor/drivers/simulated/controller.hpp>
#include <velmor/drivers/simulated/signal.hpp>
#include <velmor/motion/mirava.hpp>

namespace velmor::drivers {

class DeferredSearch;

//! Number of the last signal caught by handle_interrupt (0: none).
extern std::atomic<int> global_signal_status;

//! SIGINT handler: records the signal, restores its default action and raises it again.
void handle_interrupt(int signal);

//! A driver for a robot that exists only in simulation: it advances the robot's
//! state itself in a 4 ms control loop and may mirror it to Mirava.
//!
//! Thread safety: every public operation may be called from any thread, and
//! from an event action with the exceptions that Driver names (the operations
//! that wait for the control loop). One lock (`command_mutex`) serialises the
//! commands and the hand-over to the control loop; it is never held while
//! sleeping or planning on the loop. A driver must not be destroyed inside one
//! of its own control cycles, as destruction waits for the loop to end.
class SimulatedDriver : public Driver {
public:
    //! Class-wide switch: when false every connection attempt fails, enable and
    //! disable report a connection error and digital inputs read nothing.
    static inline std::atomic<bool> connect_result {true};

    //! Simulated time speed: the wall-clock pause between cycles is delta_time / time_speed.
    std::atomic<double> time_speed {1.0};

    //! Builds, connects and starts at rest in the all-zero joint position.
    //! Throws VelmorError (module "driver") when the robot cannot be chosen or connecting fails.
    SimulatedDriver(std::shared_ptr<velmor::Planner> planner, std::shared_ptr<velmor::Robot> robot,
                    bool sync_with_mirava, bool log_stream, bool serve_io_viewer, bool keep_io_viewer_running,
                    const std::string& host, int port);
    //! The same, driving the environment's single robot.
    SimulatedDriver(std::shared_ptr<velmor::Planner> planner, bool sync_with_mirava, bool log_stream,
                    bool serve_io_viewer, bool keep_io_viewer_running, const std::string& host, int port);
    //! Waits for a running motion to end, then releases everything.
    ~SimulatedDriver() override;

    //! Connects (to Mirava when syncing); throws VelmorError inside a control cycle.
    bool reconnect() override;
    //! Waits for a running motion to end and rethrows an exception that ended the control loop;
    //! throws VelmorError inside a control cycle.
    bool disconnect() override;
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

    //! Creates or overwrites a simulated I/O signal (an int is digital, a float analog).
    void create_io(const std::string& name, std::variant<int, float> default_value);
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

    //! The Mirava client (empty when none).
    [[nodiscard]] std::shared_ptr<velmor::Mirava> get_mirava() const;
    //! Replaces the Mirava client; the control loop mirrors positions whenever one is set.
    void set_mirava(std::shared_ptr<velmor::Mirava> client);
    //! Result of every motion that reaches its end.
    [[nodiscard]] Result get_run_result() const;
    void set_run_result(const Result& result);
    //! What enable() and disable() return while connected.
    [[nodiscard]] Result get_enable_result() const;
    void set_enable_result(const Result& result);

    //! Number of control cycles from one Mirava update to the next.
    [[nodiscard]] std::uint64_t get_mirava_update_interval() const { return mirava_update_interval; }

protected:
    //! Number of control-loop threads running now.
    std::atomic<int> active_loops {0};
    //! The most control-loop threads that ever ran at once (1 unless the hand-over is broken).
    std::atomic<int> most_active_loops {0};

private:
    std::shared_future<Result> run_command_locked(const Command& command);
    void run_command();
    // One control cycle; whether the loop goes on. `search` runs beside the loop for a
    // command whose way leads around obstacles.
    bool run_cycle(std::uint64_t& cycle_counter, DeferredSearch& search);
    // Plans the command handed to the running loop, if any, and takes over the result
    // of a search around obstacles when its hand-over is due (simulated_driver_planning.cpp).
    void take_over_pending_command(DeferredSearch& search);
    TimeScaler::StepOutcome step_state();
    void send_to_mirava(std::uint64_t& cycle_counter);
    void run_loop_thread();
    void start_loop();
    void end_loop();
    void collect_finished_loop();
    void wait_for_loop_end();
    std::shared_future<Result> replace_command_promise();
    void complete_command(const Result& result);
    // With `searching`, a motion that has ended holds at its end: a search's result follows.
    bool finish_cycle(TimeScaler::StepOutcome outcome, bool searching);
    void pause_between_cycles() const;
    void print_cycle_lines() const;

    bool sync_with_mirava;
    std::uint64_t mirava_update_interval {1};
    bool log_stream;

    mutable std::mutex command_mutex;
    std::promise<Result> command_promise;
    bool command_promise_done {false};
    std::future<void> control_loop;
    std::exception_ptr loop_error;

    mutable std::mutex mirava_mutex;
    std::shared_ptr<velmor::Mirava> mirava;
    std::atomic<bool> has_mirava {false};

    simulated::Controller io_controller;

    mutable std::mutex results_mutex;
    Result run_result {Result::Success};
    Result enable_result {Result::Success};

    // Loop-local copy of the position of the current cycle, kept to reuse its capacity.
    std::vector<double> cycle_position;
};

}  // namespace velmor::drivers
