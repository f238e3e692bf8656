#pragma once

// Test clients of the I/O viewer: a WebSocket page stand-in and a plain HTTP
// request, with a deadline on every operation. Compiled once, in the test
// support library, because their Beast code is slow to build.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

namespace velmor::testing {

//! Connects to 127.0.0.1:port, retrying while the server is still starting.
boost::asio::ip::tcp::socket connect_with_retry(boost::asio::io_context& context, std::uint16_t port,
                                                std::chrono::milliseconds patience = std::chrono::seconds(5));

//! A page stand-in: a WebSocket on "/" that collects the frames it receives.
class ViewerClient {
public:
    explicit ViewerClient(std::uint16_t port);
    ~ViewerClient();

    ViewerClient(const ViewerClient&) = delete;
    ViewerClient& operator=(const ViewerClient&) = delete;

    //! Sends one text frame and waits until it is written.
    void send(const std::string& text);
    //! The next received frame, or nothing when none arrives in time.
    std::optional<std::string> read(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    //! Whether the server ended the connection within the timeout.
    bool wait_closed(std::chrono::milliseconds timeout);
    //! Closes the WebSocket from this side.
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

//! Result of a plain HTTP request.
struct HttpReply {
    unsigned status {0};
    bool chunked {false};
    std::string body;
};

//! One GET request on a socket of `context` that stays open afterwards.
HttpReply http_request(boost::asio::io_context& context, boost::asio::ip::tcp::socket& socket,
                       const std::string& target, bool keep_alive = false);

//! GET of a target on 127.0.0.1:port on a fresh connection.
HttpReply http_get(std::uint16_t port, const std::string& target);

}  // namespace velmor::testing
