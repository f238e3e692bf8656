#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

namespace velmor::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

// A stand-in for the Mirava application: accepts WebSockets and records every text frame.
class FakeApplication {
public:
    explicit FakeApplication(std::uint16_t port = 0) {
        acceptor.open(tcp::v4());
        acceptor.set_option(asio::socket_base::reuse_address(true));
        acceptor.bind({asio::ip::make_address("127.0.0.1"), port});
        acceptor.listen();
        accept_next();
        thread = std::thread([this]() { io.run(); });
    }

    ~FakeApplication() { stop(); }

    [[nodiscard]] std::uint16_t port() const { return acceptor.local_endpoint().port(); }

    // Drops every connection at once, as a crashing application would.
    void stop() {
        if (!thread.joinable()) {
            return;
        }
        asio::post(io, [this]() {
            acceptor.close();
            for (auto& session : sessions) {
                beast::get_lowest_layer(session->ws).socket().close();
            }
        });
        thread.join();
    }

    // While paused, sessions stop reading, so the client's frames back up.
    void set_paused(bool value) {
        asio::post(io, [this, value]() {
            paused = value;
            if (!paused) {
                for (auto& session : sessions) {
                    read_next(session);
                }
            }
        });
    }

    std::optional<std::string> next_frame(std::chrono::milliseconds timeout = 2000ms) {
        std::unique_lock lock(mutex);
        if (!changed.wait_for(lock, timeout, [this]() { return !frames.empty(); })) {
            return std::nullopt;
        }
        auto frame = frames.front();
        frames.pop_front();
        return frame;
    }

    std::string last_path() {
        const std::lock_guard lock(mutex);
        return path;
    }

private:
    struct Session {
        explicit Session(tcp::socket socket) : ws(std::move(socket)) {}
        websocket::stream<beast::tcp_stream> ws;
        beast::flat_buffer buffer;
        http::request<http::string_body> request;
        bool reading = false;
    };

    void accept_next() {
        acceptor.async_accept([this](const beast::error_code& error, tcp::socket socket) {
            if (error) {
                return;
            }
            auto session = std::make_shared<Session>(std::move(socket));
            sessions.push_back(session);
            http::async_read(session->ws.next_layer(), session->buffer, session->request,
                             [this, session](const beast::error_code& error, std::size_t) {
                                 if (error) {
                                     return;
                                 }
                                 {
                                     const std::lock_guard lock(mutex);
                                     path = std::string(session->request.target());
                                 }
                                 session->ws.async_accept(session->request, [this, session](const beast::error_code& error) {
                                     if (!error) {
                                         read_next(session);
                                     }
                                 });
                             });
            accept_next();
        });
    }

    void read_next(const std::shared_ptr<Session>& session) {
        if (paused || session->reading) {
            return;
        }
        session->reading = true;
        session->ws.async_read(session->buffer, [this, session](const beast::error_code& error, std::size_t) {
            session->reading = false;
            if (error) {
                return;
            }
            {
                const std::lock_guard lock(mutex);
                frames.push_back(beast::buffers_to_string(session->buffer.data()));
            }
            session->buffer.consume(session->buffer.size());
            changed.notify_all();
            read_next(session);
        });
    }

    asio::io_context io;
    tcp::acceptor acceptor {io};
    std::vector<std::shared_ptr<Session>> sessions;
    bool paused = false;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> frames;
    std::string path;
    std::thread thread;
};

}  // namespace velmor::testing
