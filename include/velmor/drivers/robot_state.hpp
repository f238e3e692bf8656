#pragma once

#include <velmor/motion/state.hpp>

//! Motion state of the driven robot: time stamp [s] and one position, velocity
//! and acceleration per joint. A State without additions, so it goes wherever a State goes.
class RobotState : public velmor::State {};
