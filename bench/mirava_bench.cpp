// End-to-end latency of a joint position: from Mirava::set_joint_position in the
// driver's process, through the application's relay, to a page's WebSocket.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include <velmor/motion/mirava.hpp>

#include "mirava_app/server.hpp"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using Clock = std::chrono::steady_clock;

nlohmann::json read_json(websocket::stream<beast::tcp_stream>& ws, beast::flat_buffer& buffer) {
    buffer.consume(buffer.size());
    ws.read(buffer);
    return nlohmann::json::parse(beast::buffers_to_string(buffer.data()));
}

// A sender thread passes positions to the client every 16 ms, as the driver's
// control loop does; each iteration is one position a page receives, timed from
// its set_joint_position. Argument: the relay's largest number of page updates per second.
void MiravaPositionToPage(benchmark::State& state) {
    velmor::mirava_app::ServerOptions options;
    options.port = 0;
    options.update_interval = 1.0 / static_cast<double>(state.range(0));
    velmor::mirava_app::Server server(options);
    server.start();

    asio::io_context io;
    websocket::stream<beast::tcp_stream> page(io);
    asio::ip::tcp::resolver resolver(io);
    beast::get_lowest_layer(page).connect(resolver.resolve("127.0.0.1", std::to_string(server.port())));
    page.handshake("127.0.0.1", "/page");
    beast::flat_buffer buffer;
    read_json(page, buffer);

    const std::string address = "127.0.0.1:" + std::to_string(server.port());
    ::setenv("VELMOR_MIRAVA_ADDRESS", address.c_str(), 1);
    const velmor::Mirava mirava(true, 2.0);
    while (!read_json(page, buffer).value("driver_connected", false)) {
    }

    // Send times by sequence number [ns since the clock's epoch].
    std::vector<std::atomic<std::int64_t>> sent_at(100000);
    std::atomic<bool> sending {true};
    std::thread sender([&]() {
        std::vector<double> position(6, 0.0);
        auto next = Clock::now();
        for (std::size_t k = 1; sending && k < sent_at.size(); ++k) {
            std::this_thread::sleep_until(next);
            next += std::chrono::milliseconds(16);
            position[0] = static_cast<double>(k);
            sent_at[k] = Clock::now().time_since_epoch().count();
            mirava.set_joint_position(position, nullptr);
        }
    });

    std::vector<double> latencies;
    for (auto _ : state) {
        auto message = read_json(page, buffer);
        while (message["type"] != "joint_position") {
            message = read_json(page, buffer);
        }
        const auto k = message["position"][0].get<std::size_t>();
        const auto now = Clock::now().time_since_epoch().count();
        latencies.push_back(static_cast<double>(now - sent_at[k].load()) / 1e6);
    }
    sending = false;
    sender.join();
    std::sort(latencies.begin(), latencies.end());
    const auto percentile = [&latencies](double share) {
        return latencies[static_cast<std::size_t>(share * static_cast<double>(latencies.size() - 1))];
    };
    state.counters["p50_ms"] = percentile(0.50);
    state.counters["p99_ms"] = percentile(0.99);
    state.counters["max_ms"] = latencies.back();
    server.stop();
}

BENCHMARK(MiravaPositionToPage)->Arg(60)->Arg(1000)->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
