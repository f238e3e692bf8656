#pragma once

#include <array>
#include <vector>

namespace velmor::planning {

//! Position [rad], velocity [rad/s] and acceleration [rad/s²] of one joint.
struct JointState {
    double position {0.0};
    double velocity {0.0};
    double acceleration {0.0};
};

//! The positions of `states`, in joint order.
inline std::vector<double> positions(const std::vector<JointState>& states) {
    std::vector<double> result;
    result.reserve(states.size());
    for (const JointState& s : states) {
        result.push_back(s.position);
    }
    return result;
}

//! One polynomial piece: p(τ) = Σ c[k] τ^k for τ in [0, duration].
struct Piece {
    //! Length of the piece [s].
    double duration;
    //! Coefficients, constant term first.
    std::array<double, 6> c;
};

//! The motion of one joint as a chain of polynomial pieces of degree ≤ 5.
//! Past its end the joint goes on at its final velocity.
class Profile {
public:
    //! A profile of no duration that holds `start`.
    explicit Profile(JointState start);

    //! Appends a piece of constant `jerk` [rad/s³] lasting `duration` [s], continuing from the end state.
    void append_jerk(double duration, double jerk);
    //! Appends a polynomial piece; its start must continue the end state.
    void append(const Piece& piece);
    //! Appends every piece of `other`, which must start where this profile ends.
    void append(const Profile& other);

    //! Total duration [s].
    [[nodiscard]] double duration() const { return total; }
    //! State at time `t` [s]; before 0 the start, after the end the extrapolated final motion.
    [[nodiscard]] JointState at(double t) const;
    //! State at the end.
    [[nodiscard]] JointState end_state() const { return end; }
    [[nodiscard]] JointState start_state() const { return start; }
    [[nodiscard]] const std::vector<Piece>& pieces() const { return pieces_; }

    //! The same path stretched in time to last `new_duration` [s] (≥ duration()); only
    //! valid for profiles that start and end at rest, which stay at rest when stretched.
    [[nodiscard]] Profile stretched(double new_duration) const;
    //! The same path played backwards: it starts where this one ends, with the velocity negated.
    [[nodiscard]] Profile reversed() const;

private:
    JointState start;
    JointState end;
    double total {0.0};
    std::vector<Piece> pieces_;
    std::vector<double> starts;
};

//! State of a piece at local time `tau` [s].
JointState evaluate(const Piece& piece, double tau);

}  // namespace velmor::planning
