#pragma once

// The Node.js comparison server's folder in the source tree, compiled in its own
// small file so that the benchmark stays in the compiler cache across clones.
const char* ws_fanout_folder();
