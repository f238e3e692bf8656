// velmor-mirava: shows the simulated robot in a browser page.
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include <pthread.h>

#include <velmor/motion/robots.hpp>
#include <velmor/velmor_error.hpp>

#include "mirava_app/server.hpp"

namespace {

// "host:port" with a port from 0 to 65535.
void parse_address(const std::string& text, velmor::mirava_app::ServerOptions& options) {
    const auto colon = text.rfind(':');
    unsigned port = 0;
    const char* last = text.data() + text.size();
    const bool shaped = colon != std::string::npos && colon != 0 && colon + 1 != text.size();
    const auto parsed = shaped ? std::from_chars(text.data() + colon + 1, last, port) : std::from_chars_result {};
    if (!shaped || parsed.ec != std::errc() || parsed.ptr != last || port > 65535) {
        throw velmor::VelmorError("mirava", "The address '" + text + "' is not of the form host:port.");
    }
    options.host = text.substr(0, colon);
    options.port = static_cast<std::uint16_t>(port);
}

void print_usage() {
    std::cout << "Usage: velmor-mirava [--address HOST:PORT] [--robot NAME] [--web-root DIR]\n"
                 "  --address   where to listen (default 127.0.0.1:8768; port 0 picks a free one)\n"
                 "  --robot     built-in robot model to show:";
    for (const auto& name : velmor::robots::model_names()) {
        std::cout << ' ' << name;
    }
    std::cout << " (default ur5e)\n"
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
                parse_address(value, options);
            } else if (argument == "--robot") {
                options.robot = value;
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
