#include "mirava_app/relay.hpp"

#include <utility>

#include "mirava_app/protocol.hpp"

namespace velmor::mirava_app {

Relay::Relay(std::shared_ptr<Robot> robot, const std::map<std::string, Shape>& obstacles, Broadcast broadcast)
    : robot(robot),
      broadcast(std::move(broadcast)),
      joint_count(robot->get_degrees_of_freedom()),
      collisions(robot, obstacles),
      obstacles(std::make_shared<const std::string>(obstacles_message(obstacles))) {}

std::vector<PageFrame> Relay::opening_frames() {
    std::vector<PageFrame> frames {status(), {"obstacles", obstacles}};
    if (auto message = newest_message()) {
        frames.push_back({"joint_position", std::move(message)});
    }
    return frames;
}

void Relay::driver_joined() {
    if (++drivers == 1) {
        send_status();
    }
}

void Relay::driver_left() {
    if (--drivers == 0) {
        send_status();
    }
}

std::string Relay::offer(std::string_view text) {
    auto message = parse_driver_message(text, joint_count);
    if (!message.error.empty()) {
        ++refused;
        return message.error;
    }
    if (message.obstacles) {
        show_obstacles(*message.obstacles);
    } else {
        latest = std::move(message.position);
        ++accepted;
    }
    // Only the newest position survives until the next publish; older ones are never sent.
    newest.reset();
    fresh = !latest.empty();
    if (fresh && on_position) {
        on_position();
    }
    return {};
}

void Relay::publish() {
    if (!fresh) {
        return;
    }
    fresh = false;
    broadcast({"joint_position", newest_message()});
}

void Relay::show_obstacles(const std::map<std::string, Shape>& shown) {
    collisions = CollisionModel(robot, shown);
    obstacles = std::make_shared<const std::string>(obstacles_message(shown));
    broadcast({"obstacles", obstacles});
}

std::shared_ptr<const std::string> Relay::newest_message() {
    if (!newest && !latest.empty()) {
        newest = std::make_shared<const std::string>(joint_position_message(latest, collisions.links_in_contact(latest)));
    }
    return newest;
}

void Relay::send_status() {
    broadcast(status());
}

PageFrame Relay::status() const {
    return {"status", std::make_shared<const std::string>(status_message(robot->name, drivers > 0))};
}

}  // namespace velmor::mirava_app
