#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace velmor::urdf_reading {

//! Where a file reference of a robot description ("package://NAME/...", "file://...",
//! or a path relative to the description) points. It must stay inside `folder` (the
//! description's folder, none for a description given as text) or the package's folder;
//! throws VelmorError (module "urdf") for a reference that escapes them, names an unknown
//! package, uses another scheme or names no existing file.
[[nodiscard]] std::filesystem::path resolve_file_reference(
    const std::string& reference, const std::optional<std::filesystem::path>& folder,
    const std::map<std::string, std::filesystem::path>& package_paths);

}  // namespace velmor::urdf_reading
