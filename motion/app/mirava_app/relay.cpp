#include "mirava_app/relay.hpp"

#include <algorithm>

#include "mirava_app/protocol.hpp"
#include "mirava_app/sessions.hpp"

namespace velmor::mirava_app {

Relay::Relay(std::string robot_name, std::size_t joint_count)
    : robot_name(std::move(robot_name)), joint_count(joint_count) {}

void Relay::add_page(const std::shared_ptr<PageSession>& page) {
    std::erase_if(pages, [](const auto& weak) { return weak.expired(); });
    pages.push_back(page);
    page->send(std::make_shared<const std::string>(status_message(robot_name, drivers > 0)), false);
    if (newest) {
        page->send(newest, true);
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
    // Only the newest position survives until the next publish; older ones are never sent.
    newest = std::make_shared<const std::string>(joint_position_message(message.position));
    fresh = true;
    ++accepted;
    if (on_position) {
        on_position();
    }
    return {};
}

void Relay::publish() {
    if (!fresh) {
        return;
    }
    fresh = false;
    std::erase_if(pages, [](const auto& weak) { return weak.expired(); });
    for (const auto& weak : pages) {
        if (const auto page = weak.lock()) {
            page->send(newest, true);
        }
    }
}

void Relay::send_status() {
    const auto status = std::make_shared<const std::string>(status_message(robot_name, drivers > 0));
    std::erase_if(pages, [](const auto& weak) { return weak.expired(); });
    for (const auto& weak : pages) {
        if (const auto page = weak.lock()) {
            page->send(status, false);
        }
    }
}

}  // namespace velmor::mirava_app
