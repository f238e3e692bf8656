#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <velmor/motion/collision.hpp>
#include <velmor/motion/robot.hpp>

namespace velmor::planning {

//! What a search for a collision-free path found.
struct SearchOutcome {
    //! Joint positions from the start to the goal, joined by straight collision-free
    //! legs; empty when the search found none.
    std::vector<std::vector<double>> path;
    //! Sampling iterations spent.
    std::size_t iterations {0};
};

//! Searches joint space for a collision-free path from `start` to `goal` (both clear)
//! by growing a tree from each end towards random points and towards each other, then
//! shortens the path it finds. Spends at most `max_iterations` samples, and gives up
//! as soon as `cancel` (when given) is set; the same request and `seed` give the same
//! path on every machine.
SearchOutcome search_path(const CollisionModel& model, const std::vector<double>& start,
                          const std::vector<double>& goal, const std::vector<JointLimits>& limits, std::uint64_t seed,
                          std::size_t max_iterations, const std::atomic<bool>* cancel = nullptr);

}  // namespace velmor::planning
