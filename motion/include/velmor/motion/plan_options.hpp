#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <velmor/motion/collision.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor {

//! How a planning request treats the environment's obstacles and the robot's own links.
struct PlanOptions {
    //! Plan as if nothing could collide: the direct motion, as the planner always plans it.
    bool ignore_collisions {false};
    //! Seed of the random numbers of the path search; the same request and seed give the same trajectory.
    std::uint64_t seed {0};
    //! Most sampling iterations the path search may spend before it gives up.
    std::size_t max_iterations {2000};
    //! When given and set (from another thread), the path search gives up at once.
    const std::atomic<bool>* cancel {nullptr};
};

//! The outcome of a planning request that may go around obstacles.
struct PlanResult {
    //! The planned trajectory; empty when there is none.
    std::optional<Trajectory> trajectory;
    //! Why there is no trajectory, naming the blocking pair when there is one; empty on success
    //! and when no motion exists whatever the obstacles (as planning without them would answer).
    std::string warning;
    //! The contact that blocked the request, when one did.
    std::optional<Collision> blocking;
    //! Sampling iterations the path search spent; 0 when the direct motion was used.
    std::size_t iterations {0};
    //! Why there is no trajectory: the joint and the limit its goal exceeds, how far an
    //! unreachable pose lies beyond the arm's reach, the touching pair of a collision, ...;
    //! empty on success.
    std::string reason;
};

}  // namespace velmor
