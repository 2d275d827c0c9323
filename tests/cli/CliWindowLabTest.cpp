// The command line against the window, in the same lab: `search --json` lists what the
// window's Search lists, row for row, and both leave the same neighbour lines in their
// manager.log.
#include "support/SelectedTestsVerdict.h"
#include "support/LabWindow.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace zelvo {
namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string CliPath;

using test::InLab;

// Empties the neighbour tables of the PC and of every other host of the lab, so that each search
// makes the units answer anew (a unit that still knows the PC's MAC answers without asking for it,
// and the PC would learn nothing).
bool ForgetNeighbours()
{
    std::string command = "ip -4 neigh flush all";
    for (const char* unit : {"NAS01", "NAS02", "NAS09", "OTHER"})
        command += std::string(" && \"$ZELVO_LAB\" unit-exec \"$ZELVO_LAB_PREFIX\" ") + unit +
                   " -- ip -4 neigh flush all";
    return std::system(command.c_str()) == 0;
}

// The window's list after its first search and one press of Search.
Rows WindowRowsAfterSearch()
{
    test::ToolWindow w;
    if (!w.Create()) {
        ADD_FAILURE() << "the window's survey refused";
        return {};
    }
    if (!w.WaitForSearches(1)) {
        ADD_FAILURE() << "the first search did not end";
        return {};
    }
    if (!w.Search()) {
        ADD_FAILURE() << "Search did not end";
        return {};
    }
    return w.ListRows();
}

std::string RunCli(const std::string& folder, const std::string& args, int& status)
{
    const std::string command = "cd '" + folder + "' && XDG_RUNTIME_DIR='" + folder +
                                "' ./zelvo-setup-cli " + args + " </dev/null 2>'" + folder +
                                "/err'";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n = 0;
    while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int raw = pipe ? ::pclose(pipe) : -1;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::vector<std::string> JsonRow(const QJsonObject& o)
{
    return {o["name"].toString().toStdString(), o["mac"].toString().toStdString(),
            o["address"].toString().toStdString(), o["type"].toString().toStdString()};
}

// The neighbour lines (" nn : address - mac") of the last search in a manager.log.
std::vector<std::string> LastSearchNeighbours(const std::string& log)
{
    const std::size_t start = log.rfind("Going to find VELDIX again2.");
    std::vector<std::string> lines;
    if (start == std::string::npos)
        return lines;
    std::istringstream in(log.substr(start));
    for (std::string line; std::getline(in, line);) {
        const std::size_t colon = line.find(" : ");
        if (colon != std::string::npos && line.find(" - ") != std::string::npos)
            lines.push_back(line.substr(colon));
        if (line.rfind("<<< Close to retrieve network table", 0) == 0)
            break;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(CliWindowLab, searchListsWhatTheWindowsSearchLists)
{
    if (!InLab())
        GTEST_SKIP() << "runs in the lab's PC namespace (ctest -L lab, as root)";
    ASSERT_TRUE(ForgetNeighbours());
    const Rows window = WindowRowsAfterSearch();
    ASSERT_GE(window.size(), 2u) << "the window listed no unit";

    char folderTemplate[] = "/tmp/zelvo-cli-window.XXXXXX";
    ASSERT_NE(::mkdtemp(folderTemplate), nullptr);
    const std::string folder = folderTemplate;
    ASSERT_EQ(std::system(("cp '" + CliPath + "' '" + folder + "/zelvo-setup-cli' && cp '" +
                           ExeDirectory() + "/manager.ini' '" + folder + "/'")
                              .c_str()),
              0);
    ASSERT_TRUE(ForgetNeighbours());
    int status = -1;
    const std::string out = RunCli(folder, "search --json", status);
    EXPECT_EQ(status, 0) << ReadSmallFile(folder + "/err", 1 << 16).value_or("");

    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(out));
    ASSERT_TRUE(json.isObject()) << out;
    Rows cli{JsonRow(json.object()["pc"].toObject())};
    for (const QJsonValue& unit : json.object()["units"].toArray())
        cli.push_back(JsonRow(unit.toObject()));
    EXPECT_EQ(cli, window);

    const std::vector<std::string> cliNeighbours =
        LastSearchNeighbours(ReadSmallFile(folder + "/manager.log", 1 << 20).value_or(""));
    const std::vector<std::string> windowNeighbours =
        LastSearchNeighbours(ReadSmallFile(ExeDirectory() + "/manager.log", 1 << 20).value_or(""));
    EXPECT_FALSE(cliNeighbours.empty());
    EXPECT_EQ(cliNeighbours, windowNeighbours);
    std::system(("rm -rf '" + folder + "'").c_str());
}

} // namespace
} // namespace zelvo

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <path of zelvo-setup-cli>\n", argv[0]);
        return 2;
    }
    zelvo::CliPath = argv[1];
    return zelvo::testing::RunSelectedTests();
}
