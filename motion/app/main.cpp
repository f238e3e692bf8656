// velmor-mirava: shows the simulated robot in a browser page.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <utility>

#include <pthread.h>

#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/robots.hpp>
#include <velmor/net/host_port.hpp>

#include "build_tree_web_root.hpp"
#include "mirava_app/server.hpp"
#include "mirava_app/web_root.hpp"

namespace {

void print_usage(const std::filesystem::path& default_web_root) {
    std::cout << "Usage: velmor-mirava [--address HOST:PORT] [--robot NAME] [--scene FILE] [--web-root DIR] [--replay FILE]\n"
                 "  --address   where to listen (default 127.0.0.1:8768; port 0 picks a free one)\n"
                 "  --robot     built-in robot model to show:";
    for (const auto& name : velmor::robots::model_names()) {
        std::cout << ' ' << name;
    }
    std::cout << " (default ur5e),\n"
                 "              or a robot description file (.urdf) whose arm to show\n"
                 "  --scene     JSON scene file of obstacles to show until a driver sends its own;\n"
                 "              in a replay, shown instead of the obstacles recorded with the run\n"
                 "  --web-root  folder of index.html and app.js (default "
              << default_web_root.string() << ")\n"
                 "  --replay    a recording of a driver (JSON Lines) to replay on a timeline;\n"
                 "              the robot defaults to the one recorded (give --robot FILE.urdf\n"
                 "              for a robot read from a description)\n";
}

}  // namespace

int main(int argc, char** argv) {
    velmor::mirava_app::ServerOptions options;
    // An installed program serves the page installed beside it; one in the build tree, the bundled page there.
    const auto default_web_root =
        velmor::mirava_app::default_web_root(velmor::mirava_app::running_executable(), build_tree_web_root());
    options.web_root = default_web_root;
    bool robot_given = false;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string argument = argv[i];
            if (argument == "--help" || argument == "-h") {
                print_usage(default_web_root);
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
                robot_given = true;
            } else if (argument == "--scene") {
                options.scene = value;
            } else if (argument == "--web-root") {
                options.web_root = value;
            } else if (argument == "--replay") {
                options.replay = velmor::mirava_app::read_replay(value);
            } else {
                throw velmor::VelmorError("mirava", "Unknown option '" + argument + "'.");
            }
        }

        if (options.replay && !robot_given && !options.replay->environment_robot.empty()) {
            options.robot = options.replay->environment_robot;
        }

        // SIGINT and SIGTERM are taken by sigwait below, never by the server's threads.
        sigset_t stop_signals;
        sigemptyset(&stop_signals);
        sigaddset(&stop_signals, SIGINT);
        sigaddset(&stop_signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

        velmor::mirava_app::Server server(options);
        server.start();
        std::cout << "[velmor.mirava] " << (options.replay ? "Replaying a recording of robot '" : "Showing robot '")
                  << options.robot << "' at " << velmor::browser_url(options.host, server.port()) << "/" << std::endl;
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
