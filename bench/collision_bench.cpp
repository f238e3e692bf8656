// Collision checks and planning around obstacles. A check of a direct motion runs on
// the control-loop thread when a command reaches a running driver, so it has to stay
// well within one 4 ms cycle.
#include <benchmark/benchmark.h>

#include <velmor/motion/planner.hpp>
#include <velmor/motion/robots.hpp>

namespace {

using namespace velmor;

const std::vector<double> start {0.3, -1.2, 1.4, -1.6, -1.5, 0.3};
const std::vector<double> goal {-1.0, -0.5, 0.4, -0.6, 0.5, 2.0};

//! A cell: the table the arm stands on, a fixture beside it and a lamp above.
std::shared_ptr<Environment> cell() {
    auto environment = std::make_shared<Environment>(robots::make("ur5e"));
    environment->add_obstacle("table", Box({1.6, 1.4, 0.04}, Frame::from_translation(-0.3, 0.0, -0.02)));
    environment->add_obstacle("fixture", Box({0.2, 0.3, 0.25}, Frame::from_translation(0.45, 0.45, 0.125)));
    environment->add_obstacle("lamp", Sphere(0.1, Frame::from_translation(0.0, 0.0, 1.3)));
    environment->add_obstacle("post", Cylinder(0.05, 0.8, Frame::from_translation(0.6, -0.6, 0.4)));
    return environment;
}

void CheckDirectMotion(benchmark::State& state) {
    const Planner planner(cell());
    const auto robot = planner.environment->get_robots().front();
    const auto trajectory = planner.plan(Motion(robot, "", start, goal));
    const auto model = planner.collision_model();
    const auto before = model->evaluations();
    for (auto _ : state) {
        benchmark::DoNotOptimize(model->check(*trajectory));
    }
    state.counters["samples"] = static_cast<double>(trajectory->size());
    state.counters["evaluations"] = static_cast<double>(model->evaluations() - before) /
                                    static_cast<double>(state.iterations());
}
BENCHMARK(CheckDirectMotion)->Unit(benchmark::kMicrosecond);

// The same motion through the planner's query, which finds the model it keeps for the environment.
void PlannerCheckTrajectory(benchmark::State& state) {
    const Planner planner(cell());
    const auto robot = planner.environment->get_robots().front();
    const auto trajectory = planner.plan(Motion(robot, "", start, goal));
    for (auto _ : state) {
        benchmark::DoNotOptimize(planner.check_trajectory(*trajectory));
    }
}
BENCHMARK(PlannerCheckTrajectory)->Unit(benchmark::kMicrosecond);

void CheckOnePosition(benchmark::State& state) {
    const Planner planner(cell());
    const auto model = planner.collision_model();
    for (auto _ : state) {
        benchmark::DoNotOptimize(model->check(start));
    }
}
BENCHMARK(CheckOnePosition)->Unit(benchmark::kMicrosecond);

//! A cell whose fixture stands between the pick and the place station.
std::shared_ptr<Environment> stations() {
    auto environment = std::make_shared<Environment>(robots::make("ur5e"));
    environment->add_obstacle("table", Box({1.6, 1.4, 0.04}, Frame::from_translation(-0.3, 0.0, -0.02)));
    environment->add_obstacle("fixture", Box({0.3, 0.1, 0.4}, Frame::from_translation(-0.6, -0.15, 0.2)));
    return environment;
}

const std::vector<double> pick {0.6, -1.1, 1.8, -2.3, -1.57, 0.0};
const std::vector<double> place {-0.6, -1.1, 1.8, -2.3, -1.57, 0.0};

// What the control loop does in the cycle a point move reaches it: plan the direct motion
// and check it, with the model the planner keeps for the environment. Here the fixture blocks it, so
// the search would follow beside the loop.
void LoopShareOfABlockedMove(benchmark::State& state) {
    const Planner planner(stations());
    const Motion motion(planner.environment->get_robots().front(), "", pick, place);
    PlanOptions direct;
    direct.ignore_collisions = true;
    for (auto _ : state) {
        const auto result = planner.plan(motion, std::nullopt, std::nullopt, direct);
        benchmark::DoNotOptimize(planner.check_trajectory(*result.trajectory));
    }
}
BENCHMARK(LoopShareOfABlockedMove)->Unit(benchmark::kMicrosecond);

// From the pick to the place station of a cell whose fixture stands between them:
// the direct motion is checked, found blocked, and a path around is searched. The
// argument is the search's seed.
void PlanAroundFixture(benchmark::State& state) {
    const Planner planner(stations());
    const Motion motion(planner.environment->get_robots().front(), "", pick, place);
    PlanOptions options;
    options.seed = static_cast<std::uint64_t>(state.range(0));
    PlanResult result;
    for (auto _ : state) {
        result = planner.plan(motion, std::nullopt, std::nullopt, options);
        benchmark::DoNotOptimize(result);
    }
    state.counters["iterations"] = static_cast<double>(result.iterations);
    state.counters["duration_s"] = result.trajectory ? result.trajectory->duration() : 0.0;
    state.counters["direct_s"] = planner.plan(motion)->duration();
}
BENCHMARK(PlanAroundFixture)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
