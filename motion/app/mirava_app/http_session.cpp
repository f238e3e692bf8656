#include "mirava_app/http_session.hpp"

#include <charconv>
#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <utility>

#include <boost/beast/http.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include <velmor/net/request_guard.hpp>

#include "mirava_app/driver_session.hpp"
#include "mirava_app/log_line.hpp"
#include "mirava_app/page_session.hpp"
#include "mirava_app/robot_model.hpp"

namespace velmor::mirava_app {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

namespace {

constexpr auto request_timeout = std::chrono::seconds(30);

std::optional<std::string> read_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// The index that `digits` spell, or none for anything but a plain number below `count`.
std::optional<std::size_t> listed_index(const std::string& digits, std::size_t count) {
    std::size_t index = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (digits.empty() || digits.front() == '+' || error != std::errc() || end != digits.data() + digits.size() ||
        index >= count || (digits.size() > 1 && digits.front() == '0')) {
        return std::nullopt;
    }
    return index;
}

}  // namespace

HttpSession::HttpSession(asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state)
    : stream_(std::move(socket)), state_(std::move(state)), local_address_(local_address_of(stream_.socket())) {}

void HttpSession::run() {
    do_read();
}

void HttpSession::do_read() {
    request_ = {};
    stream_.expires_after(request_timeout);
    http::async_read(stream_, buffer_, request_, beast::bind_front_handler(&HttpSession::on_read, shared_from_this()));
}

void HttpSession::on_read(beast::error_code ec, std::size_t) {
    if (ec) {
        stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ec);
        return;
    }
    const auto& site = state_->site();
    if (auto refusal = refuse_foreign(request_, site.hosts, local_address_, "Mirava server", "")) {
        // A page of any other site that the user visits could otherwise read the page's
        // data under a rebound name, or drive or watch the robot.
        request_.keep_alive(false);
        respond(refusal->status, "text/plain", refusal->text + "\n");
        return;
    }
    const std::string target(request_.target());
    if (beast::websocket::is_upgrade(request_)) {
        upgrade();
        return;
    }
    if (request_.method() != http::verb::get) {
        respond(http::status::method_not_allowed, "text/plain", "Only GET is served.\n");
        return;
    }
    if (target == "/robot.json") {
        respond(http::status::ok, "application/json", site.robot_json);
    } else if (target.rfind(mesh_route, 0) == 0) {
        send_mesh(target.substr(std::string_view(mesh_route).size()));
    } else if (target == "/view.json") {
        respond(http::status::ok, "application/json", site.view_json);
    } else if (target == "/replay.json" && !site.replay_json.empty()) {
        respond(http::status::ok, "application/json", site.replay_json);
    } else {
        send_file(target);
    }
}

void HttpSession::upgrade() {
    const auto target = request_.target();
    if (target != "/driver" && target != "/page") {
        respond(http::status::not_found, "text/plain", "WebSockets open on /driver or /page.\n");
        return;
    }
    // The WebSocket has its own timeouts; the HTTP one would cut it off.
    stream_.expires_never();
    if (target == "/driver") {
        std::make_shared<DriverSession>(stream_.release_socket(), state_)->run(std::move(request_));
    } else {
        std::make_shared<PageSession>(stream_.release_socket(), state_)->run(std::move(request_));
    }
}

void HttpSession::send_file(const std::string& target) {
    const char* file_name = target == "/" ? "index.html" : target == "/app.js" ? "app.js" : nullptr;
    if (file_name == nullptr) {
        respond(http::status::not_found, "text/plain", "Not found.\n");
        return;
    }
    const auto path = state_->site().web_root / file_name;
    auto content = read_file(path);
    if (!content) {
        log_line("Cannot read " + path.string() + ": was the page built?");
        respond(http::status::not_found, "text/plain", "The page was not built: " + path.string() + " is missing.\n");
        return;
    }
    respond(http::status::ok, target == "/" ? "text/html; charset=utf-8" : "text/javascript; charset=utf-8",
            std::move(*content));
}

void HttpSession::send_mesh(const std::string& digits) {
    const auto& meshes = state_->site().meshes;
    const auto index = listed_index(digits, meshes.size());
    if (!index) {
        respond(http::status::not_found, "text/plain", "Not found.\n");
        return;
    }
    std::error_code error;
    const auto size = std::filesystem::file_size(meshes[*index], error);
    auto content = error || size > max_mesh_size ? std::nullopt : read_file(meshes[*index]);
    if (!content || content->size() > max_mesh_size) {
        log_line("Cannot serve the mesh " + meshes[*index].string() + ": it cannot be read or is larger than " +
                 std::to_string(max_mesh_size) + " bytes.");
        respond(http::status::not_found, "text/plain", "The mesh cannot be read.\n");
        return;
    }
    respond(http::status::ok, "model/stl", std::move(*content));
}

void HttpSession::respond(http::status status, std::string content_type, std::string body) {
    auto response = std::make_shared<http::response<http::string_body>>(status, request_.version());
    response->set(http::field::content_type, content_type);
    response->set(http::field::cache_control, "no-store");
    response->keep_alive(request_.keep_alive());
    response->body() = std::move(body);
    response->prepare_payload();
    http::async_write(stream_, *response,
                      [self = shared_from_this(), response](beast::error_code ec, std::size_t) {
                          if (ec) {
                              return;
                          }
                          if (!response->keep_alive()) {
                              self->stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ec);
                              return;
                          }
                          self->do_read();
                      });
}

}  // namespace velmor::mirava_app
