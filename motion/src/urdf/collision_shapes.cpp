#include "urdf/collision_shapes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <velmor/log/log.hpp>

#include "urdf/file_reference.hpp"
#include "urdf/pose.hpp"
#include "urdf/stl_mesh.hpp"

namespace velmor::urdf_reading {

namespace {

std::array<double, 3> point(const Eigen::Vector3d& p) {
    return {p.x(), p.y(), p.z()};
}

//! The capsule along a box's longest axis, at `frame`, with half edge lengths `half`.
Capsule box_capsule(const Eigen::Isometry3d& frame, const Eigen::Vector3d& half) {
    Eigen::Index longest = 0;
    half.maxCoeff(&longest);
    const double radius = std::sqrt(half.squaredNorm() - half[longest] * half[longest]);
    Eigen::Vector3d half_axis = Eigen::Vector3d::Zero();
    half_axis[longest] = std::max(0.0, half[longest] - radius);
    return Capsule {point(frame * Eigen::Vector3d(-half_axis)), point(frame * half_axis), radius};
}

//! The capsule around the oriented bounding box of a mesh file, placed at `frame`.
Capsule mesh_capsule(const urdf::Link& link, const urdf::Mesh& mesh, const Eigen::Isometry3d& frame,
                     const MeshFiles& files) {
    const auto path = resolve_file_reference(mesh.filename, files.folder, files.package_paths);
    const TriangleMesh triangles = read_stl(path);
    const OrientedBox box = bounding_box(triangles, Eigen::Vector3d(mesh.scale.x, mesh.scale.y, mesh.scale.z));
    char size[96];
    std::snprintf(size, sizeof size, "%.4g × %.4g × %.4g m", 2 * box.half.x(), 2 * box.half.y(), 2 * box.half.z());
    velmor::log::log_<velmor::log::Level::Info>(
        "urdf", "Robot \"" + files.robot + "\": link \"" + link.name + "\" collides as the " + size +
                    " box around its mesh \"" + mesh.filename.substr(0, 200) + "\" (" +
                    std::to_string(triangles.corners.size() / 3) + " triangles).");
    return box_capsule(frame * box.frame, box.half);
}

}  // namespace

std::vector<Capsule> collision_capsules(const urdf::Link& link, const Frame& placement, const MeshFiles& files) {
    std::vector<Capsule> capsules;
    for (const auto& collision : link.collision_array) {
        if (!collision->geometry) {
            continue;
        }
        const Eigen::Isometry3d frame = placement.transform * transform_of(collision->origin);
        switch (collision->geometry->type) {
            case urdf::Geometry::SPHERE: {
                const Eigen::Vector3d centre = frame.translation();
                capsules.push_back(Capsule {point(centre), point(centre),
                                            static_cast<const urdf::Sphere&>(*collision->geometry).radius});
                break;
            }
            case urdf::Geometry::CYLINDER: {
                const auto& cylinder = static_cast<const urdf::Cylinder&>(*collision->geometry);
                const Eigen::Vector3d half_axis(0.0, 0.0, std::max(0.0, cylinder.length / 2 - cylinder.radius));
                capsules.push_back(Capsule {point(frame * Eigen::Vector3d(-half_axis)), point(frame * half_axis),
                                            cylinder.radius});
                break;
            }
            case urdf::Geometry::BOX: {
                const auto& size = static_cast<const urdf::Box&>(*collision->geometry).dim;
                capsules.push_back(box_capsule(frame, Eigen::Vector3d(size.x / 2, size.y / 2, size.z / 2)));
                break;
            }
            case urdf::Geometry::MESH:
                capsules.push_back(
                    mesh_capsule(link, static_cast<const urdf::Mesh&>(*collision->geometry), frame, files));
                break;
        }
    }
    return capsules;
}

}  // namespace velmor::urdf_reading
