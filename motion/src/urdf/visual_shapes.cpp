#include "urdf/visual_shapes.hpp"

#include "urdf/file_reference.hpp"
#include "urdf/pose.hpp"

namespace velmor::urdf_reading {

namespace {

//! The shape of `geometry` at `origin`, or none for an empty geometry.
std::optional<VisualShape> shape_of(const urdf::Geometry* geometry, const Eigen::Isometry3d& origin,
                                    const std::optional<std::filesystem::path>& folder,
                                    const std::map<std::string, std::filesystem::path>& package_paths) {
    if (geometry == nullptr) {
        return std::nullopt;
    }
    VisualShape shape;
    shape.origin = Frame(origin);
    switch (geometry->type) {
        case urdf::Geometry::SPHERE:
            shape.kind = VisualShape::Kind::Sphere;
            shape.radius = static_cast<const urdf::Sphere&>(*geometry).radius;
            break;
        case urdf::Geometry::CYLINDER: {
            const auto& cylinder = static_cast<const urdf::Cylinder&>(*geometry);
            shape.kind = VisualShape::Kind::Cylinder;
            shape.radius = cylinder.radius;
            shape.length = cylinder.length;
            break;
        }
        case urdf::Geometry::BOX: {
            const auto& size = static_cast<const urdf::Box&>(*geometry).dim;
            shape.kind = VisualShape::Kind::Box;
            shape.size = {size.x, size.y, size.z};
            break;
        }
        case urdf::Geometry::MESH: {
            const auto& mesh = static_cast<const urdf::Mesh&>(*geometry);
            shape.kind = VisualShape::Kind::Mesh;
            shape.mesh_file = resolve_file_reference(mesh.filename, folder, package_paths);
            shape.scale = {mesh.scale.x, mesh.scale.y, mesh.scale.z};
            break;
        }
    }
    return shape;
}

}  // namespace

void add_visual_shapes(const urdf::Link& link, const Frame& placement, const std::optional<std::filesystem::path>& folder,
                       const std::map<std::string, std::filesystem::path>& package_paths, LinkVisual& visual) {
    if (visual.name.empty()) {
        visual.name = link.name;
    }
    for (const auto& drawn : link.visual_array) {
        if (auto shape = shape_of(drawn->geometry.get(), placement.transform * transform_of(drawn->origin), folder,
                                  package_paths)) {
            if (drawn->material && drawn->material->texture_filename.empty()) {
                const auto& c = drawn->material->color;
                shape->colour = std::array<double, 4> {c.r, c.g, c.b, c.a};
            }
            visual.shapes.push_back(std::move(*shape));
        }
    }
    if (!link.visual_array.empty()) {
        return;
    }
    for (const auto& solid : link.collision_array) {
        if (auto shape = shape_of(solid->geometry.get(), placement.transform * transform_of(solid->origin), folder,
                                  package_paths)) {
            visual.shapes.push_back(std::move(*shape));
        }
    }
}

}  // namespace velmor::urdf_reading
