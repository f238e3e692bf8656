#pragma once

#include <memory>

#include <boost/asio/ip/tcp.hpp>

#include <velmor/net/websocket_peer.hpp>

#include "drivers/simulated/server/shared_state.hpp"

namespace velmor::drivers::simulated::server {

//! One WebSocket connection of the I/O viewer: subscribed to the broadcast topic while
//! open, it hands the page's messages to the handlers and gets every update through its
//! own write queue, which holds at most one frame per key, the newest one.
class WebsocketSession : public WebsocketPeer {
public:
    //! Takes over the socket of an HTTP session that asked for an upgrade.
    WebsocketSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state);
    //! Unsubscribes from the broadcast topic.
    ~WebsocketSession() override;

    //! Accepts the upgrade request and starts reading messages.
    void run(Request request);

private:
    void on_open() override;
    void on_message(std::string_view text) override;
    void on_failure(Stage stage, boost::beast::error_code ec) override;

    std::shared_ptr<SharedState> state_;
    // Touched only by the thread running the loop.
    bool joined_ {false};
};

}  // namespace velmor::drivers::simulated::server
