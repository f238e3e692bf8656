#pragma once

// Test clients of the I/O viewer: a WebSocket page stand-in and a plain HTTP GET.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <thread>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include "support/deadline.hpp"

namespace velmor::testing {

namespace beast = boost::beast;
using tcp = boost::asio::ip::tcp;

//! Connects to 127.0.0.1:port, retrying while the server is still starting.
inline tcp::socket connect_with_retry(boost::asio::io_context& context, std::uint16_t port,
                                      std::chrono::milliseconds patience = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (true) {
        tcp::socket socket(context);
        beast::error_code ec;
        socket.connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), port), ec);
        if (!ec) {
            return socket;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            throw beast::system_error(ec);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

//! A page stand-in: a WebSocket on "/" that collects the frames it receives.
class ViewerClient {
public:
    explicit ViewerClient(std::uint16_t port) : ws(connect_with_retry(context, port)) {
        bool done = false;
        beast::error_code result;
        ws.async_handshake("127.0.0.1:" + std::to_string(port), "/", [&](beast::error_code ec) {
            done = true;
            result = ec;
        });
        run_until_done(context, done, "WebSocket handshake");
        if (result) {
            throw beast::system_error(result);
        }
        ws.text(true);
        start_read();
    }

    //! Sends one text frame and waits until it is written.
    void send(const std::string& text) {
        bool done = false;
        beast::error_code result;
        ws.async_write(boost::asio::buffer(text), [&](beast::error_code ec, std::size_t) {
            done = true;
            result = ec;
        });
        run_until_done(context, done, "WebSocket write");
        if (result) {
            throw beast::system_error(result);
        }
    }

    //! The next received frame, or nothing when none arrives in time.
    std::optional<std::string> read(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (received.empty() && !failed && std::chrono::steady_clock::now() < deadline) {
            context.restart();
            context.run_one_until(deadline);
        }
        if (received.empty()) {
            return std::nullopt;
        }
        auto frame = std::move(received.front());
        received.pop_front();
        return frame;
    }

    //! Whether the server ended the connection within the timeout.
    bool wait_closed(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!failed && std::chrono::steady_clock::now() < deadline) {
            context.restart();
            context.run_one_until(deadline);
        }
        return failed;
    }

    //! Closes the WebSocket from this side.
    void close() {
        beast::error_code ec;
        beast::get_lowest_layer(ws).socket().shutdown(tcp::socket::shutdown_both, ec);
        beast::get_lowest_layer(ws).socket().close(ec);
        context.restart();
        context.poll();
    }

private:
    void start_read() {
        ws.async_read(buffer, [this](beast::error_code ec, std::size_t) {
            if (ec) {
                failed = true;
                return;
            }
            received.push_back(beast::buffers_to_string(buffer.data()));
            buffer.consume(buffer.size());
            start_read();
        });
    }

    boost::asio::io_context context;
    beast::websocket::stream<beast::tcp_stream> ws;
    beast::flat_buffer buffer;
    std::deque<std::string> received;
    bool failed {false};
};

//! Result of a plain HTTP request.
struct HttpReply {
    unsigned status {0};
    bool chunked {false};
    std::string body;
};

//! One request on a socket of `context` that stays open afterwards.
inline HttpReply http_request(boost::asio::io_context& context, tcp::socket& socket, const std::string& target,
                              bool keep_alive = false) {
    namespace http = beast::http;
    http::request<http::empty_body> request {http::verb::get, target, 11};
    request.set(http::field::host, "127.0.0.1");
    request.keep_alive(keep_alive);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    bool done = false;
    beast::error_code result;
    http::async_write(socket, request, [&](beast::error_code ec, std::size_t) {
        if (ec) {
            done = true;
            result = ec;
            return;
        }
        http::async_read(socket, buffer, response, [&](beast::error_code read_ec, std::size_t) {
            done = true;
            result = read_ec;
        });
    });
    run_until_done(context, done, "HTTP request of " + target);
    if (result) {
        throw beast::system_error(result);
    }
    return {response.result_int(), response.chunked(), response.body()};
}

//! GET of a target on 127.0.0.1:port on a fresh connection.
inline HttpReply http_get(std::uint16_t port, const std::string& target) {
    boost::asio::io_context context;
    auto socket = connect_with_retry(context, port);
    return http_request(context, socket, target);
}

}  // namespace velmor::testing
