#include "core/ExePath.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

struct PathCase
{
    const char* module;
    const char* file;
    const char* expected;
};

class SiblingPath : public ::testing::TestWithParam<PathCase>
{
};

TEST_P(SiblingPath, replacesOnlyTheLastPathElement)
{
    const PathCase& c = GetParam();
    EXPECT_EQ(DeriveSiblingPath(c.module, c.file), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SiblingPath,
    ::testing::Values(
        PathCase{"/opt/zelvo/ZelvoSetup", "manager.ini", "/opt/zelvo/manager.ini"},
        PathCase{"/opt/zelvo/ZelvoSetup", "manager.log", "/opt/zelvo/manager.log"},
        // Renamed executable: still beside it.
        PathCase{"/home/a/tools/setup-v2", "manager.ini", "/home/a/tools/manager.ini"},
        // Folders above that carry the executable's name, whole or as part of a longer
        // name, do not move the lookup.
        PathCase{"/srv/ZelvoSetup/bin/ZelvoSetup", "manager.ini",
                 "/srv/ZelvoSetup/bin/manager.ini"},
        PathCase{"/home/a/ZelvoSetup-1.0/ZelvoSetup", "manager.ini",
                 "/home/a/ZelvoSetup-1.0/manager.ini"},
        PathCase{"/home/a/ZelvoSetup/build-release/src/app/ZelvoSetup", "manager.log",
                 "/home/a/ZelvoSetup/build-release/src/app/manager.log"},
        PathCase{"/home/a/xZelvoSetup", "manager.ini", "/home/a/manager.ini"},
        // An executable replaced while it runs: the kernel appends " (deleted)".
        PathCase{"/opt/zelvo/ZelvoSetup (deleted)", "manager.log", "/opt/zelvo/manager.log"},
        PathCase{"/ZelvoSetup", "manager.log", "/manager.log"},
        PathCase{"ZelvoSetup", "manager.ini", "manager.ini"}));

TEST(ExePathTest, runningExecutableHasADirectoryAndTitle)
{
    const std::string dir = ExeDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(PathBesideExecutable("manager.ini"), dir + "manager.ini");
    EXPECT_EQ(ExecutableTitle(), "ExePathTest");
}

} // namespace
} // namespace zelvo
