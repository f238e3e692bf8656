#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

#include <Eigen/Geometry>

namespace velmor::urdf_reading {

//! Largest mesh file read [bytes]: a binary mesh of the most triangles below takes 25 MB.
inline constexpr std::size_t max_mesh_file_size = 32 * 1024 * 1024;
//! Most triangles read from one mesh file.
inline constexpr std::size_t max_mesh_triangles = 500'000;

//! The corners of a mesh's triangles, three per triangle, in the mesh's own frame.
struct TriangleMesh {
    std::vector<Eigen::Vector3d> corners;
};

//! A box at `frame` with half edge lengths `half` along its frame's axes [m].
struct OrientedBox {
    Eigen::Isometry3d frame;
    Eigen::Vector3d half;
};

//! The triangles of a binary or ASCII STL file (by its name's ".stl" ending, in any case;
//! any other format is refused by name). Throws VelmorError (module "urdf") for a file
//! above max_mesh_file_size or max_mesh_triangles, a truncated or malformed file, a value
//! that is not a finite number, or a mesh without triangles.
[[nodiscard]] TriangleMesh read_stl(const std::filesystem::path& path);

//! A box around every corner of `mesh`, each scaled by `scale` first: along the principal
//! axes of the surface (area weighted) or along the mesh's own axes, whichever box is smaller.
[[nodiscard]] OrientedBox bounding_box(const TriangleMesh& mesh, const Eigen::Vector3d& scale);

}  // namespace velmor::urdf_reading
