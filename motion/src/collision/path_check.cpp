// Continuous collision checking along a sampled motion.
//
// Each pair's clearance can shrink by at most its approach bound (the sum of each
// joint's displacement times the pair's lever) while the joints move. Every pair keeps
// its own horizon: the farthest sample its approach bound cannot reach across from the
// sample where its clearance was last found. The check walks the samples in order and
// evaluates, at the earliest horizon, only the pairs whose horizon it is, so a pair far
// from everything is evaluated once and a tight one as often as it needs. A step between
// two samples that a pair's horizon cannot cross is bisected for the pairs that stay
// unclear: with clearances Ca and Cb at its ends and approach bound D, a pair cannot
// come closer than (Ca + Cb - D) / 2 on it.
#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

#include "collision/model.hpp"

namespace velmor {

namespace {

using Impl = CollisionModel::Impl;
constexpr double contact = CollisionModel::contact_distance;

//! The pair of least clearance among `which` that touches, if any.
std::optional<std::size_t> deepest_contact(const std::vector<std::size_t>& which, const std::vector<double>& c) {
    std::optional<std::size_t> deepest;
    for (const std::size_t p : which) {
        if (c[p] <= contact && (!deepest || c[p] < c[*deepest])) {
            deepest = p;
        }
    }
    return deepest;
}

//! What one depth of a step's bisection needs, kept from check to check by each thread
//! (so that a model stays shareable between threads) to spare the allocations. A deque,
//! so that deeper levels leave the shallower ones where they are.
struct Level {
    std::vector<double> dq;
    std::vector<double> middle;
    std::vector<double> clearances;
    std::vector<std::size_t> open;
};
thread_local std::deque<Level> levels;

class PathCheck {
public:
    PathCheck(const Impl& model, const double* q, std::size_t count, const double* times)
        : model(model), dof(model.degrees_of_freedom), q(q), count(count), times(times) {}

    std::optional<Collision> run() {
        const std::size_t pairs = model.pairs.size();
        std::vector<std::size_t> all(pairs);
        for (std::size_t p = 0; p < pairs; ++p) {
            all[p] = p;
        }
        clear.assign(pairs, std::numeric_limits<double>::infinity());
        evaluate(row(0), all, clear);
        slab.assign(pairs, 0.0);
        slab_gaps(all, slab);
        if (const auto touching = deepest_contact(all, clear)) {
            return model.report(model.pairs[*touching], times[0]);
        }
        if (count == 1) {
            return std::nullopt;
        }
        travel.assign(count * dof, 0.0);
        for (std::size_t k = 1; k < count; ++k) {
            for (std::size_t j = 0; j < dof; ++j) {
                travel[k * dof + j] = travel[(k - 1) * dof + j] + std::abs(row(k)[j] - row(k - 1)[j]);
            }
        }
        base.assign(pairs, 0);
        horizon.assign(pairs, 0);
        for (std::size_t p = 0; p < pairs; ++p) {
            horizon[p] = reach(p);
        }
        std::vector<double> next(pairs, std::numeric_limits<double>::infinity());
        std::vector<std::size_t> due;
        std::vector<std::size_t> stale;
        while (true) {
            const std::size_t s = *std::min_element(horizon.begin(), horizon.end());
            if (s + 1 >= count) {
                return std::nullopt;
            }
            due.clear();
            stale.clear();
            for (std::size_t p = 0; p < pairs; ++p) {
                if (horizon[p] == s) {
                    due.push_back(p);
                }
                // Once the links are placed, a pair past half its horizon is worth refreshing
                // too, unless its horizon is the end already.
                if (base[p] < s && horizon[p] + 1 < count && 2 * (horizon[p] - s) <= horizon[p] - base[p]) {
                    stale.push_back(p);
                }
            }
            if (std::any_of(due.begin(), due.end(), [&](std::size_t p) { return base[p] < s; })) {
                // Clear up to here: find out how much farther these pairs can go.
                evaluate(row(s), stale, clear);
                slab_gaps(stale, slab);
                if (const auto touching = deepest_contact(stale, clear)) {
                    return model.report(model.pairs[*touching], times[s]);
                }
                for (const std::size_t p : stale) {
                    base[p] = s;
                    // Both certificates hold: the pair is clear up to the farther horizon.
                    horizon[p] = std::max(horizon[p], reach(p));
                }
                continue;
            }
            // Every other pair is clear up to the next sample: look closer at these on the step.
            evaluate(row(s + 1), due, next);
            slab_gaps(due, next_slab);
            auto found = refine(row(s), clear, times[s], row(s + 1), next, times[s + 1], due, 0);
            if (!found) {
                if (const auto touching = deepest_contact(due, next)) {
                    found = model.report(model.pairs[*touching], times[s + 1]);
                }
            }
            if (found) {
                return found;
            }
            for (const std::size_t p : due) {
                clear[p] = next[p];
                slab[p] = next_slab[p];
            }
            advance(due, s + 1);
        }
    }

private:
    [[nodiscard]] const double* row(std::size_t k) const { return q + k * dof; }

    //! The slab gaps of those of the pairs `which` that have one, at the position placed last.
    void slab_gaps(const std::vector<std::size_t>& which, std::vector<double>& out) {
        out.resize(model.pairs.size());
        for (const std::size_t p : which) {
            if (model.pairs[p].slab < 3) {
                out[p] = model.slab_clearance(pose, model.pairs[p]);
            }
        }
    }

    void evaluate(const double* position, const std::vector<std::size_t>& which, std::vector<double>& out) {
        model.place(position, pose, which);
        for (const std::size_t p : which) {
            out[p] = model.clearance(pose, model.pairs[p], false);
        }
    }

    //! The pairs `which`, whose clearances were just found at sample `k`, continue from there.
    void advance(const std::vector<std::size_t>& which, std::size_t k) {
        for (const std::size_t p : which) {
            base[p] = k;
            horizon[p] = reach(p);
        }
    }

    //! The farthest sample that pair `p`'s approach bounds cannot reach across from its base
    //! sample: the one of its clearance, or that of its slab gap where it has one.
    [[nodiscard]] std::size_t reach(std::size_t p) {
        const Impl::Pair& pair = model.pairs[p];
        std::size_t farthest = horizon[p];
        if (pair.slab < 3) {
            farthest = std::max(farthest, reach(p, slab[p], pair.slab_lever, pair.slab_moving, farthest));
        }
        return farthest + 1 < count ? std::max(farthest, reach(p, clear[p], pair.lever, pair.moving, farthest))
                                    : farthest;
    }

    //! The farthest sample that a bound of `clearance` [m] at pair `p`'s base sample certifies,
    //! or the base when that lies short of `known`, a sample known to be clear.
    [[nodiscard]] std::size_t reach(std::size_t p, double clearance, const std::vector<double>& lever,
                                    const std::vector<std::size_t>& moving, std::size_t known) {
        const double* from = travel.data() + base[p] * dof;
        const double budget = clearance - contact;
        if (budget <= 0.0) {
            return base[p];
        }
        const auto clear_to = [&](std::size_t m) {
            const double* to = travel.data() + m * dof;
            double bound = 0.0;
            for (const std::size_t j : moving) {
                bound += lever[j] * (to[j] - from[j]);
            }
            return bound < budget;
        };
        if (clear_to(count - 1)) {
            return count - 1;
        }
        // Short of the sample known to be clear, the answer would not count.
        std::size_t low = base[p];
        if (known > low) {
            if (!clear_to(known)) {
                return low;
            }
            low = known;
        }
        // `low` clears and the end does not: halve the samples between without branches,
        // which a search of this length would mispredict at half its steps.
        std::size_t length = count - 1 - low;
        while (length > 1) {
            const std::size_t half = length / 2;
            low = clear_to(low + half) ? low + half : low;
            length -= half;
        }
        return low;
    }

    //! The first contact on the straight motion from `a` to `b` among the pairs `which`.
    std::optional<Collision> refine(const double* a, const std::vector<double>& ca, double ta, const double* b,
                                    const std::vector<double>& cb, double tb, const std::vector<std::size_t>& which,
                                    std::size_t depth) {
        Level& level = depth < levels.size() ? levels[depth] : levels.emplace_back();
        std::vector<double>& dq = level.dq;
        dq.resize(dof);
        for (std::size_t j = 0; j < dof; ++j) {
            dq[j] = std::abs(b[j] - a[j]);
        }
        std::vector<std::size_t>& open = level.open;
        open.clear();
        double widest = 0.0;
        for (const std::size_t p : which) {
            const double bound = Impl::approach(model.pairs[p], dq.data());
            if (ca[p] + cb[p] - bound <= 2 * contact) {
                open.push_back(p);
                widest = std::max(widest, bound);
            }
        }
        if (open.empty()) {
            return std::nullopt;
        }
        if (widest < contact / 2) {
            // The clearances hardly change on the step: `a` is clear, so a contact here
            // begins where the clearance crosses the contact distance, which bisection
            // finds to a negligible fraction of the time.
            if (const auto touching = deepest_contact(open, cb)) {
                return crossing(a, ta, b, tb, open, *touching);
            }
            return std::nullopt;
        }
        std::vector<double>& middle = level.middle;
        middle.resize(dof);
        for (std::size_t j = 0; j < dof; ++j) {
            middle[j] = (a[j] + b[j]) / 2;
        }
        const double tm = (ta + tb) / 2;
        std::vector<double>& cm = level.clearances;
        cm.assign(model.pairs.size(), std::numeric_limits<double>::infinity());
        evaluate(middle.data(), open, cm);
        if (auto earlier = refine(a, ca, ta, middle.data(), cm, tm, open, depth + 1)) {
            return earlier;
        }
        if (const auto touching = deepest_contact(open, cm)) {
            return model.report(model.pairs[*touching], tm);
        }
        return refine(middle.data(), cm, tm, b, cb, tb, open, depth + 1);
    }

    //! Where on the step from the clear `a` to `b`, where pair `touching` of `open` touches,
    //! the contact begins.
    std::optional<Collision> crossing(const double* a, double ta, const double* b, double tb,
                                      const std::vector<std::size_t>& open, std::size_t touching) {
        constexpr double resolution = 1e-13;  // relative to the time
        std::vector<double> clear_end(a, a + dof);
        std::vector<double> touching_end(b, b + dof);
        std::vector<double> middle(dof);
        std::vector<double> cm(model.pairs.size(), std::numeric_limits<double>::infinity());
        while (tb - ta > resolution * std::max(1.0, std::abs(tb))) {
            for (std::size_t j = 0; j < dof; ++j) {
                middle[j] = (clear_end[j] + touching_end[j]) / 2;
            }
            const double tm = (ta + tb) / 2;
            evaluate(middle.data(), open, cm);
            if (const auto deepest = deepest_contact(open, cm)) {
                touching = *deepest;
                touching_end.swap(middle);
                tb = tm;
            } else {
                clear_end.swap(middle);
                ta = tm;
            }
        }
        return model.report(model.pairs[touching], tb);
    }

    const Impl& model;
    const std::size_t dof;
    const double* q;
    const std::size_t count;
    const double* times;
    Impl::Pose pose;
    //! Per sample and joint, how far the joint has moved in total since the first sample [rad].
    std::vector<double> travel;
    //! Per pair: its clearance and slab gap at its base sample, that sample, and its horizon.
    std::vector<double> clear;
    std::vector<double> slab;
    std::vector<double> next_slab;
    std::vector<std::size_t> base;
    std::vector<std::size_t> horizon;
};

}  // namespace

std::optional<Collision> CollisionModel::Impl::check_path(const double* q, std::size_t count,
                                                          const double* times) const {
    if (count == 0) {
        return std::nullopt;
    }
    return PathCheck(*this, q, count, times).run();
}

}  // namespace velmor
