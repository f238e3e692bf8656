#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/status.hpp>
#include <boost/beast/http/string_body.hpp>

#include "mirava_app/shared_state.hpp"

namespace velmor::mirava_app {

//! One HTTP connection: serves the page, its bundle, the robot model, its mesh
//! files and a replay, hands WebSocket upgrades on "/driver" and "/page" to a DriverSession
//! or a PageSession, and refuses foreign Host and Origin headers.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    //! Takes the accepted socket.
    HttpSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state);

    //! Starts reading requests.
    void run();

private:
    void do_read();
    void on_read(boost::beast::error_code ec, std::size_t bytes);
    void upgrade();
    void send_file(const std::string& target);
    //! Sends mesh file `digits` of the robot model; 404 for anything but the index of one.
    void send_mesh(const std::string& digits);
    void respond(boost::beast::http::status status, std::string content_type, std::string body);

    boost::beast::tcp_stream stream_;
    boost::beast::flat_buffer buffer_;
    std::shared_ptr<SharedState> state_;
    std::string local_address_;
    boost::beast::http::request<boost::beast::http::string_body> request_;
};

}  // namespace velmor::mirava_app
