#include "planning/profile.hpp"

#include <algorithm>

namespace velmor::planning {

Profile::Profile(JointState start) : start(start), end(start) {
    // Enough for the usual profiles: two ramps of acceleration around a cruise.
    pieces_.reserve(8);
    starts.reserve(8);
}

void Profile::append(const Piece& piece) {
    if (!(piece.duration > 0.0)) {
        return;
    }
    starts.push_back(total);
    pieces_.push_back(piece);
    total += piece.duration;
    end = evaluate(piece, piece.duration);
}

void Profile::append_jerk(double duration, double jerk) {
    append_jerk(duration, jerk, end);
}

void Profile::append_jerk(double duration, double jerk, const JointState& state) {
    append(Piece {duration, {state.position, state.velocity, state.acceleration / 2.0, jerk / 6.0}});
}

JointState Profile::at(double t) const {
    if (pieces_.empty()) {
        return t <= 0.0 ? start : JointState {start.position + start.velocity * t, start.velocity, 0.0};
    }
    if (t <= 0.0) {
        return start;
    }
    if (t >= total) {
        return {end.position + end.velocity * (t - total), end.velocity, 0.0};
    }
    const auto next = std::upper_bound(starts.begin(), starts.end(), t);
    const auto index = static_cast<std::size_t>(next - starts.begin()) - 1;
    return evaluate(pieces_[index], t - starts[index]);
}

Profile Profile::stretched(double new_duration) const {
    if (total <= 0.0 || new_duration <= total) {
        return *this;
    }
    // Playing the path at rate k = total / new_duration multiplies the n-th
    // derivative by k^n; in local time of a piece that is c[n] · k^n.
    const double rate = total / new_duration;
    Profile result(start);
    for (const Piece& piece : pieces_) {
        Piece scaled = piece;
        scaled.duration = piece.duration / rate;
        double factor = 1.0;
        for (double& coefficient : scaled.c) {
            coefficient *= factor;
            factor *= rate;
        }
        result.append(scaled);
    }
    return result;
}

}  // namespace velmor::planning
