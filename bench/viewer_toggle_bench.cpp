// Toggles that a page may ask for and that once took the viewer down: a
// repeating toggle with a period under a millisecond (resident memory before
// and after a few seconds of it), and a "stop" or a new "toggle" that follows
// a toggle waiting 30 s (time until the page has the answer).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>

#include <velmor/drivers/simulated/signal_viewer.hpp>

#include "support/resident_memory.hpp"
#include "support/viewer_client.hpp"

namespace {

using namespace velmor::drivers::simulated;
using Clock = std::chrono::steady_clock;

constexpr int signal_count = 8;

using velmor::testing::resident_mib;

struct Served {
    SharedSignalTable signals;
    std::unique_ptr<SignalViewer> viewer;

    Served() {
        for (int i = 0; i < signal_count; ++i) {
            const auto name = "d" + std::to_string(i);
            signals.lock().store(Signal {name, std::int32_t {0}, std::nullopt}, IoSource::Script);
        }
        viewer = std::make_unique<SignalViewer>(signals, 0);
    }
    ~Served() { viewer->close(); }

    std::uint16_t port() const {
        while (viewer->get_port() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return static_cast<std::uint16_t>(viewer->get_port());
    }
};

std::string message(int index, const std::string& rest) {
    return R"({"name":"d)" + std::to_string(index) + R"(",)" + rest + "}";
}

void drain(velmor::testing::ViewerClient& page, std::chrono::milliseconds quiet) {
    while (page.read(quiet)) {
    }
}

void BM_ViewerSubMillisecondToggle(benchmark::State& state) {
    const bool reading = state.range(0) != 0;
    Served served;
    velmor::testing::ViewerClient page(served.port());
    drain(page, std::chrono::milliseconds(100));
    const double before = resident_mib();
    double peak = before;
    for (auto _ : state) {
        for (int i = 0; i < signal_count; ++i) {
            page.send(message(i, R"("action":"toggle","after":"0","interval":"0.0005")"));
        }
        const auto end = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < end) {
            if (reading) {
                page.read(std::chrono::milliseconds(10));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            peak = std::max(peak, resident_mib());
        }
        for (int i = 0; i < signal_count; ++i) {
            page.send(message(i, R"("action":"stop")"));
        }
    }
    state.counters["rss_before_mib"] = before;
    state.counters["rss_peak_mib"] = peak;
}

// Time until the page has the answer to `second`, sent after `first` on d0.
void measure_after_long_wait(benchmark::State& state, const std::string& first, const std::string& second) {
    Served served;
    velmor::testing::ViewerClient page(served.port());
    drain(page, std::chrono::milliseconds(100));
    for (auto _ : state) {
        page.send(message(0, first));
        drain(page, std::chrono::milliseconds(200));
        const auto started = Clock::now();
        page.send(message(0, second));
        if (!page.read(std::chrono::seconds(60))) {
            state.SkipWithError("no answer within 60 s");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
        drain(page, std::chrono::milliseconds(200));
    }
}

void BM_ViewerStopAfterLongToggle(benchmark::State& state) {
    measure_after_long_wait(state, R"("action":"toggle","after":"30","interval":"30")", R"("action":"stop")");
}

void BM_ViewerToggleAfterDelayedToggle(benchmark::State& state) {
    measure_after_long_wait(state, R"("action":"toggle","after":"30","interval":"0")",
                            R"("action":"toggle","after":"0","interval":"0")");
}

}  // namespace

BENCHMARK(BM_ViewerSubMillisecondToggle)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_ViewerStopAfterLongToggle)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerToggleAfterDelayedToggle)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
