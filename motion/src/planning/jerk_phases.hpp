#pragma once

#include <array>
#include <cstddef>

#include "planning/profile.hpp"

namespace velmor::planning {

//! A span of constant jerk.
struct JerkPhase {
    //! Length [s].
    double duration;
    //! Jerk [rad/s³].
    double jerk;
};

//! The state reached from `state` after `duration` [s] of constant `jerk` [rad/s³].
inline JointState advance(const JointState& state, double duration, double jerk) {
    const double t = duration;
    return {state.position + t * (state.velocity + t * (state.acceleration / 2.0 + t * jerk / 6.0)),
            state.velocity + t * (state.acceleration + t * jerk / 2.0), state.acceleration + t * jerk};
}

//! A short chain of constant-jerk phases, kept on the stack while profiles are searched for.
class JerkPhases {
public:
    //! The most phases a chain holds: two pulses of acceleration around a cruise.
    static constexpr std::size_t capacity = 8;

    //! Appends a phase; phases without a positive duration are left out.
    void add(double duration, double jerk) {
        if (duration > 0.0) {
            push(duration, jerk);
        }
    }
    //! Appends every phase of `other`.
    void add(const JerkPhases& other);

    [[nodiscard]] std::size_t size() const { return count; }
    [[nodiscard]] const JerkPhase& operator[](std::size_t index) const { return phases[index]; }
    //! Total duration [s].
    [[nodiscard]] double duration() const;
    //! The state at the end of the chain when it starts in `start`.
    [[nodiscard]] JointState end(const JointState& start) const {
        JointState state = start;
        for (std::size_t i = 0; i < count; ++i) {
            state = advance(state, phases[i].duration, phases[i].jerk);
        }
        return state;
    }
    //! The chain with every jerk negated: the motion mirrored about the start position.
    [[nodiscard]] JerkPhases mirrored() const;
    //! Appends the chain, started in `start`, to `profile`.
    void append_to(Profile& profile) const;

private:
    void push(double duration, double jerk);

    std::array<JerkPhase, capacity> phases {};
    std::size_t count {0};
};

}  // namespace velmor::planning
