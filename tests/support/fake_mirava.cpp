#include "support/fake_mirava.hpp"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

namespace velmor::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

struct FakeApplication::Impl {
    struct Session {
        explicit Session(tcp::socket socket) : ws(std::move(socket)) {}
        websocket::stream<beast::tcp_stream> ws;
        beast::flat_buffer buffer;
        http::request<http::string_body> request;
        bool reading = false;
    };

    void accept_next() {
        acceptor.async_accept([this](const beast::error_code& error, tcp::socket socket) {
            if (error) {
                return;
            }
            auto session = std::make_shared<Session>(std::move(socket));
            sessions.push_back(session);
            http::async_read(session->ws.next_layer(), session->buffer, session->request,
                             [this, session](const beast::error_code& read_error, std::size_t) {
                                 if (read_error) {
                                     return;
                                 }
                                 {
                                     const std::lock_guard lock(mutex);
                                     path = std::string(session->request.target());
                                 }
                                 session->ws.async_accept(session->request,
                                                          [this, session](const beast::error_code& accept_error) {
                                                              if (!accept_error) {
                                                                  read_next(session);
                                                              }
                                                          });
                             });
            accept_next();
        });
    }

    void read_next(const std::shared_ptr<Session>& session) {
        if (paused || session->reading) {
            return;
        }
        session->reading = true;
        session->ws.async_read(session->buffer, [this, session](const beast::error_code& error, std::size_t) {
            session->reading = false;
            if (error) {
                return;
            }
            {
                const std::lock_guard lock(mutex);
                frames.push_back(beast::buffers_to_string(session->buffer.data()));
            }
            session->buffer.consume(session->buffer.size());
            changed.notify_all();
            read_next(session);
        });
    }

    asio::io_context io;
    tcp::acceptor acceptor {io};
    // Touched by the I/O thread only, once it runs.
    std::vector<std::shared_ptr<Session>> sessions;
    bool paused = false;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> frames;
    std::string path;
    std::thread thread;
};

FakeApplication::FakeApplication(std::uint16_t port) : impl(std::make_unique<Impl>()) {
    impl->acceptor.open(tcp::v4());
    impl->acceptor.set_option(asio::socket_base::reuse_address(true));
    impl->acceptor.bind({asio::ip::make_address("127.0.0.1"), port});
    impl->acceptor.listen();
    impl->accept_next();
    impl->thread = std::thread([this]() { impl->io.run(); });
}

FakeApplication::~FakeApplication() {
    stop();
}

std::uint16_t FakeApplication::port() const {
    return impl->acceptor.local_endpoint().port();
}

void FakeApplication::stop() {
    if (!impl->thread.joinable()) {
        return;
    }
    asio::post(impl->io, [this]() {
        impl->acceptor.close();
        for (auto& session : impl->sessions) {
            beast::get_lowest_layer(session->ws).socket().close();
        }
    });
    impl->thread.join();
}

void FakeApplication::set_paused(bool value) {
    asio::post(impl->io, [this, value]() {
        impl->paused = value;
        if (!impl->paused) {
            for (auto& session : impl->sessions) {
                impl->read_next(session);
            }
        }
    });
}

std::optional<std::string> FakeApplication::next_frame(std::chrono::milliseconds timeout) {
    std::unique_lock lock(impl->mutex);
    if (!impl->changed.wait_for(lock, timeout, [this]() { return !impl->frames.empty(); })) {
        return std::nullopt;
    }
    auto frame = impl->frames.front();
    impl->frames.pop_front();
    return frame;
}

std::string FakeApplication::last_path() {
    const std::lock_guard lock(impl->mutex);
    return impl->path;
}

}  // namespace velmor::testing
