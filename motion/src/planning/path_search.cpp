#include "planning/path_search.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <random>

namespace velmor::planning {

namespace {

using Point = std::vector<double>;

// Longest leg a tree grows by in one step [rad, joint-space length].
constexpr double step_length = 0.3;
// Attempts to shorten a found path by random shortcuts.
constexpr int shortcut_attempts = 60;

//! Uniform numbers from the generator's bits alone: the distributions of the standard
//! library may differ between implementations, the Mersenne twister's output may not.
class Random {
public:
    explicit Random(std::uint64_t seed) : engine(seed) {}
    //! A number in [0, 1).
    double unit() { return static_cast<double>(engine() >> 11) * 0x1.0p-53; }
    //! An index in [0, count).
    std::size_t index(std::size_t count) {
        return std::min(count - 1, static_cast<std::size_t>(unit() * static_cast<double>(count)));
    }

private:
    std::mt19937_64 engine;
};

double distance(const Point& a, const Point& b) {
    double sum = 0.0;
    for (std::size_t j = 0; j < a.size(); ++j) {
        sum += (a[j] - b[j]) * (a[j] - b[j]);
    }
    return std::sqrt(sum);
}

//! `from` moved towards `to` by at most the step length.
Point steer(const Point& from, const Point& to) {
    const double length = distance(from, to);
    if (length <= step_length) {
        return to;
    }
    Point result(from.size());
    for (std::size_t j = 0; j < from.size(); ++j) {
        result[j] = from[j] + (to[j] - from[j]) * step_length / length;
    }
    return result;
}

struct Tree {
    std::vector<Point> points;
    std::vector<std::size_t> parents;

    std::size_t nearest(const Point& q) const {
        std::size_t best = 0;
        double best_distance = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double d = distance(points[i], q);
            if (d < best_distance) {
                best_distance = d;
                best = i;
            }
        }
        return best;
    }

    std::size_t add(Point q, std::size_t parent) {
        points.push_back(std::move(q));
        parents.push_back(parent);
        return points.size() - 1;
    }

    //! The points from the root to `node`.
    std::vector<Point> from_root(std::size_t node) const {
        std::vector<Point> result;
        for (std::size_t i = node;; i = parents[i]) {
            result.push_back(points[i]);
            if (i == 0) {
                break;
            }
        }
        std::reverse(result.begin(), result.end());
        return result;
    }
};

bool free_leg(const CollisionModel& model, const Point& a, const Point& b) {
    return !model.check_motion(a, b);
}

//! Grows `tree` from its point nearest to `target` towards it, step by step, until it
//! arrives (the node that reached it), is blocked or is cancelled (empty).
std::optional<std::size_t> connect(const CollisionModel& model, Tree& tree, const Point& target,
                                   const std::function<bool()>& cancelled) {
    std::size_t node = tree.nearest(target);
    while (!cancelled()) {
        Point next = steer(tree.points[node], target);
        if (!free_leg(model, tree.points[node], next)) {
            return std::nullopt;
        }
        const bool arrived = next == target;
        node = tree.add(std::move(next), node);
        if (arrived) {
            return node;
        }
    }
    return std::nullopt;
}

//! The point a fraction `u` in [0, 1] along the leg after point `leg` of `path`.
Point along(const std::vector<Point>& path, std::size_t leg, double u) {
    Point result(path[leg].size());
    for (std::size_t j = 0; j < result.size(); ++j) {
        result[j] = path[leg][j] + u * (path[leg + 1][j] - path[leg][j]);
    }
    return result;
}

//! Keeps from each point only the farthest later point a free straight leg reaches.
std::vector<Point> skip_points(const CollisionModel& model, const std::vector<Point>& path) {
    std::vector<Point> result {path.front()};
    for (std::size_t i = 0; i + 1 < path.size();) {
        std::size_t farthest = i + 1;
        for (std::size_t j = path.size() - 1; j > i + 1; --j) {
            if (free_leg(model, path[i], path[j])) {
                farthest = j;
                break;
            }
        }
        result.push_back(path[farthest]);
        i = farthest;
    }
    return result;
}

//! Shortens a path: drops the points a free leg can skip, then joins random points of
//! two legs where the straight leg between them is free. Every point costs the robot a
//! stop, so a shortcut's own ends are dropped too wherever their neighbours see each other.
std::vector<Point> shorten(const CollisionModel& model, std::vector<Point> path, Random& random) {
    path = skip_points(model, path);
    for (int attempt = 0; attempt < shortcut_attempts && path.size() > 2; ++attempt) {
        std::size_t first = random.index(path.size() - 1);
        std::size_t second = random.index(path.size() - 1);
        if (first == second) {
            continue;
        }
        if (first > second) {
            std::swap(first, second);
        }
        const Point a = along(path, first, random.unit());
        const Point b = along(path, second, random.unit());
        if (!free_leg(model, a, b)) {
            continue;
        }
        std::vector<Point> shorter(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(first) + 1);
        shorter.push_back(a);
        shorter.push_back(b);
        shorter.insert(shorter.end(), path.begin() + static_cast<std::ptrdiff_t>(second) + 1, path.end());
        path = skip_points(model, shorter);
    }
    return path;
}

}  // namespace

SearchOutcome search_path(const CollisionModel& model, const Point& start, const Point& goal,
                          const std::vector<JointLimits>& limits, std::uint64_t seed, std::size_t max_iterations,
                          const std::atomic<bool>* cancel) {
    Random random(seed);
    // Detours winding more than half a turn past either end are never needed.
    Point low(start.size());
    Point high(start.size());
    for (std::size_t j = 0; j < start.size(); ++j) {
        low[j] = std::max(limits[j].min_position, std::min(start[j], goal[j]) - std::numbers::pi);
        high[j] = std::min(limits[j].max_position, std::max(start[j], goal[j]) + std::numbers::pi);
    }
    Tree from_start;
    from_start.add(start, 0);
    Tree from_goal;
    from_goal.add(goal, 0);
    Tree* growing = &from_start;
    Tree* other = &from_goal;
    SearchOutcome outcome;
    const auto cancelled = [cancel]() { return cancel != nullptr && cancel->load(); };
    while (outcome.iterations < max_iterations && !cancelled()) {
        ++outcome.iterations;
        Point sample(start.size());
        for (std::size_t j = 0; j < sample.size(); ++j) {
            sample[j] = low[j] + random.unit() * (high[j] - low[j]);
        }
        const std::size_t near = growing->nearest(sample);
        Point next = steer(growing->points[near], sample);
        if (free_leg(model, growing->points[near], next)) {
            const std::size_t added = growing->add(next, near);
            if (const auto met = connect(model, *other, next, cancelled)) {
                std::vector<Point> head = from_start.from_root(growing == &from_start ? added : *met);
                std::vector<Point> tail = from_goal.from_root(growing == &from_goal ? added : *met);
                head.insert(head.end(), tail.rbegin() + 1, tail.rend());
                outcome.path = shorten(model, std::move(head), random);
                return outcome;
            }
        }
        std::swap(growing, other);
    }
    return outcome;
}

}  // namespace velmor::planning
