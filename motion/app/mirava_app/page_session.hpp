#pragma once

#include <memory>

#include <boost/asio/ip/tcp.hpp>

#include <velmor/net/websocket_peer.hpp>

#include "mirava_app/shared_state.hpp"

namespace velmor::mirava_app {

//! A browser page's WebSocket on "/page": gets every broadcast message while open,
//! through its own write queue in which only the newest message of each key waits.
class PageSession : public WebsocketPeer {
public:
    //! Takes over the socket of an HTTP session that asked for an upgrade.
    PageSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state);
    //! Leaves the open pages.
    ~PageSession() override;

    //! Completes the handshake of `request`, joins the open pages and starts reading.
    void run(Request request);
    //! Queues `frame`, replacing a waiting one about the same key; on the server's I/O thread only.
    void send(const PageFrame& frame);

private:
    void on_open() override;

    std::shared_ptr<SharedState> state_;
    bool joined_ {false};
};

}  // namespace velmor::mirava_app
