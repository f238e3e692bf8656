#include "drivers/simulated/server/shared_state.hpp"

#include "drivers/simulated/server/http_session.hpp"
#include "drivers/simulated/server/websocket_session.hpp"

namespace velmor::drivers::simulated::server {

SharedState::SharedState(Handlers handlers, AllowedHosts hosts)
    : handlers_(std::move(handlers)), hosts_(std::move(hosts)) {}

void SharedState::join(WebsocketSession* session) {
    websocket_sessions_.join(session);
}

void SharedState::leave(WebsocketSession* session) {
    websocket_sessions_.leave(session);
}

void SharedState::join(HttpSession* session) {
    http_sessions_.join(session);
}

void SharedState::leave(HttpSession* session) {
    http_sessions_.leave(session);
}

void SharedState::publish(Update update) {
    // Queued directly rather than posted to each session: a publish costs no
    // hand-over per page, and every page has the frame before the loop goes on.
    const auto frame = std::make_shared<const std::string>(std::move(update.text));
    for (const auto& session : websocket_sessions_.all()) {
        session->queue_frame(update.key, frame);
    }
}

void SharedState::stop_http_sessions() {
    for (const auto& session : http_sessions_.all()) {
        session->stop();
    }
}

void SharedState::stop_websocket_sessions() {
    for (const auto& session : websocket_sessions_.all()) {
        session->close();
    }
}

}  // namespace velmor::drivers::simulated::server
