#pragma once
// The tool's main window and wiring with scripted message boxes, in a lab's PC namespace
// (tests/lab/lab-ctest.sh gives the program and manager.ini a folder of their own).
#include "app/MainDialog.h"
#include "app/ToolWiring.h"
#include "core/ExePath.h"
#include "platform/Files.h"
#include "start/StartupSequence.h"
#include "support/ScriptedMessageBoxes.h"

#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>
#include <map>

#define ZELVO_REQUIRE_LAB()                                                                        \
    if (!::zelvo::test::InLab())                                                                   \
    GTEST_SKIP() << "runs in the lab's PC namespace (ctest -L lab, as root)"

namespace zelvo::test {

inline bool InLab()
{
    const char* prefix = std::getenv("ZELVO_LAB_PREFIX");
    const char* lab = std::getenv("ZELVO_LAB");
    return prefix && *prefix && lab && *lab;
}

// "unit-exec NAS02 -- ip link set eth0 down" as a command line on this test's lab.
inline std::string LabCommand(const std::string& arguments)
{
    const std::size_t space = arguments.find(' ');
    return std::string("\"") + std::getenv("ZELVO_LAB") + "\" " + arguments.substr(0, space) + " " +
           std::getenv("ZELVO_LAB_PREFIX") +
           (space == std::string::npos ? "" : arguments.substr(space));
}

inline int Lab(const std::string& arguments)
{
    return std::system(LabCommand(arguments).c_str());
}

// What a lab command ("unit-addr NAS05") prints, without its trailing line ends.
inline std::string LabOutput(const std::string& arguments)
{
    std::string out;
    if (FILE* p = ::popen(LabCommand(arguments).c_str(), "r")) {
        char chunk[512];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, p)) > 0;)
            out.append(chunk, n);
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

inline std::string LabStateDirectory()
{
    return std::string("/run/zelvo-lab/") + std::getenv("ZELVO_LAB_PREFIX");
}
inline std::string ManagerLog()
{
    return ReadSmallFile(ExeDirectory() + "/manager.log", 1 << 20).value_or("");
}

// A unit that still knows the PC answers its echo without asking for the PC's MAC, and
// the PC would learn nothing about it: a search starts from empty neighbour tables.
inline bool ForgetNeighbours(const std::vector<std::string>& hosts)
{
    bool ok = std::system("ip -4 neigh flush all") == 0;
    for (const std::string& host : hosts)
        ok = Lab("unit-exec " + host + " -- ip -4 neigh flush all") == 0 && ok;
    return ok;
}

struct ToolWindowOptions
{
    int language = 409;
    ToolParts parts = {};
    UrlOpener* urls = nullptr; // null: the system's opener (xdg-open)
    bool firstSearch = true;   // false: the test lists units itself (ListUnit)
};

// The window and the wiring as the application builds them, the start-up run on this PC,
// each command counted on its way from the window to the wiring.
struct LabWindow : WindowCommands
{
    ScriptedMessageBoxes boxes;
    std::unique_ptr<MainDialog> dialog;
    std::unique_ptr<ToolWiring> wiring;
    ToolWindowOptions options;
    std::map<int, int> ended; // by button id (1035: the first search)
    int searchesDone = 0;
    std::size_t logMark = 0, boxMark = 0;

    explicit LabWindow(ToolWindowOptions chosen = {}) : options(std::move(chosen)) {}
    LabWindow(const LabWindow&) = delete; // the window holds on to it
    LabWindow& operator=(const LabWindow&) = delete;

    // Runs the start-up, shows the window and waits for its first search.
    ::testing::AssertionResult Start()
    {
        DialogState state;
        SurveyServices survey{boxes};
        survey.systemLanguage = [language = options.language] { return language; };
        const StartupResult startup = RunStartupSequence(state, survey);
        if (startup == StartupResult::Refused) {
            auto failure = ::testing::AssertionFailure() << "the window was not created";
            for (const std::string& text : Texts())
                failure << "; it said: " << text;
            return failure;
        }
        if (!options.firstSearch)
            state.firstTick = 0;
        // Not as root: a window that refused the browser would hide the pages from `urls`.
        const MainDialogServices services{
            boxes, options.urls ? *options.urls : SystemUrlOpener(), {}, false};
        dialog = std::make_unique<MainDialog>(nullptr, services, std::move(state), startup, *this);
        wiring = std::make_unique<ToolWiring>(*dialog, boxes, options.parts);
        dialog->show();
        if (options.firstSearch && !RunUntil([&] { return searchesDone >= 1; }))
            return ::testing::AssertionFailure() << "the first search did not end";
        Mark();
        return ::testing::AssertionSuccess();
    }

    void Run(int id) override
    {
        if (!wiring)
            return; // a first tick that arrives as the window goes
        wiring->Run(id);
        ++ended[id];
        searchesDone += id == kIdSearch || id == kIdFirstSearchCommand;
    }

    // Lists a unit as a search would have; false when the tables are full.
    bool ListUnit(const std::string& ip, const std::string& mac, const std::string& name)
    {
        DeviceList& devices = dialog->State().devices;
        if (devices.RowCount >= static_cast<int>(std::size(devices.rows)) ||
            devices.UnitCount >= static_cast<int>(std::size(devices.UnitRows)))
            return false;
        const int row = devices.RowCount++;
        DeviceRecord& record = devices.rows[row];
        record.SetIpText(ip.c_str());
        record.SetMacText(mac.c_str());
        record.SetName(name.c_str());
        record.SetTypeText(("VELDIX [" + std::to_string(devices.UnitCount) + "]").c_str());
        devices.UnitRows[devices.UnitCount++] = row;
        dialog->ShowRow(row, record);
        dialog->State().UnitsFound = 1;
        return true;
    }

    std::vector<std::string> Texts() const { return boxes.Texts(); }

    // Runs the event loop until `done` or `limitMs`; `during` runs once, `afterMs` in.
    bool RunUntil(const std::function<bool()>& done, int limitMs = 120000, int afterMs = 0,
                  std::function<void()> during = {})
    {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (done())
                loop.quit();
        });
        poll.start(50);
        if (during)
            QTimer::singleShot(afterMs, dialog.get(), during);
        QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
        loop.exec();
        return done();
    }
    // Presses a button the window's own way and waits until its command ended.
    bool Press(int id, int limitMs = 120000, int afterMs = 0, std::function<void()> during = {})
    {
        const int target = ended[id] + 1;
        QTimer::singleShot(0, dialog.get(), [this, id] { dialog->OnCommand(id); });
        return RunUntil([&] { return ended[id] >= target; }, limitMs, afterMs, std::move(during));
    }
    bool Search(int afterMs = 0, std::function<void()> during = {})
    {
        return Press(kIdSearch, 120000, afterMs, std::move(during));
    }

    // Each shown row's column texts, the PC's row 0 included.
    std::vector<std::vector<std::string>> ListRows() const
    {
        std::vector<std::vector<std::string>> rows;
        const auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("list1001"));
        for (int r = 0; list && r < list->topLevelItemCount(); ++r) {
            std::vector<std::string>& row = rows.emplace_back();
            for (int c = 0; c < list->columnCount(); ++c)
                row.push_back(list->topLevelItem(r)->text(c).toStdString());
        }
        return rows;
    }
    std::vector<std::string> ListedNames() const
    {
        std::vector<std::string> names;
        const auto rows = ListRows();
        for (size_t r = 1; r < rows.size(); ++r)
            names.push_back(rows[r].empty() ? std::string() : rows[r][0]);
        return names;
    }

    bool Enabled(int id) const
    {
        const QWidget* w = dialog->findChild<QWidget*>(QStringLiteral("button%1").arg(id));
        return w && w->isEnabled();
    }
    bool Usable() const
    {
        return dialog->State().m_bBusy == 0 && Enabled(kIdSearch) && Enabled(kIdExit);
    }

    void Mark()
    {
        logMark = ManagerLog().size();
        boxMark = boxes.ShownBoxes().size();
    }
    std::string LogSinceMark() const
    {
        const std::string log = ManagerLog();
        return logMark < log.size() ? log.substr(logMark) : std::string();
    }
    std::vector<ScriptedMessageBoxes::Shown> BoxesSinceMark() const
    {
        const auto& all = boxes.ShownBoxes();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(boxMark, all.size())),
                all.end()};
    }
};

} // namespace zelvo::test
