#include "mirava_app/server.hpp"

#include <chrono>
#include <cmath>
#include <future>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <velmor/motion/local_server.hpp>
#include <velmor/motion/robots.hpp>
#include <velmor/motion/scene_json.hpp>
#include <velmor/common/velmor_error.hpp>

#include "mirava_app/relay.hpp"
#include "mirava_app/robot_model.hpp"
#include "mirava_app/sessions.hpp"

namespace velmor::mirava_app {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

namespace {

std::chrono::steady_clock::duration checked_interval(double seconds) {
    if (!(seconds >= 0.0) || !std::isfinite(seconds)) {
        throw VelmorError("mirava", "The update interval must be a finite number of seconds >= 0.");
    }
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

// The recorded joints must be joints of the robot shown.
std::string checked_replay(const std::optional<Replay>& replay, const Robot& robot) {
    if (!replay) {
        return "";
    }
    if (replay->joint_offset + replay->degrees_of_freedom > robot.get_degrees_of_freedom()) {
        throw VelmorError("mirava", "The recording holds joints " + std::to_string(replay->joint_offset + 1) + " to " +
                                        std::to_string(replay->joint_offset + replay->degrees_of_freedom) +
                                        ", but robot '" + robot.name + "' has " +
                                        std::to_string(robot.get_degrees_of_freedom()) + ".");
    }
    return replay->json;
}

asio::ip::address listening_address(const ServerOptions& options) {
    beast::error_code ec;
    const auto address = asio::ip::make_address(options.host, ec);
    if (ec) {
        throw VelmorError("mirava", "Cannot listen on " + options.host + ":" + std::to_string(options.port) + ": " +
                                        ec.message() + ".");
    }
    return address;
}

std::shared_ptr<Robot> make_robot(const std::string& name) {
    try {
        return robots::make(name);
    } catch (const VelmorError& error) {
        throw VelmorError("mirava", "Unknown robot '" + name + "': " + error.message);
    }
}

std::map<std::string, Shape> scene_obstacles(const std::filesystem::path& scene) {
    if (scene.empty()) {
        return {};
    }
    try {
        return load_scene_file(scene.string());
    } catch (const VelmorError& error) {
        throw VelmorError("mirava", "Cannot show the scene: " + error.message);
    }
}

}  // namespace

struct Server::Impl {
    explicit Impl(const ServerOptions& options)
        : robot(make_robot(options.robot)),
          address(listening_address(options)),
          site {options.web_root, robot_model_json(robot), checked_replay(options.replay, *robot),
                AllowedHosts(address, {})},
          relay(robot, scene_obstacles(options.scene)),
          update_interval(checked_interval(options.update_interval)) {
        try {
            const tcp::endpoint endpoint(address, options.port);
            acceptor.open(endpoint.protocol());
            acceptor.set_option(asio::socket_base::reuse_address(true));
            acceptor.bind(endpoint);
            acceptor.listen();
            port = acceptor.local_endpoint().port();
        } catch (const boost::system::system_error& error) {
            throw VelmorError("mirava", "Cannot listen on " + options.host + ":" + std::to_string(options.port) +
                                            ": " + error.code().message() + ".");
        }
        relay.on_position = [this]() { schedule_publish(); };
        accept_next();
    }

    void accept_next() {
        acceptor.async_accept([this](const beast::error_code& error, tcp::socket socket) {
            if (error == asio::error::operation_aborted || !acceptor.is_open()) {
                return;
            }
            if (is_out_of_resources(error)) {
                accept_pause.expires_after(accept_backoff);
                accept_pause.async_wait([this](const beast::error_code& wait_error) {
                    if (!wait_error) {
                        accept_next();
                    }
                });
                return;
            }
            if (!error) {
                prepare_accepted(socket);
                std::make_shared<HttpSession>(std::move(socket), relay, site)->run();
            }
            accept_next();
        });
    }

    // Publishes at once when the last publish is one interval ago, else when that interval
    // ends: a position waits at most one interval, and pages get at most one per interval.
    void schedule_publish() {
        if (update_interval == std::chrono::steady_clock::duration::zero() || tick_armed) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - last_publish >= update_interval) {
            last_publish = now;
            relay.publish();
            return;
        }
        tick_armed = true;
        tick.expires_at(last_publish + update_interval);
        tick.async_wait([this](const beast::error_code& error) {
            tick_armed = false;
            if (error) {
                return;
            }
            last_publish = std::chrono::steady_clock::now();
            relay.publish();
        });
    }

    std::shared_ptr<Robot> robot;
    asio::ip::address address;
    Site site;
    // Before the I/O context: the sessions its handlers own refer to these.
    Relay relay;
    std::chrono::steady_clock::duration update_interval;
    std::chrono::steady_clock::time_point last_publish {};
    bool tick_armed = false;
    asio::io_context io;
    tcp::acceptor acceptor {io};
    asio::steady_timer tick {io};
    asio::steady_timer accept_pause {io};
    std::uint16_t port = 0;
    std::thread thread;
};

Server::Server(const ServerOptions& options) : impl(std::make_unique<Impl>(options)) {}

Server::~Server() {
    stop();
    if (impl->thread.joinable()) {
        impl->thread.join();
    }
}

std::uint16_t Server::port() const {
    return impl->port;
}

void Server::run() {
    impl->io.run();
}

void Server::start() {
    impl->thread = std::thread([this]() { impl->io.run(); });
}

void Server::stop() {
    // Open WebSockets keep the context busy; stopping it drops them with the context.
    asio::post(impl->io, [impl = impl.get()]() {
        beast::error_code ignored;
        impl->acceptor.close(ignored);
        impl->tick.cancel();
        impl->accept_pause.cancel();
        impl->io.stop();
    });
}

void Server::publish_now() {
    std::promise<void> done;
    asio::post(impl->io, [this, &done]() {
        impl->relay.publish();
        done.set_value();
    });
    done.get_future().wait();
}

std::uint64_t Server::accepted_positions() const {
    return impl->relay.accepted;
}

std::uint64_t Server::refused_messages() const {
    return impl->relay.refused;
}

}  // namespace velmor::mirava_app
