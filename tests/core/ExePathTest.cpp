#include "core/ExePath.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

// The files sit beside the executable, whatever it or the folders above it are called.
TEST(ExePath, siblingReplacesOnlyTheLastPathElement)
{
    const char* const cases[][3] = {
        {"/opt/zelvo/ZelvoSetup", "manager.ini", "/opt/zelvo/manager.ini"},
        {"/home/a/tools/setup-v2", "manager.ini", "/home/a/tools/manager.ini"},
        {"/srv/ZelvoSetup/bin/ZelvoSetup", "manager.ini", "/srv/ZelvoSetup/bin/manager.ini"},
        {"/home/a/ZelvoSetup-1.0/ZelvoSetup", "manager.ini", "/home/a/ZelvoSetup-1.0/manager.ini"},
        {"/home/a/xZelvoSetup", "manager.ini", "/home/a/manager.ini"},
        // An executable replaced while it runs: the kernel appends " (deleted)".
        {"/opt/zelvo/ZelvoSetup (deleted)", "manager.log", "/opt/zelvo/manager.log"},
        {"/ZelvoSetup", "manager.log", "/manager.log"},
        {"ZelvoSetup", "manager.ini", "manager.ini"}};
    for (const auto& [module, file, expected] : cases)
        EXPECT_EQ(DeriveSiblingPath(module, file), expected) << module;

    const std::string dir = ExeDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(PathBesideExecutable("manager.ini"), dir + "manager.ini");
    EXPECT_EQ(ExecutableTitle(), "ExePathTest");
}

} // namespace
} // namespace zelvo
