#include "urdf/file_reference.hpp"

#include <algorithm>
#include <string_view>
#include <system_error>
#include <vector>

#include <velmor/common/velmor_error.hpp>

namespace velmor::urdf_reading {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void refuse(const std::string& reference, const std::string& why) {
    throw VelmorError("urdf", "The file reference \"" + reference.substr(0, 200) + "\" " + why);
}

//! `path` below `root` (or, if absolute, as it is), symbolic links and ".." resolved,
//! unless it leaves `root`.
std::optional<fs::path> inside(const fs::path& root, const fs::path& path) {
    std::error_code error;
    const fs::path base = fs::weakly_canonical(root, error);
    if (error) {
        return std::nullopt;
    }
    const fs::path target = fs::weakly_canonical(path.is_absolute() ? path : base / path, error);
    if (error) {
        return std::nullopt;
    }
    const auto [end, unused] = std::mismatch(base.begin(), base.end(), target.begin(), target.end());
    if (end != base.end()) {
        return std::nullopt;
    }
    return target;
}

}  // namespace

fs::path resolve_file_reference(const std::string& reference, const std::optional<fs::path>& folder,
                                const std::map<std::string, fs::path>& package_paths) {
    constexpr std::string_view package_scheme = "package://";
    constexpr std::string_view file_scheme = "file://";
    std::optional<fs::path> resolved;
    if (reference.starts_with(package_scheme)) {
        const std::string rest = reference.substr(package_scheme.size());
        const std::string package = rest.substr(0, rest.find('/'));
        const auto found = package_paths.find(package);
        if (found == package_paths.end()) {
            refuse(reference, "names the package \"" + package.substr(0, 100) +
                                  "\", which is not among the given package paths.");
        }
        resolved = inside(found->second, rest.size() > package.size() ? rest.substr(package.size() + 1) : "");
        if (!resolved) {
            refuse(reference, "leads outside the folder of package \"" + package + "\".");
        }
    } else {
        const std::string path = reference.starts_with(file_scheme) ? reference.substr(file_scheme.size()) : reference;
        if (path.find("://") != std::string::npos) {
            refuse(reference, "uses a scheme other than package:// and file://.");
        }
        if (folder) {
            resolved = inside(*folder, path);
        }
        for (auto package = package_paths.begin(); !resolved && package != package_paths.end(); ++package) {
            if (fs::path(path).is_absolute()) {
                resolved = inside(package->second, path);
            }
        }
        if (!resolved) {
            refuse(reference, folder ? "leads outside the description's folder and the given package paths."
                                     : "is relative to nothing: the description was given as text, so only "
                                       "package:// references and files inside the package paths resolve.");
        }
    }
    if (!fs::is_regular_file(*resolved)) {
        refuse(reference, "names no file (resolved to " + resolved->string() + ").");
    }
    return *resolved;
}

}  // namespace velmor::urdf_reading
