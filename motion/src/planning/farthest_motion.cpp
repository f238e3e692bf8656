#include "planning/farthest_motion.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "planning/velocity_change.hpp"

namespace velmor::planning {

FarthestMotion::FarthestMotion(const JointState& from, const JointState& to, double cap, double max_acceleration,
                               double max_jerk)
    : from(from),
      to(to),
      cap_(cap),
      max_acceleration(max_acceleration),
      max_jerk(max_jerk),
      rise(velocity_change(from.velocity, from.acceleration, cap, 0.0, max_acceleration, max_jerk)),
      fall(velocity_change(cap, 0.0, to.velocity, to.acceleration, max_acceleration, max_jerk)),
      cruise_duration(rise.duration() + fall.duration()) {
    const JointState top = rise.end(JointState {0.0, from.velocity, from.acceleration});
    cruise_distance_ = top.position + fall.end(JointState {0.0, cap, 0.0}).position;
}

bool FarthestMotion::cruises(double duration) const {
    // Just short of cruising, the ramps' equations lose their precision.
    return duration >= cruise_duration * (1.0 - 1e-12);
}

std::optional<JerkPhases> FarthestMotion::lasting(double duration) const {
    JerkPhases phases;
    if (cruises(duration)) {
        phases = rise;
        phases.add(duration - cruise_duration, 0.0);
        phases.add(fall);
        return phases;
    }
    const auto ramps = three_ramps(duration);
    if (!ramps) {
        return std::nullopt;
    }
    phases.add(ramps->up, max_jerk);
    phases.add(ramps->peak, 0.0);
    phases.add(ramps->down, -max_jerk);
    phases.add(ramps->valley, 0.0);
    phases.add(ramps->rise, max_jerk);
    return phases;
}

FarthestMotion::Reach FarthestMotion::reach(double duration) const {
    if (cruises(duration)) {
        return {cruise_distance_ + cap_ * (duration - cruise_duration), cap_};
    }
    const auto ramps = three_ramps(duration);
    if (!ramps) {
        return {-std::numeric_limits<double>::infinity(), 0.0};
    }
    const double down = std::max(ramps->down, 0.0);
    JointState state {0.0, from.velocity, from.acceleration};
    state = advance(state, std::max(ramps->up, 0.0), max_jerk);
    state = advance(state, std::max(ramps->peak, 0.0), 0.0);
    state = advance(state, down / 2.0, -max_jerk);
    const double per_time = state.velocity + max_jerk * down * down / 8.0;
    state = advance(state, down / 2.0, -max_jerk);
    state = advance(state, std::max(ramps->valley, 0.0), 0.0);
    return {advance(state, std::max(ramps->rise, 0.0), max_jerk).position, per_time};
}

double FarthestMotion::distance_per_cap(double duration) const {
    // Raising the cap lengthens the rise and the fall; what they add over cruising at the cap
    // is half the ramp that leaves or reaches the cruise.
    const JerkPhase* last = rise.size() > 0 ? &rise[rise.size() - 1] : nullptr;
    const double into_cruise = last != nullptr && last->jerk < 0.0 ? last->duration : 0.0;
    const double out_of_cruise = fall.size() > 0 && fall[0].jerk < 0.0 ? fall[0].duration : 0.0;
    return duration - cruise_duration + (into_cruise + out_of_cruise) / 2.0;
}

std::optional<FarthestMotion::Ramps> FarthestMotion::three_ramps(double duration) const {
    // The acceleration ramps up to a peak a1 (t1), holds it (t2) only at the limit, ramps
    // down to a valley a3 (t3), holds it (t4) only at the limit, and ramps up to af (t5).
    // The duration and the final velocity and acceleration fix the durations; each of the
    // four cases of holds has its own closed form, and only one of them fits.
    const double j = max_jerk;
    const double a_max = max_acceleration;
    const double a0 = from.acceleration;
    const double af = to.acceleration;
    const double gain = to.velocity - from.velocity;
    const double time_slack = 1e-12 * (duration + a_max / j);
    const double acceleration_slack = 1e-12 * a_max;
    // What rounding leaves of velocities of this size.
    const double velocity_slack = 1e-12 * (std::abs(gain) + a_max * (duration + a_max / j));
    const auto fits = [&](double t1, double t2, double t3, double t4, double t5, double a1, double a3) {
        return t1 >= -time_slack && t2 >= -time_slack && t3 >= -time_slack && t4 >= -time_slack &&
               t5 >= -time_slack && a1 <= a_max + acceleration_slack && a3 >= -a_max - acceleration_slack;
    };
    const auto phases = [](double t1, double t2, double t3, double t4, double t5) {
        return Ramps {t1, t2, t3, t4, t5};
    };

    // No hold: t1 - t3 + t5 = (af - a0)/j and t1 + t3 + t5 = duration fix t3; the gain
    // (2·a1² - a0² - 2·a3² + af²)/(2j) with a3 = a1 - j·t3 is then linear in a1, with slope
    // 2·t3. For a short t3 that makes a1 ill-conditioned, so it is kept where the ramps fit
    // as long as the gain stays right to within rounding.
    const double t3 = (duration - (af - a0) / j) / 2.0;
    if (t3 > 0.0) {
        const double exact = (2.0 * j * gain + a0 * a0 - af * af) / (4.0 * j * t3) + j * t3 / 2.0;
        const double lowest = std::max(a0, -a_max + j * t3);
        const double highest = std::min(af + j * t3, a_max);
        const double a1 = std::clamp(exact, std::min(lowest, highest), highest);
        const double a3 = a1 - j * t3;
        const double t1 = (a1 - a0) / j;
        const double t5 = (af - a3) / j;
        if (fits(t1, 0.0, t3, 0.0, t5, a1, a3) && 2.0 * t3 * std::abs(a1 - exact) <= velocity_slack) {
            return phases(t1, 0.0, t3, 0.0, t5);
        }
    }
    // Holding the peak at the limit: the gain leaves j·t3² = a·K + (af² - a0²)/(2j) - gain,
    // with K = t2 + 2·t3 fixed by the duration.
    {
        const double t1 = (a_max - a0) / j;
        const double k = duration - t1 - (af - a_max) / j;
        const double square = (a_max * k + (af * af - a0 * a0) / (2.0 * j) - gain) / j;
        if (square >= -velocity_slack / j) {
            const double t3_held = std::sqrt(std::max(square, 0.0));
            const double t2 = k - 2.0 * t3_held;
            const double a3 = a_max - j * t3_held;
            const double t5 = (af - a3) / j;
            if (fits(t1, t2, t3_held, 0.0, t5, a_max, a3)) {
                return phases(t1, t2, t3_held, 0.0, t5);
            }
        }
    }
    // Holding the valley at the limit: j·t1² + 2·(a0 + a)·t1 + c = 0, with t4 = K - 2·t1.
    {
        const double b = a0 + a_max;
        const double k = duration - (a0 + a_max) / j - (af + a_max) / j;
        const double c = (a0 * a0 + af * af - 2.0 * a_max * a_max) / (2.0 * j) - a_max * k - gain;
        const double discriminant = b * b - j * c;
        if (discriminant >= -j * velocity_slack) {
            const double root = std::sqrt(std::max(discriminant, 0.0));
            const double t1 = b + root > 0.0 ? -c / (b + root) : 0.0;
            const double t4 = k - 2.0 * t1;
            const double a1 = a0 + j * t1;
            if (fits(t1, 0.0, (a1 + a_max) / j, t4, (af + a_max) / j, a1, -a_max)) {
                return phases(t1, 0.0, (a1 + a_max) / j, t4, (af + a_max) / j);
            }
        }
    }
    // Holding both: the ramps are fixed, the holds share the remaining time and the gain.
    {
        const double t1 = (a_max - a0) / j;
        const double t3_both = 2.0 * a_max / j;
        const double t5 = (af + a_max) / j;
        const double sum = duration - t1 - t3_both - t5;
        const double difference = (gain - (af * af - a0 * a0) / (2.0 * j)) / a_max;
        const double t2 = (sum + difference) / 2.0;
        const double t4 = (sum - difference) / 2.0;
        if (fits(t1, t2, t3_both, t4, t5, a_max, -a_max)) {
            return phases(t1, t2, t3_both, t4, t5);
        }
    }
    // At the shortest duration that reaches the target's velocity and acceleration the cases
    // meet, and their equations lose their precision; the shortest change is the motion.
    const JerkPhases shortest =
        velocity_change(from.velocity, from.acceleration, to.velocity, to.acceleration, a_max, j);
    if (std::abs(duration - shortest.duration()) > time_slack) {
        return std::nullopt;
    }
    Ramps ramps {0.0, 0.0, 0.0, 0.0, 0.0};
    bool turned = false;
    for (std::size_t i = 0; i < shortest.size(); ++i) {
        const JerkPhase& phase = shortest[i];
        turned = turned || phase.jerk < 0.0;
        double& slot = phase.jerk > 0.0 ? (turned ? ramps.rise : ramps.up)
                       : phase.jerk < 0.0 ? ramps.down
                                          : (turned ? ramps.valley : ramps.peak);
        slot = phase.duration;
    }
    return ramps;
}

}  // namespace velmor::planning
