#include "urdf/stl_mesh.hpp"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <string>
#include <string_view>

#include <Eigen/Eigenvalues>

#include <velmor/common/velmor_error.hpp>

namespace velmor::urdf_reading {

namespace {

namespace fs = std::filesystem;

// A binary file: an 80-byte header, a 4-byte triangle count, then 50 bytes per triangle
// (a normal and three corners as 32-bit floats, and a 2-byte attribute).
constexpr std::size_t binary_header = 84;
constexpr std::size_t binary_triangle = 50;

[[noreturn]] void refuse(const fs::path& path, const std::string& problem) {
    throw VelmorError("urdf", "The mesh file \"" + path.filename().string().substr(0, 200) + "\" " + problem);
}

std::string load(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) {
        refuse(path, "cannot be read: " + error.message() + ".");
    }
    if (size > max_mesh_file_size) {
        refuse(path, "has " + std::to_string(size) + " bytes, more than the " + std::to_string(max_mesh_file_size) +
                         " read.");
    }
    std::ifstream file(path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file || static_cast<std::size_t>(file.gcount()) != bytes.size()) {
        refuse(path, "could not be read to its end.");
    }
    return bytes;
}

std::uint32_t little_endian(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

void check_corner(const fs::path& path, const Eigen::Vector3d& corner, std::size_t corners) {
    if (!corner.allFinite()) {
        refuse(path, "has a corner of triangle " + std::to_string(corners / 3 + 1) + " that is not a finite number.");
    }
}

void check_count(const fs::path& path, std::size_t triangles, const char* verb = "holds") {
    if (triangles > max_mesh_triangles) {
        refuse(path, std::string(verb) + " " + std::to_string(triangles) + " triangles, more than the " +
                         std::to_string(max_mesh_triangles) + " read.");
    }
}

TriangleMesh read_binary(const fs::path& path, const std::string& bytes) {
    const std::size_t triangles = little_endian(bytes, 80);
    check_count(path, triangles, "claims");
    TriangleMesh mesh;
    mesh.corners.reserve(3 * triangles);
    for (std::size_t t = 0; t < triangles; ++t) {
        const std::size_t at = binary_header + t * binary_triangle + 12;  // past the normal
        for (std::size_t c = 0; c < 3; ++c) {
            Eigen::Vector3d corner;
            for (Eigen::Index k = 0; k < 3; ++k) {
                corner[k] = std::bit_cast<float>(little_endian(bytes, at + 12 * c + 4 * static_cast<std::size_t>(k)));
            }
            check_corner(path, corner, mesh.corners.size());
            mesh.corners.push_back(corner);
        }
    }
    return mesh;
}

//! At most 40 characters of `word`, each byte outside printable ASCII as "?".
std::string printable(std::string_view word) {
    std::string text(word.substr(0, 40));
    std::replace_if(text.begin(), text.end(), [](char c) { return c < ' ' || c > '~'; }, '?');
    return text;
}

//! The words of an ASCII file, one at a time, with the line each is on for messages.
class Words {
public:
    Words(const fs::path& path, std::string_view text) : path(path), text(text) {}

    //! The next word; empty at the end of the text.
    std::string_view next() {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
            line += text[at++] == '\n' ? 1 : 0;
        }
        const std::size_t start = at;
        while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        }
        return text.substr(start, at - start);
    }

    void skip_line() {
        while (at < text.size() && text[at] != '\n') {
            ++at;
        }
    }

    void expect(std::string_view word) {
        const auto found = next();
        if (found != word) {
            fail("has \"" + printable(found) + "\" where \"" + std::string(word) + "\" belongs");
        }
    }

    double number() {
        const auto word = next();
        double value = 0.0;
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (word.empty() || error != std::errc() || end != word.data() + word.size()) {
            fail("has \"" + printable(word) + "\" where a number belongs");
        }
        return value;
    }

    [[noreturn]] void fail(const std::string& problem) const {
        refuse(path, at >= text.size() ? "ends early (truncated?): it " + problem + " at its end."
                                       : problem + " on line " + std::to_string(line) + ".");
    }

private:
    const fs::path& path;
    std::string_view text;
    std::size_t at {0};
    std::size_t line {1};
};

TriangleMesh read_ascii(const fs::path& path, const std::string& text) {
    Words words(path, text);
    words.expect("solid");
    words.skip_line();  // the solid's name
    TriangleMesh mesh;
    for (auto word = words.next(); word != "endsolid"; word = words.next()) {
        if (word != "facet") {
            words.fail("has \"" + printable(word) + "\" where \"facet\" or \"endsolid\" belongs");
        }
        check_count(path, mesh.corners.size() / 3 + 1);
        words.expect("normal");
        for (int k = 0; k < 3; ++k) {
            static_cast<void>(words.number());  // recomputed from the corners where needed
        }
        words.expect("outer");
        words.expect("loop");
        for (int c = 0; c < 3; ++c) {
            words.expect("vertex");
            Eigen::Vector3d corner;
            for (Eigen::Index k = 0; k < 3; ++k) {
                corner[k] = words.number();
            }
            check_corner(path, corner, mesh.corners.size());
            mesh.corners.push_back(corner);
        }
        words.expect("endloop");
        words.expect("endfacet");
    }
    return mesh;
}

bool starts_with_solid(const std::string& bytes) {
    const auto first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string::npos && bytes.compare(first, 5, "solid") == 0;
}

//! The box along the columns of `axes` around `corners`.
OrientedBox box_along(const Eigen::Matrix3d& axes, const std::vector<Eigen::Vector3d>& corners) {
    Eigen::Vector3d low = Eigen::Vector3d::Constant(std::numeric_limits<double>::infinity());
    Eigen::Vector3d high = -low;
    for (const auto& corner : corners) {
        const Eigen::Vector3d local = axes.transpose() * corner;
        low = low.cwiseMin(local);
        high = high.cwiseMax(local);
    }
    OrientedBox box {Eigen::Isometry3d::Identity(), (high - low) / 2};
    box.frame.linear() = axes;
    box.frame.translation() = axes * ((low + high) / 2);
    return box;
}

//! The volume of `box` grown by `thickness` on every axis, so that a flat box counts its area.
double size(const OrientedBox& box, double thickness) {
    return (2 * box.half + Eigen::Vector3d::Constant(thickness)).prod();
}

}  // namespace

TriangleMesh read_stl(const fs::path& path) {
    std::string ending = path.extension().string();
    std::transform(ending.begin(), ending.end(), ending.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ending != ".stl") {
        refuse(path, "is not STL: " + (ending.empty() ? std::string("meshes without a file ending") : "\"" +
                     ending.substr(0, 20) + "\" meshes") + " are not read; convert it to STL (binary or ASCII).");
    }
    const std::string bytes = load(path);
    const std::size_t claimed = bytes.size() >= binary_header ? little_endian(bytes, 80) : 0;
    TriangleMesh mesh;
    if (bytes.size() >= binary_header && bytes.size() == binary_header + binary_triangle * claimed) {
        mesh = read_binary(path, bytes);
    } else if (starts_with_solid(bytes)) {
        mesh = read_ascii(path, bytes);
    } else if (bytes.size() < binary_header) {
        refuse(path, "has " + std::to_string(bytes.size()) + " bytes, fewer than a binary STL's 84-byte header.");
    } else {
        check_count(path, claimed, "claims");
        refuse(path, "has " + std::to_string(bytes.size()) + " bytes where its header's " + std::to_string(claimed) +
                         " triangles take " + std::to_string(binary_header + binary_triangle * claimed) +
                         " (truncated, or not an STL file).");
    }
    if (mesh.corners.empty()) {
        refuse(path, "holds no triangles.");
    }
    return mesh;
}

OrientedBox bounding_box(const TriangleMesh& mesh, const Eigen::Vector3d& scale) {
    std::vector<Eigen::Vector3d> corners;
    corners.reserve(mesh.corners.size());
    for (const auto& corner : mesh.corners) {
        corners.push_back(scale.cwiseProduct(corner));
    }
    // Moments of the surface, each triangle weighted by its area; of the corners alone when it has none.
    double area = 0.0;
    Eigen::Vector3d first = Eigen::Vector3d::Zero();
    Eigen::Matrix3d second = Eigen::Matrix3d::Zero();
    for (std::size_t i = 0; i + 2 < corners.size(); i += 3) {
        const Eigen::Vector3d &a = corners[i], &b = corners[i + 1], &c = corners[i + 2];
        const double weight = (b - a).cross(c - a).norm() / 2;
        const Eigen::Vector3d middle = (a + b + c) / 3;
        area += weight;
        first += weight * middle;
        second += weight / 12 * (9 * middle * middle.transpose() + a * a.transpose() + b * b.transpose() +
                                 c * c.transpose());
    }
    if (!(area > 0.0)) {
        area = static_cast<double>(corners.size());
        first = Eigen::Vector3d::Zero();
        second = Eigen::Matrix3d::Zero();
        for (const auto& corner : corners) {
            first += corner;
            second += corner * corner.transpose();
        }
    }
    const Eigen::Vector3d mean = first / area;
    const Eigen::Matrix3d covariance = second / area - mean * mean.transpose();
    Eigen::Matrix3d principal = Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d>(covariance).eigenvectors();
    if (principal.determinant() < 0.0) {
        principal.col(2) = -principal.col(2);
    }
    const OrientedBox own = box_along(Eigen::Matrix3d::Identity(), corners);
    const OrientedBox turned = box_along(principal, corners);
    const double thickness = 1e-6 * own.half.maxCoeff();
    // The mesh's own axes win ties, so that a box drawn along them is bounded exactly.
    return size(own, thickness) <= size(turned, thickness) * (1 + 1e-9) ? own : turned;
}

}  // namespace velmor::urdf_reading
