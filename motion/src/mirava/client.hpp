#pragma once

// The Mirava client's inside, shared by its connection code (connection.cpp)
// and its sending code (frames.cpp). One I/O thread runs every network action.

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket.hpp>

#include <velmor/motion/mirava.hpp>
#include <velmor/net/host_port.hpp>

namespace velmor {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace mirava_client {

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

}  // namespace mirava_client

struct Mirava::Impl {
    using Attempt = mirava_client::Attempt;
    using Connection = mirava_client::Connection;
    using LinkState = mirava_client::LinkState;

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

}  // namespace velmor
