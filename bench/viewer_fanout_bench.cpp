// Fan-out of viewer updates to 50 WebSocket pages: latency until every page
// has a frame (p50, p99) and updates per second, for the viewer and for a
// minimal broadcast server on Node.js with the ws package (bench/ws_fanout).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <velmor/drivers/simulated/sensor_html.hpp>
#include <velmor/drivers/simulated/signal_viewer.hpp>

extern char** environ;

namespace {

namespace beast = boost::beast;
using tcp = boost::asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using namespace velmor::drivers::simulated;

constexpr std::size_t page_count = 50;
constexpr std::size_t update_count = 10000;
constexpr std::size_t window = 8;
constexpr std::uint16_t viewer_port = 8691;
constexpr std::uint16_t node_port = 8692;

// Pages that count the frames they receive, served by one thread.
class Pages {
public:
    Pages(std::uint16_t port, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            auto page = std::make_unique<Page>(context);
            for (int attempt = 0;; ++attempt) {
                beast::error_code ec;
                beast::get_lowest_layer(page->ws).socket().connect(
                    tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), port), ec);
                if (!ec) {
                    break;
                }
                if (attempt > 500) {
                    throw beast::system_error(ec);
                }
                beast::get_lowest_layer(page->ws).socket().close(ec);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            page->ws.handshake("127.0.0.1", "/");
            pages.push_back(std::move(page));
        }
        for (auto& page : pages) {
            read(*page);
        }
        runner = std::thread([this] { context.run(); });
    }

    ~Pages() {
        boost::asio::post(context, [this] {
            for (auto& page : pages) {
                beast::error_code ec;
                beast::get_lowest_layer(page->ws).socket().close(ec);
            }
        });
        guard.reset();
        runner.join();
    }

    std::uint64_t frames() const { return received.load(std::memory_order_acquire); }

    void wait_for(std::uint64_t target) const {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (frames() < target) {
            if (Clock::now() > deadline) {
                throw std::runtime_error("frames went missing");
            }
            std::this_thread::yield();
        }
    }

    // Sends a text frame from the first page.
    void send(std::string text) {
        boost::asio::post(context, [this, text = std::move(text)] {
            outgoing.push_back(text);
            if (outgoing.size() == 1) {
                write();
            }
        });
    }

private:
    struct Page {
        explicit Page(boost::asio::io_context& context) : ws(context) {}
        beast::websocket::stream<beast::tcp_stream> ws;
        beast::flat_buffer buffer;
    };

    void read(Page& page) {
        page.ws.async_read(page.buffer, [this, &page](beast::error_code ec, std::size_t) {
            if (ec) {
                return;
            }
            page.buffer.consume(page.buffer.size());
            received.fetch_add(1, std::memory_order_release);
            read(page);
        });
    }

    void write() {
        pages.front()->ws.async_write(boost::asio::buffer(outgoing.front()), [this](beast::error_code ec, std::size_t) {
            if (ec) {
                return;
            }
            outgoing.pop_front();
            if (!outgoing.empty()) {
                write();
            }
        });
    }

    boost::asio::io_context context;
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> guard {
        boost::asio::make_work_guard(context)};
    std::vector<std::unique_ptr<Page>> pages;
    std::deque<std::string> outgoing;
    std::atomic<std::uint64_t> received {0};
    std::thread runner;
};

// Runs update_count updates one after another, then update_count more with up
// to `window` in flight, and reports the figures as counters.
template <typename Trigger>
void measure(benchmark::State& state, Pages& pages, Trigger trigger) {
    std::vector<double> latencies;
    latencies.reserve(update_count);
    double sequential_seconds = 0.0;
    double windowed_seconds = 0.0;
    for (auto _ : state) {
        std::uint64_t expected = pages.frames();
        const auto start = Clock::now();
        for (std::size_t i = 0; i < update_count; ++i) {
            const auto sent = Clock::now();
            trigger(i);
            expected += page_count;
            pages.wait_for(expected);
            latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        }
        sequential_seconds = std::chrono::duration<double>(Clock::now() - start).count();

        const std::uint64_t base = pages.frames();
        const auto windowed_start = Clock::now();
        for (std::size_t i = 0; i < update_count; ++i) {
            if (i >= window) {
                pages.wait_for(base + (i - window + 1) * page_count);
            }
            trigger(i);
        }
        pages.wait_for(base + update_count * page_count);
        windowed_seconds = std::chrono::duration<double>(Clock::now() - windowed_start).count();
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["p50_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
    state.counters["updates_per_s"] = static_cast<double>(update_count) / sequential_seconds;
    state.counters["windowed_updates_per_s"] = static_cast<double>(update_count) / windowed_seconds;
}

std::string fragment_size_payload_bytes() {
    return std::to_string(get_sensor_html(Signal {"lamp", std::int32_t {0}, std::nullopt}, false).size());
}

struct Viewer {
    SharedSignalTable signals {SignalTable {{"lamp", Signal {"lamp", std::int32_t {0}, std::nullopt}}}};
    SignalViewer viewer {signals, viewer_port};
    ~Viewer() { viewer.close(); }
};

void BM_ViewerSendUpdateFanout(benchmark::State& state) {
    Viewer served;
    Pages pages(viewer_port, page_count);
    pages.wait_for(page_count);
    measure(state, pages, [&](std::size_t i) {
        served.viewer.send_update(*served.signals.set("lamp", static_cast<std::int32_t>(i % 2), IoSource::Script));
    });
}

void BM_ViewerMessageFanout(benchmark::State& state) {
    Viewer served;
    Pages pages(viewer_port, page_count);
    pages.wait_for(page_count);
    measure(state, pages, [&](std::size_t i) {
        pages.send(R"({"name":"lamp","action":"set-value","value":")" + std::to_string(i % 2) + R"("})");
    });
}

// The comparison server, started for the benchmark and stopped after it.
class NodeServer {
public:
    NodeServer() {
        const auto directory = std::filesystem::path(__FILE__).parent_path() / "ws_fanout";
        if (!std::filesystem::exists(directory / "node_modules" / "ws")) {
            throw std::runtime_error("run npm ci in " + directory.string());
        }
        const std::string script = (directory / "server.mjs").string();
        const std::string port = std::to_string(node_port);
        const std::string bytes = fragment_size_payload_bytes();
        int pipe_ends[2];
        if (pipe(pipe_ends) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
        std::vector<char*> argv {const_cast<char*>("node"), const_cast<char*>(script.c_str()),
                                 const_cast<char*>(port.c_str()), const_cast<char*>(bytes.c_str()), nullptr};
        const int spawned = posix_spawnp(&pid, "node", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipe_ends[1]);
        if (spawned != 0) {
            close(pipe_ends[0]);
            throw std::runtime_error("could not start node");
        }
        char line[64] {};
        const auto got = ::read(pipe_ends[0], line, sizeof(line) - 1);
        close(pipe_ends[0]);
        if (got <= 0 || std::string(line).find("listening") == std::string::npos) {
            throw std::runtime_error("node server did not start");
        }
    }
    ~NodeServer() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }

private:
    pid_t pid {0};
};

void BM_NodeWsMessageFanout(benchmark::State& state) {
    try {
        NodeServer node;
        Pages pages(node_port, page_count);
        measure(state, pages, [&](std::size_t) { pages.send("x"); });
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        for (auto _ : state) {
        }
    }
}

}  // namespace

BENCHMARK(BM_ViewerSendUpdateFanout)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ViewerMessageFanout)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NodeWsMessageFanout)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
