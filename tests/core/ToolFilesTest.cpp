// Where the tool keeps its files, and what it reads from manager.ini.
#include "core/ExePath.h"
#include "core/IniSettings.h"
#include "core/ToolFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
    EXPECT_EQ(ExecutableTitle(), "ToolFilesTest");
}

TEST(ToolFolders, installedToolsUseThePerUserFolder)
{
    EXPECT_EQ(PerUserFolder("/x/data", "/home/u"), "/x/data/zelvo-setup/");
    EXPECT_EQ(PerUserFolder("relative", "/home/u"), "/home/u/.local/share/zelvo-setup/");
    EXPECT_EQ(PerUserFolder("", "/home/u/"), "/home/u/.local/share/zelvo-setup/");
    EXPECT_EQ(PerUserFolder("", ""), "");

    // The install folder writable, the user's folder usable, an ini there: ini and data.
    const std::tuple<bool, bool, bool, std::string> cases[] = {
        {true, true, true, "/opt/z/manager.ini /opt/z/"},
        {false, true, false, "/opt/z/manager.ini /home/u/zs/"},
        {false, true, true, "/home/u/zs/manager.ini /home/u/zs/"},
        {false, false, false, "/opt/z/manager.ini /opt/z/"}};
    for (const auto& [writable, usable, userIni, paths] : cases) {
        const ToolFolders f =
            ChooseToolFolders({"/opt/z", writable, "/home/u/zs/", usable, userIni});
        EXPECT_EQ(f.iniPath + " " + f.dataFolder, paths);
    }
}

std::string Quoted(int count, const char* separator = "\r\n")
{
    std::string s;
    for (int i = 1; i <= count; ++i)
        s += "Key" + std::to_string(i) + "=\"v" + std::to_string(i) + "\"" + separator;
    return s;
}

// The six quoted values in file order, whatever surrounds them; anything less is broken.
TEST(IniSettings, readsTheSixQuotedValues)
{
    using enum IniReadResult;
    const std::string numbered = "v1|v2|v3|v4|v5|v6";
    std::string endsAt4096 = Quoted(5);
    endsAt4096 += std::string(4096 - endsAt4096.size() - 4, ' ') + "\"v6\"";
    const std::tuple<const char*, std::string, IniReadResult, std::string> rows[] = {
        {"six", Quoted(6), Ok, numbered},
        {"a seventh is ignored", Quoted(7), Ok, numbered},
        {"five", Quoted(5), Broken, ""},
        {"no quotes", "WebToolPath=/index.html\n", Broken, ""},
        {"a closing quote missing", Quoted(5) + "Last=\"v6\r\n", Broken, ""},
        {"bare quotes", "\"a\"\"b\"\"c\"\"d\"\"e\"\"f\"", Ok, "a|b|c|d|e|f"},
        {"two lines, empty, spaces", "A=\"1\r\n2\"B=\"\"C=\"  x  \"" + Quoted(3), Ok,
         "1\r\n2||  x  |v1|v2|v3"},
        {"comments", "; c\r\n[s]\r\n" + Quoted(6, " ; t\r\n"), Ok, numbered},
        {"the sixth beyond 4096 bytes", Quoted(5) + std::string(4086, ';') + "F=\"v6\"", Broken,
         ""},
        {"the sixth ends at byte 4096", endsAt4096, Ok, numbered},
        {"a zero byte ends the text", Quoted(3) + '\0' + Quoted(3), Broken, ""}};
    for (const auto& [what, text, expected, values] : rows) {
        IniValues v;
        v.SetSlot(3, "left over from an earlier read");
        EXPECT_EQ(ParseIniValues(text, v), expected) << what;
        std::string got = v.Slot(1);
        for (int slot = 2; slot <= 6; ++slot)
            got += std::string("|") + v.Slot(slot);
        EXPECT_EQ(expected == Ok ? got : "", values) << what;
    }
}

TEST(IniSettings, namedValuesLongOnesCutAndTheFileOnDisk)
{
    IniValues v;
    ASSERT_EQ(ParseIniValues("\"" + std::string(100, 'w') + "\"\"n\"\"r\"\"f\"\"c\"\"d\"", v),
              IniReadResult::Ok);
    EXPECT_EQ(std::string(v.WebToolPath()), std::string(63, 'w'));
    EXPECT_EQ(std::string(v.NoConfigPage()) + v.RestorePage() + v.FirmwarePage() +
                  v.ConfigDirectory() + v.FirmwareDirectory() + v.Slot(0) + v.Slot(7),
              "nrfcd");

    const auto dir =
        std::filesystem::temp_directory_path() / ("zelvo-ini-" + std::to_string(getpid()));
    const std::string path = (dir / "manager.ini").string();
    std::filesystem::create_directories(dir);
    EXPECT_EQ(ReadIniFile(path, v), IniReadResult::Missing);
    std::ofstream(path) << Quoted(6);
    EXPECT_EQ(ReadIniFile(path, v), IniReadResult::Ok);
    EXPECT_STREQ(v.FirmwareDirectory(), "v6");
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    EXPECT_NE(ReadIniFile(path, v), IniReadResult::Ok);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace zelvo
