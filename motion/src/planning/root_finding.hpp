#pragma once

#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

namespace velmor::planning {

//! A root of the continuous `f` in [`lo`, `hi`], where f(lo) = `f_lo` < 0 < f(hi) = `f_hi`, by
//! Newton's method from where the chord crosses zero; `f` returns its value and slope. A
//! Newton step that would leave the bracket, or that shrinks less than half as fast as the
//! one before, is replaced by a bisection, so the bracket always closes in.
template <typename F>
double find_rising_root(F&& f, double lo, double hi, double f_lo, double f_hi) {
    if (f_lo >= 0.0) {
        return lo;
    }
    if (f_hi <= 0.0) {
        return hi;
    }
    double x = lo - f_lo * (hi - lo) / (f_hi - f_lo);
    if (!(x > lo && x < hi)) {
        x = (lo + hi) / 2.0;
    }
    double step = hi - lo;
    double previous_step = step;
    auto [value, slope] = f(x);
    for (int iteration = 0; iteration < 100; ++iteration) {
        if (value == 0.0) {
            return x;
        }
        (value < 0.0 ? lo : hi) = x;
        const double newton = x - value / slope;
        if (std::abs(newton - x) <= 4.0 * std::numeric_limits<double>::epsilon() * std::abs(x)) {
            return newton;
        }
        const bool inside = newton > lo && newton < hi;
        if (inside && std::abs(2.0 * value) <= std::abs(previous_step * slope)) {
            previous_step = step;
            step = x - newton;
            x = newton;
        } else {
            previous_step = step;
            step = (hi - lo) / 2.0;
            x = lo + step;
        }
        if (std::abs(step) <= 4.0 * std::numeric_limits<double>::epsilon() * std::abs(x)) {
            return x;
        }
        std::tie(value, slope) = f(x);
    }
    return x;
}

}  // namespace velmor::planning
