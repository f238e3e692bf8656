#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/beast/core/error.hpp>

#include <velmor/net/listener.hpp>

#include "drivers/simulated/server/shared_state.hpp"
#include "drivers/simulated/server/viewer_settings.hpp"

namespace velmor::drivers::simulated::server {

//! The I/O viewer's application object: one page route and one WebSocket
//! route on one port, run by the thread that runs the loop.
class ViewerServer {
public:
    //! Prepares the server on the loop with the application's handlers.
    ViewerServer(boost::asio::io_context& loop, Handlers handlers, const ViewerSettings& settings);

    //! Listens on the port (0: a free one) on every address of the settings and starts accepting.
    boost::beast::error_code listen(std::uint16_t port);
    //! The port it listens on.
    std::uint16_t port() const;
    //! Sends a frame to every open WebSocket connection; on the loop's thread only.
    void publish(Update update);
    //! Closes the listening sockets and idle HTTP connections; WebSockets stay open.
    void close();
    //! Closes the listening sockets and every connection at once.
    void stop();

private:
    boost::beast::error_code listen_once(std::uint16_t port);
    std::shared_ptr<Listener> make_listener() const;

    boost::asio::io_context& loop_;
    std::vector<boost::asio::ip::address> addresses_;
    std::shared_ptr<SharedState> state_;
    std::vector<std::shared_ptr<Listener>> listeners_;
};

}  // namespace velmor::drivers::simulated::server
