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

void check_count(std::size_t samples, std::size_t count, const char* what) {
    if (samples != count) {
        refuse_trajectory(std::string("There are ") + std::to_string(count) + " times but " + std::to_string(samples) +
               " " + what + ".");
    }
}

void check_joints(const SampleColumn& column, std::size_t dof, const char* what) {
    if (column.joints() != dof && !column.empty()) {
        refuse_trajectory(std::string("The ") + what + " have " + std::to_string(column.joints()) + " joints instead of " +
               std::to_string(dof) + ".");
    }
}

void check_times(const std::vector<double>& times) {
    const std::size_t count = times.size();
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
}

}  // namespace

Trajectory::Trajectory(std::vector<double> times, std::vector<std::vector<double>> positions,
                       std::vector<std::vector<double>> velocities, std::vector<std::vector<double>> accelerations) {
    const std::size_t count = times.size();
    const std::size_t joints = positions.empty() ? 0 : positions.front().size();
    check_count(positions.size(), count, "positions");
    SampleColumn p(positions, joints, "positions");
    check_count(velocities.size(), count, "velocities");
    SampleColumn v(velocities, joints, "velocities");
    check_count(accelerations.size(), count, "accelerations");
    SampleColumn a(accelerations, joints, "accelerations");
    *this = Trajectory(std::move(times), std::move(p), std::move(v), std::move(a));
}

Trajectory::Trajectory(std::vector<double> times, SampleColumn positions, SampleColumn velocities,
                       SampleColumn accelerations) {
    const std::size_t count = times.size();
    const std::size_t joints = positions.joints();
    check_count(positions.size(), count, "positions");
    check_count(velocities.size(), count, "velocities");
    check_count(accelerations.size(), count, "accelerations");
    check_joints(velocities, joints, "velocities");
    check_joints(accelerations, joints, "accelerations");
    check_times(times);
    dof = count > 0 ? joints : 0;
    times_ = std::move(times);
    positions_ = std::move(positions);
    velocities_ = std::move(velocities);
    accelerations_ = std::move(accelerations);
}

State Trajectory::at(std::size_t index) const {
    if (index >= times_.size()) {
        refuse_trajectory("Sample " + std::to_string(index) + " is beyond the " + std::to_string(times_.size()) + " samples.");
    }
    return State {times_[index], positions_[index].vector(), velocities_[index].vector(),
                  accelerations_[index].vector()};
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
    result.positions_ = positions_.slice(start, end);
    result.velocities_ = velocities_.slice(start, end);
    result.accelerations_ = accelerations_.slice(start, end);
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
    times_.reserve(times_.size() + other.size() - 1);
    for (std::size_t i = 1; i < other.size(); ++i) {
        times_.push_back(offset + other.times_[i]);
    }
    positions_.append(other.positions_, 1);
    velocities_.append(other.velocities_, 1);
    accelerations_.append(other.accelerations_, 1);
}

}  // namespace velmor
