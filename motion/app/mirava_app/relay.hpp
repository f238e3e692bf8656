#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <velmor/motion/collision.hpp>
#include <velmor/motion/robot.hpp>
#include <velmor/motion/shapes.hpp>

namespace velmor::mirava_app {

class PageSession;

//! What connects drivers to pages: the newest joint position, the obstacles around
//! the robot, the open pages and the number of connected drivers. Used on the
//! server's I/O thread only, except for the counters.
class Relay {
public:
    //! For `robot` among `obstacles` (a driver may send others later); throws
    //! VelmorError for an invalid obstacle.
    Relay(std::shared_ptr<Robot> robot, const std::map<std::string, Shape>& obstacles);

    //! Registers an opened page and sends it the status, the obstacles and the newest position.
    void add_page(const std::shared_ptr<PageSession>& page);
    //! A driver client connected.
    void driver_joined();
    //! A driver client went away.
    void driver_left();
    //! Takes one message of a driver, a position or obstacles; returns why it was
    //! refused, or "" when it was accepted. New obstacles go to every page at once.
    std::string offer(std::string_view text);
    //! Sends the newest position, with the links in contact there, to every page if
    //! the position or the obstacles changed since the last call.
    void publish();

    //! Called after a position was accepted, so that the owner schedules a publish().
    std::function<void()> on_position;

    //! Number of joint positions accepted from drivers.
    std::atomic<std::uint64_t> accepted {0};
    //! Number of driver messages refused.
    std::atomic<std::uint64_t> refused {0};

private:
    void send_status();
    void show_obstacles(const std::map<std::string, Shape>& obstacles);
    //! The page message of the newest position, made when first asked for.
    std::shared_ptr<const std::string> newest_message();
    //! Sends `message` to every open page.
    void broadcast(const std::shared_ptr<const std::string>& message, bool is_position);

    std::shared_ptr<Robot> robot;
    std::size_t joint_count;
    CollisionModel collisions;
    std::shared_ptr<const std::string> obstacles;
    std::vector<std::weak_ptr<PageSession>> pages;
    std::vector<double> latest;
    std::shared_ptr<const std::string> newest;
    bool fresh = false;
    int drivers = 0;
};

}  // namespace velmor::mirava_app
