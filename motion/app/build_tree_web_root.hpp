#pragma once

// The bundled page's folder in the build tree. It is compiled in its own small
// file, so that the program's main file does not change with where the tree is
// checked out and stays in the compiler cache across clones.
const char* build_tree_web_root();
