// Collision checks and planning around obstacles. A check of a direct motion runs on
// the control-loop thread when a command reaches a running driver, so it has to stay
// well within one 4 ms cycle.
#include <algorithm>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>

#include <time.h>

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

//! Three scenes of the fixed search set, each on the table the arm stands on.
std::shared_ptr<Environment> search_scene(int scene) {
    auto environment = std::make_shared<Environment>(robots::make("ur5e"));
    environment->add_obstacle("table", Box({1.6, 1.4, 0.04}, Frame::from_translation(-0.3, 0.0, -0.02)));
    if (scene == 0) {
        environment->add_obstacle("fixture", Box({0.3, 0.1, 0.4}, Frame::from_translation(-0.6, -0.15, 0.2)));
    } else if (scene == 1) {
        // A shelf in front of the arm: two boards between two sides.
        environment->add_obstacle("low_board", Box({0.3, 0.8, 0.02}, Frame::from_translation(0.6, 0.0, 0.3)));
        environment->add_obstacle("high_board", Box({0.3, 0.8, 0.02}, Frame::from_translation(0.6, 0.0, 0.6)));
        environment->add_obstacle("left_side", Box({0.3, 0.02, 0.62}, Frame::from_translation(0.6, 0.41, 0.31)));
        environment->add_obstacle("right_side", Box({0.3, 0.02, 0.62}, Frame::from_translation(0.6, -0.41, 0.31)));
    } else {
        environment->add_obstacle("post", Cylinder(0.05, 1.2, Frame::from_translation(0.45, 0.1, 0.6)));
    }
    return environment;
}

//! One request of the search set.
struct SearchRequest {
    int scene;
    std::vector<double> start;
    std::vector<double> goal;
};

constexpr int requests_per_scene = 20;
constexpr std::size_t solvable_budget = 20000;

//! The fixed set: per scene, requests drawn from a seeded generator until twenty have a free
//! start and goal, a blocked direct motion, and a path that a search with ten times the
//! planner's default budget (and another seed) finds, so that every one has a solution.
const std::vector<SearchRequest>& search_set() {
    static const std::vector<SearchRequest> requests = [] {
        std::vector<SearchRequest> result;
        for (int scene = 0; scene < 3; ++scene) {
            const Planner planner(search_scene(scene));
            const auto robot = planner.environment->get_robots().front();
            std::mt19937_64 engine(1000 + static_cast<std::uint64_t>(scene));
            // From the generator's bits alone, the same on every standard library.
            const auto between = [&engine](double low, double high) {
                return low + static_cast<double>(engine() >> 11) * 0x1.0p-53 * (high - low);
            };
            const auto draw = [&] {
                return std::vector<double> {between(-2.8, 2.8), between(-2.6, -0.5), between(-2.4, 2.4),
                                            between(-2.8, 0.0), between(-2.8, 2.8), between(-1.0, 1.0)};
            };
            int found = 0;
            for (int attempt = 0; found < requests_per_scene; ++attempt) {
                if (attempt == 2000) {
                    throw std::runtime_error("Too few blocked, solvable requests in scene " + std::to_string(scene));
                }
                SearchRequest request {scene, draw(), draw()};
                if (planner.check_collision(request.start) || planner.check_collision(request.goal)) {
                    continue;
                }
                const Motion motion(robot, "", request.start, request.goal);
                const auto direct = planner.plan(motion);
                if (!direct || !planner.check_trajectory(*direct)) {
                    continue;
                }
                const PlanOptions long_search {false, 977, solvable_budget, nullptr};
                if (!planner.plan(motion, std::nullopt, std::nullopt, long_search).trajectory) {
                    continue;
                }
                result.push_back(std::move(request));
                ++found;
            }
        }
        return result;
    }();
    return requests;
}

//! The processor time this thread has used [ms]: unlike the wall clock, it leaves out the
//! time other processes of a shared machine take the processor away.
double thread_milliseconds() {
    timespec now {};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) {
        throw std::runtime_error("The thread's processor time cannot be read.");
    }
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

// The fixed search set: every request planned with the planner's default options (seed 0,
// the default budget); the processor time of each search (the direct motion's plan and
// check included), its median and 95th percentile over the set, and how many requests
// the default budget leaves unsolved although they have a solution.
void SearchSet(benchmark::State& state) {
    const auto& requests = search_set();
    const Planner planners[] {Planner(search_scene(0)), Planner(search_scene(1)), Planner(search_scene(2))};
    std::vector<double> times;
    double unsolved = 0;
    for (auto _ : state) {
        unsolved = 0;
        for (const SearchRequest& request : requests) {
            const Planner& planner = planners[static_cast<std::size_t>(request.scene)];
            const Motion motion(planner.environment->get_robots().front(), "", request.start, request.goal);
            const double begin = thread_milliseconds();
            const PlanResult result = planner.plan(motion, std::nullopt, std::nullopt, PlanOptions {});
            times.push_back(thread_milliseconds() - begin);
            benchmark::DoNotOptimize(result);
            unsolved += result.trajectory ? 0 : 1;
        }
    }
    std::sort(times.begin(), times.end());
    const auto at = [&times](double fraction) {
        return times[static_cast<std::size_t>(fraction * static_cast<double>(times.size() - 1) + 0.5)];
    };
    state.counters["median_ms"] = at(0.5);
    state.counters["p95_ms"] = at(0.95);
    state.counters["unsolved"] = unsolved;
    state.counters["requests"] = static_cast<double>(requests.size());
}
BENCHMARK(SearchSet)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
