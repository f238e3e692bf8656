// Serves the I/O signal viewer on a free port for the hostile-input tests:
// prints "port <number>" once it listens and serves until standard input closes.
//
// Usage: viewer_fixture [--digital N] [--analog N]
//   N digital signals "d0", "d1", ... at 0 and N analog ones "a0", ... at 0.5 (default 1 each).
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include <velmor/drivers/simulated/controller.hpp>
#include <velmor/velmor_error.hpp>

namespace {

int serve(int digital, int analog) {
    velmor::drivers::simulated::Controller controller(true, false, 0);
    for (int i = 0; i < digital; ++i) {
        controller.create_io("d" + std::to_string(i), std::int32_t {0});
    }
    for (int i = 0; i < analog; ++i) {
        controller.create_io("a" + std::to_string(i), 0.5F);
    }
    const auto& viewer = *controller.get_viewer();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // Listening is reported after the live line, so the two lines never mix.
    while (!viewer.is_listening() && !viewer.listen_failed() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!viewer.is_listening()) {
        std::cerr << "the viewer does not listen\n";
        return 1;
    }
    std::cout << "port " << viewer.get_port() << std::endl;
    std::string ignored;
    while (std::getline(std::cin, ignored)) {
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int digital = 1;
    int analog = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const int count = std::atoi(argv[i + 1]);
        if (option == "--digital") {
            digital = count;
        } else if (option == "--analog") {
            analog = count;
        } else {
            std::cerr << "unknown option " << option << "\n";
            return 2;
        }
    }
    try {
        return serve(digital, analog);
    } catch (const velmor::VelmorError& error) {
        std::cerr << error.message << "\n";
        return 1;
    }
}
