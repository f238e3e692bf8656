#pragma once

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <velmor/drivers/driver.hpp>
#include <velmor/motion/environment.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robots.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor::drivers::testing {

//! A concrete driver for tests of the base class: the asynchronous operations
//! record their arguments and hand out `next_result`, and the protected state
//! is open to the test.
class TestDriver : public Driver {
public:
    TestDriver(std::shared_ptr<velmor::Planner> planner, std::shared_ptr<velmor::Robot> robot = nullptr,
               double delta_time = 0.004)
        : Driver(std::move(planner), std::move(robot), "127.0.0.1", 30002, delta_time) {}

    //! What every asynchronous motion operation returns.
    std::shared_future<Result> next_result;
    //! Which asynchronous operation ran last, with its arguments.
    std::string last_call;
    std::optional<Goal> last_goal;
    std::string last_name;
    bool last_flag {false};
    double last_duration {0.0};

    RobotState get_current_state() override {
        const std::lock_guard lock(state_mutex);
        return current_state;
    }
    std::shared_future<Result> run_async(const velmor::Trajectory& /*trajectory*/) override {
        return record("run");
    }
    std::shared_future<Result> move_to_async(const Goal& goal, bool ignore_collisions) override {
        last_goal = goal;
        last_flag = ignore_collisions;
        return record("move_to");
    }
    std::shared_future<Result> move_along_async(const std::string& name, const std::optional<Goal>& goal,
                                                bool ignore_collisions) override {
        last_name = name;
        last_goal = goal;
        last_flag = ignore_collisions;
        return record("move_along");
    }
    std::shared_future<Result> blend_into_async(const velmor::Trajectory& /*trajectory*/, double duration) override {
        last_duration = duration;
        return record("blend_into");
    }
    std::shared_future<Result> stop_async(bool fast_stop) override {
        last_flag = fast_stop;
        return record("stop");
    }
    std::shared_future<Result> resume_async() override { return record("resume"); }

    using Driver::calculate_direct_trajectory;
    using Driver::calculate_trajectory;
    using Driver::DirectPlanning;
    using Driver::check_for_events;
    using Driver::current_state;
    using Driver::current_trajectory;
    using Driver::degrees_of_freedom;
    using Driver::events;
    using Driver::has_events;
    using Driver::io_aliases;
    using Driver::is_pausing;
    using Driver::joint_offset;
    using Driver::on_motion_did_finish;
    using Driver::planner;
    using Driver::robot;
    using Driver::running;
    using Driver::slice_state_offset;
    using Driver::stop_running;
    using Driver::speed;
    using Driver::time_scaler;

private:
    std::shared_future<Result> record(const std::string& call) {
        last_call = call;
        return next_result;
    }
};

//! A planner whose environment holds one six-axis arm.
inline std::shared_ptr<velmor::Planner> arm_planner() {
    return std::make_shared<velmor::Planner>(std::make_shared<velmor::robots::UR5e>());
}

//! A trajectory of `positions`, one sample every `step` [s], at rest in every sample.
inline velmor::Trajectory trajectory_of(const std::vector<std::vector<double>>& positions, double step = 0.004) {
    std::vector<double> times;
    std::vector<std::vector<double>> zeros;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        times.push_back(static_cast<double>(i) * step);
        zeros.emplace_back(positions[i].size(), 0.0);
    }
    return velmor::Trajectory(times, positions, zeros, zeros);
}

//! Captures standard output while `action` runs, then waits up to `timeout` for
//! `text` to appear, since log lines are printed by a background thread.
template <typename Action>
bool prints(const std::string& text, Action&& action,
            std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    std::string output;
    ::testing::internal::CaptureStdout();
    std::forward<Action>(action)();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        output += ::testing::internal::GetCapturedStdout();
        if (output.find(text) != std::string::npos) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        ::testing::internal::CaptureStdout();
    }
}

}  // namespace velmor::drivers::testing
