#include <velmor/motion/mirava.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <velmor/common/velmor_error.hpp>

#include "support/fake_mirava.hpp"

namespace {

using velmor::testing::FakeApplication;

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

void point_client_at(std::uint16_t port) {
    const std::string address = "127.0.0.1:" + std::to_string(port);
    ::setenv("VELMOR_MIRAVA_ADDRESS", address.c_str(), 1);
}

std::uint16_t unused_port() {
    asio::io_context io;
    tcp::acceptor probe(io, {asio::ip::make_address("127.0.0.1"), 0});
    return probe.local_endpoint().port();
}

nlohmann::json parse(const std::optional<std::string>& frame) {
    EXPECT_TRUE(frame.has_value());
    return frame ? nlohmann::json::parse(*frame) : nlohmann::json();
}

class SingleJointArm : public velmor::Robot {
public:
    SingleJointArm() : Robot("bench \"arm\"") {}
    [[nodiscard]] std::size_t get_degrees_of_freedom() const override { return 1; }
    std::shared_ptr<velmor::RobotArm> get_next_arm(const std::shared_ptr<velmor::RobotArm>&) override { return {}; }
    [[nodiscard]] std::vector<velmor::JointLimits> get_joint_limits() const override { return {}; }
};

TEST(Mirava, DeliversEveryPositionInOrderAsJson) {
    FakeApplication application;
    point_client_at(application.port());
    const velmor::Mirava mirava(true, 2.0);
    for (int i = 0; i < 20; ++i) {
        mirava.set_joint_position({0.25 * i, -1.5, 1e-9}, nullptr);
        const auto message = parse(application.next_frame());
        EXPECT_EQ(message["type"], "joint_position");
        EXPECT_EQ(message["position"], nlohmann::json({0.25 * i, -1.5, 1e-9}));
        EXPECT_FALSE(message.contains("robot"));
    }
    EXPECT_EQ(application.last_path(), "/driver");
}

TEST(Mirava, SendsTheRobotNameWhenGivenARobot) {
    FakeApplication application;
    point_client_at(application.port());
    const velmor::Mirava mirava(true, 2.0);
    mirava.set_joint_position({0.5}, std::make_shared<SingleJointArm>());
    const auto message = parse(application.next_frame());
    EXPECT_EQ(message["robot"], "bench \"arm\"");
    EXPECT_EQ(message["position"], nlohmann::json({0.5}));
}

TEST(Mirava, BurstArrivesInOrderEndingWithTheNewest) {
    FakeApplication application;
    point_client_at(application.port());
    const velmor::Mirava mirava(true, 2.0);
    for (int i = 1; i <= 500; ++i) {
        mirava.set_joint_position({static_cast<double>(i)}, nullptr);
    }
    double previous = 0.0;
    while (previous < 500.0) {
        const auto value = parse(application.next_frame())["position"][0].get<double>();
        EXPECT_GT(value, previous);
        previous = value;
    }
}

TEST(Mirava, SlowApplicationGetsOnlyTheNewestOfTheFramesItMissed) {
    FakeApplication application;
    point_client_at(application.port());
    const velmor::Mirava mirava(true, 2.0);
    application.set_paused(true);
    // Frames of over a megabyte fill the socket buffers after a few sends.
    std::vector<double> position(200000, 0.125);
    for (int i = 1; i <= 40; ++i) {
        position[0] = i;
        mirava.set_joint_position(position, nullptr);
        std::this_thread::sleep_for(5ms);
    }
    application.set_paused(false);
    int received = 0;
    double previous = 0.0;
    while (previous < 40.0) {
        const auto value = parse(application.next_frame(5000ms))["position"][0].get<double>();
        EXPECT_GT(value, previous);
        previous = value;
        ++received;
    }
    EXPECT_LT(received, 40);
}

TEST(Mirava, AbsentApplicationThrowsWithinAboutTheTimeout) {
    const auto port = unused_port();
    point_client_at(port);
    velmor::Mirava mirava(false, 1.0);
    const auto start = std::chrono::steady_clock::now();
    try {
        mirava.reconnect(0.5);
        FAIL() << "reconnect succeeded without an application";
    } catch (const velmor::VelmorError& error) {
        EXPECT_EQ(error.module, "mirava");
        EXPECT_NE(error.message.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << error.message;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed.count(), 1.5);
    EXPECT_THROW(velmor::Mirava(true, 0.2), velmor::VelmorError);
}

TEST(Mirava, MalformedAddressIsRefused) {
    for (const char* address : {"localhost", "127.0.0.1:", ":8768", "127.0.0.1:70000", "127.0.0.1:http"}) {
        ::setenv("VELMOR_MIRAVA_ADDRESS", address, 1);
        velmor::Mirava mirava(false, 1.0);
        EXPECT_THROW(mirava.reconnect(0.1), velmor::VelmorError) << address;
    }
}

TEST(Mirava, UnconnectedClientDropsPositionsAndWarnsOnce) {
    point_client_at(unused_port());
    const velmor::Mirava mirava(false, 1.0);
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 10; ++i) {
        EXPECT_NO_THROW(mirava.set_joint_position({1.0, 2.0}, nullptr));
    }
    const auto output = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(output.rfind("[velmor.mirava] ", 0), 0U) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
}

TEST(Mirava, VanishingApplicationNeitherThrowsNorBlocksAndWarnsOnce) {
    auto application = std::make_unique<FakeApplication>();
    point_client_at(application->port());
    const velmor::Mirava mirava(true, 2.0);
    mirava.set_joint_position({1.0}, nullptr);
    ASSERT_TRUE(application->next_frame());
    ::testing::internal::CaptureStderr();
    application.reset();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) {
        EXPECT_NO_THROW(mirava.set_joint_position({static_cast<double>(i)}, nullptr));
        std::this_thread::sleep_for(2ms);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const auto output = ::testing::internal::GetCapturedStderr();
    EXPECT_LT(elapsed.count(), 2.0);
    EXPECT_NE(output.find("[velmor.mirava] Lost the connection to Mirava at 127.0.0.1:"), std::string::npos) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
}

TEST(Mirava, ReconnectAfterTheApplicationReturnsDeliversAgain) {
    auto application = std::make_unique<FakeApplication>();
    const auto port = application->port();
    point_client_at(port);
    velmor::Mirava mirava(true, 2.0);
    mirava.set_joint_position({1.0}, nullptr);
    ASSERT_TRUE(application->next_frame());
    application.reset();
    ::testing::internal::CaptureStderr();
    mirava.set_joint_position({2.0}, nullptr);
    application = std::make_unique<FakeApplication>(port);
    mirava.reconnect(2.0);
    ::testing::internal::GetCapturedStderr();
    mirava.set_joint_position({3.0}, nullptr);
    EXPECT_EQ(parse(application->next_frame())["position"], nlohmann::json({3.0}));
}

TEST(Mirava, PositionsMayBeSentWhileAnotherThreadReconnects) {
    FakeApplication application;
    point_client_at(application.port());
    velmor::Mirava mirava(true, 2.0);
    std::atomic<bool> sending {true};
    std::thread sender([&]() {
        for (double value = 0.0; sending; value += 1.0) {
            mirava.set_joint_position({value}, nullptr);
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int i = 0; i < 5; ++i) {
        EXPECT_NO_THROW(mirava.reconnect(2.0));
    }
    sending = false;
    sender.join();
    mirava.set_joint_position({-1.0}, nullptr);
    std::optional<std::string> frame;
    while ((frame = application.next_frame()) && nlohmann::json::parse(*frame)["position"][0] != -1.0) {
    }
    EXPECT_TRUE(frame.has_value());
}

TEST(Mirava, DestructionIsPromptWhileConnected) {
    FakeApplication application;
    point_client_at(application.port());
    const auto start = std::chrono::steady_clock::now();
    {
        const velmor::Mirava mirava(true, 2.0);
        mirava.set_joint_position({1.0}, nullptr);
        ASSERT_TRUE(application.next_frame());
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed.count(), 1.0);
}

TEST(Mirava, ObstaclesTooLargeForTheApplicationAreRefusedWithAWarningWhilePositionsGoOn) {
    FakeApplication application;
    point_client_at(application.port());
    auto environment = std::make_shared<velmor::Environment>();
    for (int i = 0; i < 20'000; ++i) {
        environment->add_obstacle("ball " + std::to_string(i), velmor::Sphere(0.1));
    }
    velmor::Mirava mirava(true, 2.0);
    ::testing::internal::CaptureStderr();
    mirava.set_environment(environment);
    mirava.set_joint_position({0.5}, nullptr);
    // Serialising 20,000 obstacles takes seconds under the sanitizers.
    const auto message = parse(application.next_frame(std::chrono::seconds(30)));
    const auto output = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(message["type"], "joint_position");
    EXPECT_NE(output.find("bytes exceeds the application's limit of 1048576 bytes"), std::string::npos) << output;
}

}  // namespace
