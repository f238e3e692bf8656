#pragma once

#include <string>

#include <velmor/motion/trajectory.hpp>

namespace velmor {

//! The trajectory as one JSON object with the keys "id", "motion", "times" [s],
//! "positions", "velocities" and "accelerations" (one array per sample).
//! Numbers are written with enough digits to read back the same doubles.
//! Throws VelmorError (module "trajectory") for a non-finite value, which JSON cannot hold.
[[nodiscard]] std::string to_json(const Trajectory& trajectory);

//! A trajectory read from the text that to_json writes; throws VelmorError
//! (module "trajectory") for malformed JSON, a missing or mistyped key, or
//! samples that break the trajectory's invariants.
[[nodiscard]] Trajectory trajectory_from_json(const std::string& text);

//! Writes to_json(trajectory) to the file `path`, replacing it; throws
//! VelmorError (module "trajectory") when the file cannot be written.
void save_trajectory(const Trajectory& trajectory, const std::string& path);

//! Reads a trajectory from the file `path`; throws VelmorError (module
//! "trajectory") when the file cannot be read or holds no valid trajectory.
[[nodiscard]] Trajectory load_trajectory(const std::string& path);

}  // namespace velmor
