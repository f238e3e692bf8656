#include "ws_fanout_folder.hpp"

const char* ws_fanout_folder() {
    return VELMOR_WS_FANOUT_DIR;
}
