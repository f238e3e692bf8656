#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::mirava_app {

class PageSession;

//! What connects drivers to pages: the newest joint position, the open pages and
//! the number of connected drivers. Used on the server's I/O thread only, except
//! for the counters.
class Relay {
public:
    //! For a robot named `robot_name` with `joint_count` joints.
    Relay(std::string robot_name, std::size_t joint_count);

    //! Registers an opened page and sends it the status and the newest position.
    void add_page(const std::shared_ptr<PageSession>& page);
    //! A driver client connected.
    void driver_joined();
    //! A driver client went away.
    void driver_left();
    //! Takes one message of a driver; returns why it was refused, or "" when it was accepted.
    std::string offer(std::string_view text);
    //! Sends the newest position to every page, if it changed since the last call.
    void publish();

    //! Called after a position was accepted, so that the owner schedules a publish().
    std::function<void()> on_position;

    //! Number of joint positions accepted from drivers.
    std::atomic<std::uint64_t> accepted {0};
    //! Number of driver messages refused.
    std::atomic<std::uint64_t> refused {0};

private:
    void send_status();

    std::string robot_name;
    std::size_t joint_count;
    std::vector<std::weak_ptr<PageSession>> pages;
    std::shared_ptr<const std::string> newest;
    bool fresh = false;
    int drivers = 0;
};

}  // namespace velmor::mirava_app
