#include <velmor/drivers/events.hpp>

#include <array>
#include <charconv>
#include <string>
#include <limits>

#include <velmor/drivers/signal_reader.hpp>
#include <velmor/motion/robot_arm.hpp>

namespace velmor::drivers {

namespace {

// The comparison applies to copies, so the trigger outlives the value and threshold it was built from.
// The shortest text that reads back as the same number.
std::string number_text(double value) {
    std::array<char, 32> text {};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return {text.data(), end};
}

template <typename Compare>
Trigger compare(const Trigger::Value& value, double threshold, const char* symbol, Compare compare_with) {
    return Trigger([value, threshold, compare_with](const std::shared_ptr<velmor::Robot>& robot, double time,
                                                    const std::vector<double>& position,
                                                    const velmor::Trajectory& trajectory) {
        return compare_with(value(robot, time, position, trajectory), threshold);
    }, value.to_string() + " " + symbol + " " + number_text(threshold));
}

}  // namespace

Trigger Trigger::Value::operator>(double threshold) const {
    return compare(*this, threshold, ">", [](double a, double b) { return a > b; });
}

Trigger Trigger::Value::operator>=(double threshold) const {
    return compare(*this, threshold, ">=", [](double a, double b) { return a >= b; });
}

Trigger Trigger::Value::operator<(double threshold) const {
    return compare(*this, threshold, "<", [](double a, double b) { return a < b; });
}

Trigger Trigger::Value::operator<=(double threshold) const {
    return compare(*this, threshold, "<=", [](double a, double b) { return a <= b; });
}

Trigger Trigger::Value::operator==(double threshold) const {
    return compare(*this, threshold, "==", [](double a, double b) { return a == b; });
}

Trigger Trigger::Value::operator!=(double threshold) const {
    return compare(*this, threshold, "!=", [](double a, double b) { return a < b || a > b; });
}

Trigger Trigger::operator&&(const Trigger& other) const {
    return Trigger([left = *this, right = other](const std::shared_ptr<velmor::Robot>& robot, double time,
                                                 const std::vector<double>& position,
                                                 const velmor::Trajectory& trajectory) {
        return left(robot, time, position, trajectory) && right(robot, time, position, trajectory);
    }, "(" + text + ") & (" + other.text + ")");
}

Trigger Trigger::operator||(const Trigger& other) const {
    return Trigger([left = *this, right = other](const std::shared_ptr<velmor::Robot>& robot, double time,
                                                 const std::vector<double>& position,
                                                 const velmor::Trajectory& trajectory) {
        return left(robot, time, position, trajectory) || right(robot, time, position, trajectory);
    }, "(" + text + ") | (" + other.text + ")");
}

Trigger::Value Trigger::Time() {
    return Value([](const std::shared_ptr<velmor::Robot>&, double time, const std::vector<double>&,
                    const velmor::Trajectory&) { return time; }, "time");
}

Trigger::Value Trigger::TimeToGoal() {
    return Value([](const std::shared_ptr<velmor::Robot>&, double time, const std::vector<double>&,
                    const velmor::Trajectory& trajectory) { return trajectory.duration() - time; },
                 "time_to_goal");
}

Trigger::Value Trigger::JointPosition(std::size_t dof) {
    return Value([dof](const std::shared_ptr<velmor::Robot>&, double, const std::vector<double>& position,
                       const velmor::Trajectory&) { return position.at(dof); },
                 "joint_position(" + std::to_string(dof) + ")");
}

Trigger::Value Trigger::TCPPosition(std::size_t axis) {
    return Value([axis](const std::shared_ptr<velmor::Robot>& robot, double, const std::vector<double>& position,
                        const velmor::Trajectory&) {
        const auto arm = std::dynamic_pointer_cast<velmor::RobotArm>(robot);
        if (!arm) {
            return 0.0;
        }
        return arm->calculate_tcp(position).to_euler().at(axis);
    }, "tcp_position(" + std::to_string(axis) + ")");
}

Trigger::Value Trigger::IO(const std::string& name) {
    return Value([name](const std::shared_ptr<velmor::Robot>&, double, const std::vector<double>&,
                        const velmor::Trajectory&) {
        return SignalReader::read(name).value_or(std::numeric_limits<double>::quiet_NaN());
    }, "io('" + name + "')");
}

}  // namespace velmor::drivers
