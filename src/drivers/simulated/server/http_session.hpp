#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "drivers/simulated/server/shared_state.hpp"

namespace velmor::drivers::simulated::server {

//! One HTTP connection: serves the page on GET and HEAD "/", hands WebSocket
//! upgrades on "/" to a WebsocketSession, refuses foreign Host and Origin
//! headers with 403 and answers everything else with 404.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    //! Takes the accepted socket.
    HttpSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state);
    //! Forgets this session in the shared state.
    ~HttpSession();

    //! Registers the session and starts reading the first request.
    void run();
    //! Ends the session now if it waits for a request, else after the current response.
    void stop();

private:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;

    void do_read();
    void on_read(boost::beast::error_code ec, std::size_t bytes);
    bool refuse_foreign(const Request& request);
    void send_page(const Request& request);
    void on_page_header(boost::beast::error_code ec, std::size_t bytes);
    void write_next_piece();
    void on_piece(boost::beast::error_code ec, std::size_t bytes);
    void send_text(const Request& request, boost::beast::http::status status, std::string text);
    void on_write(boost::beast::error_code ec, std::size_t bytes);
    void do_close();

    boost::beast::tcp_stream stream_;
    boost::beast::flat_buffer buffer_;
    std::shared_ptr<SharedState> state_;
    std::string local_address_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
    bool reading_ {false};
    bool stopping_ {false};
    bool keep_alive_ {false};
    bool chunked_ {false};
    bool head_only_ {false};
    std::vector<std::string> pieces_;
    std::size_t next_piece_ {0};
    boost::beast::http::response<boost::beast::http::empty_body> page_header_;
    std::optional<boost::beast::http::response_serializer<boost::beast::http::empty_body>> page_serializer_;
    boost::beast::http::response<boost::beast::http::string_body> text_response_;
};

}  // namespace velmor::drivers::simulated::server
