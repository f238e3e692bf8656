#pragma once

#include <deque>
#include <filesystem>
#include <memory>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>

#include <velmor/motion/allowed_hosts.hpp>

#include "mirava_app/relay.hpp"

namespace velmor::mirava_app {

//! What the HTTP routes serve.
struct Site {
    //! Folder of index.html and app.js.
    std::filesystem::path web_root;
    //! The body of GET /robot.json.
    std::string robot_json;
    //! The body of GET /replay.json; empty when showing drivers live.
    std::string replay_json;
    //! Names the server may be reached under; requests under other Host names and WebSocket
    //! handshakes from pages of other origins are refused.
    AllowedHosts hosts {boost::asio::ip::address_v4::loopback(), {}};
};

using WebSocket = boost::beast::websocket::stream<boost::beast::tcp_stream>;
using Request = boost::beast::http::request<boost::beast::http::string_body>;

//! One HTTP connection: serves the page, its bundle and the robot model, and
//! hands WebSocket upgrades on "/driver" and "/page" to the sessions below.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(boost::asio::ip::tcp::socket socket, Relay& relay, const Site& site);
    //! Starts reading requests.
    void run();

private:
    void read_request();
    void on_request();
    void respond(boost::beast::http::status status, std::string content_type, std::string body);

    boost::beast::tcp_stream stream;
    std::string local_address;
    boost::beast::flat_buffer buffer;
    Request request;
    Relay& relay;
    const Site& site;
};

//! A driver's WebSocket: every text message is offered to the relay.
class DriverSession : public std::enable_shared_from_this<DriverSession> {
public:
    DriverSession(boost::asio::ip::tcp::socket socket, Relay& relay);
    //! Completes the handshake of `request` and starts reading.
    void run(Request request);

private:
    void read_next();

    WebSocket ws;
    boost::beast::flat_buffer buffer;
    Relay& relay;
};

//! A browser page's WebSocket, with its own write queue in which only the newest position waits.
class PageSession : public std::enable_shared_from_this<PageSession> {
public:
    PageSession(boost::asio::ip::tcp::socket socket, Relay& relay);
    //! Completes the handshake of `request`, joins the relay and starts reading.
    void run(Request request);
    //! Queues `message`; a position replaces a position that waits unsent.
    void send(std::shared_ptr<const std::string> message, bool is_position);

private:
    void read_next();
    void write_next();

    WebSocket ws;
    boost::beast::flat_buffer buffer;
    Relay& relay;
    std::deque<std::shared_ptr<const std::string>> statuses;
    std::shared_ptr<const std::string> position;
    std::shared_ptr<const std::string> in_flight;
    bool open = false;
};

}  // namespace velmor::mirava_app
