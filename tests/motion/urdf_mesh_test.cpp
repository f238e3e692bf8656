#include <velmor/motion/urdf.hpp>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/collision.hpp>

namespace {

using velmor::Frame;
namespace fs = std::filesystem;

//! The corners of a box's twelve triangles, centred on `centre`, turned by `turn`.
std::vector<Eigen::Vector3d> box_triangles(const Eigen::Vector3d& half, const Eigen::Vector3d& centre,
                                           const Eigen::Matrix3d& turn) {
    std::vector<Eigen::Vector3d> corners;
    for (int axis = 0; axis < 3; ++axis) {
        const int u = (axis + 1) % 3, v = (axis + 2) % 3;
        for (const double side : {-1.0, 1.0}) {
            const auto at = [&](double a, double b) {
                Eigen::Vector3d point;
                point[axis] = side * half[axis];
                point[u] = a * half[u];
                point[v] = b * half[v];
                return Eigen::Vector3d(centre + turn * point);
            };
            for (const auto& corner : {at(-1, -1), at(1, -1), at(1, 1), at(-1, -1), at(1, 1), at(-1, 1)}) {
                corners.push_back(corner);
            }
        }
    }
    return corners;
}

void write_stl(const fs::path& path, const std::vector<Eigen::Vector3d>& corners, bool binary) {
    std::ofstream file(path, std::ios::binary);
    if (!binary) {
        file.precision(17);
        file << "solid box\n";
        for (std::size_t i = 0; i < corners.size(); i += 3) {
            file << " facet normal 0 0 0\n  outer loop\n";
            for (std::size_t c = i; c < i + 3; ++c) {
                file << "   vertex " << corners[c].x() << ' ' << corners[c].y() << ' ' << corners[c].z() << '\n';
            }
            file << "  endloop\n endfacet\n";
        }
        file << "endsolid box\n";
        return;
    }
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            file.put(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
    };
    file << std::string(80, ' ');
    put(static_cast<std::uint32_t>(corners.size() / 3), 4);
    for (std::size_t i = 0; i < corners.size(); i += 3) {
        put(0, 12);
        for (std::size_t c = i; c < i + 3; ++c) {
            for (int k = 0; k < 3; ++k) {
                put(std::bit_cast<std::uint32_t>(static_cast<float>(corners[c][k])), 4);
            }
        }
        put(0, 2);
    }
}

//! Two links turning about z and y, the second carrying `shape` at `origin`.
std::string arm_with(const std::string& origin, const std::string& shape) {
    return "<robot name='r'><link name='a'/><link name='b'/><link name='c'><collision><origin " + origin +
           "/><geometry>" + shape + "</geometry></collision></link>"
           "<joint name='j1' type='revolute'><parent link='a'/><child link='b'/><axis xyz='0 0 1'/>"
           "<limit lower='-3' upper='3' velocity='1' effort='1'/></joint>"
           "<joint name='j2' type='revolute'><parent link='b'/><child link='c'/><origin xyz='0 0 0.3'/>"
           "<axis xyz='0 1 0'/><limit lower='-3' upper='3' velocity='1' effort='1'/></joint></robot>";
}

class MeshBox : public testing::TestWithParam<bool> {};

// A mesh drawn turned and off centre, placed back by its origin and grown by its scale,
// is the box it bounds: the same clearances to obstacles everywhere.
TEST_P(MeshBox, CollidesAsTheEquivalentBox) {
    const bool binary = GetParam();
    const fs::path folder = fs::temp_directory_path() / ("velmor_mesh_box_" + std::to_string(binary));
    fs::create_directories(folder);
    const Eigen::Matrix3d turn = Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, 3).normalized()).toRotationMatrix();
    const Eigen::Vector3d centre(0.01, -0.02, 0.03);
    // Scaled by 2: the box 0.1 × 0.3 × 0.06 m.
    write_stl(folder / "box.stl", box_triangles(Eigen::Vector3d(0.025, 0.075, 0.015), centre, turn), binary);
    Eigen::Isometry3d transform = Eigen::Isometry3d::Identity();
    transform.linear() = turn.transpose();
    transform.translation() = Eigen::Vector3d(0.05, 0.0, 0.2) - turn.transpose() * (2 * centre);
    const Frame placed(transform);
    const Eigen::Vector3d rpy = placed.rotation().eulerAngles(2, 1, 0);
    std::ostringstream origin;
    origin.precision(17);
    origin << "xyz='" << placed.translation().x() << ' ' << placed.translation().y() << ' '
           << placed.translation().z() << "' rpy='" << rpy[2] << ' ' << rpy[1] << ' ' << rpy[0] << "'";
    std::ofstream(folder / "mesh.urdf")
        << arm_with(origin.str(), "<mesh filename='box.stl' scale='2 2 2'/>");
    const auto mesh_arm = velmor::robots::from_urdf((folder / "mesh.urdf").string());
    const auto box_arm = velmor::robots::from_urdf(arm_with("xyz='0.05 0 0.2'", "<box size='0.1 0.3 0.06'/>"));
    fs::remove_all(folder);

    std::mt19937 random(26);
    std::uniform_real_distribution<double> angle(-3.0, 3.0), place(-0.6, 0.6);
    int hits = 0;
    for (int sample = 0; sample < 200; ++sample) {
        const std::map<std::string, velmor::Shape> obstacles {
            {"ball", velmor::Sphere {0.05, Frame::from_translation(place(random), place(random), place(random))}}};
        const velmor::CollisionModel with_mesh(mesh_arm, obstacles), with_box(box_arm, obstacles);
        const std::vector<double> q {angle(random), angle(random)};
        EXPECT_NEAR(with_mesh.clearance(q), with_box.clearance(q), 1e-6);
        EXPECT_EQ(with_mesh.check(q).has_value(), with_box.check(q).has_value());
        hits += with_box.check(q).has_value() ? 1 : 0;
    }
    EXPECT_GT(hits, 0);
}

INSTANTIATE_TEST_SUITE_P(Urdf, MeshBox, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Binary" : "Ascii"; });

TEST(Urdf, DisabledCollisionPairsAreNotChecked) {
    // The base's ball and the second link's ball overlap, two joints apart.
    const std::string xml =
        "<robot name='r'><link name='a'><collision><geometry><sphere radius='0.1'/></geometry></collision></link>"
        "<link name='b'/><link name='c'><collision><geometry><sphere radius='0.1'/></geometry></collision></link>"
        "<joint name='j1' type='revolute'><parent link='a'/><child link='b'/><axis xyz='0 0 1'/>"
        "<limit lower='-3' upper='3' velocity='1' effort='1'/></joint>"
        "<joint name='j2' type='revolute'><parent link='b'/><child link='c'/><axis xyz='0 1 0'/>"
        "<limit lower='-3' upper='3' velocity='1' effort='1'/></joint></robot>";
    const auto checked = velmor::robots::from_urdf(xml);
    ASSERT_TRUE(velmor::CollisionModel(checked, {}).check({0.0, 0.0}).has_value());
    velmor::robots::UrdfOptions options;
    options.disabled_collisions = {{"c", "a"}};
    const auto ignored = velmor::robots::from_urdf(xml, options);
    EXPECT_FALSE(velmor::CollisionModel(ignored, {}).check({0.0, 0.0}).has_value());
    options.disabled_collisions = {{"a", "hand"}, {"arm", "c"}};
    try {
        static_cast<void>(velmor::robots::from_urdf(xml, options));
        FAIL() << "unknown links were accepted";
    } catch (const velmor::VelmorError& error) {
        EXPECT_NE(std::string(error.what()).find("\"hand\", \"arm\""), std::string::npos) << error.what();
    }
}

}  // namespace
