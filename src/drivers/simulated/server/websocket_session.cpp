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
    for (auto& fragment : state_->handlers().open()) {
        on_send(std::make_shared<const std::string>(std::move(fragment)));
    }
    do_read();
}

void WebsocketSession::do_read() {
    ws_.async_read(buffer_, beast::bind_front_handler(&WebsocketSession::on_read, shared_from_this()));
}

void WebsocketSession::on_read(beast::error_code ec, std::size_t) {
    if (ec) {
        if (ec != websocket::error::closed) {
            log::log_<log::Level::Debug>("driver", "I/O viewer WebSocket ended: " + ec.message());
        }
        return;
    }
    state_->handlers().message(beast::buffers_to_string(buffer_.data()));
    buffer_.consume(buffer_.size());
    do_read();
}

void WebsocketSession::send(std::shared_ptr<const std::string> frame) {
    // Post so that the queue is only ever touched by the thread running the loop.
    boost::asio::post(ws_.get_executor(),
                      beast::bind_front_handler(&WebsocketSession::on_send, shared_from_this(), std::move(frame)));
}

void WebsocketSession::on_send(std::shared_ptr<const std::string> frame) {
    if (!queue_.empty() && queued_bytes_ + frame->size() > SharedState::send_backlog_limit) {
        log::log_<log::Level::Debug>("driver", "I/O viewer dropped a frame to a connection that does not read.");
        return;
    }
    queued_bytes_ += frame->size();
    queue_.push_back(std::move(frame));
    if (queue_.size() == 1) {
        do_write();
    }
}

void WebsocketSession::do_write() {
    ws_.async_write(boost::asio::buffer(*queue_.front()),
                    beast::bind_front_handler(&WebsocketSession::on_write, shared_from_this()));
}

void WebsocketSession::on_write(beast::error_code ec, std::size_t) {
    if (ec) {
        log::log_<log::Level::Debug>("driver", "I/O viewer could not send a frame: " + ec.message());
        return;
    }
    queued_bytes_ -= queue_.front()->size();
    queue_.pop_front();
    if (!queue_.empty()) {
        do_write();
    }
}

}  // namespace velmor::drivers::simulated::server
