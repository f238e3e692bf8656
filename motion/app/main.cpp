// velmor-mirava: shows the simulated robot in a browser page.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <utility>

#include <pthread.h>

#include <velmor/motion/host_port.hpp>
#include <velmor/motion/robots.hpp>
#include <velmor/common/velmor_error.hpp>

#include "mirava_app/server.hpp"

namespace {

void print_usage() {
    std::cout << "Usage: velmor-mirava [--address HOST:PORT] [--robot NAME] [--scene FILE] [--web-root DIR]\n"
                 "  --address   where to listen (default 127.0.0.1:8768; port 0 picks a free one)\n"
                 "  --robot     built-in robot model to show:";
    for (const auto& name : velmor::robots::model_names()) {
        std::cout << ' ' << name;
    }
    std::cout << " (default ur5e)\n"
                 "  --scene     JSON scene file of obstacles to show until a driver sends its own\n"
                 "  --web-root  folder of index.html and app.js (default " VELMOR_MIRAVA_WEB_ROOT ")\n";
}

}  // namespace

int main(int argc, char** argv) {
    velmor::mirava_app::ServerOptions options;
    options.web_root = VELMOR_MIRAVA_WEB_ROOT;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string argument = argv[i];
            if (argument == "--help" || argument == "-h") {
                print_usage();
                return 0;
            }
            if (i + 1 >= argc) {
                throw velmor::VelmorError("mirava", "Unknown option or missing value: '" + argument + "'.");
            }
            const std::string value = argv[++i];
            if (argument == "--address") {
                auto [host, port] = velmor::parse_host_port(value, velmor::PortZero::Allowed, "address");
                options.host = std::move(host);
                options.port = port;
            } else if (argument == "--robot") {
                options.robot = value;
            } else if (argument == "--scene") {
                options.scene = value;
            } else if (argument == "--web-root") {
                options.web_root = value;
            } else {
                throw velmor::VelmorError("mirava", "Unknown option '" + argument + "'.");
            }
        }

        // SIGINT and SIGTERM are taken by sigwait below, never by the server's threads.
        sigset_t stop_signals;
        sigemptyset(&stop_signals);
        sigaddset(&stop_signals, SIGINT);
        sigaddset(&stop_signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

        velmor::mirava_app::Server server(options);
        server.start();
        std::cout << "[velmor.mirava] Showing robot '" << options.robot << "' at http://" << options.host << ":"
                  << server.port() << "/" << std::endl;
        int caught = 0;
        sigwait(&stop_signals, &caught);
        std::cout << "[velmor.mirava] Stopped by " << strsignal(caught) << "." << std::endl;
        server.stop();
    } catch (const velmor::VelmorError& error) {
        std::cerr << "[velmor.mirava] " << error.message << "\n";
        return 1;
    }
    return 0;
}
