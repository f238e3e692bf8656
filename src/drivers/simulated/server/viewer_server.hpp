#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/beast/core/error.hpp>

#include "drivers/simulated/server/listener.hpp"
#include "drivers/simulated/server/shared_state.hpp"

namespace velmor::drivers::simulated::server {

//! The I/O viewer's application object: one page route and one WebSocket
//! route on one port, run by the thread that runs the loop.
class ViewerServer {
public:
    //! Prepares the server on the loop with the application's handlers.
    ViewerServer(boost::asio::io_context& loop, Handlers handlers);

    //! Listens on the port on every local interface and starts accepting.
    boost::beast::error_code listen(std::uint16_t port);
    //! Sends a text frame to every open WebSocket connection.
    void publish(std::string frame);
    //! Closes the listening socket and idle HTTP connections; WebSockets stay open.
    void close();

private:
    std::shared_ptr<SharedState> state_;
    std::shared_ptr<Listener> listener_;
};

}  // namespace velmor::drivers::simulated::server
