#include "mirava_app/sessions.hpp"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <velmor/motion/local_server.hpp>

namespace velmor::mirava_app {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;

namespace {

// A joint position is a few hundred bytes; anything far larger is no message of a driver.
constexpr std::size_t max_driver_message = 1 << 20;
// Pages send nothing but control frames; a message of theirs needs no room at all.
constexpr std::size_t max_page_message = 1 << 10;
// How much of a refused driver message the log shows [bytes].
constexpr std::size_t logged_refusal = 200;
// Statuses are rare; a page that lets this many pile up has stopped reading.
constexpr std::size_t max_waiting_statuses = 16;

void log_line(const std::string& text) {
    const std::string line = "[velmor.mirava] " + text + "\n";
    std::fputs(line.c_str(), stderr);
}

bool is_closing(const beast::error_code& error) {
    return error == websocket::error::closed || error == asio::error::operation_aborted ||
           error == asio::error::eof || error == asio::error::connection_reset;
}

// The text with every byte that is not printable ASCII written as \xNN, so that
// what a client sent cannot break log lines or steer the terminal.
std::string printable(std::string_view text) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string result;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\') {
            result.push_back(c);
        } else {
            result += "\\x";
            result.push_back(digits[byte >> 4]);
            result.push_back(digits[byte & 0xf]);
        }
    }
    return result;
}

std::optional<std::string> read_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

}  // namespace

HttpSession::HttpSession(asio::ip::tcp::socket socket, Relay& relay, const Site& site)
    : stream(std::move(socket)), local_address(local_address_of(stream.socket())), relay(relay), site(site) {}

void HttpSession::run() {
    read_request();
}

void HttpSession::read_request() {
    request = {};
    stream.expires_after(std::chrono::seconds(30));
    http::async_read(stream, buffer, request, [self = shared_from_this()](const beast::error_code& error, std::size_t) {
        if (error) {
            beast::error_code ignored;
            self->stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
            return;
        }
        self->on_request();
    });
}

void HttpSession::on_request() {
    if (auto refusal = refuse_foreign(request, site.hosts, local_address, "Mirava server", "")) {
        // A page of any other site that the user visits could otherwise read the page's
        // data under a rebound name, or drive or watch the robot.
        request.keep_alive(false);
        respond(refusal->status, "text/plain", refusal->text + "\n");
        return;
    }
    const std::string target(request.target());
    if (websocket::is_upgrade(request)) {
        stream.expires_never();
        if (target == "/driver") {
            std::make_shared<DriverSession>(stream.release_socket(), relay)->run(std::move(request));
        } else if (target == "/page") {
            std::make_shared<PageSession>(stream.release_socket(), relay)->run(std::move(request));
        } else {
            respond(http::status::not_found, "text/plain", "WebSockets open on /driver or /page.\n");
        }
        return;
    }
    if (request.method() != http::verb::get) {
        respond(http::status::method_not_allowed, "text/plain", "Only GET is served.\n");
        return;
    }
    if (target == "/robot.json") {
        respond(http::status::ok, "application/json", site.robot_json);
        return;
    }
    if (target == "/replay.json" && !site.replay_json.empty()) {
        respond(http::status::ok, "application/json", site.replay_json);
        return;
    }
    const char* file_name = target == "/" ? "index.html" : target == "/app.js" ? "app.js" : nullptr;
    if (file_name == nullptr) {
        respond(http::status::not_found, "text/plain", "Not found.\n");
        return;
    }
    const auto path = site.web_root / file_name;
    auto content = read_file(path);
    if (!content) {
        log_line("Cannot read " + path.string() + ": was the page built?");
        respond(http::status::not_found, "text/plain", "The page was not built: " + path.string() + " is missing.\n");
        return;
    }
    respond(http::status::ok, target == "/" ? "text/html; charset=utf-8" : "text/javascript; charset=utf-8",
            std::move(*content));
}

void HttpSession::respond(http::status status, std::string content_type, std::string body) {
    auto response = std::make_shared<http::response<http::string_body>>(status, request.version());
    response->set(http::field::content_type, content_type);
    response->set(http::field::cache_control, "no-store");
    response->keep_alive(request.keep_alive());
    response->body() = std::move(body);
    response->prepare_payload();
    http::async_write(stream, *response,
                      [self = shared_from_this(), response](const beast::error_code& error, std::size_t) {
                          if (error) {
                              return;
                          }
                          if (!response->keep_alive()) {
                              beast::error_code ignored;
                              self->stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
                              return;
                          }
                          self->read_request();
                      });
}

DriverSession::DriverSession(asio::ip::tcp::socket socket, Relay& relay) : ws(std::move(socket)), relay(relay) {}

void DriverSession::run(Request request) {
    ws.read_message_max(max_driver_message);
    ws.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws.async_accept(request, [self = shared_from_this()](const beast::error_code& error) {
        if (error) {
            log_line("A driver's handshake failed: " + error.message());
            return;
        }
        log_line("A driver connected.");
        self->relay.driver_joined();
        self->read_next();
    });
}

void DriverSession::read_next() {
    ws.async_read(buffer, [self = shared_from_this()](const beast::error_code& error, std::size_t) {
        if (error) {
            self->relay.driver_left();
            log_line(is_closing(error) ? "A driver disconnected."
                                       : "A driver's connection failed: " + error.message() + ".");
            return;
        }
        const std::string text = beast::buffers_to_string(self->buffer.data());
        self->buffer.consume(self->buffer.size());
        const std::string refusal = self->ws.got_text() ? self->relay.offer(text) : "a binary frame";
        if (!refusal.empty()) {
            log_line("Refused a driver's message (" + refusal +
                     "): " + printable(std::string_view(text).substr(0, logged_refusal)));
        }
        self->read_next();
    });
}

PageSession::PageSession(asio::ip::tcp::socket socket, Relay& relay) : ws(std::move(socket)), relay(relay) {}

void PageSession::run(Request request) {
    ws.read_message_max(max_page_message);
    ws.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws.text(true);
    ws.async_accept(request, [self = shared_from_this()](const beast::error_code& error) {
        if (error) {
            return;
        }
        self->open = true;
        self->relay.add_page(self);
        self->read_next();
    });
}

void PageSession::send(std::shared_ptr<const std::string> message, bool is_position) {
    if (is_position) {
        position = std::move(message);
    } else {
        statuses.push_back(std::move(message));
        if (statuses.size() > max_waiting_statuses) {
            statuses.pop_front();
        }
    }
    write_next();
}

void PageSession::read_next() {
    // Pages have nothing to say; reading notices their closing and answers pings.
    ws.async_read(buffer, [self = shared_from_this()](const beast::error_code& error, std::size_t) {
        if (error) {
            self->open = false;
            return;
        }
        self->buffer.consume(self->buffer.size());
        self->read_next();
    });
}

void PageSession::write_next() {
    if (!open || in_flight) {
        return;
    }
    if (!statuses.empty()) {
        in_flight = std::move(statuses.front());
        statuses.pop_front();
    } else if (position) {
        in_flight = std::move(position);
        position.reset();
    } else {
        return;
    }
    ws.async_write(asio::buffer(*in_flight), [self = shared_from_this()](const beast::error_code& error, std::size_t) {
        self->in_flight.reset();
        if (error) {
            self->open = false;
            return;
        }
        self->write_next();
    });
}

}  // namespace velmor::mirava_app
