#include "mirava_app/server.hpp"

#include <chrono>
#include <cmath>
#include <future>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/robots.hpp>
#include <velmor/motion/scene_json.hpp>
#include <velmor/motion/urdf.hpp>
#include <velmor/net/listener.hpp>

#include "mirava_app/http_session.hpp"
#include "mirava_app/robot_model.hpp"
#include "mirava_app/shared_state.hpp"

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

// A built-in model by name, or the arm a robot description file (".urdf") describes.
std::shared_ptr<Robot> make_robot(const std::string& name) {
    const bool description = std::filesystem::path(name).extension() == ".urdf";
    try {
        return description ? std::shared_ptr<Robot>(robots::from_urdf(name)) : robots::make(name);
    } catch (const VelmorError& error) {
        throw VelmorError("mirava", (description ? "Cannot show the robot description '" : "Unknown robot '") + name +
                                        "': " + error.message);
    }
}

// The scene file's obstacles; without one, those recorded with a replayed run, else none.
std::map<std::string, Shape> scene_obstacles(const std::filesystem::path& scene, const std::optional<Replay>& replay) {
    if (scene.empty()) {
        return replay ? replay->obstacles : std::map<std::string, Shape> {};
    }
    try {
        return load_scene_file(scene.string());
    } catch (const VelmorError& error) {
        throw VelmorError("mirava", "Cannot show the scene: " + error.message);
    }
}

}  // namespace

struct Server::Impl {
    explicit Impl(const ServerOptions& options) {
        const auto robot = make_robot(options.robot);
        const auto address = listening_address(options);
        auto model = robot_model(robot);
        const auto obstacles = scene_obstacles(options.scene, options.replay);
        state = std::make_shared<SharedState>(
            Site {options.web_root, std::move(model.json), std::move(model.meshes),
                  checked_replay(options.replay, *robot), view_json(options.replay.has_value(), obstacles),
                  AllowedHosts(address, {})},
            robot, obstacles);
        update_interval = checked_interval(options.update_interval);
        state->relay().on_position = [this]() { schedule_publish(); };
        listener = std::make_shared<Listener>(
            io, [state = state](tcp::socket socket) { std::make_shared<HttpSession>(std::move(socket), state)->run(); },
            Listener::ErrorHandler {});
        if (const auto ec = listener->listen(tcp::endpoint(address, options.port))) {
            throw VelmorError("mirava", "Cannot listen on " + options.host + ":" + std::to_string(options.port) +
                                            ": " + ec.message() + ".");
        }
        port = listener->port();
        listener->run();
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
            state->relay().publish();
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
            state->relay().publish();
        });
    }

    // Before the I/O context, so that it outlives the sessions that its handlers own.
    std::shared_ptr<SharedState> state;
    std::chrono::steady_clock::duration update_interval {};
    // The members below are used on the I/O thread only.
    std::chrono::steady_clock::time_point last_publish {};
    bool tick_armed = false;
    asio::io_context io;
    asio::steady_timer tick {io};
    std::shared_ptr<Listener> listener;
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
        impl->listener->stop();
        impl->tick.cancel();
        impl->io.stop();
    });
}

void Server::publish_now() {
    std::promise<void> done;
    asio::post(impl->io, [this, &done]() {
        impl->state->relay().publish();
        done.set_value();
    });
    done.get_future().wait();
}

std::uint64_t Server::accepted_positions() const {
    return impl->state->relay().accepted;
}

std::uint64_t Server::refused_messages() const {
    return impl->state->relay().refused;
}

}  // namespace velmor::mirava_app
