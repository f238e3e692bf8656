#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include <velmor/motion/mirava.hpp>

namespace velmor::drivers {

//! Shows the simulated robot in Mirava: holds the client and sends the commanded
//! position every `update_interval` control cycles of a motion.
//!
//! `mutex` guards the client, which callers replace from any thread; `connected`
//! mirrors whether there is one, so that a cycle without a client takes no lock.
//! The cycle counter belongs to the thread that runs the cycles.
class MiravaMirror {
public:
    //! Mirava updates per second of control time that a mirror aims at.
    static constexpr double updates_per_second {60.0};

    //! A mirror for cycles of `delta_time` [s]. A driver that `syncs` with Mirava connects
    //! a client of its own and updates it at updates_per_second; otherwise every cycle is
    //! mirrored to a client set by hand.
    MiravaMirror(double delta_time, bool syncs);

    //! Whether the driver connects a client of its own.
    [[nodiscard]] bool syncs() const { return sync; }
    //! Control cycles from one Mirava update to the next.
    [[nodiscard]] std::uint64_t update_interval() const { return interval; }
    //! The client (empty when none).
    [[nodiscard]] std::shared_ptr<velmor::Mirava> client() const;
    //! Replaces the client; a motion's cycles mirror positions whenever one is set.
    void set_client(std::shared_ptr<velmor::Mirava> new_client);
    //! Whether a client is set.
    [[nodiscard]] bool has_client() const { return connected.load(); }

    //! Counts cycles from the start of a motion, whose first cycle is mirrored.
    void restart() { cycle_counter = 0; }
    //! One cycle's commanded `position`: sent on every update_interval-th cycle.
    void on_cycle(const std::vector<double>& position);

private:
    const bool sync;
    std::uint64_t interval {1};

    mutable std::mutex mutex;
    std::shared_ptr<velmor::Mirava> mirava;
    std::atomic<bool> connected {false};

    std::uint64_t cycle_counter {0};
};

}  // namespace velmor::drivers
