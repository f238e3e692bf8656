#pragma once

#include <filesystem>

namespace velmor::mirava_app {

//! Folder of the installed page relative to the program's own folder.
inline constexpr const char* installed_web_root = "../share/velmor-mirava/web";

//! The page folder for a program at `executable`: the installed folder beside
//! it when that holds index.html, else `build_web_root` (a program run from the build tree).
[[nodiscard]] std::filesystem::path default_web_root(const std::filesystem::path& executable,
                                                     const std::filesystem::path& build_web_root);

//! The path of the running program, read from /proc/self/exe; empty when unreadable.
[[nodiscard]] std::filesystem::path running_executable();

}  // namespace velmor::mirava_app
