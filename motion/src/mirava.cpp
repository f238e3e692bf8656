#include <velmor/motion/mirava.hpp>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/scene_json.hpp>

#include "mirava_address.hpp"

namespace velmor {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

// Pause between two connection attempts while nothing listens yet.
constexpr auto retry_interval = std::chrono::milliseconds(100);
// How long the destructor lets the application answer the closing handshake.
constexpr auto close_grace = std::chrono::milliseconds(200);

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

struct Connection {
    explicit Connection(asio::io_context& io) : ws(io) {}

    websocket::stream<beast::tcp_stream> ws;
    beast::flat_buffer read_buffer;
    std::string frame_in_flight;
};

// One connection attempt that retries until its deadline; lives on the I/O thread.
struct Attempt {
    Attempt(asio::io_context& io, HostPort address, Clock::time_point deadline)
        : resolver(io), deadline_timer(io), retry_timer(io), address(std::move(address)), deadline(deadline) {}

    tcp::resolver resolver;
    asio::steady_timer deadline_timer;
    asio::steady_timer retry_timer;
    HostPort address;
    Clock::time_point deadline;
    std::shared_ptr<Connection> connection;
    std::string last_error {"nothing answered"};
    std::promise<std::string> outcome;
    bool done = false;
};

enum class LinkState { NeverConnected, Connecting, Up, Lost };

}  // namespace

struct Mirava::Impl {
    Impl() : work(asio::make_work_guard(io)), thread([this]() { io.run(); }) {}

    ~Impl() {
        asio::post(io, [this]() { close_gracefully(); });
        work.reset();
        thread.join();
    }

    void reconnect(double timeout);
    void send(const std::vector<double>& joint_position, const std::shared_ptr<Robot>& robot);
    void show(std::shared_ptr<const Environment> shown);
    // Under `mutex`: asks the I/O thread for an obstacle frame when the obstacles changed since they were last asked for.
    void mark_obstacles_if_changed();
    // Under `mutex`: lets the I/O thread send what waits.
    void wake_pump();

    // I/O thread only.
    void start_attempt(const std::shared_ptr<Attempt>& attempt);
    void retry_or_fail(const std::shared_ptr<Attempt>& attempt, const beast::error_code& error);
    void finish_attempt(const std::shared_ptr<Attempt>& attempt, const std::string& failure);
    void read_next(const std::shared_ptr<Connection>& connection);
    void pump();
    void lose(const std::shared_ptr<Connection>& connection, const beast::error_code& error);
    void drop_connection();
    void close_gracefully();

    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work;

    // Serialises reconnect calls against each other.
    std::mutex reconnect_mutex;

    // Shared between callers and the I/O thread.
    std::mutex mutex;
    LinkState state = LinkState::NeverConnected;
    std::string address_text {"127.0.0.1:8768"};
    bool warned = false;
    bool has_pending = false;
    bool pump_active = false;
    std::string pending;
    // Whether set_environment was called: only then do obstacle frames go out.
    bool showing = false;
    std::shared_ptr<const Environment> environment;
    // The obstacle revision last asked for; empty when the obstacles must be sent anew.
    std::optional<std::uint64_t> obstacles_queued;
    // Whether the pump must build and send an obstacle frame before the next positions.
    bool obstacles_wanted = false;

    // I/O thread only.
    std::shared_ptr<Connection> connection;
    std::string obstacles_frame;

    // Last, so that it starts after every member it uses exists.
    std::thread thread;
};

void Mirava::Impl::reconnect(double timeout) {
    if (!(timeout >= 0.0) || !std::isfinite(timeout)) {
        throw VelmorError("mirava", "The connection timeout must be a finite number of seconds >= 0.");
    }
    const std::lock_guard reconnecting(reconnect_mutex);
    const HostPort address = mirava_address_from_environment();
    {
        const std::lock_guard lock(mutex);
        state = LinkState::Connecting;
        address_text = address.to_string();
        warned = false;
        has_pending = false;
        obstacles_wanted = false;
        obstacles_queued.reset();
    }
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
    auto attempt = std::make_shared<Attempt>(io, address, deadline);
    auto outcome = attempt->outcome.get_future();
    asio::post(io, [this, attempt]() {
        drop_connection();
        attempt->deadline_timer.expires_at(attempt->deadline);
        attempt->deadline_timer.async_wait([this, attempt](const beast::error_code& error) {
            if (!error) {
                finish_attempt(attempt, attempt->last_error);
            }
        });
        start_attempt(attempt);
    });
    const std::string failure = outcome.get();
    if (!failure.empty()) {
        throw VelmorError("mirava", "Could not connect to Mirava at " + address.to_string() + " within " +
                                        std::to_string(timeout) + " s: " + failure + ".");
    }
}

void Mirava::Impl::start_attempt(const std::shared_ptr<Attempt>& attempt) {
    attempt->connection = std::make_shared<Connection>(io);
    attempt->resolver.async_resolve(
        attempt->address.host, std::to_string(attempt->address.port),
        [this, attempt](const beast::error_code& error, const tcp::resolver::results_type& endpoints) {
            if (attempt->done) {
                return;
            }
            if (error) {
                retry_or_fail(attempt, error);
                return;
            }
            auto& stream = beast::get_lowest_layer(attempt->connection->ws);
            stream.async_connect(endpoints, [this, attempt](const beast::error_code& error, const tcp::endpoint&) {
                if (attempt->done) {
                    return;
                }
                if (error) {
                    retry_or_fail(attempt, error);
                    return;
                }
                auto& ws = attempt->connection->ws;
                beast::error_code ignored;
                // Each position is one small frame; none may wait for the acknowledgement of the one before.
                beast::get_lowest_layer(ws).socket().set_option(tcp::no_delay(true), ignored);
                beast::get_lowest_layer(ws).expires_never();
                ws.text(true);
                ws.async_handshake(attempt->address.to_string(), "/driver", [this, attempt](const beast::error_code& error) {
                    if (attempt->done) {
                        return;
                    }
                    if (error) {
                        retry_or_fail(attempt, error);
                        return;
                    }
                    finish_attempt(attempt, "");
                });
            });
        });
}

void Mirava::Impl::retry_or_fail(const std::shared_ptr<Attempt>& attempt, const beast::error_code& error) {
    attempt->last_error = error.message();
    beast::error_code ignored;
    beast::get_lowest_layer(attempt->connection->ws).socket().close(ignored);
    if (Clock::now() + retry_interval >= attempt->deadline) {
        finish_attempt(attempt, attempt->last_error);
        return;
    }
    attempt->retry_timer.expires_after(retry_interval);
    attempt->retry_timer.async_wait([this, attempt](const beast::error_code& error) {
        if (!error && !attempt->done) {
            start_attempt(attempt);
        }
    });
}

void Mirava::Impl::finish_attempt(const std::shared_ptr<Attempt>& attempt, const std::string& failure) {
    if (attempt->done) {
        return;
    }
    attempt->done = true;
    attempt->deadline_timer.cancel();
    attempt->retry_timer.cancel();
    attempt->resolver.cancel();
    if (failure.empty()) {
        connection = attempt->connection;
        {
            const std::lock_guard lock(mutex);
            state = LinkState::Up;
            pump_active = false;
            mark_obstacles_if_changed();
            if (obstacles_wanted) {
                wake_pump();
            }
        }
        read_next(connection);
    } else {
        beast::error_code ignored;
        beast::get_lowest_layer(attempt->connection->ws).socket().close(ignored);
        const std::lock_guard lock(mutex);
        state = LinkState::Lost;
    }
    attempt->outcome.set_value(failure);
}

void Mirava::Impl::read_next(const std::shared_ptr<Connection>& reading) {
    // Nothing is expected from the application; reading answers its pings and notices its going away.
    reading->ws.async_read(reading->read_buffer, [this, reading](const beast::error_code& error, std::size_t) {
        if (reading != connection) {
            return;
        }
        if (error) {
            lose(reading, error);
            return;
        }
        reading->read_buffer.clear();
        read_next(reading);
    });
}

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

void Mirava::Impl::lose(const std::shared_ptr<Connection>& lost, const beast::error_code& error) {
    connection.reset();
    beast::error_code ignored;
    beast::get_lowest_layer(lost->ws).socket().close(ignored);
    std::string warning;
    {
        const std::lock_guard lock(mutex);
        if (state != LinkState::Up) {
            return;
        }
        state = LinkState::Lost;
        has_pending = false;
        obstacles_wanted = false;
        pump_active = false;
        if (!warned) {
            warned = true;
            warning = "[velmor.mirava] Lost the connection to Mirava at " + address_text + " (" + error.message() +
                      "); joint positions are dropped until the next reconnect.\n";
        }
    }
    if (!warning.empty()) {
        std::fputs(warning.c_str(), stderr);
    }
}

void Mirava::Impl::drop_connection() {
    if (connection) {
        beast::error_code ignored;
        beast::get_lowest_layer(connection->ws).socket().close(ignored);
        connection.reset();
    }
    const std::lock_guard lock(mutex);
    pump_active = false;
}

void Mirava::Impl::close_gracefully() {
    const auto closing = connection;
    connection.reset();
    if (!closing) {
        return;
    }
    auto grace = std::make_shared<asio::steady_timer>(io, close_grace);
    grace->async_wait([closing](const beast::error_code& error) {
        if (!error) {
            beast::error_code ignored;
            beast::get_lowest_layer(closing->ws).socket().close(ignored);
        }
    });
    closing->ws.async_close(websocket::close_code::normal, [grace](const beast::error_code&) { grace->cancel(); });
}

Mirava::Mirava(bool auto_connect, double timeout) : impl(std::make_unique<Impl>()) {
    if (auto_connect) {
        impl->reconnect(timeout);
    }
}

Mirava::~Mirava() = default;

void Mirava::reconnect(double timeout) {
    impl->reconnect(timeout);
}

void Mirava::set_joint_position(const std::vector<double>& joint_position,
                                const std::shared_ptr<Robot>& robot) const {
    impl->send(joint_position, robot);
}

void Mirava::set_environment(std::shared_ptr<const Environment> environment) {
    impl->show(std::move(environment));
}

}  // namespace velmor
