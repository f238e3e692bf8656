#include "build_tree_web_root.hpp"

const char* build_tree_web_root() {
    return VELMOR_MIRAVA_WEB_ROOT;
}
