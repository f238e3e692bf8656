// Load and faults on the viewer: connect/disconnect cycles, malformed
// messages and a page that never reads while updates flow. Reports the
// resident memory before and after, and checks that the page is still served.
#include <benchmark/benchmark.h>

#include <string>

#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <velmor/drivers/simulated/signal_viewer.hpp>

#include "support/resident_memory.hpp"
#include "support/viewer_client.hpp"

namespace {

using namespace velmor::drivers::simulated;
namespace beast = boost::beast;

constexpr std::uint16_t port = 8693;

using velmor::testing::resident_mib;

struct Served {
    SharedSignalTable signals {SignalTable {{"lamp", Signal {"lamp", std::int32_t {0}, std::nullopt}}}};
    SignalViewer viewer {signals, port};
    ~Served() { viewer.close(); }

    void flip_and_update(std::size_t i) {
        viewer.send_update(*signals.set("lamp", static_cast<std::int32_t>(i % 2), IoSource::Script));
    }
};

void check_page(benchmark::State& state) {
    if (velmor::testing::http_get(port, "/").status != 200) {
        state.SkipWithError("the page is no longer served");
    }
}

void BM_ViewerConnectDisconnectCycles(benchmark::State& state) {
    Served served;
    check_page(state);
    const double before = resident_mib();
    for (auto _ : state) {
        velmor::testing::ViewerClient page(port);
        benchmark::DoNotOptimize(page.read());
        page.close();
    }
    check_page(state);
    state.counters["rss_before_mib"] = before;
    state.counters["rss_after_mib"] = resident_mib();
}

void BM_ViewerMalformedMessages(benchmark::State& state) {
    Served served;
    velmor::testing::ViewerClient page(port);
    page.read();
    const std::vector<std::string> malformed {"not json", "[1]", R"({"name":1})", R"({"name":"nobody","action":"set-value"})",
                                              R"({"name":"lamp","action":"set-value","value":""})", "{\"name\":"};
    const double before = resident_mib();
    std::size_t i = 0;
    for (auto _ : state) {
        page.send(malformed[i++ % malformed.size()]);
    }
    page.send(R"({"name":"lamp","action":"set-value","value":"1"})");
    if (!page.read(std::chrono::seconds(30)).has_value()) {
        state.SkipWithError("a good message after the malformed ones got no answer");
    }
    check_page(state);
    state.counters["rss_before_mib"] = before;
    state.counters["rss_after_mib"] = resident_mib();
}

void BM_ViewerPageThatNeverReads(benchmark::State& state) {
    Served served;
    // A handshake and then silence: frames pile up in the kernel and then in
    // the server's capped queue for this connection.
    boost::asio::io_context context;
    beast::websocket::stream<beast::tcp_stream> silent(velmor::testing::connect_with_retry(context, port));
    silent.handshake("127.0.0.1", "/");
    velmor::testing::ViewerClient reader(port);
    reader.read();
    const double before = resident_mib();
    std::size_t i = 0;
    std::size_t received = 0;
    for (auto _ : state) {
        served.flip_and_update(i++);
        // Reading after each update keeps the live page current while the silent one lags.
        if (reader.read(std::chrono::seconds(30)).has_value()) {
            ++received;
        }
    }
    check_page(state);
    state.counters["rss_before_mib"] = before;
    state.counters["rss_after_mib"] = resident_mib();
    state.counters["frames_to_reading_page"] = static_cast<double>(received);
    beast::error_code ec;
    beast::get_lowest_layer(silent).socket().close(ec);
}

}  // namespace

BENCHMARK(BM_ViewerConnectDisconnectCycles)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViewerMalformedMessages)->Iterations(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViewerPageThatNeverReads)->Iterations(10000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
