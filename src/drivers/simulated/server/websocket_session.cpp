#include "drivers/simulated/server/websocket_session.hpp"

#include <chrono>
#include <string>
#include <utility>

#include <boost/asio/error.hpp>
#include <boost/beast/websocket/error.hpp>

#include <velmor/log/log.hpp>

namespace velmor::drivers::simulated::server {

WebsocketSession::WebsocketSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state)
    : WebsocketPeer(std::move(socket)), state_(std::move(state)) {}

WebsocketSession::~WebsocketSession() {
    if (joined_) {
        state_->leave(this);
    }
}

void WebsocketSession::run(Request request) {
    // Idle connections are pinged, and dropped only when they stay silent for the whole idle time.
    Timeout timeout {};
    timeout.handshake_timeout = std::chrono::seconds(30);
    timeout.idle_timeout = std::chrono::seconds(120);
    timeout.keep_alive_pings = true;
    accept(std::move(request), SharedState::message_limit, timeout);
}

void WebsocketSession::on_open() {
    state_->join(this);
    joined_ = true;
    for (auto& update : state_->handlers().open()) {
        queue_frame(update.key, std::make_shared<const std::string>(std::move(update.text)));
    }
}

void WebsocketSession::on_message(std::string_view text) {
    if (auto answer = state_->handlers().message(text)) {
        queue_frame(answer->key, std::make_shared<const std::string>(std::move(answer->text)));
    }
}

void WebsocketSession::on_failure(Stage stage, boost::beast::error_code ec) {
    switch (stage) {
    case Stage::Handshake:
        log::log_<log::Level::Debug>("driver", "I/O viewer WebSocket handshake failed: " + ec.message());
        break;
    case Stage::Read:
        if (ec != boost::beast::websocket::error::closed && ec != boost::asio::error::operation_aborted) {
            log::log_<log::Level::Debug>("driver", "I/O viewer WebSocket ended: " + ec.message());
        }
        break;
    case Stage::Write:
        if (ec != boost::asio::error::operation_aborted) {
            log::log_<log::Level::Debug>("driver", "I/O viewer could not send a frame: " + ec.message());
        }
        break;
    }
}

}  // namespace velmor::drivers::simulated::server
