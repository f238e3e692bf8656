// Continuous collision checking along a sampled motion.
//
// Each pair's clearance can shrink by at most its approach bound (the sum of each
// joint's displacement times the pair's lever) while the joints move. From a
// configuration with clearances C, the check therefore leaps to the farthest sample
// that no pair's approach bound can reach across, evaluates there, and goes on. A
// step between two samples that no leap clears is bisected for the pairs that stay
// unclear: with clearances Ca and Cb at its ends and approach bound D, a pair cannot
// come closer than (Ca + Cb - D) / 2 on it.
#include <algorithm>
#include <limits>

#include "collision/model.hpp"

namespace velmor {

namespace {

using Impl = CollisionModel::Impl;
constexpr double contact = CollisionModel::contact_distance;

//! Scratch space of one check, so that a model stays shareable between threads.
struct Workspace {
    Impl::Pose pose;
    std::vector<double> dq;
};

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

class PathCheck {
public:
    explicit PathCheck(const Impl& model) : model(model) {
        all.resize(model.pairs.size());
        for (std::size_t p = 0; p < all.size(); ++p) {
            all[p] = p;
        }
        work.dq.resize(model.degrees_of_freedom);
    }

    std::optional<Collision> run(const std::vector<std::vector<double>>& q, const std::vector<double>& times) {
        std::vector<double> here;
        evaluate(q[0].data(), all, here);
        if (const auto touching = deepest_contact(all, here)) {
            return model.report(model.pairs[*touching], times[0]);
        }
        const std::vector<std::vector<double>> travelled = travel(q);
        std::size_t k = 0;
        std::vector<double> there;
        while (k + 1 < q.size()) {
            const auto reachable = [&](std::size_t m) { return clear_from(here, travelled[k], travelled[m]); };
            if (reachable(k + 1)) {
                // The last sample no pair can reach, by bisection on the monotone bound.
                std::size_t low = k + 1;
                std::size_t high = q.size() - 1;
                while (low < high) {
                    const std::size_t middle = low + (high - low + 1) / 2;
                    if (reachable(middle)) {
                        low = middle;
                    } else {
                        high = middle - 1;
                    }
                }
                evaluate(q[low].data(), all, there);
                if (const auto touching = deepest_contact(all, there)) {
                    return model.report(model.pairs[*touching], times[low]);
                }
                k = low;
            } else {
                evaluate(q[k + 1].data(), all, there);
                auto found = refine(q[k], here, times[k], q[k + 1], there, times[k + 1], all);
                if (!found) {
                    if (const auto touching = deepest_contact(all, there)) {
                        found = model.report(model.pairs[*touching], times[k + 1]);
                    }
                }
                if (found) {
                    return found;
                }
                ++k;
            }
            std::swap(here, there);
        }
        return std::nullopt;
    }

private:
    void evaluate(const double* q, const std::vector<std::size_t>& which, std::vector<double>& out) {
        model.place(q, work.pose);
        model.clearances(work.pose, which, out);
    }

    //! Per sample, how far every joint has moved in total since the first sample [rad].
    std::vector<std::vector<double>> travel(const std::vector<std::vector<double>>& q) const {
        std::vector<std::vector<double>> result(q.size(), std::vector<double>(model.degrees_of_freedom, 0.0));
        for (std::size_t k = 1; k < q.size(); ++k) {
            for (std::size_t j = 0; j < model.degrees_of_freedom; ++j) {
                result[k][j] = result[k - 1][j] + std::abs(q[k][j] - q[k - 1][j]);
            }
        }
        return result;
    }

    //! Whether no pair can come into contact while the joints travel from `from` to `to`.
    bool clear_from(const std::vector<double>& c, const std::vector<double>& from, const std::vector<double>& to) {
        for (std::size_t j = 0; j < work.dq.size(); ++j) {
            work.dq[j] = to[j] - from[j];
        }
        for (std::size_t p = 0; p < model.pairs.size(); ++p) {
            if (Impl::approach(model.pairs[p], work.dq.data()) >= c[p] - contact) {
                return false;
            }
        }
        return true;
    }

    //! The first contact on the straight motion from `a` to `b` among the pairs `which`.
    std::optional<Collision> refine(const std::vector<double>& a, const std::vector<double>& ca, double ta,
                                    const std::vector<double>& b, const std::vector<double>& cb, double tb,
                                    const std::vector<std::size_t>& which) {
        std::vector<double> dq(a.size());
        for (std::size_t j = 0; j < a.size(); ++j) {
            dq[j] = std::abs(b[j] - a[j]);
        }
        std::vector<std::size_t> open;
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
            // The ends are too close together to tell apart: only `b` can touch, since
            // the caller has found `a` clear.
            if (const auto touching = deepest_contact(open, cb)) {
                return model.report(model.pairs[*touching], tb);
            }
            return std::nullopt;
        }
        std::vector<double> middle(a.size());
        for (std::size_t j = 0; j < a.size(); ++j) {
            middle[j] = (a[j] + b[j]) / 2;
        }
        const double tm = (ta + tb) / 2;
        std::vector<double> cm;
        evaluate(middle.data(), open, cm);
        if (auto earlier = refine(a, ca, ta, middle, cm, tm, open)) {
            return earlier;
        }
        if (const auto touching = deepest_contact(open, cm)) {
            return model.report(model.pairs[*touching], tm);
        }
        return refine(middle, cm, tm, b, cb, tb, open);
    }

    const Impl& model;
    Workspace work;
    std::vector<std::size_t> all;
};

}  // namespace

std::optional<Collision> CollisionModel::Impl::check_path(const std::vector<std::vector<double>>& q,
                                                          const std::vector<double>& times) const {
    if (q.empty()) {
        return std::nullopt;
    }
    return PathCheck(*this).run(q, times);
}

}  // namespace velmor
