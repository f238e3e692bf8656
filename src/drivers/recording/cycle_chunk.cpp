#include "drivers/recording/cycle_chunk.hpp"

namespace velmor::drivers {

CycleChunk::CycleChunk(std::size_t degrees_of_freedom, std::size_t capacity)
    : degrees_of_freedom(degrees_of_freedom),
      capacity(capacity),
      time(capacity),
      wall_time(capacity),
      scale(capacity),
      command(capacity),
      position(capacity * degrees_of_freedom),
      velocity(capacity * degrees_of_freedom),
      acceleration(capacity * degrees_of_freedom) {}

}  // namespace velmor::drivers
