#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>

#include <velmor/motion/shapes.hpp>

namespace velmor::mirava_app {

//! A recorded run of a driver, thinned out for the replay page.
struct Replay {
    //! Model name of the whole robot the driver drove (e.g. "ur5e").
    std::string environment_robot;
    //! Index of the driven robot's first joint in the whole robot's joints.
    std::size_t joint_offset {0};
    //! Joints per recorded sample.
    std::size_t degrees_of_freedom {0};
    //! The obstacles recorded with the run; none for a recording that holds no scene.
    std::map<std::string, Shape> obstacles;
    //! The body of GET /replay.json:
    //!
    //!   {"file": ..., "robot": ..., "environment_robot": ..., "joint_offset": i,
    //!    "degrees_of_freedom": n, "duration": [s], "cycles": recorded cycles,
    //!    "times": [s, ...], "positions": [[rad, ...], ...],
    //!    "commands": [{"index", "kind", "arguments", "start_time", "end_time"}, ...],
    //!    "events": [{"event", "time"}, ...],
    //!    "io": [{"name", "old", "new", "source", "time"}, ...]}
    //!
    //! Times are simulated seconds from the start of the recording.
    std::string json;
};

//! Samples kept per simulated second at most; a page draws no faster.
inline constexpr double replay_samples_per_second = 60.0;

//! Reads a recording as the driver writes it (JSON Lines with base64 columns, or MCAP)
//! and keeps at most replay_samples_per_second samples per simulated second,
//! always the last one. Throws VelmorError (module "mirava") naming the file
//! and line when it cannot be read.
Replay read_replay(const std::filesystem::path& path);

//! The body of GET /view.json, what the page shows besides the robot:
//! {"replay": true when `replay` is, "obstacles": [...]}, the obstacles in the form of a
//! scene file's list: `obstacles` in a replay, none live (those come over "/page").
std::string view_json(bool replay, const std::map<std::string, Shape>& obstacles);

}  // namespace velmor::mirava_app
