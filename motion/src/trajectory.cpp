#include <velmor/motion/trajectory.hpp>

#include <algorithm>
#include <cmath>
#include <string>

#include <velmor/common/velmor_error.hpp>

namespace velmor {

namespace {

[[noreturn]] void refuse_trajectory(const std::string& message) {
    throw VelmorError("trajectory", message);
}

void check_samples(const std::vector<std::vector<double>>& samples, std::size_t count, std::size_t dof,
                   const char* what) {
    if (samples.size() != count) {
        refuse_trajectory(std::string("There are ") + std::to_string(count) + " times but " + std::to_string(samples.size()) +
               " " + what + ".");
    }
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i].size() != dof) {
            refuse_trajectory(std::string("Sample ") + std::to_string(i) + " has " + std::to_string(samples[i].size()) + " " +
                   what + " instead of " + std::to_string(dof) + ".");
        }
    }
}

}  // namespace

Trajectory::Trajectory(std::vector<double> times, std::vector<std::vector<double>> positions,
                       std::vector<std::vector<double>> velocities, std::vector<std::vector<double>> accelerations) {
    const std::size_t count = times.size();
    const std::size_t joints = positions.empty() ? 0 : positions.front().size();
    check_samples(positions, count, joints, "positions");
    check_samples(velocities, count, joints, "velocities");
    check_samples(accelerations, count, joints, "accelerations");
    if (count > 0 && times.front() != 0.0) {
        refuse_trajectory("The first sample time is " + std::to_string(times.front()) + " instead of 0.");
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(times[i])) {
            refuse_trajectory("Sample time " + std::to_string(i) + " is not finite.");
        }
        if (i > 0 && !(times[i] > times[i - 1])) {
            refuse_trajectory("Sample times are not strictly ascending at sample " + std::to_string(i) + ".");
        }
    }
    dof = joints;
    times_ = std::move(times);
    positions_ = std::move(positions);
    velocities_ = std::move(velocities);
    accelerations_ = std::move(accelerations);
}

State Trajectory::at(std::size_t index) const {
    if (index >= times_.size()) {
        refuse_trajectory("Sample " + std::to_string(index) + " is beyond the " + std::to_string(times_.size()) + " samples.");
    }
    return State {times_[index], positions_[index], velocities_[index], accelerations_[index]};
}

State Trajectory::front() const {
    if (empty()) {
        refuse_trajectory("The trajectory has no samples.");
    }
    return at(0);
}

State Trajectory::back() const {
    if (empty()) {
        refuse_trajectory("The trajectory has no samples.");
    }
    return at(size() - 1);
}

Trajectory Trajectory::slice(std::size_t start, std::size_t count) const {
    Trajectory result;
    result.id = id;
    result.motion = motion;
    result.dof = dof;
    if (start >= size()) {
        return result;
    }
    const std::size_t end = start + std::min(count, size() - start);
    const double origin = times_[start];
    result.times_.reserve(end - start);
    for (std::size_t i = start; i < end; ++i) {
        result.times_.push_back(times_[i] - origin);
    }
    result.positions_.assign(positions_.begin() + static_cast<std::ptrdiff_t>(start),
                             positions_.begin() + static_cast<std::ptrdiff_t>(end));
    result.velocities_.assign(velocities_.begin() + static_cast<std::ptrdiff_t>(start),
                              velocities_.begin() + static_cast<std::ptrdiff_t>(end));
    result.accelerations_.assign(accelerations_.begin() + static_cast<std::ptrdiff_t>(start),
                                 accelerations_.begin() + static_cast<std::ptrdiff_t>(end));
    return result;
}

void Trajectory::append(const Trajectory& other) {
    if (other.empty()) {
        return;
    }
    if (empty()) {
        const std::string own_id = id;
        const std::string own_motion = motion;
        *this = other;
        id = own_id;
        motion = own_motion;
        return;
    }
    if (other.dof != dof) {
        refuse_trajectory("Cannot append a trajectory of " + std::to_string(other.dof) + " joints to one of " +
               std::to_string(dof) + " joints.");
    }
    const double offset = duration();
    for (std::size_t i = 1; i < other.size(); ++i) {
        times_.push_back(offset + other.times_[i]);
        positions_.push_back(other.positions_[i]);
        velocities_.push_back(other.velocities_[i]);
        accelerations_.push_back(other.accelerations_[i]);
    }
}

}  // namespace velmor
