#include "mirava_app/web_root.hpp"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using velmor::mirava_app::default_web_root;

class MiravaWebRoot : public ::testing::Test {
protected:
    void SetUp() override {
        prefix = fs::temp_directory_path() / ("velmor-web-root-" + std::to_string(::getpid()));
        fs::create_directories(prefix / "bin");
        fs::create_directories(prefix / "share/velmor-mirava/web");
    }
    void TearDown() override { fs::remove_all(prefix); }

    fs::path prefix;
    const fs::path build_root {"/build/motion/app/web/root"};
};

TEST_F(MiravaWebRoot, InstalledProgramServesThePageInstalledBesideIt) {
    std::ofstream(prefix / "share/velmor-mirava/web/index.html") << "<html></html>";
    EXPECT_EQ(default_web_root(prefix / "bin/velmor-mirava", build_root), prefix / "share/velmor-mirava/web");
    EXPECT_EQ(default_web_root(prefix / "libexec/velmor-mirava", build_root), prefix / "share/velmor-mirava/web");
}

TEST_F(MiravaWebRoot, ProgramWithoutAnInstalledPageServesTheBuildTreePage) {
    EXPECT_EQ(default_web_root(prefix / "bin/velmor-mirava", build_root), build_root);
    EXPECT_EQ(default_web_root(fs::path {}, build_root), build_root);
}

TEST(MiravaRunningExecutable, IsThisTestProgram) {
    EXPECT_EQ(velmor::mirava_app::running_executable().filename(), "mirava_web_root_test");
}

}  // namespace
