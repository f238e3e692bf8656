#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <velmor/motion/frame.hpp>

namespace velmor {

//! One solid a link is drawn with: a box, cylinder or sphere, or a triangle mesh file.
struct VisualShape {
    enum class Kind { Box, Cylinder, Sphere, Mesh };
    Kind kind {Kind::Box};
    //! Pose of the shape's centre (a mesh's own origin) in its link's frame.
    Frame origin;
    //! Edge lengths of a box along x, y and z [m].
    std::array<double, 3> size {0.0, 0.0, 0.0};
    //! Radius of a cylinder or sphere [m].
    double radius {0.0};
    //! Length of a cylinder along z [m].
    double length {0.0};
    //! The mesh file, resolved and checked to lie where the description may point.
    std::filesystem::path mesh_file;
    //! Scale of a mesh along its x, y and z.
    std::array<double, 3> scale {1.0, 1.0, 1.0};
    //! Red, green, blue and opacity from 0 to 1, when the description gives a colour.
    std::optional<std::array<double, 4>> colour;
};

//! How one link of an arm looks: shapes fixed to the link's frame, as for LinkGeometry
//! (link 0 the base, link i what joint i moves).
struct LinkVisual {
    //! Name of the link in its description.
    std::string name;
    //! The shapes it is drawn with.
    std::vector<VisualShape> shapes;
};

}  // namespace velmor
