#include "collision/distance.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace velmor::collision {

double segment_segment_distance(const Eigen::Vector3d& p0, const Eigen::Vector3d& p1, const Eigen::Vector3d& q0,
                                const Eigen::Vector3d& q1) {
    // Closest points p0 + s·d1 and q0 + t·d2: minimise over s first for the infinite
    // lines, then clamp into the segments, refitting the other parameter each time.
    const Eigen::Vector3d d1 = p1 - p0;
    const Eigen::Vector3d d2 = q1 - q0;
    const Eigen::Vector3d r = p0 - q0;
    const double a = d1.squaredNorm();
    const double e = d2.squaredNorm();
    const double f = d2.dot(r);
    constexpr double tiny = 1e-18;
    double s = 0.0;
    double t = 0.0;
    if (a <= tiny && e <= tiny) {
        return r.norm();
    }
    if (a <= tiny) {
        t = std::clamp(f / e, 0.0, 1.0);
    } else {
        const double c = d1.dot(r);
        if (e <= tiny) {
            s = std::clamp(-c / a, 0.0, 1.0);
        } else {
            const double b = d1.dot(d2);
            const double denominator = a * e - b * b;
            // Parallel segments have no single closest pair; any s will do, so take 0.
            s = denominator > tiny * a * e ? std::clamp((b * f - c * e) / denominator, 0.0, 1.0) : 0.0;
            t = (b * s + f) / e;
            if (t < 0.0) {
                t = 0.0;
                s = std::clamp(-c / a, 0.0, 1.0);
            } else if (t > 1.0) {
                t = 1.0;
                s = std::clamp((b - c) / a, 0.0, 1.0);
            }
        }
    }
    return (p0 + s * d1 - (q0 + t * d2)).norm();
}

double segment_point_distance(const Eigen::Vector3d& p0, const Eigen::Vector3d& p1, const Eigen::Vector3d& c) {
    const Eigen::Vector3d d = p1 - p0;
    const double length2 = d.squaredNorm();
    const double t = length2 > 0.0 ? std::clamp((c - p0).dot(d) / length2, 0.0, 1.0) : 0.0;
    return (p0 + t * d - c).norm();
}

double segment_box_distance(const Eigen::Vector3d& p0, const Eigen::Vector3d& p1, const Eigen::Vector3d& half) {
    // Along the segment the squared distance is a quadratic in t between the points
    // where a coordinate crosses a face plane: minimise each piece exactly.
    const Eigen::Vector3d d = p1 - p0;
    std::array<double, 8> cuts {};
    std::size_t count = 0;
    cuts[count++] = 0.0;
    for (int i = 0; i < 3; ++i) {
        if (d[i] == 0.0) {
            continue;
        }
        for (const double face : {-half[i], half[i]}) {
            const double t = (face - p0[i]) / d[i];
            if (t > 0.0 && t < 1.0) {
                cuts[count++] = t;
            }
        }
    }
    cuts[count++] = 1.0;
    // At most eight values: an insertion sort.
    for (std::size_t i = 1; i < count; ++i) {
        for (std::size_t k = i; k > 0 && cuts[k - 1] > cuts[k]; --k) {
            std::swap(cuts[k - 1], cuts[k]);
        }
    }
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k + 1 < count; ++k) {
        const double t0 = cuts[k];
        const double t1 = cuts[k + 1];
        const double middle = (t0 + t1) / 2;
        // Coefficients of A t² + B t + C, summed over the coordinates outside their slab.
        double a = 0.0;
        double b = 0.0;
        double c = 0.0;
        for (int i = 0; i < 3; ++i) {
            const double x = p0[i] + middle * d[i];
            if (x > half[i] || x < -half[i]) {
                const double offset = p0[i] - (x > 0.0 ? half[i] : -half[i]);
                a += d[i] * d[i];
                b += 2.0 * offset * d[i];
                c += offset * offset;
            }
        }
        const double t = a > 0.0 ? std::clamp(-b / (2.0 * a), t0, t1) : t0;
        best = std::min(best, std::max(0.0, (a * t + b) * t + c));
    }
    return std::sqrt(best);
}

namespace {

double point_cylinder_distance(const Eigen::Vector3d& p, double radius, double half_length) {
    // Plain square roots: lengths of a robot cell neither overflow nor underflow, and
    // std::hypot's care for that costs several times as much in this innermost loop.
    const double radial = std::max(std::sqrt(p.x() * p.x() + p.y() * p.y()) - radius, 0.0);
    const double axial = std::max(std::abs(p.z()) - half_length, 0.0);
    return std::sqrt(radial * radial + axial * axial);
}

}  // namespace

double segment_cylinder_distance(const Eigen::Vector3d& p0, const Eigen::Vector3d& p1, double radius,
                                 double half_length) {
    // The distance to a convex solid is convex along a line, so a golden-section search
    // finds its least value; the bracket left over bounds the error through the slope,
    // which is at most the segment's length.
    const Eigen::Vector3d d = p1 - p0;
    const auto at = [&](double t) { return point_cylinder_distance(p0 + t * d, radius, half_length); };
    constexpr double ratio = 0.6180339887498949;
    constexpr int steps = 60;
    double low = 0.0;
    double high = 1.0;
    double left = high - ratio * (high - low);
    double right = low + ratio * (high - low);
    double f_left = at(left);
    double f_right = at(right);
    for (int i = 0; i < steps; ++i) {
        if (f_left <= f_right) {
            high = right;
            right = left;
            f_right = f_left;
            left = high - ratio * (high - low);
            f_left = at(left);
        } else {
            low = left;
            left = right;
            f_left = f_right;
            right = low + ratio * (high - low);
            f_right = at(right);
        }
    }
    const double found = std::min({f_left, f_right, at(0.0), at(1.0)});
    return std::max(0.0, found - d.norm() * (high - low));
}

}  // namespace velmor::collision
