#include <velmor/net/websocket_peer.hpp>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/websocket/error.hpp>
#include <boost/beast/websocket/stream.hpp>

#include <gtest/gtest.h>

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

constexpr std::size_t max_message = 1024;

// On opening queues three frames, two about the same key; echoes what it reads and
// reports the first failure.
class EchoPeer : public velmor::WebsocketPeer {
public:
    EchoPeer(tcp::socket&& socket, std::promise<Stage>& failed)
        : WebsocketPeer(std::move(socket)), failed_(failed) {}

private:
    void on_open() override {
        queue_frame("state", std::make_shared<const std::string>("state 1"));
        queue_frame("state", std::make_shared<const std::string>("state 2"));
        queue_frame("state", std::make_shared<const std::string>("state 3"));
    }
    void on_message(std::string_view text) override {
        queue_frame("echo", std::make_shared<const std::string>("echo " + std::string(text)));
    }
    void on_failure(Stage stage, beast::error_code) override {
        if (!reported_) {
            reported_ = true;
            failed_.set_value(stage);
        }
    }

    std::promise<Stage>& failed_;
    bool reported_ = false;
};

// A server on loopback that hands its one connection to an EchoPeer, and a client.
class WebsocketPeerTest : public ::testing::Test {
protected:
    void SetUp() override {
        acceptor_.listen();
        acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
            ASSERT_FALSE(ec) << ec.message();
            beast::flat_buffer buffer;
            velmor::WebsocketPeer::Request request;
            beast::http::read(socket, buffer, request, ec);
            ASSERT_FALSE(ec) << ec.message();
            auto peer = std::make_shared<EchoPeer>(std::move(socket), failed_);
            peer->accept(std::move(request), max_message,
                         beast::websocket::stream_base::timeout::suggested(beast::role_type::server));
        });
        io_thread_ = std::thread([this] { io_.run(); });
        client_.next_layer().connect(acceptor_.local_endpoint());
        client_.handshake("127.0.0.1", "/");
    }
    void TearDown() override {
        beast::error_code ec;
        client_.next_layer().close(ec);
        io_thread_.join();
    }
    std::string read() {
        beast::flat_buffer buffer;
        client_.read(buffer);
        return beast::buffers_to_string(buffer.data());
    }

    asio::io_context io_;
    tcp::acceptor acceptor_{io_, {asio::ip::make_address("127.0.0.1"), 0}};
    std::promise<velmor::WebsocketPeer::Stage> failed_;
    std::thread io_thread_;
    asio::io_context client_io_;
    beast::websocket::stream<tcp::socket> client_{client_io_};
};

TEST_F(WebsocketPeerTest, SendsTheNewestFrameOfAKeyAndAnswersMessages) {
    // The first frame was already being written when the other two came; the third
    // replaced the second while it waited.
    EXPECT_EQ(read(), "state 1");
    EXPECT_EQ(read(), "state 3");
    client_.write(asio::buffer(std::string("ping")));
    EXPECT_EQ(read(), "echo ping");
}

TEST_F(WebsocketPeerTest, AMessageBeyondTheLimitEndsTheConnectionAsAReadFailure) {
    EXPECT_EQ(read(), "state 1");
    EXPECT_EQ(read(), "state 3");
    client_.write(asio::buffer(std::string(max_message + 1, 'x')));
    // The peer closes: reading answers its close frame, which ends its read.
    beast::error_code ec;
    beast::flat_buffer buffer;
    client_.read(buffer, ec);
    EXPECT_EQ(ec, beast::websocket::error::closed) << ec.message();
    EXPECT_EQ(client_.reason().code, beast::websocket::close_code::too_big);
    auto failed = failed_.get_future();
    ASSERT_EQ(failed.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(failed.get(), velmor::WebsocketPeer::Stage::Read);
}

}  // namespace
