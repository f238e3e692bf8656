#include <velmor/motion/version_number.hpp>

namespace velmor {

const VersionNumber version_number {0, 0, 30};

}  // namespace velmor
