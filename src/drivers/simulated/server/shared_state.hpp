#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <velmor/net/allowed_hosts.hpp>
#include <velmor/net/session_set.hpp>

namespace velmor::drivers::simulated::server {

class HttpSession;
class WebsocketSession;

//! A text frame about one thing, named by its key: a newer frame with the same
//! key replaces one that still waits to be sent.
struct Update {
    //! What the frame is about (the viewer's signal name).
    std::string key;
    //! The frame's text.
    std::string text;
};

//! What the server asks of the application that it serves.
struct Handlers {
    //! The pieces of the page for GET "/", sent in order.
    std::function<std::vector<std::string>()> page;
    //! The frames sent to a WebSocket connection alone when it opens.
    std::function<std::vector<Update>()> open;
    //! Handles one text message received on any WebSocket connection; a frame it
    //! returns is the answer to that connection alone.
    std::function<std::optional<Update>(std::string_view)> message;
};

//! State shared by all sessions of one server: the handlers, the names it may
//! be reached under, the sessions subscribed to the broadcast topic and the
//! open HTTP sessions.
class SharedState {
public:
    //! Largest WebSocket message accepted [bytes].
    static constexpr std::size_t message_limit = 16 * 1024;

    //! Keeps the handlers and the allowed names for every session of this server.
    SharedState(Handlers handlers, AllowedHosts hosts);

    //! The application's handlers.
    const Handlers& handlers() const { return handlers_; }
    //! The names that requests and handshakes may carry.
    const AllowedHosts& hosts() const { return hosts_; }

    //! Subscribes a WebSocket session to the broadcast topic.
    void join(WebsocketSession* session);
    //! Unsubscribes a WebSocket session from the broadcast topic.
    void leave(WebsocketSession* session);
    //! Registers an HTTP session so that it can be closed when the server closes.
    void join(HttpSession* session);
    //! Forgets an HTTP session.
    void leave(HttpSession* session);

    //! Sends a frame to every session subscribed to the broadcast topic; on the
    //! thread that runs the sessions' loop only, as it queues on each session at once.
    void publish(Update update);
    //! Ends every HTTP session that waits for a request and makes the others end after their response.
    void stop_http_sessions();
    //! Ends every WebSocket session at once.
    void stop_websocket_sessions();

private:
    const Handlers handlers_;
    const AllowedHosts hosts_;
    SessionSet<WebsocketSession> websocket_sessions_;
    SessionSet<HttpSession> http_sessions_;
};

}  // namespace velmor::drivers::simulated::server
