#pragma once

#include <compare>
#include <string>

namespace velmor {

//! A semantic version, compared field by field: major, then minor, then patch.
struct VersionNumber {
    int major {0};
    int minor {0};
    int patch {0};

    //! "major.minor.patch".
    [[nodiscard]] std::string to_string() const {
        return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
    }

    friend auto operator<=>(const VersionNumber&, const VersionNumber&) = default;
};

//! Version of the linked motion library.
extern const VersionNumber version_number;

}  // namespace velmor
