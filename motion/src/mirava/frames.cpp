#include "mirava/client.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include <velmor/motion/scene_json.hpp>

namespace velmor {

namespace {

void append_number(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char digits[32];
    const auto result = std::to_chars(std::begin(digits), std::end(digits), value);
    out.append(digits, result.ptr);
}

void format_frame(std::string& out, const std::vector<double>& joint_position, const std::shared_ptr<Robot>& robot) {
    out.assign(R"({"type":"joint_position","position":[)");
    for (std::size_t i = 0; i < joint_position.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        append_number(out, joint_position[i]);
    }
    out += ']';
    if (robot) {
        out += R"(,"robot":)";
        out += nlohmann::json(robot->name).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    out += '}';
}

}  // namespace

void Mirava::Impl::send(const std::vector<double>& joint_position, const std::shared_ptr<Robot>& robot) {
    std::string warning;
    {
        const std::lock_guard lock(mutex);
        if (state != LinkState::Up) {
            if (state != LinkState::Connecting && !warned) {
                warned = true;
                warning = "[velmor.mirava] Not connected to Mirava at " + address_text +
                          "; joint positions are dropped until the next reconnect.\n";
            }
        } else {
            // Reuses the capacity of earlier frames, so that a steady stream allocates nothing.
            format_frame(pending, joint_position, robot);
            has_pending = true;
            mark_obstacles_if_changed();
            wake_pump();
        }
    }
    if (!warning.empty()) {
        std::fputs(warning.c_str(), stderr);
    }
}

void Mirava::Impl::show(std::shared_ptr<const Environment> shown) {
    const std::lock_guard lock(mutex);
    showing = true;
    environment = std::move(shown);
    obstacles_queued.reset();
    if (state == LinkState::Up) {
        mark_obstacles_if_changed();
        wake_pump();
    }
}

void Mirava::Impl::mark_obstacles_if_changed() {
    // The pump copies the obstacles after this reads the revision, so it never misses a
    // change: at worst the same obstacles go out twice.
    const std::uint64_t revision = environment ? environment->obstacles_revision() : 0;
    if (!showing || obstacles_queued == revision) {
        return;
    }
    obstacles_wanted = true;
    obstacles_queued = revision;
}

void Mirava::Impl::wake_pump() {
    if (!pump_active) {
        pump_active = true;
        asio::post(io, [this]() { pump(); });
    }
}

void Mirava::Impl::pump() {
    const auto writing = connection;
    std::shared_ptr<const Environment> scene_source;
    bool obstacles_next = false;
    {
        const std::lock_guard lock(mutex);
        if (!writing || state != LinkState::Up || (!has_pending && !obstacles_wanted)) {
            pump_active = false;
            return;
        }
        // Obstacles go first: the positions that follow may touch them. The frame sent
        // before hands its capacity to the next one.
        obstacles_next = obstacles_wanted;
        if (obstacles_next) {
            obstacles_wanted = false;
            scene_source = environment;
        } else {
            std::swap(writing->frame_in_flight, pending);
            has_pending = false;
        }
    }
    if (obstacles_next) {
        // Built here rather than under `mutex`: copying and serialising the obstacles is slow,
        // and the driver's control cycle takes that lock to queue each position.
        try {
            const std::string scene =
                scene_to_json(scene_source ? scene_source->obstacles() : std::map<std::string, Shape> {});
            // The scene is an object; the frame is the same object with its type in front.
            obstacles_frame.assign(R"({"type":"obstacles",)");
            obstacles_frame.append(scene, 1);
            if (obstacles_frame.size() > max_message_bytes) {
                throw std::length_error("their message of " + std::to_string(obstacles_frame.size()) +
                                        " bytes exceeds the application's limit of " +
                                        std::to_string(max_message_bytes) + " bytes");
            }
        } catch (const std::exception& error) {
            // An exception would end the I/O thread; the positions still go out without the obstacles.
            const std::string warning =
                std::string("[velmor.mirava] Could not send the obstacles: ") + error.what() + "\n";
            std::fputs(warning.c_str(), stderr);
            pump();
            return;
        }
        const std::lock_guard lock(mutex);
        // A reconnect may have begun meanwhile; it sends the obstacles anew once it is up.
        if (state != LinkState::Up) {
            pump_active = false;
            return;
        }
        std::swap(writing->frame_in_flight, obstacles_frame);
    }
    writing->ws.async_write(asio::buffer(writing->frame_in_flight),
                            [this, writing](const beast::error_code& error, std::size_t) {
                                if (writing != connection) {
                                    return;
                                }
                                if (error) {
                                    lose(writing, error);
                                    return;
                                }
                                pump();
                            });
}

void Mirava::set_joint_position(const std::vector<double>& joint_position,
                                const std::shared_ptr<Robot>& robot) const {
    impl->send(joint_position, robot);
}

void Mirava::set_environment(std::shared_ptr<const Environment> environment) {
    impl->show(std::move(environment));
}

}  // namespace velmor
