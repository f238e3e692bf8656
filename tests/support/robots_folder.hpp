#pragma once

namespace velmor::testing {

// The source tree's folder of robot descriptions. It is compiled in its own small
// file, so that the programs using it do not change with where the tree is checked
// out and stay in the compiler cache across clones.
const char* robots_folder();

}  // namespace velmor::testing
