#include "drivers/simulated/server/websocket_session.hpp"

#include <chrono>
#include <utility>

#include <boost/asio/post.hpp>

#include <velmor/log/log.hpp>

namespace velmor::drivers::simulated::server {

namespace beast = boost::beast;
namespace websocket = beast::websocket;

WebsocketSession::WebsocketSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state)
    : ws_(std::move(socket)), state_(std::move(state)) {}

WebsocketSession::~WebsocketSession() {
    if (joined_) {
        state_->leave(this);
    }
}

void WebsocketSession::run(beast::http::request<beast::http::string_body> request) {
    // The WebSocket keeps its own timeouts: idle connections are pinged, and
    // dropped only when they stay silent for the whole idle time.
    websocket::stream_base::timeout timeout {};
    timeout.handshake_timeout = std::chrono::seconds(30);
    timeout.idle_timeout = std::chrono::seconds(120);
    timeout.keep_alive_pings = true;
    ws_.set_option(timeout);
    ws_.read_message_max(SharedState::message_limit);
    ws_.text(true);
    ws_.async_accept(request, beast::bind_front_handler(&WebsocketSession::on_accept, shared_from_this()));
}

void WebsocketSession::on_accept(beast::error_code ec) {
    if (ec) {
        log::log_<log::Level::Debug>("driver", "I/O viewer WebSocket handshake failed: " + ec.message());
        return;
    }
    state_->join(this);
    joined_ = true;
    for (auto& update : state_->handlers().open()) {
        enqueue(update.key, std::make_shared<const std::string>(std::move(update.text)));
    }
    do_read();
}

void WebsocketSession::do_read() {
    ws_.async_read(buffer_, beast::bind_front_handler(&WebsocketSession::on_read, shared_from_this()));
}

void WebsocketSession::on_read(beast::error_code ec, std::size_t) {
    if (ec) {
        if (ec != websocket::error::closed && ec != boost::asio::error::operation_aborted) {
            log::log_<log::Level::Debug>("driver", "I/O viewer WebSocket ended: " + ec.message());
        }
        return;
    }
    state_->handlers().message(beast::buffers_to_string(buffer_.data()));
    buffer_.consume(buffer_.size());
    do_read();
}

void WebsocketSession::send(std::shared_ptr<const std::string> key, std::shared_ptr<const std::string> frame) {
    // Post so that the queue is only ever touched by the thread running the loop.
    boost::asio::post(ws_.get_executor(), [self = shared_from_this(), key = std::move(key),
                                           frame = std::move(frame)]() mutable { self->enqueue(*key, std::move(frame)); });
}

void WebsocketSession::stop() {
    boost::asio::post(ws_.get_executor(), [self = shared_from_this()] {
        beast::error_code ec;
        beast::get_lowest_layer(self->ws_).socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ec);
        beast::get_lowest_layer(self->ws_).socket().close(ec);
    });
}

void WebsocketSession::enqueue(const std::string& key, std::shared_ptr<const std::string> frame) {
    if (queue_.push(key, std::move(frame))) {
        do_write();
    }
}

void WebsocketSession::do_write() {
    if (const auto* frame = queue_.next()) {
        ws_.async_write(boost::asio::buffer(*frame),
                        beast::bind_front_handler(&WebsocketSession::on_write, shared_from_this()));
    }
}

void WebsocketSession::on_write(beast::error_code ec, std::size_t) {
    if (ec) {
        // The frame stays in flight, so nothing more is written to a broken connection.
        if (ec != boost::asio::error::operation_aborted) {
            log::log_<log::Level::Debug>("driver", "I/O viewer could not send a frame: " + ec.message());
        }
        return;
    }
    do_write();
}

}  // namespace velmor::drivers::simulated::server
