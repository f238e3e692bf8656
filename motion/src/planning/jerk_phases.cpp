#include "planning/jerk_phases.hpp"

#include <stdexcept>

namespace velmor::planning {

void JerkPhases::push(double duration, double jerk) {
    if (count == capacity) {
        throw std::logic_error("A chain of jerk phases is full.");
    }
    phases[count++] = JerkPhase {duration, jerk};
}

void JerkPhases::add(const JerkPhases& other) {
    for (std::size_t i = 0; i < other.count; ++i) {
        add(other.phases[i].duration, other.phases[i].jerk);
    }
}

double JerkPhases::duration() const {
    double total = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        total += phases[i].duration;
    }
    return total;
}

JerkPhases JerkPhases::mirrored() const {
    JerkPhases result = *this;
    for (std::size_t i = 0; i < count; ++i) {
        result.phases[i].jerk = -phases[i].jerk;
    }
    return result;
}

void JerkPhases::append_to(Profile& profile) const {
    for (std::size_t i = 0; i < count; ++i) {
        profile.append_jerk(phases[i].duration, phases[i].jerk);
    }
}

}  // namespace velmor::planning
