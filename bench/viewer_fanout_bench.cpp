// Fan-out of one signal's updates to 50 WebSocket pages, for the viewer and for
// a minimal broadcast server on Node.js with the ws package (bench/ws_fanout),
// at fragments of about 1 KB and of 280 B.
//
// What counts is the state the pages show, not the frames: the viewer sends a
// page the newest value of a signal and may skip values the page has not yet
// been sent, so update i has reached a page once the page shows value i or a
// newer one. Each run makes updates one at a time (sequential latency), then as
// fast as a window allows: at most `window` updates that have not yet reached
// every page. It reports the updates per second until the last value shows on
// every page, and for each update the time until every page shows it or a newer
// value (p50, p99), with the frames each page received per update.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <string_view>
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

#include "ws_fanout_folder.hpp"

extern char** environ;

namespace {

namespace beast = boost::beast;
using tcp = boost::asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using namespace velmor::drivers::simulated;

constexpr std::size_t page_count = 50;
constexpr int sequential_count = 1000;
constexpr int windowed_count = 5000;
constexpr int window = 8;
constexpr int last_value = sequential_count + windowed_count;

// Where a viewer fragment of an analog signal shows its value; a frame of the
// Node server starts with it.
constexpr std::string_view viewer_marker = R"(step="0.01" value=")";

// Pages served by one thread, each remembering the value it shows; records when
// every page first showed each value or a newer one.
class Pages {
public:
    Pages(std::uint16_t port, std::size_t count, std::string_view marker) : marker(marker), reached(last_value + 1) {
        for (std::size_t i = 0; i < count; ++i) {
            auto page = std::make_unique<Page>(context);
            auto& socket = page->ws.next_layer();
            socket.connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), port));
            // Small messages sent back to back go out at once rather than waiting for acknowledgements.
            socket.set_option(tcp::no_delay(true));
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
                page->ws.next_layer().close(ec);
            }
        });
        guard.reset();
        runner.join();
    }

    // Waits until every page shows `value` or a newer one.
    void wait_everywhere(int value) {
        std::unique_lock lock(mutex);
        if (!changed.wait_for(lock, std::chrono::seconds(20), [&] { return everywhere >= value; })) {
            throw std::runtime_error("value " + std::to_string(value) + " did not reach every page");
        }
    }

    // When every page first showed `value` or a newer one; only after wait_everywhere(value).
    Clock::time_point reached_at(int value) const { return reached[static_cast<std::size_t>(value)]; }

    std::uint64_t frames() const {
        const std::lock_guard lock(mutex);
        return received;
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
        // On the bare socket, so that the pages cost as little as the benchmark allows.
        beast::websocket::stream<tcp::socket> ws;
        beast::flat_buffer buffer;
        int shown {0};
    };

    void read(Page& page) {
        page.ws.async_read(page.buffer, [this, &page](beast::error_code ec, std::size_t) {
            if (ec) {
                return;
            }
            const auto data = page.buffer.data();
            show(page, std::string_view(static_cast<const char*>(data.data()), data.size()));
            page.buffer.consume(page.buffer.size());
            read(page);
        });
    }

    // Takes the value a frame shows; frames that show none leave the page as it was.
    void show(Page& page, std::string_view frame) {
        const auto at = frame.find(marker);
        int value = 0;
        if (at == std::string_view::npos ||
            std::from_chars(frame.data() + at + marker.size(), frame.data() + frame.size(), value).ec != std::errc {}) {
            return;
        }
        const int before = page.shown;
        page.shown = std::max(page.shown, value);
        const std::lock_guard lock(mutex);
        ++received;
        // Only the page that showed the oldest value can move the minimum.
        if (before != everywhere) {
            return;
        }
        int lowest = page.shown;
        for (const auto& other : pages) {
            lowest = std::min(lowest, other->shown);
        }
        if (lowest == everywhere) {
            return;
        }
        const auto now = Clock::now();
        for (int v = everywhere + 1; v <= std::min(lowest, last_value); ++v) {
            reached[static_cast<std::size_t>(v)] = now;
        }
        everywhere = lowest;
        changed.notify_all();
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

    const std::string_view marker;
    boost::asio::io_context context;
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> guard {
        boost::asio::make_work_guard(context)};
    std::vector<std::unique_ptr<Page>> pages;
    std::deque<std::string> outgoing;
    std::thread runner;
    // Guards everywhere, received and reached, which the page thread writes.
    mutable std::mutex mutex;
    std::condition_variable changed;
    int everywhere {0};
    std::uint64_t received {0};
    std::vector<Clock::time_point> reached;
};

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

double micros(Clock::duration duration) {
    return std::chrono::duration<double, std::micro>(duration).count();
}

// Runs the sequential and the windowed updates with values 1, 2, ... and
// reports the figures as counters; `trigger(v)` makes value v the newest.
template <typename Trigger>
void measure(benchmark::State& state, Pages& pages, std::size_t fragment_bytes, Trigger trigger) {
    std::vector<double> sequential;
    std::vector<double> windowed;
    std::vector<Clock::time_point> sent(last_value + 1);
    double seconds = 0.0;
    std::uint64_t frames = 0;
    for (auto _ : state) {
        for (int value = 1; value <= sequential_count; ++value) {
            sent[value] = Clock::now();
            trigger(value);
            pages.wait_everywhere(value);
            sequential.push_back(micros(pages.reached_at(value) - sent[value]));
        }
        const std::uint64_t frames_before = pages.frames();
        const auto start = Clock::now();
        for (int value = sequential_count + 1; value <= last_value; ++value) {
            if (value - window > sequential_count) {
                pages.wait_everywhere(value - window);
            }
            sent[value] = Clock::now();
            trigger(value);
        }
        pages.wait_everywhere(last_value);
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        frames = pages.frames() - frames_before;
        for (int value = sequential_count + 1; value <= last_value; ++value) {
            windowed.push_back(micros(pages.reached_at(value) - sent[value]));
        }
    }
    state.counters["fragment_bytes"] = static_cast<double>(fragment_bytes);
    state.counters["sequential_p50_us"] = percentile(sequential, 0.50);
    state.counters["sequential_p99_us"] = percentile(sequential, 0.99);
    state.counters["updates_per_s"] = windowed_count / seconds;
    state.counters["p50_us"] = percentile(windowed, 0.50);
    state.counters["p99_us"] = percentile(windowed, 0.99);
    state.counters["frames_per_page_update"] =
        static_cast<double>(frames) / static_cast<double>(page_count * windowed_count);
}

// An analog signal whose name makes its fragment about `bytes` long at a
// four-digit value.
Signal sized_signal(std::size_t bytes) {
    Signal signal {"lamp", 1000.0F, std::nullopt};
    while (get_sensor_html(signal, false).size() + 2 <= bytes) {
        signal.name += '_';
    }
    return signal;
}

std::size_t fragment_bytes_of(const Signal& signal) {
    return get_sensor_html(signal, false).size();
}

struct Viewer {
    explicit Viewer(std::size_t bytes) : signal(sized_signal(bytes)), fragment_bytes(fragment_bytes_of(signal)) {}
    ~Viewer() { viewer.close(); }

    std::uint16_t port() const {
        while (viewer.get_port() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return static_cast<std::uint16_t>(viewer.get_port());
    }

    const Signal signal;
    const std::size_t fragment_bytes;
    SharedSignalTable signals {SignalTable {{signal.name, Signal {signal.name, 0.0F, std::nullopt}}}};
    SignalViewer viewer {signals, 0};
};

void BM_ViewerSendUpdateFanout(benchmark::State& state) {
    Viewer served(static_cast<std::size_t>(state.range(0)));
    Pages pages(served.port(), page_count, viewer_marker);
    measure(state, pages, served.fragment_bytes, [&](int value) {
        served.viewer.send_update(*served.signals.set(served.signal.name, static_cast<float>(value), IoSource::Script));
    });
}

void BM_ViewerMessageFanout(benchmark::State& state) {
    Viewer served(static_cast<std::size_t>(state.range(0)));
    Pages pages(served.port(), page_count, viewer_marker);
    const std::string head = R"({"name":")" + served.signal.name + R"(","action":"set-value","value":")";
    measure(state, pages, served.fragment_bytes,
            [&](int value) { pages.send(head + std::to_string(value) + R"("})"); });
}

// The comparison server, started for the benchmark on a free port and stopped after it.
class NodeServer {
public:
    explicit NodeServer(std::size_t bytes) {
        const std::filesystem::path directory = ws_fanout_folder();
        if (!std::filesystem::exists(directory / "node_modules" / "ws")) {
            throw std::runtime_error("run npm ci in " + directory.string());
        }
        const std::string script = (directory / "server.mjs").string();
        const std::string size = std::to_string(bytes);
        int pipe_ends[2];
        if (pipe(pipe_ends) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
        std::vector<char*> argv {const_cast<char*>("node"), const_cast<char*>(script.c_str()), const_cast<char*>("0"),
                                 const_cast<char*>(size.c_str()), nullptr};
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
        unsigned listening = 0;
        if (got <= 0 || std::sscanf(line, "listening %u", &listening) != 1 || listening == 0 || listening > 65535) {
            throw std::runtime_error("node server did not start");
        }
        port = static_cast<std::uint16_t>(listening);
    }
    ~NodeServer() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }

    std::uint16_t port {0};

private:
    pid_t pid {0};
};

void BM_NodeWsMessageFanout(benchmark::State& state) {
    try {
        const std::size_t bytes = fragment_bytes_of(sized_signal(static_cast<std::size_t>(state.range(0))));
        NodeServer node(bytes);
        Pages pages(node.port, page_count, "");
        measure(state, pages, bytes, [&](int value) { pages.send(std::to_string(value)); });
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        for (auto _ : state) {
        }
    }
}

}  // namespace

BENCHMARK(BM_ViewerSendUpdateFanout)->Arg(1024)->Arg(280)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ViewerMessageFanout)->Arg(1024)->Arg(280)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NodeWsMessageFanout)->Arg(1024)->Arg(280)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
