#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "mirava_app/replay.hpp"

namespace velmor::mirava_app {

//! How the application is set up.
struct ServerOptions {
    //! Address to listen on.
    std::string host {"127.0.0.1"};
    //! Port to listen on; 0 picks a free one.
    std::uint16_t port {8768};
    //! Name of the built-in robot model to show, or the path of a robot description file
    //! (".urdf") whose arm from the root link to the single leaf is shown.
    std::string robot {"ur5e"};
    //! Folder holding index.html and app.js.
    std::filesystem::path web_root;
    //! Scene file (scene_json.hpp) of the obstacles to show until a driver sends its own, and
    //! in a replay instead of the recorded ones; empty: none, or the recorded ones.
    std::filesystem::path scene;
    //! Shortest pause between two position updates of the pages [s]; 0 updates them only through publish_now().
    double update_interval {1.0 / 60.0};
    //! A recorded run the page replays on a timeline instead of showing drivers live.
    std::optional<Replay> replay;
};

//! The Mirava application: serves the page, takes joint positions from drivers
//! on the WebSocket path "/driver" and relays the newest one to every page that
//! is open on the WebSocket path "/page", at most once per update interval:
//! at once when the interval since the last update has passed, else at its end.
class Server {
public:
    //! Builds the robot model, loads the scene and starts listening; throws VelmorError
    //! (module "mirava") for an unknown robot, a scene it cannot load or an address it
    //! cannot listen on.
    explicit Server(const ServerOptions& options);
    //! Stops and waits for the thread started by start().
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    //! The port it listens on.
    [[nodiscard]] std::uint16_t port() const;
    //! Serves on the calling thread until stop().
    void run();
    //! Serves on a thread of its own.
    void start();
    //! Ends serving; callable from any thread and from a signal handler's asio completion.
    void stop();
    //! Sends the newest position to the pages now and waits until that is done.
    void publish_now();
    //! Number of joint positions accepted from drivers so far.
    [[nodiscard]] std::uint64_t accepted_positions() const;
    //! Number of driver messages refused so far.
    [[nodiscard]] std::uint64_t refused_messages() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace velmor::mirava_app
