#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include <velmor/motion/state.hpp>

namespace velmor::drivers {

//! The samples of consecutive control cycles, one column per quantity, with
//! room for `capacity` cycles allocated up front. Joint columns are row-major:
//! the values of cycle i are at [i × degrees_of_freedom, (i + 1) × degrees_of_freedom).
struct CycleChunk {
    //! Allocates and zeroes room for `capacity` cycles of `degrees_of_freedom` joints.
    CycleChunk(std::size_t degrees_of_freedom, std::size_t capacity);

    //! Joints per cycle.
    std::size_t degrees_of_freedom;
    //! Cycles it has room for.
    std::size_t capacity;
    //! Cycles stored.
    std::size_t count {0};
    //! Simulated time of each cycle's sample [s].
    std::vector<double> time;
    //! Wall-clock time of each cycle since the recording began [s].
    std::vector<double> wall_time;
    //! Speed scale of each cycle.
    std::vector<double> scale;
    //! Index of the command being executed in each cycle; -1 for none.
    std::vector<std::int64_t> command;
    //! Joint positions [rad] or [m].
    std::vector<double> position;
    //! Joint velocities [rad/s] or [m/s].
    std::vector<double> velocity;
    //! Joint accelerations [rad/s²] or [m/s²].
    std::vector<double> acceleration;

    //! Whether every row is used.
    [[nodiscard]] bool full() const { return count == capacity; }

    //! Appends one cycle; the chunk must not be full. Joints that the state
    //! lacks are stored as NaN, joints beyond `degrees_of_freedom` are left out.
    void append(double cycle_time, double wall, double cycle_scale, std::int64_t cycle_command,
                const velmor::State& state) {
        // The rows a few cycles ahead are fetched for writing meanwhile: a cycle that
        // waited for them to come from memory would cost several times as much.
        if (count + rows_ahead < capacity) {
            const std::size_t row = count + rows_ahead;
            __builtin_prefetch(&time[row], 1);
            __builtin_prefetch(&wall_time[row], 1);
            __builtin_prefetch(&scale[row], 1);
            __builtin_prefetch(&command[row], 1);
            __builtin_prefetch(&position[row * degrees_of_freedom], 1);
            __builtin_prefetch(&velocity[row * degrees_of_freedom], 1);
            __builtin_prefetch(&acceleration[row * degrees_of_freedom], 1);
        }
        time[count] = cycle_time;
        wall_time[count] = wall;
        scale[count] = cycle_scale;
        command[count] = cycle_command;
        const std::size_t first = count * degrees_of_freedom;
        copy_row(state.position, position, first);
        copy_row(state.velocity, velocity, first);
        copy_row(state.acceleration, acceleration, first);
        ++count;
    }

private:
    static constexpr std::size_t rows_ahead = 16;

    void copy_row(const std::vector<double>& from, std::vector<double>& to, std::size_t first) const {
        // A plain loop: for a handful of joints a call to memmove costs more than the copy.
        if (from.size() >= degrees_of_freedom) {
            const double* source = from.data();
            double* target = to.data() + first;
            for (std::size_t j = 0; j < degrees_of_freedom; ++j) {
                target[j] = source[j];
            }
            return;
        }
        for (std::size_t j = 0; j < degrees_of_freedom; ++j) {
            to[first + j] = j < from.size() ? from[j] : std::numeric_limits<double>::quiet_NaN();
        }
    }
};

}  // namespace velmor::drivers
