#pragma once

#include <vector>

namespace velmor::drivers {

//! Prints a control cycle's joint position to standard output: the streamed line when
//! `log_stream`, the motion log's line with the wall-clock time [ms] when `log_motions`.
void print_cycle_lines(const std::vector<double>& position, bool log_stream, bool log_motions);

}  // namespace velmor::drivers
