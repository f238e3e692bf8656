#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include <velmor/motion/environment.hpp>
#include <velmor/motion/robot.hpp>

namespace velmor {

//! Client of the Mirava visualisation application.
//!
//! Transport: one WebSocket to the application, at 127.0.0.1:8768 unless the
//! environment variable VELMOR_MIRAVA_ADDRESS gives another "host:port" (read at
//! every reconnect). The client opens the path "/driver", which tells the
//! application that a driver (not a browser page) is speaking. It sends text
//! frames holding one JSON object each and expects nothing back:
//!
//!   {"type": "joint_position", "position": [0.0, -1.5707963267948966, ...]}
//!   {"type": "joint_position", "position": [...], "robot": "<robot name>"}
//!
//! "position" holds one number per joint [rad] (a non-finite value is sent as
//! null, which the application refuses); "robot" is present only when a robot
//! was passed to set_joint_position.
//!
//! A client shown an environment (set_environment) also sends its obstacles, as
//! a scene (scene_json.hpp) with a type:
//!
//!   {"type": "obstacles", "obstacles": [{"name": "table", "shape": "box", ...}, ...]}
//!
//! first thing on every connection, and again with the next position after the
//! obstacles changed. Such a frame is never dropped for a newer position; a
//! newer set of obstacles replaces one not yet sent.
//!
//! One background thread, owned by the client, does all network I/O; callers
//! only hand it frames. Only the newest unsent frame is kept: when the
//! application reads slowly, older positions are dropped. When the connection
//! is lost, or was never made, frames are dropped and one warning line
//! "[velmor.mirava] ..." goes to standard error until the next reconnect.
class Mirava {
public:
    //! The largest message [bytes] the Mirava application reads from a driver; a
    //! larger one would end the connection, so the client never sends one.
    static constexpr std::size_t max_message_bytes = std::size_t {1} << 20;

    //! Connects at once when `auto_connect`, waiting at most `timeout` [s];
    //! throws VelmorError (module "mirava") when that fails.
    explicit Mirava(bool auto_connect = true, double timeout = 2.0);
    //! Closes the connection (waiting at most 0.2 s for the application) and joins the thread.
    ~Mirava();
    Mirava(const Mirava&) = delete;
    Mirava& operator=(const Mirava&) = delete;

    //! (Re)connects, retrying for at most `timeout` [s] while nothing answers;
    //! throws VelmorError (module "mirava", naming the address) when that fails.
    //! Positions not yet sent over the previous connection are dropped.
    void reconnect(double timeout);
    //! Shows `joint_position` [rad]; never blocks on the network and never throws.
    //! `robot` may be empty; otherwise its name is sent along.
    void set_joint_position(const std::vector<double>& joint_position, const std::shared_ptr<Robot>& robot) const;
    //! Shows the obstacles of `environment` (empty: none): sent at once when connected,
    //! after every (re)connect, and whenever they have changed by the next position.
    void set_environment(std::shared_ptr<const Environment> environment);

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace velmor
