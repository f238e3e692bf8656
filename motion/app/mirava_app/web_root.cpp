#include "mirava_app/web_root.hpp"

#include <system_error>

namespace velmor::mirava_app {

std::filesystem::path default_web_root(const std::filesystem::path& executable,
                                       const std::filesystem::path& build_web_root) {
    std::error_code error;
    const auto installed = (executable.parent_path() / installed_web_root).lexically_normal();
    if (!executable.empty() && std::filesystem::is_regular_file(installed / "index.html", error)) {
        return installed;
    }
    return build_web_root;
}

std::filesystem::path running_executable() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path {} : path;
}

}  // namespace velmor::mirava_app
