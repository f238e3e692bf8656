// Latency of frames that the viewer sends back to back: a page talks to the
// viewer (one message, one answer), then two signals change at once, and the
// time until the page has both fragments is measured. A peer that talks back
// delays its acknowledgements, and without TCP_NODELAY the second frame waits
// for the acknowledgement of the first (about 40 ms on Linux).
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include <velmor/drivers/simulated/signal_viewer.hpp>

#include "support/viewer_client.hpp"

namespace {

using namespace velmor::drivers::simulated;

struct Served {
    SharedSignalTable signals {SignalTable {{"a", Signal {"a", std::int32_t {0}, std::nullopt}},
                                            {"b", Signal {"b", std::int32_t {0}, std::nullopt}}}};
    SignalViewer viewer {signals, 0};
    ~Served() { viewer.close(); }

    std::uint16_t port() const {
        while (viewer.get_port() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return static_cast<std::uint16_t>(viewer.get_port());
    }

    void set(const std::string& name, std::int32_t value) {
        viewer.send_update(*signals.set(name, value, IoSource::Script));
    }
};

void BM_ViewerBackToBackFrames(benchmark::State& state) {
    Served served;
    velmor::testing::ViewerClient page(served.port());
    page.read();
    page.read();
    std::int32_t value = 0;
    for (auto _ : state) {
        page.send(R"({"name":"a","action":"show"})");
        if (!page.read()) {
            state.SkipWithError("no answer");
            break;
        }
        value = 1 - value;
        const auto started = std::chrono::steady_clock::now();
        served.set("a", value);
        served.set("b", value);
        if (!page.read() || !page.read()) {
            state.SkipWithError("a frame did not arrive");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
}

}  // namespace

BENCHMARK(BM_ViewerBackToBackFrames)->Iterations(200)->Unit(benchmark::kMillisecond)->UseManualTime();

BENCHMARK_MAIN();
