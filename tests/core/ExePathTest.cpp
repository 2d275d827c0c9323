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

TEST_P(SiblingPath, derivesFromTheFirstOccurrenceOfTheExecutableName)
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
        // The executable's name is also a directory higher up: cut at the first occurrence.
        PathCase{"/srv/ZelvoSetup/bin/ZelvoSetup", "manager.ini", "/srv/manager.ini"},
        // Case matters in the search.
        PathCase{"/srv/zelvosetup/bin/ZelvoSetup", "manager.ini",
                 "/srv/zelvosetup/bin/manager.ini"},
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
