#include "drivers/simulated/server/shared_state.hpp"

#include "drivers/simulated/server/http_session.hpp"
#include "drivers/simulated/server/websocket_session.hpp"

namespace velmor::drivers::simulated::server {

SharedState::SharedState(Handlers handlers, AllowedHosts hosts)
    : handlers_(std::move(handlers)), hosts_(std::move(hosts)) {}

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

// Copies the sessions under the lock, so that the caller works outside it and a
// session that leaves meanwhile is simply skipped.
template <class Session>
std::vector<std::shared_ptr<Session>> SharedState::lock_all(std::mutex& mutex,
                                                            const std::unordered_set<Session*>& set) {
    std::vector<std::weak_ptr<Session>> weak;
    {
        const std::lock_guard lock(mutex);
        weak.reserve(set.size());
        for (auto* session : set) {
            weak.emplace_back(session->weak_from_this());
        }
    }
    std::vector<std::shared_ptr<Session>> sessions;
    sessions.reserve(weak.size());
    for (const auto& entry : weak) {
        if (auto session = entry.lock()) {
            sessions.push_back(std::move(session));
        }
    }
    return sessions;
}

void SharedState::publish(Update update) {
    const auto key = std::make_shared<const std::string>(std::move(update.key));
    const auto frame = std::make_shared<const std::string>(std::move(update.text));
    for (const auto& session : lock_all(mutex_, websocket_sessions_)) {
        session->send(key, frame);
    }
}

void SharedState::stop_http_sessions() {
    for (const auto& session : lock_all(mutex_, http_sessions_)) {
        session->stop();
    }
}

void SharedState::stop_websocket_sessions() {
    for (const auto& session : lock_all(mutex_, websocket_sessions_)) {
        session->stop();
    }
}

}  // namespace velmor::drivers::simulated::server
