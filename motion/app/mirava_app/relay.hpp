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

//! A message to pages about one thing, named by its key ("status", "obstacles" or
//! "joint_position"): a page that has not been sent a message yet gets a newer one
//! about the same key instead.
struct PageFrame {
    //! What the message is about.
    std::string key;
    //! The message's text.
    std::shared_ptr<const std::string> text;
};

//! What connects drivers to pages: the newest joint position, the obstacles around
//! the robot and the number of connected drivers. Used on the server's I/O thread
//! only, except for the counters.
class Relay {
public:
    //! Sends a message to every open page.
    using Broadcast = std::function<void(const PageFrame&)>;

    //! For `robot` among `obstacles` (a driver may send others later), telling the
    //! pages through `broadcast`; throws VelmorError for an invalid obstacle.
    Relay(std::shared_ptr<Robot> robot, const std::map<std::string, Shape>& obstacles, Broadcast broadcast);

    //! What a page gets when it opens: the status, the obstacles and the newest position.
    [[nodiscard]] std::vector<PageFrame> opening_frames();
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
    [[nodiscard]] PageFrame status() const;

    std::shared_ptr<Robot> robot;
    Broadcast broadcast;
    std::size_t joint_count;
    CollisionModel collisions;
    std::shared_ptr<const std::string> obstacles;
    std::vector<double> latest;
    std::shared_ptr<const std::string> newest;
    bool fresh = false;
    int drivers = 0;
};

}  // namespace velmor::mirava_app
