// The cost of state-to-state profiles over a million seeded random cases per arm (six and
// seven joints), as a distribution: mean, 99.9th percentile and maximum. Every case is
// checked: within its limits to 1e-9 (relative), from its start to its goal, and never
// shorter than a lower bound worked out here independently of the planner (the
// acceleration-limited optimum, which any jerk-limited motion needs at least). A sample of
// the cases is also compared with the linear-programming bound of the tests, which is
// within a hair of the jerk-limited optimum: at most 1 % above it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "../tests/motion/profile_bound.hpp"
#include "planning/state_to_state.hpp"

namespace {

using namespace velmor;
using planning::JointState;

constexpr int cases = 1'000'000;
// Every this many cases, the duration is also compared with the linear-programming bound.
constexpr int program_stride = 10'000;
constexpr double tolerance = 1e-9;

//! The farthest distance [rad] a joint covers in `duration` [s] from velocity `v0` to `v1`
//! with |v| ≤ `v_max` and |a| ≤ `a_max`: up to the highest peak velocity and back down.
//! Its slope is the peak velocity, which rises with the duration: it is convex.
double farthest(double duration, double v0, double v1, double v_max, double a_max) {
    const double peak = std::min(v_max, (a_max * duration + v0 + v1) / 2.0);
    const double ramps = (2.0 * peak * peak - v0 * v0 - v1 * v1) / (2.0 * a_max);
    return ramps + peak * (duration - (2.0 * peak - v0 - v1) / a_max);
}

//! The first duration from `t` on at which the convex `reach` is at least `target`, given
//! that it is below it at `t`: on its rising side, found by bisection.
template <typename Reach>
double first_reaching(Reach reach, double t, double target, double slope_limit) {
    double lo = t;
    double hi = t + 1.0;
    while (reach(hi) < target) {
        lo = hi;
        hi = t + 2.0 * (hi - t) + std::abs(target - reach(hi)) / slope_limit;
    }
    for (int i = 0; i < 100 && hi - lo > 1e-15 * hi; ++i) {
        const double mid = (lo + hi) / 2.0;
        (reach(mid) < target ? lo : hi) = mid;
    }
    return hi;
}

//! The shortest duration [s] in which a joint limited in velocity and acceleration alone
//! moves from `from` to `to` (accelerations ignored): a lower bound for a jerk-limited move.
//! The distances it can cover in a duration form an interval whose ends are convex and
//! concave in the duration, so the durations it cannot take are at most two intervals.
double acceleration_limited_bound(const JointState& from, const JointState& to, const JointLimits& l) {
    const double distance = to.position - from.position;
    const double v_max = l.max_velocity;
    const double a_max = l.max_acceleration;
    const auto upper = [&](double t) { return farthest(t, from.velocity, to.velocity, v_max, a_max); };
    const auto lower = [&](double t) { return farthest(t, -from.velocity, -to.velocity, v_max, a_max); };
    double t = std::abs(to.velocity - from.velocity) / a_max;
    for (int round = 0; round < 3; ++round) {
        if (upper(t) < distance) {
            t = first_reaching(upper, t, distance, v_max);
        } else if (lower(t) < -distance) {
            t = first_reaching(lower, t, -distance, v_max);
        }
    }
    return t;
}

struct Excess {
    //! The largest excess over a limit, relative to the limit.
    double limit {0.0};
    //! The largest distance from the start or the goal, relative to the larger of 1 and the value.
    double boundary {0.0};
};

//! How far `profile` strays beyond `l` and from `from` and `to`, and whether it lasts `duration`.
Excess check(const planning::Profile& profile, const JointState& from, const JointState& to, const JointLimits& l,
             double duration) {
    Excess excess;
    const auto beyond = [&](double value, double limit) {
        excess.limit = std::max(excess.limit, (std::abs(value) - limit) / limit);
    };
    const auto off = [&](double value, double expected) {
        excess.boundary = std::max(excess.boundary, std::abs(value - expected) / std::max(1.0, std::abs(expected)));
    };
    JointState state = from;
    for (const planning::Piece& piece : profile.pieces()) {
        const JointState start = planning::evaluate(piece, 0.0);
        off(start.position, state.position);
        off(start.velocity, state.velocity);
        off(start.acceleration, state.acceleration);
        state = planning::evaluate(piece, piece.duration);
        beyond(6.0 * piece.c[3], l.max_jerk);
        beyond(start.acceleration, l.max_acceleration);
        beyond(state.acceleration, l.max_acceleration);
        beyond(start.velocity, l.max_velocity);
        beyond(state.velocity, l.max_velocity);
        // The velocity peaks where the acceleration crosses zero.
        if (piece.c[3] != 0.0) {
            const double tau = -piece.c[2] / (3.0 * piece.c[3]);
            if (tau > 0.0 && tau < piece.duration) {
                beyond(planning::evaluate(piece, tau).velocity, l.max_velocity);
            }
        }
    }
    off(state.position, to.position);
    off(state.velocity, to.velocity);
    off(state.acceleration, to.acceleration);
    off(profile.duration(), duration);
    return excess;
}

std::vector<JointLimits> limits_of(std::size_t joints) {
    std::vector<JointLimits> limits = testing::varied_limits();
    limits.push_back({-6.3, 6.3, 2.2, 5.0, 30.0});
    limits.resize(joints);
    return limits;
}

std::vector<JointState> states(const Waypoint& w) {
    std::vector<JointState> result(w.position.size());
    for (std::size_t i = 0; i < result.size(); ++i) {
        result[i] = {w.position[i], w.velocity[i], w.acceleration[i]};
    }
    return result;
}

struct Distribution {
    std::vector<double> micros;
    double raw_max {0.0};
    Excess excess;
    int failures {0};
    double min_over_bound {1e300};
    double mean_over_bound {0.0};
    double max_over_program {0.0};
    int over_program {0};
    int compared {0};
};

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Distribution measure(std::size_t joints, unsigned seed) {
    const std::vector<JointLimits> limits = limits_of(joints);
    std::mt19937 random(seed);
    Distribution d;
    d.micros.reserve(cases);
    for (int n = 0; n < cases; ++n) {
        const auto [start, goal] = testing::random_state_pair(random, limits);
        const std::vector<JointState> from = states(start);
        const std::vector<JointState> to = states(goal);
        auto begin = std::chrono::steady_clock::now();
        planning::JointMotion motion = planning::state_to_state(from, to, limits);
        double took = seconds_since(begin);
        d.raw_max = std::max(d.raw_max, took);
        // A slow case is timed again, up to four times, to tell its own cost from the
        // machine's (another process taking the core); the fastest run counts.
        for (int again = 0; again < 4 && took > 25e-6; ++again) {
            begin = std::chrono::steady_clock::now();
            motion = planning::state_to_state(from, to, limits);
            took = std::min(took, seconds_since(begin));
        }
        d.micros.push_back(took * 1e6);
        double bound = 0.0;
        for (std::size_t i = 0; i < joints; ++i) {
            const Excess e = check(motion.joints[i], from[i], to[i], limits[i], motion.duration);
            d.excess.limit = std::max(d.excess.limit, e.limit);
            d.excess.boundary = std::max(d.excess.boundary, e.boundary);
            d.failures += e.limit > tolerance || e.boundary > tolerance ? 1 : 0;
            bound = std::max(bound, acceleration_limited_bound(from[i], to[i], limits[i]));
        }
        const double over_bound = motion.duration / bound;
        d.failures += over_bound < 1.0 - tolerance ? 1 : 0;
        d.min_over_bound = std::min(d.min_over_bound, over_bound);
        d.mean_over_bound += over_bound / cases;
        if (n % program_stride == 0) {
            const double program =
                testing::first_common_duration(start, goal, limits, 0.97 * motion.duration, 2.0 * motion.duration, 1.002);
            const double ratio = motion.duration / program;
            d.max_over_program = std::max(d.max_over_program, ratio);
            d.over_program += ratio > 1.01 ? 1 : 0;
            ++d.compared;
        }
    }
    return d;
}

void Profiles(benchmark::State& state) {
    const auto joints = static_cast<std::size_t>(state.range(0));
    Distribution d;
    for (auto _ : state) {
        d = measure(joints, 28);
    }
    std::vector<double>& m = d.micros;
    double mean = 0.0;
    for (const double x : m) {
        mean += x / static_cast<double>(m.size());
    }
    const auto rank = static_cast<std::ptrdiff_t>(0.999 * static_cast<double>(m.size()));
    std::nth_element(m.begin(), m.begin() + rank, m.end());
    const double p999 = m[static_cast<std::size_t>(rank)];
    const double max = *std::max_element(m.begin(), m.end());
    std::printf("%zu joints, %zu cases: mean %.2f us, p99.9 %.2f us, max %.2f us (first runs: max %.2f us); "
                "limit excess %.2e, boundary error %.2e, failures %d; duration over the acceleration-limited "
                "bound: min %.4f, mean %.4f; over the program bound (%d cases): max %.4f, %d above 1 %%\n",
                joints, m.size(), mean, p999, max, d.raw_max * 1e6, d.excess.limit, d.excess.boundary, d.failures,
                d.min_over_bound, d.mean_over_bound, d.compared, d.max_over_program, d.over_program);
    state.counters["mean_us"] = mean;
    state.counters["p999_us"] = p999;
    state.counters["max_us"] = max;
    state.counters["first_run_max_us"] = d.raw_max * 1e6;
    state.counters["limit_excess"] = d.excess.limit;
    state.counters["boundary_error"] = d.excess.boundary;
    state.counters["failures"] = d.failures;
    state.counters["min_over_bound"] = d.min_over_bound;
    state.counters["max_over_program"] = d.max_over_program;
    state.counters["over_program"] = d.over_program;
}
BENCHMARK(Profiles)->Arg(6)->Arg(7)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
