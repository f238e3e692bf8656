#pragma once

#include <memory>
#include <string>

#include <velmor/motion/robot.hpp>

namespace velmor::drivers {

//! What a SimulatedDriver is built with, each setting named and defaulted, so a
//! program states only what it changes:
//! `SimulatedDriver driver(planner, {.serve_io_viewer = true});`.
struct SimulatedDriverOptions {
    //! The robot to drive, one of the planner's environment; null: the environment's single robot.
    std::shared_ptr<velmor::Robot> robot {};
    //! Mirror the joint position to the Mirava application, which must be running.
    bool sync_with_mirava {false};
    //! Print the plain desired position every control cycle.
    bool log_stream {false};
    //! Serve the I/O signal viewer page (on the loopback interface unless configured otherwise).
    bool serve_io_viewer {false};
    //! Keep the viewer page usable after the driver is gone, until Ctrl-C.
    bool keep_io_viewer_running {false};
    //! Controller address of the driver interface; a simulated robot has no controller to reach,
    //! so only programs written for a real controller set these.
    std::string host {"192.168.0.1"};
    int port {8000};
};

}  // namespace velmor::drivers
