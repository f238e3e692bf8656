#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <velmor/motion/robot.hpp>
#include <velmor/motion/shapes.hpp>
#include <velmor/net/allowed_hosts.hpp>
#include <velmor/net/session_set.hpp>

#include "mirava_app/relay.hpp"

namespace velmor::mirava_app {

class PageSession;

//! What the HTTP routes serve.
struct Site {
    //! Folder of index.html and app.js.
    std::filesystem::path web_root;
    //! The body of GET /robot.json.
    std::string robot_json;
    //! The mesh files of the robot model, file i served at GET /mesh/i and nothing else.
    std::vector<std::filesystem::path> meshes;
    //! The body of GET /replay.json; empty when showing drivers live.
    std::string replay_json;
    //! The body of GET /view.json (replay.hpp's view_json).
    std::string view_json;
    //! Names the server may be reached under; requests under other Host names and WebSocket
    //! handshakes from pages of other origins are refused.
    AllowedHosts hosts;
};

//! State shared by all sessions of the application: what the routes serve, the
//! relay between drivers and pages, and the open pages.
class SharedState {
public:
    //! Serves `site` and relays to pages for `robot` among `obstacles`; throws
    //! VelmorError for an invalid obstacle.
    SharedState(Site site, std::shared_ptr<Robot> robot, const std::map<std::string, Shape>& obstacles);

    //! What the routes serve.
    [[nodiscard]] const Site& site() const { return site_; }
    //! The relay; on the server's I/O thread only, except for its counters.
    [[nodiscard]] Relay& relay() { return relay_; }

    //! Adds an open page, which from now on gets every broadcast message.
    void join(PageSession* page);
    //! Forgets a page.
    void leave(PageSession* page);

private:
    void broadcast(const PageFrame& frame);

    const Site site_;
    SessionSet<PageSession> pages_;
    // After pages_: it broadcasts to them.
    Relay relay_;
};

}  // namespace velmor::mirava_app
