#include "mirava_app/relay.hpp"

#include <algorithm>

#include "mirava_app/protocol.hpp"
#include "mirava_app/sessions.hpp"

namespace velmor::mirava_app {

Relay::Relay(std::shared_ptr<Robot> robot, const std::map<std::string, Shape>& obstacles)
    : robot(robot),
      joint_count(robot->get_degrees_of_freedom()),
      collisions(robot, obstacles),
      obstacles(std::make_shared<const std::string>(obstacles_message(obstacles))) {}

void Relay::add_page(const std::shared_ptr<PageSession>& page) {
    std::erase_if(pages, [](const auto& weak) { return weak.expired(); });
    pages.push_back(page);
    page->send(std::make_shared<const std::string>(status_message(robot->name, drivers > 0)), false);
    page->send(obstacles, false);
    if (const auto message = newest_message()) {
        page->send(message, true);
    }
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
    broadcast(newest_message(), true);
}

void Relay::show_obstacles(const std::map<std::string, Shape>& shown) {
    collisions = CollisionModel(robot, shown);
    obstacles = std::make_shared<const std::string>(obstacles_message(shown));
    broadcast(obstacles, false);
}

std::shared_ptr<const std::string> Relay::newest_message() {
    if (!newest && !latest.empty()) {
        newest = std::make_shared<const std::string>(joint_position_message(latest, collisions.links_in_contact(latest)));
    }
    return newest;
}

void Relay::send_status() {
    broadcast(std::make_shared<const std::string>(status_message(robot->name, drivers > 0)), false);
}

void Relay::broadcast(const std::shared_ptr<const std::string>& message, bool is_position) {
    std::erase_if(pages, [](const auto& weak) { return weak.expired(); });
    for (const auto& weak : pages) {
        if (const auto page = weak.lock()) {
            page->send(message, is_position);
        }
    }
}

}  // namespace velmor::mirava_app
