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

//! One cubic piece: p(τ) = Σ c[k] τ^k for τ in [0, duration].
struct Piece {
    //! Length of the piece [s].
    double duration;
    //! Coefficients, constant term first.
    std::array<double, 4> c;
};

//! State of a piece at local time `tau` [s].
inline JointState evaluate(const Piece& piece, double tau) {
    const auto& c = piece.c;
    return {c[0] + tau * (c[1] + tau * (c[2] + tau * c[3])), c[1] + tau * (2.0 * c[2] + tau * 3.0 * c[3]),
            2.0 * c[2] + tau * 6.0 * c[3]};
}

//! The motion of one joint as a chain of cubic pieces (constant jerk in each).
//! Past its end the joint goes on at its final velocity.
class Profile {
public:
    //! A profile of no duration that holds `start`.
    explicit Profile(JointState start);

    //! Appends a piece of constant `jerk` [rad/s³] lasting `duration` [s], continuing from the end state.
    void append_jerk(double duration, double jerk);
    //! Appends a piece that starts in `state` and keeps `jerk` [rad/s³] for `duration` [s];
    //! `state` must continue the end state.
    void append_jerk(double duration, double jerk, const JointState& state);

    //! Total duration [s].
    [[nodiscard]] double duration() const { return total; }
    //! State at time `t` [s]; before 0 the start, after the end the extrapolated final motion.
    [[nodiscard]] JointState at(double t) const;
    //! State at the end.
    [[nodiscard]] JointState end_state() const { return end; }
    [[nodiscard]] const std::vector<Piece>& pieces() const { return pieces_; }
    //! Start time [s] of each piece.
    [[nodiscard]] const std::vector<double>& piece_starts() const { return starts; }

    //! The same path stretched in time to last `new_duration` [s] (≥ duration()); only
    //! valid for profiles that start and end at rest, which stay at rest when stretched.
    [[nodiscard]] Profile stretched(double new_duration) const;

private:
    void append(const Piece& piece);

    JointState start;
    JointState end;
    double total {0.0};
    std::vector<Piece> pieces_;
    std::vector<double> starts;
};

}  // namespace velmor::planning
