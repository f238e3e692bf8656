#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace velmor::drivers::simulated::server {

class HttpSession;
class WebsocketSession;

//! What the server asks of the application that it serves.
struct Handlers {
    //! The pieces of the page for GET "/", sent in order as chunks.
    std::function<std::vector<std::string>()> page;
    //! The frames sent to a WebSocket connection alone when it opens.
    std::function<std::vector<std::string>()> open;
    //! Handles one text message received on any WebSocket connection.
    std::function<void(std::string_view)> message;
};

//! State shared by all sessions of one server: the handlers, the sessions
//! subscribed to the broadcast topic and the open HTTP sessions.
class SharedState {
public:
    //! Largest WebSocket message accepted [bytes].
    static constexpr std::size_t message_limit = 16 * 1024;
    //! Largest queue of unsent frames per WebSocket connection [bytes]; frames beyond are dropped.
    static constexpr std::size_t send_backlog_limit = 64 * 1024;

    //! Keeps the handlers for every session of this server.
    explicit SharedState(Handlers handlers);

    //! The application's handlers.
    const Handlers& handlers() const { return handlers_; }

    //! Subscribes a WebSocket session to the broadcast topic.
    void join(WebsocketSession* session);
    //! Unsubscribes a WebSocket session from the broadcast topic.
    void leave(WebsocketSession* session);
    //! Registers an HTTP session so that it can be closed when the server closes.
    void join(HttpSession* session);
    //! Forgets an HTTP session.
    void leave(HttpSession* session);

    //! Sends a text frame to every session subscribed to the broadcast topic.
    void publish(std::string message);
    //! Ends every HTTP session that waits for a request and makes the others end after their response.
    void stop_http_sessions();

private:
    const Handlers handlers_;
    std::mutex mutex_;
    std::unordered_set<WebsocketSession*> websocket_sessions_;
    std::unordered_set<HttpSession*> http_sessions_;
};

}  // namespace velmor::drivers::simulated::server
