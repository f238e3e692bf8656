#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <velmor/motion/sample_column.hpp>
#include <velmor/motion/state.hpp>

namespace velmor {

//! A sampled joint-space motion.
//!
//! Invariants, checked when a trajectory is built from samples: times, positions,
//! velocities and accelerations have one entry per sample; every sample has one
//! value per joint; the first time is 0 and times rise strictly; the duration is
//! the last time (0 for an empty trajectory). Positions, velocities and accelerations
//! are each held in one block (a SampleColumn), not one vector per sample.
class Trajectory {
public:
    //! Identifier, copied along but never interpreted.
    std::string id;
    //! Name of the motion this trajectory was planned for, copied along.
    std::string motion;

    //! An empty trajectory: no samples, no joints, duration 0.
    Trajectory() = default;
    //! From samples; throws VelmorError (module "trajectory") naming the broken invariant.
    Trajectory(std::vector<double> times, std::vector<std::vector<double>> positions,
               std::vector<std::vector<double>> velocities, std::vector<std::vector<double>> accelerations);
    //! From columns, which must have as many samples as `times` and equally many joints;
    //! throws VelmorError (module "trajectory") naming the broken invariant.
    Trajectory(std::vector<double> times, SampleColumn positions, SampleColumn velocities,
               SampleColumn accelerations);

    //! Number of joints.
    [[nodiscard]] std::size_t degrees_of_freedom() const { return dof; }
    //! Time of the last sample [s].
    [[nodiscard]] double duration() const { return times_.empty() ? 0.0 : times_.back(); }
    //! Number of samples.
    [[nodiscard]] std::size_t size() const { return times_.size(); }
    [[nodiscard]] bool empty() const { return times_.empty(); }

    //! Sample times [s], strictly ascending from 0.
    [[nodiscard]] const std::vector<double>& times() const { return times_; }
    //! Positions per sample: positions()[k][j] is joint j at sample k.
    [[nodiscard]] const SampleColumn& positions() const { return positions_; }
    [[nodiscard]] const SampleColumn& velocities() const { return velocities_; }
    [[nodiscard]] const SampleColumn& accelerations() const { return accelerations_; }

    //! The state of sample `index`; throws VelmorError when out of range.
    [[nodiscard]] State at(std::size_t index) const;
    //! The state of the first sample; throws VelmorError when empty.
    [[nodiscard]] State front() const;
    //! The state of the last sample; throws VelmorError when empty.
    [[nodiscard]] State back() const;

    //! A copy of `count` samples from `start`, clipped to the end (empty when
    //! `start` is past the end). Times are shifted so that the first copied
    //! sample is at 0: a sample at t becomes t - times()[start].
    [[nodiscard]] Trajectory slice(std::size_t start, std::size_t count) const;

    //! Joins `other` behind this trajectory. The two meet in one sample: other's
    //! first sample lands on this trajectory's last one and is dropped, so the
    //! meeting state is this trajectory's last sample; other's later samples
    //! follow with their times shifted by this duration (t becomes duration() + t).
    //! Appending to an empty trajectory copies `other`; appending an empty one
    //! changes nothing. Throws VelmorError when the numbers of joints differ.
    void append(const Trajectory& other);

private:
    std::size_t dof {0};
    std::vector<double> times_;
    SampleColumn positions_;
    SampleColumn velocities_;
    SampleColumn accelerations_;
};

}  // namespace velmor
