#include <velmor/drivers/simulated/signal_viewer.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <tuple>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <velmor/drivers/simulated/sensor_html.hpp>

#include "support/viewer_client.hpp"

using namespace velmor::drivers::simulated;
using namespace std::chrono_literals;
using velmor::testing::ViewerClient;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// Every test here serves on the viewer's own port.
constexpr std::uint16_t port = 8679;

// A table, its lock and a viewer serving it, closed and joined at the end.
struct Served {
    SharedSignalTable signals;
    std::unique_ptr<SignalViewer> viewer;

    explicit Served(std::initializer_list<Signal> initial = {}, const IoObserver* observer = nullptr) {
        for (const auto& signal : initial) {
            signals.lock().store(signal, IoSource::Script);
        }
        if (observer != nullptr) {
            signals.set_observer(*observer);
        }
        viewer = std::make_unique<SignalViewer>(signals, port);
    }
    ~Served() {
        if (viewer != nullptr) {
            viewer->close();
        }
    }

    std::variant<std::int32_t, float> value(const std::string& name) {
        return signals.get(name)->value;
    }
};

Signal digital(const std::string& name, std::int32_t value) {
    return {name, value, std::nullopt};
}

std::string message(const std::string& name, const std::string& action, const std::string& extra = "") {
    return R"({"name":")" + name + R"(","action":")" + action + "\"" + extra + "}";
}

// A page on a bare socket, which can send several messages in one write, as they
// arrive when a page sends faster than the viewer reads. Receives time out after 5 s.
class BarePage {
public:
    BarePage() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const timeval timeout {5, 0};
        if (socket_ < 0 || setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout)) != 0 ||
            connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
            throw std::runtime_error("cannot connect");
        }
        send_all("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: AAAAAAAAAAAAAAAAAAAAAA==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        while (received_.find("\r\n\r\n") == std::string::npos) {
            receive();
        }
        received_.erase(0, received_.find("\r\n\r\n") + 4);
    }
    ~BarePage() { ::close(socket_); }

    // Sends short texts as masked text frames in one write; a zero mask leaves them as they are.
    void send_at_once(const std::vector<std::string>& texts) {
        std::string frames;
        for (const auto& text : texts) {
            frames += {static_cast<char>(0x81), static_cast<char>(0x80 | text.size())};
            frames.append(4, '\0');
            frames += text;
        }
        send_all(frames);
    }

    // The next text frame (the server sends unmasked frames of up to 64 KiB).
    std::string read() {
        wait_for(2);
        std::size_t header = 2;
        std::size_t length = static_cast<std::uint8_t>(received_[1]) & 0x7fU;
        if (length == 126) {
            wait_for(4);
            header = 4;
            length = (std::size_t {static_cast<std::uint8_t>(received_[2])} << 8U) |
                     static_cast<std::uint8_t>(received_[3]);
        }
        wait_for(header + length);
        std::string text = received_.substr(header, length);
        received_.erase(0, header + length);
        return text;
    }

private:
    void wait_for(std::size_t bytes) {
        while (received_.size() < bytes) {
            receive();
        }
    }
    void receive() {
        char chunk[4096];
        const auto got = ::recv(socket_, chunk, sizeof(chunk), 0);
        if (got <= 0) {
            throw std::runtime_error("nothing received");
        }
        received_.append(chunk, static_cast<std::size_t>(got));
    }
    void send_all(const std::string& bytes) {
        if (::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) {
            throw std::runtime_error("cannot send");
        }
    }

    int socket_;
    std::string received_;
};

bool one_active(const std::string& fragment) {
    return fragment.find(R"(<button class="active" type="submit" name="action" value="set-value">1<)") !=
           std::string::npos;
}

}  // namespace

TEST(SignalViewer, PrintsLiveLineOnceListening) {
    ::testing::internal::CaptureStdout();
    {
        Served served;
        for (int i = 0; i < 500 && !served.viewer->is_listening(); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_TRUE(served.viewer->is_listening());
    }
    EXPECT_THAT(::testing::internal::GetCapturedStdout(),
                HasSubstr("[velmor.driver] I/O viewer is live at http://localhost:8679.\n"));
}

TEST(SignalViewer, PageListsSignalsInByteOrderAsChunkedResponse) {
    Served served {digital("b", 0), Signal {"a", 0.5F, "analog one"}, digital("B", 1)};
    const auto reply = velmor::testing::http_get(port, "/");
    EXPECT_EQ(reply.status, 200U);
    EXPECT_TRUE(reply.chunked);
    const auto upper = reply.body.find(R"(<div class="title">B</div>)");
    const auto lower_a = reply.body.find(R"(<div class="title">a</div><div class="label">analog one</div>)");
    const auto lower_b = reply.body.find(R"(<div class="title">b</div>)");
    ASSERT_NE(upper, std::string::npos);
    EXPECT_LT(upper, lower_a);
    EXPECT_LT(lower_a, lower_b);
    EXPECT_EQ(reply.body.rfind(get_page_head(), 0), 0U);
    EXPECT_THAT(reply.body, HasSubstr(R"(value="0.500000")"));
    EXPECT_THAT(reply.body, Not(HasSubstr("No I/Os defined.")));
    EXPECT_EQ(reply.body.substr(reply.body.size() - 26), "</div></div></body></html>");
}

TEST(SignalViewer, EmptyTableShowsNoIosLineInsideTheList) {
    Served served;
    const auto reply = velmor::testing::http_get(port, "/");
    EXPECT_THAT(reply.body, HasSubstr(R"(<div hx-ws="connect:/" class="signal-list"><span style="color: #555;">No I/Os defined.</span></div>)"));
}

TEST(SignalViewer, SignalNamesCannotInjectMarkupIntoThePage) {
    Served served {Signal {"<img src=x onerror=alert(1)>", std::int32_t {0}, "<script>x</script>"}};
    const auto reply = velmor::testing::http_get(port, "/");
    EXPECT_THAT(reply.body, Not(HasSubstr("<img src=x")));
    EXPECT_THAT(reply.body, Not(HasSubstr("<script>x")));
    EXPECT_THAT(reply.body, HasSubstr(R"(id="&lt;img src=x onerror=alert(1)&gt;")"));
}

TEST(SignalViewer, OtherPathsAnswerNotFound) {
    Served served;
    EXPECT_EQ(velmor::testing::http_get(port, "/index.html").status, 404U);
    EXPECT_EQ(velmor::testing::http_get(port, "/").status, 200U);
}

TEST(SignalViewer, OpeningPageReceivesEveryFragment) {
    Served served {digital("lamp", 1), Signal {"speed", 0.25F, std::nullopt}};
    ViewerClient page(port);
    std::vector<std::string> frames {*page.read(), *page.read()};
    std::sort(frames.begin(), frames.end());
    EXPECT_EQ(frames[0], get_sensor_html(digital("lamp", 1), false));
    EXPECT_EQ(frames[1], get_sensor_html(Signal {"speed", 0.25F, std::nullopt}, false));
    EXPECT_FALSE(page.read(100ms).has_value());
}

TEST(SignalViewer, SetValueFromOnePageReachesBoth) {
    Served served {digital("lamp", 0)};
    ViewerClient first(port);
    ViewerClient second(port);
    ASSERT_TRUE(first.read().has_value());
    ASSERT_TRUE(second.read().has_value());
    first.send(message("lamp", "set-value", R"(,"value":"1","HEADERS":{"HX-Request":"true"})"));
    const auto seen_by_first = first.read();
    const auto seen_by_second = second.read();
    ASSERT_TRUE(seen_by_first && seen_by_second);
    EXPECT_EQ(*seen_by_first, get_sensor_html(digital("lamp", 1), false));
    EXPECT_EQ(*seen_by_second, *seen_by_first);
    EXPECT_EQ(served.value("lamp"), (std::variant<std::int32_t, float>(1)));
}

TEST(SignalViewer, SetValueReadsNumbersLikeStrtol) {
    Served served {digital("lamp", 0), Signal {"speed", 1.0F, std::nullopt}};
    ViewerClient page(port);
    page.read();
    page.read();
    page.send(message("lamp", "set-value", R"(,"value":"12abc")"));
    ASSERT_TRUE(page.read().has_value());
    EXPECT_EQ(served.value("lamp"), (std::variant<std::int32_t, float>(12)));
    page.send(message("lamp", "set-value", R"(,"value":"  -7")"));
    ASSERT_TRUE(page.read().has_value());
    EXPECT_EQ(served.value("lamp"), (std::variant<std::int32_t, float>(-7)));
    page.send(message("speed", "set-value", R"(,"value":"0.25")"));
    ASSERT_EQ(page.read(), get_sensor_html(Signal {"speed", 0.25F, std::nullopt}, false));
    EXPECT_EQ(served.value("speed"), (std::variant<std::int32_t, float>(0.25F)));
}

TEST(SignalViewer, ToggleWithoutTimesFlipsAtOnce) {
    Served served {digital("lamp", 0)};
    ViewerClient page(port);
    page.read();
    page.send(message("lamp", "toggle", R"(,"after":"0","interval":"0")"));
    EXPECT_EQ(page.read(), get_sensor_html(digital("lamp", 1), false));
    // A delay under a millisecond is no wait: the toggle thread flips at once.
    page.send(message("lamp", "toggle", R"(,"after":"0.0004","interval":"0")"));
    std::vector<std::string> frames;
    while (auto frame = page.read(300ms)) {
        frames.push_back(*frame);
    }
    EXPECT_EQ(frames.size(), 2U);
    EXPECT_THAT(frames, ::testing::Contains(get_sensor_html(digital("lamp", 0), false)));
    EXPECT_EQ(served.value("lamp"), (std::variant<std::int32_t, float>(0)));
}

TEST(SignalViewer, DelayedTogglePublishesOldValueThenTheFlip) {
    Served served {digital("lamp", 0)};
    ViewerClient page(port);
    page.read();
    page.send(message("lamp", "toggle", R"(,"after":"0.3","interval":"0")"));
    EXPECT_EQ(page.read(), get_sensor_html(digital("lamp", 0), false));
    EXPECT_FALSE(page.read(100ms).has_value());
    EXPECT_EQ(page.read(3s), get_sensor_html(digital("lamp", 1), false));
}

TEST(SignalViewer, RepeatingToggleFlipsUntilStopped) {
    Served served {digital("lamp", 0)};
    ViewerClient page(port);
    page.read();
    page.send(message("lamp", "toggle", R"(,"after":"0","interval":"0.1")"));
    // The flip at once and the message's own answer may arrive in either order.
    std::vector<std::string> frames;
    for (int i = 0; i < 4; ++i) {
        frames.push_back(page.read().value_or(""));
    }
    EXPECT_THAT(frames, ::testing::Contains(HasSubstr("Stop")));
    int ones = 0;
    for (const auto& frame : frames) {
        ones += one_active(frame) ? 1 : 0;
    }
    EXPECT_GE(ones, 1);
    EXPECT_LE(ones, 3);
    page.send(message("lamp", "stop"));
    std::string last;
    while (auto frame = page.read(500ms)) {
        last = *frame;
    }
    EXPECT_THAT(last, HasSubstr(">Toggle<"));
    const auto settled = served.value("lamp");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(served.value("lamp"), settled);
    EXPECT_FALSE(page.read(100ms).has_value());
}

TEST(SignalViewer, ClosingEndsARepeatingToggleAndItsPagesSeeThat) {
    Served served {digital("lamp", 0)};
    ViewerClient page(port);
    page.read();
    page.send(message("lamp", "toggle", R"(,"after":"5","interval":"1")"));
    EXPECT_THAT(page.read().value_or(""), HasSubstr("Stop"));
    served.viewer->close();
    EXPECT_THAT(page.read().value_or(""), HasSubstr(">Toggle<"));
}

TEST(SignalViewer, ToggleWhileRepeatingRestartsInsteadOfHanging) {
    Served served {digital("lamp", 0)};
    ViewerClient page(port);
    page.read();
    page.send(message("lamp", "toggle", R"(,"interval":"0.05")"));
    page.send(message("lamp", "toggle", R"(,"after":"0","interval":"0")"));
    std::string last;
    while (auto frame = page.read(500ms)) {
        last = *frame;
    }
    EXPECT_THAT(last, HasSubstr(">Toggle<"));
    const auto settled = served.value("lamp");
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(served.value("lamp"), settled);
}

TEST(SignalViewer, ChangesFromThePageAndToggleThreadsAreToldWithTheirSource) {
    // Filled under the table's lock, which the viewer holds when it calls the observer.
    std::vector<std::tuple<std::string, SignalValue, SignalValue, IoSource>> changes;
    const IoObserver observer = [&changes](const std::string& name, const std::optional<SignalValue>& old_value,
                                           const SignalValue& new_value, IoSource source, const std::string&) {
        changes.emplace_back(name, old_value.value_or(-1), new_value, source);
    };
    Served served {{digital("lamp", 0), Signal {"speed", 1.0F, std::nullopt}}, &observer};
    ViewerClient page(port);
    page.read();
    page.read();
    page.send(message("lamp", "set-value", R"(,"value":"1")"));
    page.send(message("lamp", "set-value", R"(,"value":"1")"));
    page.send(message("speed", "set-value", R"(,"value":"0.5")"));
    page.send(message("lamp", "toggle"));
    page.send(message("lamp", "toggle", R"(,"after":"0.001")"));
    const auto told = [&] {
        const auto table = served.signals.lock();
        return changes.size();
    };
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (told() < 4 && std::chrono::steady_clock::now() < deadline) {
        page.read(50ms);
    }
    const auto table = served.signals.lock();
    using Change = std::tuple<std::string, SignalValue, SignalValue, IoSource>;
    EXPECT_EQ(changes, (std::vector<Change> {{"lamp", 0, 1, IoSource::Viewer},
                                             {"speed", 1.0F, 0.5F, IoSource::Viewer},
                                             {"lamp", 1, 0, IoSource::Viewer},
                                             {"lamp", 0, 1, IoSource::Toggle}}));
}

TEST(SignalViewer, UnusableMessagesAreDroppedAndServingGoesOn) {
    Served served {digital("lamp", 3), Signal {"speed", 1.0F, std::nullopt}};
    ViewerClient page(port);
    page.read();
    page.read();
    const std::vector<std::string> unusable {
        "not json",
        "[1,2]",
        "\"text\"",
        "{\"name\":5,\"action\":\"set-value\"}",
        "{\"name\":\"lamp\",\"action\":[]}",
        message("missing", "set-value", R"(,"value":"1")"),
        message("lamp", "set-value", R"(,"value":"")"),
        message("lamp", "set-value", R"(,"value":"abc")"),
        message("lamp", "set-value", R"(,"value":"99999999999")"),
        message("lamp", "set-value", R"(,"value":1)"),
        message("lamp", "toggle", R"(,"after":"soon")"),
        message("speed", "set-value", R"(,"value":"")"),
        message("speed", "set-value", R"(,"value":"1e999")"),
        "{\"name\":\"lamp\",",
    };
    for (const auto& text : unusable) {
        page.send(text);
    }
    EXPECT_FALSE(page.read(300ms).has_value());
    EXPECT_EQ(served.value("lamp"), (std::variant<std::int32_t, float>(3)));
    EXPECT_EQ(served.value("speed"), (std::variant<std::int32_t, float>(1.0F)));
    page.send(message("lamp", "set-value", R"(,"value":"1")"));
    EXPECT_EQ(page.read(), get_sensor_html(digital("lamp", 1), false));
}

TEST(SignalViewer, SendUpdatePublishesTheCurrentValue) {
    Served served {digital("lamp", 0)};
    ViewerClient page(port);
    page.read();
    served.viewer->send_update(*served.signals.set("lamp", 1, IoSource::Script));
    EXPECT_EQ(page.read(), get_sensor_html(digital("lamp", 1), false));
}

TEST(SignalViewer, BusyPortIsReportedAndNeverBlocks) {
    boost::asio::io_context context;
    boost::asio::ip::tcp::acceptor blocker(context, {boost::asio::ip::tcp::v4(), port});
    SharedSignalTable signals;
    auto destroyed = std::async(std::launch::async, [&] {
        SignalViewer viewer(signals, port);
        for (int i = 0; i < 500 && !viewer.listen_failed(); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        viewer.close();
        return viewer.listen_failed();
    });
    ASSERT_EQ(destroyed.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(destroyed.get());
}

TEST(SignalViewer, DestructionWaitsForAnOpenPage) {
    auto served = std::make_unique<Served>(std::initializer_list<Signal> {digital("lamp", 0)});
    auto page = std::make_unique<ViewerClient>(port);
    ASSERT_TRUE(page->read().has_value());
    auto destroyed = std::async(std::launch::async, [&] { served.reset(); });
    EXPECT_EQ(destroyed.wait_for(300ms), std::future_status::timeout);
    page->close();
    EXPECT_EQ(destroyed.wait_for(10s), std::future_status::ready);
}

TEST(SignalViewer, CloseEndsIdleKeepAliveConnections) {
    auto served = std::make_unique<Served>();
    boost::asio::io_context context;
    auto socket = velmor::testing::connect_with_retry(context, port);
    EXPECT_EQ(velmor::testing::http_request(context, socket, "/", true).status, 200U);
    auto destroyed = std::async(std::launch::async, [&] { served.reset(); });
    EXPECT_EQ(destroyed.wait_for(10s), std::future_status::ready);
}

TEST(SignalViewer, ValuesSentInABurstReachPagesAsFewFramesEndingWithTheLast) {
    Served served {Signal {"speed", 0.0F, std::nullopt}};
    BarePage page;
    page.read();
    std::vector<std::string> burst;
    for (int value = 1; value <= 40; ++value) {
        burst.push_back(message("speed", "set-value", R"(,"value":")" + std::to_string(value) + "\""));
    }
    page.send_at_once(burst);
    const std::string last = get_sensor_html(Signal {"speed", 40.0F, std::nullopt}, false);
    std::vector<std::string> frames {page.read()};
    while (frames.back() != last) {
        frames.push_back(page.read());
    }
    EXPECT_LT(frames.size(), burst.size() / 4) << "one frame per value would be " << burst.size();
    EXPECT_EQ(served.value("speed"), (std::variant<std::int32_t, float>(40.0F)));
}
