#include "support/viewer_client.hpp"

#include <deque>
#include <thread>

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include "support/deadline.hpp"

namespace velmor::testing {

namespace beast = boost::beast;
namespace http = beast::http;
using tcp = boost::asio::ip::tcp;

tcp::socket connect_with_retry(boost::asio::io_context& context, std::uint16_t port,
                               std::chrono::milliseconds patience) {
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

struct ViewerClient::Impl {
    explicit Impl(std::uint16_t port) : ws(connect_with_retry(context, port)) {}

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

ViewerClient::ViewerClient(std::uint16_t port) : impl(std::make_unique<Impl>(port)) {
    bool done = false;
    beast::error_code result;
    impl->ws.async_handshake("127.0.0.1:" + std::to_string(port), "/", [&](beast::error_code ec) {
        done = true;
        result = ec;
    });
    run_until_done(impl->context, done, "WebSocket handshake");
    if (result) {
        throw beast::system_error(result);
    }
    impl->ws.text(true);
    impl->start_read();
}

ViewerClient::~ViewerClient() = default;

void ViewerClient::send(const std::string& text) {
    bool done = false;
    beast::error_code result;
    impl->ws.async_write(boost::asio::buffer(text), [&](beast::error_code ec, std::size_t) {
        done = true;
        result = ec;
    });
    run_until_done(impl->context, done, "WebSocket write");
    if (result) {
        throw beast::system_error(result);
    }
}

std::optional<std::string> ViewerClient::read(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (impl->received.empty() && !impl->failed && std::chrono::steady_clock::now() < deadline) {
        impl->context.restart();
        impl->context.run_one_until(deadline);
    }
    if (impl->received.empty()) {
        return std::nullopt;
    }
    auto frame = std::move(impl->received.front());
    impl->received.pop_front();
    return frame;
}

bool ViewerClient::wait_closed(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!impl->failed && std::chrono::steady_clock::now() < deadline) {
        impl->context.restart();
        impl->context.run_one_until(deadline);
    }
    return impl->failed;
}

void ViewerClient::close() {
    beast::error_code ec;
    beast::get_lowest_layer(impl->ws).socket().shutdown(tcp::socket::shutdown_both, ec);
    beast::get_lowest_layer(impl->ws).socket().close(ec);
    impl->context.restart();
    impl->context.poll();
}

HttpReply http_request(boost::asio::io_context& context, tcp::socket& socket, const std::string& target,
                       bool keep_alive) {
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

HttpReply http_get(std::uint16_t port, const std::string& target) {
    boost::asio::io_context context;
    auto socket = connect_with_retry(context, port);
    return http_request(context, socket, target);
}

}  // namespace velmor::testing
