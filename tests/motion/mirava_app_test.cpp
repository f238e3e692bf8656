#include "mirava_app/server.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <velmor/motion/mirava.hpp>
#include <velmor/motion/robots.hpp>
#include <velmor/motion/urdf.hpp>
#include <velmor/common/velmor_error.hpp>

#include "mirava_app/protocol.hpp"
#include "mirava_app/replay.hpp"
#include "support/deadline.hpp"
#include "support/robots_folder.hpp"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using nlohmann::json;
using namespace std::chrono_literals;
using velmor::mirava_app::Server;
using velmor::mirava_app::ServerOptions;

// A WebSocket client on its own I/O thread that records what it receives.
class Peer {
public:
    Peer(std::uint16_t port, const std::string& path) {
        tcp::resolver resolver(io);
        beast::get_lowest_layer(ws).expires_after(velmor::testing::client_deadline);
        beast::get_lowest_layer(ws).connect(resolver.resolve("127.0.0.1", std::to_string(port)));
        bool done = false;
        beast::error_code result;
        ws.async_handshake("127.0.0.1", path, [&](const beast::error_code& error) {
            done = true;
            result = error;
        });
        velmor::testing::run_until_done(io, done, "WebSocket handshake");
        if (result) {
            throw beast::system_error(result);
        }
        beast::get_lowest_layer(ws).expires_never();
        ws.text(true);
        read_next();
        thread = std::thread([this]() { io.run(); });
    }

    ~Peer() { disconnect(); }

    void send(const std::string& text) {
        std::promise<beast::error_code> written;
        asio::post(io, [this, &text, &written]() {
            ws.async_write(asio::buffer(text),
                           [&written](const beast::error_code& error, std::size_t) { written.set_value(error); });
        });
        EXPECT_FALSE(written.get_future().get());
    }

    void disconnect() {
        if (!thread.joinable()) {
            return;
        }
        asio::post(io, [this]() { ws.async_close(websocket::close_code::normal, [](const beast::error_code&) {}); });
        thread.join();
    }

    std::optional<json> next(std::chrono::milliseconds timeout = 2000ms) {
        std::unique_lock lock(mutex);
        if (!changed.wait_for(lock, timeout, [this]() { return !messages.empty(); })) {
            return std::nullopt;
        }
        auto message = json::parse(messages.front());
        messages.pop_front();
        return message;
    }

    // The next message of `type`, skipping others.
    std::optional<json> next_of(const std::string& type, std::chrono::milliseconds timeout = 2000ms) {
        for (auto message = next(timeout); message; message = next(timeout)) {
            if ((*message)["type"] == type) {
                return message;
            }
        }
        return std::nullopt;
    }

private:
    void read_next() {
        ws.async_read(buffer, [this](const beast::error_code& error, std::size_t) {
            if (error) {
                return;
            }
            {
                const std::lock_guard lock(mutex);
                messages.push_back(beast::buffers_to_string(buffer.data()));
            }
            buffer.consume(buffer.size());
            changed.notify_all();
            read_next();
        });
    }

    asio::io_context io;
    websocket::stream<beast::tcp_stream> ws {io};
    beast::flat_buffer buffer;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> messages;
    std::thread thread;
};

http::response<http::string_body> get(std::uint16_t port, const std::string& target) {
    asio::io_context io;
    beast::tcp_stream stream(io);
    tcp::resolver resolver(io);
    stream.connect(resolver.resolve("127.0.0.1", std::to_string(port)));
    http::request<http::empty_body> request(http::verb::get, target, 11);
    request.set(http::field::host, "127.0.0.1");
    request.keep_alive(false);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    bool done = false;
    beast::error_code result;
    stream.expires_after(velmor::testing::client_deadline);
    http::async_write(stream, request, [&](const beast::error_code& error, std::size_t) {
        if (error) {
            done = true;
            result = error;
            return;
        }
        http::async_read(stream, buffer, response, [&](const beast::error_code& read_error, std::size_t) {
            done = true;
            result = read_error;
        });
    });
    velmor::testing::run_until_done(io, done, "HTTP request of " + target);
    if (result) {
        throw beast::system_error(result);
    }
    return response;
}

std::string position_text(const std::vector<double>& position) {
    return json {{"type", "joint_position"}, {"position", position}}.dump();
}

ServerOptions manual_options(const std::string& robot = "ur5e") {
    ServerOptions options;
    options.port = 0;
    options.robot = robot;
    options.update_interval = 0.0;
    return options;
}

void wait_for_accepted(const Server& server, std::uint64_t count) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (server.accepted_positions() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(server.accepted_positions(), count);
}

TEST(MiravaApp, PagesGetOnlyTheNewestPositionOfEachTick) {
    Server server(manual_options());
    server.start();
    Peer page(server.port(), "/page");
    EXPECT_EQ((*page.next_of("status"))["driver_connected"], false);
    Peer driver(server.port(), "/driver");
    EXPECT_EQ((*page.next_of("status"))["driver_connected"], true);
    for (int i = 1; i <= 10; ++i) {
        driver.send(position_text({0.1 * i, 0, 0, 0, 0, 0}));
    }
    wait_for_accepted(server, 10);
    server.publish_now();
    EXPECT_EQ((*page.next())["position"], json({1.0, 0, 0, 0, 0, 0}));
    server.publish_now();
    EXPECT_FALSE(page.next(200ms)) << "a tick without a new position sent something";
    driver.send(position_text({0, 0, 0, 0, 0, 0.5}));
    wait_for_accepted(server, 11);
    server.publish_now();
    EXPECT_EQ((*page.next())["position"], json({0, 0, 0, 0, 0, 0.5}));
}

TEST(MiravaApp, TimedTicksCoalesceABurstAndEndWithItsNewestPosition) {
    auto options = manual_options();
    options.update_interval = 1.0 / 60.0;
    Server server(options);
    server.start();
    Peer page(server.port(), "/page");
    ASSERT_TRUE(page.next_of("status"));
    Peer driver(server.port(), "/driver");
    for (int i = 1; i <= 200; ++i) {
        driver.send(position_text({static_cast<double>(i), 0, 0, 0, 0, 0}));
    }
    int received = 0;
    double last = 0.0;
    while (last < 200.0) {
        const auto message = page.next_of("joint_position");
        ASSERT_TRUE(message);
        const double value = (*message)["position"][0];
        EXPECT_GT(value, last);
        last = value;
        ++received;
    }
    EXPECT_LT(received, 200);
}

TEST(MiravaApp, ALonePositionGoesOutAtOnceAndTheNextWaitsForTheInterval) {
    auto options = manual_options();
    options.update_interval = 30.0;
    Server server(options);
    server.start();
    Peer page(server.port(), "/page");
    ASSERT_TRUE(page.next_of("status"));
    Peer driver(server.port(), "/driver");
    driver.send(position_text({1, 0, 0, 0, 0, 0}));
    EXPECT_EQ((*page.next_of("joint_position"))["position"], json({1, 0, 0, 0, 0, 0}));
    driver.send(position_text({2, 0, 0, 0, 0, 0}));
    driver.send(position_text({3, 0, 0, 0, 0, 0}));
    wait_for_accepted(server, 3);
    EXPECT_FALSE(page.next_of("joint_position", 300ms)) << "published twice within one interval";
    server.publish_now();
    EXPECT_EQ((*page.next_of("joint_position"))["position"], json({3, 0, 0, 0, 0, 0}));
}

TEST(MiravaApp, NewPageGetsTheStatusAndTheLastPosition) {
    Server server(manual_options());
    server.start();
    Peer driver(server.port(), "/driver");
    driver.send(position_text({1, 2, 3, 4, 5, 6}));
    wait_for_accepted(server, 1);
    Peer page(server.port(), "/page");
    const auto status = page.next();
    EXPECT_EQ((*status)["type"], "status");
    EXPECT_EQ((*status)["robot"], "ur5e");
    EXPECT_EQ((*page.next())["obstacles"], json::array());
    const auto position = page.next();
    EXPECT_EQ((*position)["position"], json({1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE((*position)["in_contact"].is_array());
}

TEST(MiravaApp, ShowsTheSceneThenTheDriversObstaclesAndTheLinksTouchingThem) {
    const auto scene = std::filesystem::temp_directory_path() / ("mirava_scene_" + std::to_string(::getpid()) + ".json");
    // A post where the stretched-out arm's tool is, at the all-zero position.
    std::ofstream(scene) << R"({"obstacles": [
        {"name": "table", "shape": "box", "size": [1.6, 1.4, 0.04], "frame": [-0.3, 0, -0.02, 0, 0, 0]},
        {"name": "post", "shape": "cylinder", "radius": 0.05, "length": 0.4, "frame": [-0.82, -0.23, 0.2, 0, 0, 0]}]})";
    auto options = manual_options();
    options.scene = scene;
    Server server(options);
    std::filesystem::remove(scene);
    server.start();
    Peer page(server.port(), "/page");
    const auto shown = page.next_of("obstacles");
    ASSERT_TRUE(shown);
    ASSERT_EQ((*shown)["obstacles"].size(), 2U);
    EXPECT_EQ((*shown)["obstacles"][0]["name"], "post");
    EXPECT_EQ((*shown)["obstacles"][0]["shape"], "cylinder");

    Peer driver(server.port(), "/driver");
    driver.send(position_text({0, 0, 0, 0, 0, 0}));
    wait_for_accepted(server, 1);
    server.publish_now();
    const auto touching = page.next_of("joint_position");
    ASSERT_TRUE(touching);
    EXPECT_EQ((*touching)["in_contact"], json({{0, 6}}));

    // The driver's obstacles replace the scene, and the same position is shown again, now clear.
    driver.send(R"({"type": "obstacles", "obstacles": [{"name": "table", "shape": "box", "size": [1.6, 1.4, 0.04]}]})");
    const auto replaced = page.next_of("obstacles");
    ASSERT_TRUE(replaced);
    EXPECT_EQ((*replaced)["obstacles"].size(), 1U);
    server.publish_now();
    EXPECT_EQ((*page.next_of("joint_position"))["in_contact"], json::array());
    EXPECT_EQ(server.refused_messages(), 0U);
    driver.send(R"({"type": "obstacles", "obstacles": [{"name": "x", "shape": "box", "size": [1, -1, 1]}]})");
    driver.send(position_text({0, 0, 0, 0, 0, 1}));
    wait_for_accepted(server, 2);
    EXPECT_EQ(server.refused_messages(), 1U);

    std::ofstream(scene) << R"({"obstacles": [{"name": "x", "shape": "cone"}]})";
    EXPECT_THROW(Server {options}, velmor::VelmorError);
    std::filesystem::remove(scene);
}

TEST(MiravaApp, SurvivesADriverThatLeavesAndComesBack) {
    Server server(manual_options());
    server.start();
    Peer page(server.port(), "/page");
    ASSERT_TRUE(page.next_of("status"));
    {
        Peer driver(server.port(), "/driver");
        EXPECT_EQ((*page.next_of("status"))["driver_connected"], true);
        driver.send(position_text({1, 0, 0, 0, 0, 0}));
        wait_for_accepted(server, 1);
    }
    EXPECT_EQ((*page.next_of("status"))["driver_connected"], false);
    Peer driver(server.port(), "/driver");
    EXPECT_EQ((*page.next_of("status"))["driver_connected"], true);
    driver.send(position_text({2, 0, 0, 0, 0, 0}));
    wait_for_accepted(server, 2);
    server.publish_now();
    EXPECT_EQ((*page.next_of("joint_position"))["position"], json({2, 0, 0, 0, 0, 0}));
}

TEST(MiravaApp, RefusesMalformedMessagesButKeepsTheDriverAndThePages) {
    Server server(manual_options());
    server.start();
    Peer page(server.port(), "/page");
    ASSERT_TRUE(page.next_of("status"));
    Peer driver(server.port(), "/driver");
    ASSERT_TRUE(page.next_of("status"));
    ::testing::internal::CaptureStderr();
    const std::vector<std::string> malformed {
        "not json",
        "[1, 2]",
        R"({"type": "pose", "position": [0, 0, 0, 0, 0, 0]})",
        R"({"type": "joint_position", "position": [0, 0, 0]})",
        R"({"type": "joint_position", "position": [0, 0, "x", 0, 0, 0]})",
        R"({"type": "joint_position", "position": [0, 0, null, 0, 0, 0]})",
        R"({"type": "joint_position", "position": 5})",
        R"({"type": "joint_position", "position": [0, 0, 0, 0, 0, 0], "robot": 7})",
    };
    for (const auto& text : malformed) {
        driver.send(text);
    }
    driver.send(position_text({0, 0, 0, 0, 0, 3}));
    wait_for_accepted(server, 1);
    const auto log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(server.refused_messages(), malformed.size());
    EXPECT_NE(log.find("[velmor.mirava] Refused a driver's message (not JSON): not json"), std::string::npos) << log;
    server.publish_now();
    EXPECT_EQ((*page.next_of("joint_position"))["position"], json({0, 0, 0, 0, 0, 3}));
}

TEST(MiravaApp, RelaysTheLibraryClientToAPage) {
    auto options = manual_options();
    options.update_interval = 1.0 / 60.0;
    Server server(options);
    server.start();
    Peer page(server.port(), "/page");
    ASSERT_TRUE(page.next_of("status"));
    const std::string address = "127.0.0.1:" + std::to_string(server.port());
    ::setenv("VELMOR_MIRAVA_ADDRESS", address.c_str(), 1);
    const velmor::Mirava mirava(true, 2.0);
    mirava.set_joint_position({0.5, -0.5, 0.25, 0, 0, 1}, nullptr);
    EXPECT_EQ((*page.next_of("joint_position"))["position"], json({0.5, -0.5, 0.25, 0, 0, 1}));
}

TEST(MiravaApp, ServesTheRobotModelOfEachArm) {
    Server single(manual_options());
    single.start();
    const auto arm = json::parse(get(single.port(), "/robot.json").body());
    EXPECT_EQ(arm["degrees_of_freedom"], 6);
    ASSERT_EQ(arm["arms"].size(), 1U);
    EXPECT_EQ(arm["arms"][0]["dh"].size(), 6U);
    EXPECT_EQ(arm["arms"][0]["limits"].size(), 6U);
    EXPECT_EQ(arm["arms"][0]["base"], json({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));

    Server dual(manual_options("dual-arm"));
    dual.start();
    const auto both = json::parse(get(dual.port(), "/robot.json").body());
    EXPECT_EQ(both["degrees_of_freedom"], 12);
    ASSERT_EQ(both["arms"].size(), 2U);
    EXPECT_EQ(both["arms"][1]["first_joint"], 6);
    const auto& left = both["arms"][0]["base"];
    const auto& right = both["arms"][1]["base"];
    EXPECT_NEAR(std::abs(right[7].get<double>() - left[7].get<double>()), 1.0, 1e-9) << "arms 1 m apart along y";
}

TEST(MiravaApp, ServesThePageFilesAndRefusesOtherTargets) {
    const auto root = std::filesystem::temp_directory_path() / ("mirava_app_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    std::ofstream(root / "index.html") << "<p>page</p>";
    std::ofstream(root / "app.js") << "let bundle;";
    auto options = manual_options();
    options.web_root = root;
    Server server(options);
    server.start();
    EXPECT_EQ(get(server.port(), "/").body(), "<p>page</p>");
    const auto script = get(server.port(), "/app.js");
    EXPECT_EQ(script.body(), "let bundle;");
    EXPECT_EQ(script[http::field::content_type], "text/javascript; charset=utf-8");
    EXPECT_EQ(get(server.port(), "/secret").result(), http::status::not_found);
    EXPECT_EQ(get(server.port(), "/../app.js").result(), http::status::not_found);
    std::filesystem::remove_all(root);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(get(server.port(), "/app.js").result(), http::status::not_found);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("was the page built?"), std::string::npos);
}

TEST(MiravaApp, RefusesAnUnknownRobotAndABusyPort) {
    EXPECT_THROW(Server(manual_options("no-such-robot")), velmor::VelmorError);
    Server first(manual_options());
    auto options = manual_options();
    options.port = first.port();
    EXPECT_THROW(Server {options}, velmor::VelmorError);
}

TEST(MiravaAppProtocol, AcceptsExactlyTheRobotsNumberOfFiniteValues) {
    using velmor::mirava_app::parse_driver_message;
    const auto accepted = parse_driver_message(R"({"type":"joint_position","position":[1.5,-2,0],"robot":"r"})", 3);
    EXPECT_EQ(accepted.error, "");
    EXPECT_EQ(accepted.position, std::vector<double>({1.5, -2, 0}));
    EXPECT_NE(parse_driver_message(R"({"type":"joint_position","position":[1.5,-2]})", 3).error, "");
    EXPECT_NE(parse_driver_message(R"({"type":"joint_position","position":[1e999,0,0]})", 3).error, "");
    EXPECT_NE(parse_driver_message(R"({"position":[0,0,0]})", 3).error, "");
}

}  // namespace

namespace {

// Base64 of the 26 little-endian doubles 0, 0.004, ..., 0.1: the times of a
// one-joint recording whose position equals its time.
constexpr const char* recorded_times =
    "AAAAAAAAAAD8qfHSTWJwP/yp8dJNYoA/+n5qvHSTiD/8qfHSTWKQP3sUrkfhepQ/+n5qvHSTmD956SYxCKycP/yp8dJNYqA/PN9PjZduoj97FK5H4X"
    "qkP7pJDAIrh6Y/+n5qvHSTqD86tMh2vp+qP3npJjEIrKw/uB6F61G4rj/8qfHSTWKwP5zEILByaLE/PN9PjZdusj/b+X5qvHSzP3sUrkfherQ/Gy/"
    "dJAaBtT+6SQwCK4e2P1pkO99Pjbc/+n5qvHSTuD+amZmZmZm5Pw==";

std::filesystem::path write_recording(const std::string& name, std::size_t joints, const std::string& times) {
    const auto path = std::filesystem::temp_directory_path() / (name + std::to_string(::getpid()) + ".jsonl");
    std::ofstream file(path);
    file << json {{"type", "header"}, {"format", "velmor-recording"}, {"version", 1}, {"robot", "ur5e"},
                  {"environment_robot", "ur5e"}, {"joint_offset", 0}, {"degrees_of_freedom", joints}}
                .dump()
         << "\n"
         << json {{"type", "cycles"}, {"count", 26}, {"time", times}, {"position", times}}.dump() << "\n"
         << R"({"type":"io","name":"gripper","old":0,"new":1,"source":"viewer","time":0.2,"wall_time":1.5})"
         << "\n";
    return path;
}

}  // namespace

TEST(MiravaAppReplay, KeepsSixtySamplesPerSecondAndTheLastOne) {
    const auto path = write_recording("replay_", 1, recorded_times);
    const auto replay = velmor::mirava_app::read_replay(path);
    const auto data = json::parse(replay.json);
    const std::vector<double> kept {0.0, 0.02, 0.04, 0.06, 0.08, 0.1};
    ASSERT_EQ(data["times"].size(), kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        EXPECT_NEAR(data["times"][i].get<double>(), kept[i], 1e-12);
        EXPECT_NEAR(data["positions"][i][0].get<double>(), kept[i], 1e-5);
    }
    EXPECT_EQ(data["cycles"], 26);
    // The I/O change after the last cycle still lies on the timeline.
    EXPECT_EQ(data["duration"], 0.2);
    EXPECT_EQ(data["io"][0]["source"], "viewer");

    auto options = manual_options();
    options.replay = replay;
    Server replaying(options);
    replaying.start();
    EXPECT_EQ(get(replaying.port(), "/replay.json").body(), replay.json);
    Server live(manual_options());
    live.start();
    EXPECT_EQ(get(live.port(), "/replay.json").result(), http::status::not_found);
    std::filesystem::remove(path);
}

TEST(MiravaAppReplay, RefusesBrokenRecordingsAndJointsTheRobotLacks) {
    const auto broken = write_recording("replay_broken_", 1, "not base64!");
    try {
        velmor::mirava_app::read_replay(broken);
        FAIL() << "read a broken recording";
    } catch (const velmor::VelmorError& error) {
        EXPECT_NE(error.message.find("line 2: column \"time\" is not base64"), std::string::npos) << error.message;
    }
    std::filesystem::remove(broken);

    const auto path = write_recording("replay_offset_", 1, recorded_times);
    auto options = manual_options();
    options.replay = velmor::mirava_app::read_replay(path);
    // The recorded joint behind the arm's six.
    options.replay->joint_offset = 6;
    EXPECT_THROW(Server {options}, velmor::VelmorError);
    std::filesystem::remove(path);
}

namespace {

const std::filesystem::path robots_folder = velmor::testing::robots_folder();

Eigen::Matrix4d matrix_of(const json& rows) {
    Eigen::Matrix4d m;
    for (int k = 0; k < 16; ++k) {
        m(k / 4, k % 4) = rows[static_cast<std::size_t>(k)].get<double>();
    }
    return m;
}

// The tool frame the page works out from the model's chain, as the page does it.
Eigen::Matrix4d chain_tool_frame(const json& arm, const std::vector<double>& q) {
    Eigen::Matrix4d frame = matrix_of(arm["base"]);
    for (std::size_t i = 0; i < q.size(); ++i) {
        const auto& joint = arm["chain"][i];
        const Eigen::Vector3d axis = Eigen::Vector3d(joint["axis"][0], joint["axis"][1], joint["axis"][2]).normalized();
        Eigen::Isometry3d motion = Eigen::Isometry3d::Identity();
        if (joint["type"] == "prismatic") {
            motion.translation() = axis * q[i];
        } else {
            motion.linear() = Eigen::AngleAxisd(q[i], axis).toRotationMatrix();
        }
        frame = frame * matrix_of(joint["origin"]) * motion.matrix() * matrix_of(joint["offset"]);
    }
    return frame * matrix_of(arm["tool_offset"]);
}

std::string file_text(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

class MiravaAppChain : public ::testing::TestWithParam<std::string> {};

TEST_P(MiravaAppChain, TheModelsChainGivesTheArmsToolFrames) {
    Server server(manual_options(GetParam()));
    server.start();
    const auto model = json::parse(get(server.port(), "/robot.json").body());
    const auto arm = std::dynamic_pointer_cast<velmor::RobotArm>(
        GetParam().ends_with(".urdf") ? velmor::robots::from_urdf(GetParam()) : velmor::robots::make(GetParam()));
    ASSERT_TRUE(arm);
    ASSERT_EQ(model["arms"][0]["chain"].size(), arm->get_degrees_of_freedom());
    std::vector<double> q(arm->get_degrees_of_freedom());
    for (int sample = 0; sample < 20; ++sample) {
        for (std::size_t i = 0; i < q.size(); ++i) {
            q[i] = 0.1 * static_cast<double>((sample * 7 + static_cast<int>(i) * 3) % 11) - 0.5;
        }
        const Eigen::Matrix4d difference = chain_tool_frame(model["arms"][0], q) - arm->calculate_tcp(q).transform.matrix();
        EXPECT_LT(difference.cwiseAbs().maxCoeff(), 1e-12) << "sample " << sample;
    }
    EXPECT_EQ(model["arms"][0]["visuals"].size(), arm->get_link_visuals().size());
}

INSTANTIATE_TEST_SUITE_P(BuiltInAndDescribed, MiravaAppChain,
                         ::testing::Values("ur5e", (robots_folder / "seven_axis.urdf").string(),
                                           (robots_folder / "gantry_wrist.urdf").string()));

TEST(MiravaApp, ServesTheDescribedRobotsMeshAndNothingElseUnderItsRoute) {
    Server server(manual_options((robots_folder / "seven_axis.urdf").string()));
    server.start();
    const auto model = json::parse(get(server.port(), "/robot.json").body());
    const auto& flange = model["arms"][0]["visuals"][7]["shapes"][0];
    EXPECT_EQ(flange["shape"], "mesh");
    ASSERT_EQ(flange["url"], "/mesh/0");
    const auto mesh = get(server.port(), "/mesh/0");
    EXPECT_EQ(mesh.result(), http::status::ok);
    EXPECT_EQ(mesh.body(), file_text(robots_folder / "meshes" / "gripper.stl"));
    for (const char* target : {"/mesh/1", "/mesh/00", "/mesh/+0", "/mesh/-0", "/mesh/", "/mesh/0/", "/mesh/0?x",
                               "/mesh/../seven_axis.urdf", "/mesh/meshes/gripper.stl", "/mesh/18446744073709551616"}) {
        EXPECT_EQ(get(server.port(), target).result(), http::status::not_found) << target;
    }
    EXPECT_THROW(Server(manual_options((robots_folder / "none.urdf").string())), velmor::VelmorError);
}

TEST(MiravaAppReplay, ShowsTheRecordedObstaclesUnlessASceneIsGiven) {
    const auto path = write_recording("replay_scene_", 1, recorded_times);
    auto lines = file_text(path);
    const std::string recorded = R"({"obstacles":[{"name":"post","shape":"cylinder","radius":0.05,"length":0.6}]})";
    lines.insert(lines.find('}'), ",\"scene\":" + recorded);
    std::ofstream(path) << lines;
    auto options = manual_options();
    options.replay = velmor::mirava_app::read_replay(path);
    Server recorded_scene(options);
    recorded_scene.start();
    const auto view = json::parse(get(recorded_scene.port(), "/view.json").body());
    EXPECT_EQ(view["replay"], true);
    ASSERT_EQ(view["obstacles"].size(), 1U);
    EXPECT_EQ(view["obstacles"][0]["name"], "post");
    EXPECT_EQ(view["obstacles"][0]["length"], 0.6);

    const auto scene = std::filesystem::temp_directory_path() / ("scene_" + std::to_string(::getpid()) + ".json");
    std::ofstream(scene) << R"({"obstacles":[{"name":"ball","shape":"sphere","radius":0.1}]})";
    options.scene = scene;
    Server given_scene(options);
    given_scene.start();
    EXPECT_EQ(json::parse(get(given_scene.port(), "/view.json").body())["obstacles"][0]["name"], "ball");

    options.replay.reset();
    Server live(options);
    live.start();
    EXPECT_EQ(get(live.port(), "/view.json").body(), R"({"obstacles":[],"replay":false})");
    std::filesystem::remove(scene);
    std::filesystem::remove(path);
}
