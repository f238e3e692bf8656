#include "planning/polynomial_profile.hpp"

#include <algorithm>
#include <cmath>

namespace velmor::planning {

namespace {

constexpr double longest_duration = 300.0;  // [s]
constexpr double scan_factor = 1.25;
constexpr int bisections = 40;
// Relative slack for rounding in the checks; a limit is never exceeded by more.
constexpr double slack = 1e-12;

using Polynomial = std::vector<double>;  // coefficients, constant term first

double value(const Polynomial& p, double x) {
    double result = 0.0;
    for (auto c = p.rbegin(); c != p.rend(); ++c) {
        result = result * x + *c;
    }
    return result;
}

Polynomial derivative(const Polynomial& p) {
    Polynomial result;
    for (std::size_t k = 1; k < p.size(); ++k) {
        result.push_back(static_cast<double>(k) * p[k]);
    }
    return result;
}

//! Roots of `p` in [0, end]: the roots of its derivative split the interval into
//! monotonic parts, each holding at most one root, found by bisection.
std::vector<double> roots(const Polynomial& p, double end) {
    std::vector<double> bounds {0.0};
    if (p.size() > 2) {
        const std::vector<double> turns = roots(derivative(p), end);
        bounds.insert(bounds.end(), turns.begin(), turns.end());
    }
    bounds.push_back(end);
    std::vector<double> result;
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
        double lo = bounds[i];
        double hi = bounds[i + 1];
        double f_lo = value(p, lo);
        const double f_hi = value(p, hi);
        if (f_lo == 0.0) {
            result.push_back(lo);
            continue;
        }
        if ((f_lo < 0.0) == (f_hi < 0.0)) {
            continue;
        }
        for (int iteration = 0; iteration < 60 && hi - lo > 1e-14 * end; ++iteration) {
            const double mid = 0.5 * (lo + hi);
            const double f_mid = value(p, mid);
            if ((f_mid < 0.0) == (f_lo < 0.0)) {
                lo = mid;
                f_lo = f_mid;
            } else {
                hi = mid;
            }
        }
        result.push_back(0.5 * (lo + hi));
    }
    return result;
}

Polynomial derivative_of(const Piece& piece, int order) {
    Polynomial p(piece.c.begin(), piece.c.end());
    for (int k = 0; k < order; ++k) {
        p = derivative(p);
    }
    return p;
}

double range_peak(const Polynomial& p, double end, double* lowest = nullptr, double* highest = nullptr) {
    double lo = std::min(value(p, 0.0), value(p, end));
    double hi = std::max(value(p, 0.0), value(p, end));
    for (const double x : roots(derivative(p), end)) {
        lo = std::min(lo, value(p, x));
        hi = std::max(hi, value(p, x));
    }
    if (lowest != nullptr) {
        *lowest = lo;
    }
    if (highest != nullptr) {
        *highest = hi;
    }
    return std::max(std::abs(lo), std::abs(hi));
}

bool fits(double magnitude, double limit) {
    return magnitude <= limit * (1.0 + slack);
}

}  // namespace

Piece quintic(const JointState& from, const JointState& to, double duration) {
    const double t = duration;
    const double h = to.position - from.position;
    const double v0 = from.velocity;
    const double v1 = to.velocity;
    const double a0 = from.acceleration;
    const double a1 = to.acceleration;
    return Piece {duration,
                  {from.position, v0, a0 / 2.0,
                   (20.0 * h - (8.0 * v1 + 12.0 * v0) * t - (3.0 * a0 - a1) * t * t) / (2.0 * t * t * t),
                   (-30.0 * h + (14.0 * v1 + 16.0 * v0) * t + (3.0 * a0 - 2.0 * a1) * t * t) / (2.0 * t * t * t * t),
                   (12.0 * h - 6.0 * (v1 + v0) * t + (a1 - a0) * t * t) / (2.0 * t * t * t * t * t)}};
}

double peak(const Piece& piece, int order) {
    return range_peak(derivative_of(piece, order), piece.duration);
}

bool within_limits(const Piece& piece, const JointLimits& limits, bool check_position) {
    // Cheapest checks first: most rejected durations fail on jerk.
    if (!fits(peak(piece, 3), limits.max_jerk) || !fits(peak(piece, 2), limits.max_acceleration) ||
        !fits(peak(piece, 1), limits.max_velocity)) {
        return false;
    }
    if (!check_position) {
        return true;
    }
    double lowest = 0.0;
    double highest = 0.0;
    range_peak(derivative_of(piece, 0), piece.duration, &lowest, &highest);
    return lowest >= limits.min_position && highest <= limits.max_position;
}

std::optional<JointMotion> synchronised_quintic(const std::vector<JointState>& from,
                                                const std::vector<JointState>& to,
                                                const std::vector<JointLimits>& limits) {
    std::vector<bool> check_position(from.size());
    for (std::size_t i = 0; i < from.size(); ++i) {
        // A joint that starts outside its range may still be moved back into it.
        check_position[i] = from[i].position >= limits[i].min_position &&
                            from[i].position <= limits[i].max_position;
    }
    const auto feasible = [&](double duration) {
        for (std::size_t i = 0; i < from.size(); ++i) {
            if (!within_limits(quintic(from[i], to[i], duration), limits[i], check_position[i])) {
                return false;
            }
        }
        return true;
    };
    // Feasibility need not be monotonic in the duration, so scan upwards for the
    // first feasible one and refine only inside the last step.
    // No joint can be faster than its limits allow for the distance and the
    // changes of velocity and acceleration; the scan starts from that bound.
    double duration = 1e-3;
    for (std::size_t i = 0; i < from.size(); ++i) {
        duration = std::max({duration, std::abs(to[i].position - from[i].position) / limits[i].max_velocity,
                             std::abs(to[i].velocity - from[i].velocity) / limits[i].max_acceleration,
                             std::abs(to[i].acceleration - from[i].acceleration) / limits[i].max_jerk});
    }
    double infeasible = 0.0;
    while (!feasible(duration)) {
        infeasible = duration;
        duration *= scan_factor;
        if (duration > longest_duration) {
            return std::nullopt;
        }
    }
    for (int i = 0; i < bisections && infeasible > 0.0 && duration - infeasible > 1e-9 * duration; ++i) {
        const double mid = 0.5 * (infeasible + duration);
        if (feasible(mid)) {
            duration = mid;
        } else {
            infeasible = mid;
        }
    }
    JointMotion motion;
    motion.duration = duration;
    for (std::size_t i = 0; i < from.size(); ++i) {
        Profile profile(from[i]);
        profile.append(quintic(from[i], to[i], duration));
        motion.joints.push_back(std::move(profile));
    }
    return motion;
}

}  // namespace velmor::planning
