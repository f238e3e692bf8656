#pragma once

#include <memory>
#include <vector>

#include <velmor/motion/robot.hpp>

namespace velmor {

//! Client of the Mirava visualisation application.
class Mirava {
public:
    //! Connects at once when `auto_connect`, waiting at most `timeout` [s].
    explicit Mirava(bool auto_connect = true, double timeout = 2.0);
    ~Mirava();
    Mirava(const Mirava&) = delete;
    Mirava& operator=(const Mirava&) = delete;

    //! (Re)connects, waiting at most `timeout` [s]; throws VelmorError (module "mirava").
    void reconnect(double timeout);
    //! Shows `joint_position` [rad]; never blocks and never throws.
    void set_joint_position(const std::vector<double>& joint_position, const std::shared_ptr<Robot>& robot) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace velmor
