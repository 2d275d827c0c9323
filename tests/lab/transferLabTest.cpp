// A backup by an installed copy that transfer_lab_test.sh stages; ZELVO_TEST_UNIT="ip,mac,name".
#include "core/ToolFolder.h"
#include "support/FakeUrlOpener.h"
#include "support/LabWindow.h"
#include "support/ScriptedUnitDialogs.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace zelvo {
namespace {

TEST(TransferLab, backupLandsInTheToolFolder)
{
    const char* unit = std::getenv("ZELVO_TEST_UNIT");
    if (!unit)
        GTEST_SKIP() << "run by transfer_lab_test.sh in the lab's PC namespace (ctest -L lab)";
    std::stringstream fields(unit);
    std::string ip, mac, name;
    std::getline(std::getline(std::getline(fields, ip, ','), mac, ','), name, ',');
    FakeUrlOpener urls;
    test::LabWindow w({.parts = {.unitPick = std::make_shared<ScriptedUnitPickDialog>(
                                     std::vector<std::optional<int>>{0})},
                       .urls = &urls,
                       .firstSearch = false});
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(w.ListUnit(ip, mac, name));
    ASSERT_TRUE(w.Press(kIdBackup));
    const std::string local = RunToolFolders().dataFolder + "nas_400001.dat";
    EXPECT_TRUE(std::filesystem::exists(local)) << w.Texts().back();
}

} // namespace
} // namespace zelvo
