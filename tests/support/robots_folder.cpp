#include "support/robots_folder.hpp"

namespace velmor::testing {

const char* robots_folder() {
    return VELMOR_ROBOTS_DIR;
}

}  // namespace velmor::testing
