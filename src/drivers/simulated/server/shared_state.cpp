#include "drivers/simulated/server/shared_state.hpp"

#include "drivers/simulated/server/http_session.hpp"
#include "drivers/simulated/server/websocket_session.hpp"

namespace velmor::drivers::simulated::server {

SharedState::SharedState(Handlers handlers) : handlers_(std::move(handlers)) {}

void SharedState::join(WebsocketSession* session) {
    const std::lock_guard lock(mutex_);
    websocket_sessions_.insert(session);
}

void SharedState::leave(WebsocketSession* session) {
    const std::lock_guard lock(mutex_);
    websocket_sessions_.erase(session);
}

void SharedState::join(HttpSession* session) {
    const std::lock_guard lock(mutex_);
    http_sessions_.insert(session);
}

void SharedState::leave(HttpSession* session) {
    const std::lock_guard lock(mutex_);
    http_sessions_.erase(session);
}

void SharedState::publish(std::string message) {
    const auto frame = std::make_shared<const std::string>(std::move(message));
    // Copy the subscribers under the lock and send outside it, so that a session
    // that leaves meanwhile is simply skipped.
    std::vector<std::weak_ptr<WebsocketSession>> sessions;
    {
        const std::lock_guard lock(mutex_);
        sessions.reserve(websocket_sessions_.size());
        for (auto* session : websocket_sessions_) {
            sessions.emplace_back(session->weak_from_this());
        }
    }
    for (const auto& weak : sessions) {
        if (auto session = weak.lock()) {
            session->send(frame);
        }
    }
}

void SharedState::stop_http_sessions() {
    std::vector<std::weak_ptr<HttpSession>> sessions;
    {
        const std::lock_guard lock(mutex_);
        for (auto* session : http_sessions_) {
            sessions.emplace_back(session->weak_from_this());
        }
    }
    for (const auto& weak : sessions) {
        if (auto session = weak.lock()) {
            session->stop();
        }
    }
}

}  // namespace velmor::drivers::simulated::server
