#include "planning/profile.hpp"

#include <algorithm>
#include <cmath>

namespace velmor::planning {

JointState evaluate(const Piece& piece, double tau) {
    const auto& c = piece.c;
    return {
        c[0] + tau * (c[1] + tau * (c[2] + tau * (c[3] + tau * (c[4] + tau * c[5])))),
        c[1] + tau * (2.0 * c[2] + tau * (3.0 * c[3] + tau * (4.0 * c[4] + tau * 5.0 * c[5]))),
        2.0 * c[2] + tau * (6.0 * c[3] + tau * (12.0 * c[4] + tau * 20.0 * c[5])),
    };
}

Profile::Profile(JointState start) : start(start), end(start) {}

void Profile::append(const Piece& piece) {
    if (piece.duration <= 0.0) {
        return;
    }
    starts.push_back(total);
    pieces_.push_back(piece);
    total += piece.duration;
    end = evaluate(piece, piece.duration);
}

void Profile::append_jerk(double duration, double jerk) {
    append(Piece {duration, {end.position, end.velocity, end.acceleration / 2.0, jerk / 6.0, 0.0, 0.0}});
}

void Profile::append(const Profile& other) {
    for (const Piece& piece : other.pieces_) {
        append(piece);
    }
}

JointState Profile::at(double t) const {
    if (t <= 0.0 || pieces_.empty()) {
        if (pieces_.empty() && t > 0.0) {
            return {start.position + start.velocity * t, start.velocity, 0.0};
        }
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
    // Playing the path at rate k = total / new_duration multiplies the k-th
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

Profile Profile::reversed() const {
    Profile result(JointState {end.position, -end.velocity, end.acceleration});
    for (auto piece = pieces_.rbegin(); piece != pieces_.rend(); ++piece) {
        // q(σ) = p(D - σ) = Σ_k c_k (D - σ)^k, expanded binomially into powers of σ.
        const double d = piece->duration;
        Piece backwards {d, {}};
        for (std::size_t k = 0; k < piece->c.size(); ++k) {
            double binomial = 1.0;
            for (std::size_t m = 0; m <= k; ++m) {
                const double sign = m % 2 == 0 ? 1.0 : -1.0;
                backwards.c[m] += piece->c[k] * binomial * std::pow(d, static_cast<double>(k - m)) * sign;
                binomial = binomial * static_cast<double>(k - m) / static_cast<double>(m + 1);
            }
        }
        result.append(backwards);
    }
    return result;
}

}  // namespace velmor::planning
