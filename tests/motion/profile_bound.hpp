#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include <velmor/motion/robot.hpp>
#include <velmor/motion/waypoint.hpp>

namespace velmor::testing {

//! A small dense linear program: variables between bounds and rows lo ≤ Σ c·x ≤ hi,
//! solved by a bounded-variable simplex (phase one finds a feasible point).
class LinearProgram {
public:
    //! Adds a variable between `lo` and `hi`.
    void add_variable(double lo, double hi) {
        lower.push_back(lo);
        upper.push_back(hi);
    }
    //! Adds the row `lo` ≤ Σ coefficients[i]·x[i] ≤ `hi` (one coefficient per variable).
    void add_row(std::vector<double> coefficients, double lo, double hi) {
        rows.push_back(std::move(coefficients));
        lower.push_back(lo);
        upper.push_back(hi);
    }
    //! Whether some point meets every bound and row.
    [[nodiscard]] bool feasible();

private:

    std::vector<double> lower;
    std::vector<double> upper;
    std::vector<std::vector<double>> rows;
    std::vector<std::vector<double>> tableau;
    std::vector<double> value;
    std::vector<bool> at_upper;
    std::vector<std::size_t> basis;
    std::vector<bool> basic;
};

inline bool LinearProgram::feasible() {
    // Columns: the variables and one slack per row (s = row·x, within the row's bounds). Each
    // row reads ±(row·x - s) + artificial = 0 with an artificial that starts in the basis and
    // takes up the residual; phase one drives the artificials' sum to zero. An artificial that
    // leaves the basis never comes back, so the artificials need no columns of their own.
    const std::size_t m = rows.size();
    const std::size_t n = lower.size() - m;
    const std::size_t columns = n + m;
    const std::size_t artificial = columns;
    value.assign(columns + m, 0.0);
    at_upper.assign(columns, false);
    basic.assign(columns, false);
    basis.assign(m, artificial);
    tableau.assign(m, std::vector<double>(columns, 0.0));
    for (std::size_t j = 0; j < n; ++j) {
        value[j] = lower[j];
    }
    // The reduced costs of phase one, minus the sum of the rows of the nonbasic columns.
    std::vector<double> reduced(columns, 0.0);
    for (std::size_t r = 0; r < m; ++r) {
        double sum = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            sum += rows[r][j] * value[j];
        }
        const std::size_t s = n + r;
        at_upper[s] = std::abs(sum - upper[s]) < std::abs(sum - lower[s]);
        value[s] = at_upper[s] ? upper[s] : lower[s];
        const double residual = sum - value[s];
        const double sign = residual > 0.0 ? -1.0 : 1.0;
        for (std::size_t j = 0; j < n; ++j) {
            tableau[r][j] = sign * rows[r][j];
        }
        tableau[r][s] = -sign;
        value[columns + r] = std::abs(residual);
        basis[r] = columns + r;
        for (std::size_t j = 0; j < columns; ++j) {
            reduced[j] -= tableau[r][j];
        }
    }
    const auto lo = [&](std::size_t k) { return k < columns ? lower[k] : 0.0; };
    const auto hi = [&](std::size_t k) { return k < columns ? upper[k] : std::numeric_limits<double>::infinity(); };
    int stalled = 0;
    for (int iteration = 0; iteration < 100000; ++iteration) {
        // Dantzig's rule: the nonbasic column whose move lowers the infeasibility fastest; after
        // a run of steps that move nothing, Bland's rule (the first such column), which cannot cycle.
        const bool bland = stalled > 20;
        std::size_t entering = columns;
        double best = 1e-9;
        double direction = 0.0;
        for (std::size_t j = 0; j < columns && !(bland && entering < columns); ++j) {
            if (basic[j] || lower[j] == upper[j]) {
                continue;
            }
            if (!at_upper[j] && -reduced[j] > best) {
                best = bland ? best : -reduced[j];
                entering = j;
                direction = 1.0;
            } else if (at_upper[j] && reduced[j] > best) {
                best = bland ? best : reduced[j];
                entering = j;
                direction = -1.0;
            }
        }
        if (entering == columns) {
            break;
        }
        double step = upper[entering] - lower[entering];
        std::size_t leaving = m;
        bool leaves_at_upper = false;
        for (std::size_t r = 0; r < m; ++r) {
            const double rate = tableau[r][entering] * direction;
            const std::size_t b = basis[r];
            if (rate > 1e-11 && (value[b] - lo(b)) / rate < step) {
                step = (value[b] - lo(b)) / rate;
                leaving = r;
                leaves_at_upper = false;
            } else if (rate < -1e-11 && (hi(b) - value[b]) / -rate < step) {
                step = (hi(b) - value[b]) / -rate;
                leaving = r;
                leaves_at_upper = true;
            }
        }
        step = std::max(step, 0.0);
        stalled = step > 0.0 ? 0 : stalled + 1;
        for (std::size_t r = 0; r < m; ++r) {
            value[basis[r]] -= tableau[r][entering] * direction * step;
        }
        value[entering] += direction * step;
        if (leaving == m) {
            at_upper[entering] = direction > 0.0;
            value[entering] = at_upper[entering] ? upper[entering] : lower[entering];
            continue;
        }
        const std::size_t out = basis[leaving];
        std::vector<double>& pivot_row = tableau[leaving];
        const double pivot = pivot_row[entering];
        for (double& x : pivot_row) {
            x /= pivot;
        }
        for (std::size_t r = 0; r < m; ++r) {
            const double factor = tableau[r][entering];
            if (r != leaving && factor != 0.0) {
                for (std::size_t j = 0; j < columns; ++j) {
                    tableau[r][j] -= factor * pivot_row[j];
                }
            }
        }
        // The reduced costs are one more row of the tableau.
        const double factor = reduced[entering];
        for (std::size_t j = 0; j < columns; ++j) {
            reduced[j] -= factor * pivot_row[j];
        }
        if (out < columns) {
            basic[out] = false;
            at_upper[out] = leaves_at_upper;
            value[out] = leaves_at_upper ? upper[out] : lower[out];
        }
        basis[leaving] = entering;
        basic[entering] = true;
    }
    double infeasibility = 0.0;
    for (std::size_t r = 0; r < m; ++r) {
        if (basis[r] >= columns) {
            infeasibility += value[basis[r]];
        }
    }
    return infeasibility <= 1e-8 * static_cast<double>(m);
}

//! One joint's position [rad], velocity [rad/s] and acceleration [rad/s²].
struct Kinematics {
    double position;
    double velocity;
    double acceleration;
};

//! Whether one joint can move from `from` to `to` in exactly `duration` [s] within `limits`
//! by `pieces` spans of constant jerk of equal length, the velocity and acceleration limits
//! kept at the ends of the spans. Found by a linear program over the jerks, independently of
//! the planner; as the spans are fixed, a joint may need a little longer here than it does.
inline bool can_move_in(const Kinematics& from, const Kinematics& to, double duration, const JointLimits& limits,
                        std::size_t pieces = 32) {
    // Jerks in units of the jerk limit; acceleration, velocity and position at the end of
    // each span are linear in them. Rows are scaled to a largest coefficient of one, for the
    // simplex's tolerances.
    const double h = duration / static_cast<double>(pieces);
    const double j = limits.max_jerk;
    // Each jerk is the difference of two parts between 0 and 1, so that the simplex starts
    // from the joint coasting at its start acceleration rather than from full negative jerk.
    LinearProgram program;
    for (std::size_t k = 0; k < 2 * pieces; ++k) {
        program.add_variable(0.0, 1.0);
    }
    std::vector<double> a(pieces, 0.0);
    std::vector<double> v(pieces, 0.0);
    std::vector<double> p(pieces, 0.0);
    Kinematics free = from;
    const auto add = [&](const std::vector<double>& row, double lo, double hi) {
        double scale = 0.0;
        for (const double x : row) {
            scale = std::max(scale, std::abs(x));
        }
        std::vector<double> scaled(2 * pieces);
        for (std::size_t i = 0; i < pieces; ++i) {
            scaled[2 * i] = row[i] / scale;
            scaled[2 * i + 1] = -row[i] / scale;
        }
        program.add_row(scaled, lo / scale, hi / scale);
    };
    for (std::size_t k = 0; k < pieces; ++k) {
        for (std::size_t i = 0; i <= k; ++i) {
            const double u = i == k ? j : 0.0;
            p[i] += h * v[i] + h * h * a[i] / 2.0 + h * h * h * u / 6.0;
            v[i] += h * a[i] + h * h * u / 2.0;
            a[i] += h * u;
        }
        free.position += h * free.velocity + h * h * free.acceleration / 2.0;
        free.velocity += h * free.acceleration;
        if (k + 1 < pieces) {
            add(a, -limits.max_acceleration - free.acceleration, limits.max_acceleration - free.acceleration);
            add(v, -limits.max_velocity - free.velocity, limits.max_velocity - free.velocity);
        }
    }
    add(a, to.acceleration - free.acceleration, to.acceleration - free.acceleration);
    add(v, to.velocity - free.velocity, to.velocity - free.velocity);
    add(p, to.position - free.position, to.position - free.position);
    return program.feasible();
}

//! The shortest duration [s] from `lowest` on, in steps of the factor `step` up to `highest`,
//! in which every joint can move from `from` to `to` (can_move_in); 0 when there is none.
inline double first_common_duration(const Waypoint& from, const Waypoint& to, const std::vector<JointLimits>& limits,
                                    double lowest, double highest, double step) {
    const std::size_t dof = limits.size();
    std::vector<std::size_t> order(dof);
    for (std::size_t i = 0; i < dof; ++i) {
        order[i] = i;
    }
    for (double duration = lowest; duration <= highest; duration *= step) {
        bool all = true;
        for (std::size_t k = 0; k < dof && all; ++k) {
            const std::size_t i = order[k];
            all = can_move_in({from.position[i], from.velocity[i], from.acceleration[i]},
                              {to.position[i], to.velocity[i], to.acceleration[i]}, duration, limits[i]);
            if (!all) {
                // The joint that failed is likely to fail the next duration too.
                std::rotate(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(k),
                            order.begin() + static_cast<std::ptrdiff_t>(k + 1));
            }
        }
        if (all) {
            return duration;
        }
    }
    return 0.0;
}

//! Limits of a six-joint arm that differ from joint to joint, so that the joints' durations
//! and gaps differ.
inline std::vector<JointLimits> varied_limits() {
    return {{-6.3, 6.3, 2.0, 4.0, 20.0},  {-6.3, 6.3, 2.5, 6.0, 40.0},  {-6.3, 6.3, 3.0, 8.0, 50.0},
            {-6.3, 6.3, 3.5, 10.0, 80.0}, {-6.3, 6.3, 4.0, 12.0, 100.0}, {-6.3, 6.3, 6.0, 15.0, 150.0}};
}

//! A random pair of joint states within `limits`: positions within ±3, velocities and
//! accelerations anywhere within their limits, the start able to stay within the velocity
//! limit and the goal able to be arrived at from within it.
inline std::pair<Waypoint, Waypoint> random_state_pair(std::mt19937& random, const std::vector<JointLimits>& limits) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    Waypoint from(limits.size());
    Waypoint to(limits.size());
    for (std::size_t i = 0; i < limits.size(); ++i) {
        const JointLimits& l = limits[i];
        // A joint at velocity v with acceleration a still gains a·|a|/(2j) while it takes the
        // acceleration back; played backwards, the goal loses it.
        const auto within = [&](double v, double a) {
            return std::abs(v + a * std::abs(a) / (2.0 * l.max_jerk)) <= l.max_velocity;
        };
        do {
            from.velocity[i] = l.max_velocity * unit(random);
            from.acceleration[i] = l.max_acceleration * unit(random);
        } while (!within(from.velocity[i], from.acceleration[i]));
        do {
            to.velocity[i] = l.max_velocity * unit(random);
            to.acceleration[i] = l.max_acceleration * unit(random);
        } while (!within(to.velocity[i], -to.acceleration[i]));
        from.position[i] = 3.0 * unit(random);
        to.position[i] = 3.0 * unit(random);
    }
    return {from, to};
}

}  // namespace velmor::testing
