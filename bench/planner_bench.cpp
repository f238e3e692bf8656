#include <cmath>
#include <random>

#include <benchmark/benchmark.h>

#include <velmor/motion/planner.hpp>
#include <velmor/motion/robots.hpp>

namespace {

using namespace velmor;

const std::vector<double> start {0.3, -1.2, 1.4, -1.6, -1.5, 0.3};
const std::vector<double> goal {-1.0, -0.5, 0.4, -0.6, 0.5, 2.0};

void RestToRest(benchmark::State& state) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    const Motion motion(robot, "bench", start, goal);
    for (auto _ : state) {
        benchmark::DoNotOptimize(planner.plan(motion));
    }
}
BENCHMARK(RestToRest)->Unit(benchmark::kMicrosecond);

void StopFromMoving(benchmark::State& state) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    const auto move = planner.plan(Motion(robot, "", start, goal));
    const State moving = move->at(move->size() / 3);
    LowLevelMotion stop(robot, "stop", Waypoint(moving.position, moving.velocity, moving.acceleration), Waypoint(0));
    stop.control_interface = LowLevelMotion::ControlInterface::Velocity;
    for (auto _ : state) {
        benchmark::DoNotOptimize(planner.plan(stop));
    }
}
BENCHMARK(StopFromMoving)->Unit(benchmark::kMicrosecond);

void BlendBetweenMovingStates(benchmark::State& state) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    const auto first = planner.plan(Motion(robot, "", start, goal));
    const auto second = planner.plan(Motion(robot, "", goal, start));
    const State from = first->at(first->size() / 3);
    const State to = second->at(second->size() / 2);
    const LowLevelMotion blend(robot, "blend", Waypoint(from.position, from.velocity, from.acceleration),
                               Waypoint(to.position, to.velocity, to.acceleration));
    for (auto _ : state) {
        benchmark::DoNotOptimize(planner.plan(blend));
    }
}
BENCHMARK(BlendBetweenMovingStates)->Unit(benchmark::kMicrosecond);

void InverseKinematics(benchmark::State& state) {
    const robots::UR5e arm;
    const Frame target = arm.calculate_tcp(goal);
    std::vector<double> seed = goal;
    for (double& q : seed) {
        q += 0.2;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(arm.inverse_kinematics(target, seed));
    }
}
BENCHMARK(InverseKinematics)->Unit(benchmark::kMicrosecond);

//! Shortest rest-to-rest time of one joint, by bisection on the peak velocity.
double optimal_duration(double distance, const JointLimits& l) {
    const double h = std::abs(distance);
    const double a = l.max_acceleration;
    const double j = l.max_jerk;
    const auto ramp = [&](double peak) { return peak * j >= a * a ? peak / a + a / j : 2 * std::sqrt(peak / j); };
    const double v = l.max_velocity;
    if (v * ramp(v) <= h) {
        return 2 * ramp(v) + (h - v * ramp(v)) / v;
    }
    double lo = 0.0;
    double hi = v;
    for (int i = 0; i < 200; ++i) {
        const double mid = (lo + hi) / 2;
        (mid * ramp(mid) < h ? lo : hi) = mid;
    }
    return 2 * ramp(lo);
}

void DurationOverTimeOptimalBound(benchmark::State& state) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    const auto limits = robot->get_joint_limits();
    double max_ratio = 0.0;
    double sum = 0.0;
    int count = 0;
    for (auto _ : state) {
        std::mt19937 random(1);
        std::uniform_real_distribution<double> joint(-6.0, 6.0);
        max_ratio = 0.0;
        sum = 0.0;
        count = 0;
        for (int move = 0; move < 1000; ++move) {
            std::vector<double> from(6);
            std::vector<double> to(6);
            double bound = 0.0;
            for (std::size_t i = 0; i < 6; ++i) {
                from[i] = joint(random);
                to[i] = joint(random);
                bound = std::max(bound, optimal_duration(to[i] - from[i], limits[i]));
            }
            const double ratio = planner.plan(Motion(robot, "", from, to))->duration() / bound;
            max_ratio = std::max(max_ratio, ratio);
            sum += ratio;
            ++count;
        }
    }
    state.counters["max_ratio"] = max_ratio;
    state.counters["mean_ratio"] = sum / count;
}
BENCHMARK(DurationOverTimeOptimalBound)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
