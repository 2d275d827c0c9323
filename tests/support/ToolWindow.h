#pragma once
// The tool's main window built by the tool's own wiring, with message boxes from a script
// (support/LabWindow.h runs it in a lab). Header only: its users link zelvo_app.
#include "app/MainDialog.h"
#include "app/ToolWiring.h"
#include "core/ExePath.h"
#include "platform/Files.h"
#include "start/StartupSequence.h"
#include "support/ScriptedMessageBoxes.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zelvo::test {

struct ToolWindowOptions
{
    int language = 409;
    ToolParts parts = {};
    // Null: the system's opener (xdg-open).
    UrlOpener* urls = nullptr;
    // False: the window's first search never starts; the test lists units itself
    // (ListUnit) to drive the commands that work on listed units.
    bool firstSearch = true;
};

// The window and the wiring as the application builds them (ToolRun), with the start-up
// sequence run on this PC (in the lab: the PC's namespace), and each command counted and
// timed on its way from the window to the wiring.
struct ToolWindow : WindowCommands
{
    ScriptedMessageBoxes boxes;
    std::unique_ptr<MainDialog> dialog;
    std::unique_ptr<ToolWiring> wiring;
    ToolWindowOptions options;
    // How many times each command (by its button id; 1035 the first search) has ended,
    // and how long its last run took.
    std::map<int, int> ended;
    std::map<int, qint64> lastMs;
    int searchesDone = 0;

    explicit ToolWindow(ToolWindowOptions chosen = {}) : options(std::move(chosen)) {}
    ToolWindow(const ToolWindow&) = delete; // the window holds on to it
    ToolWindow& operator=(const ToolWindow&) = delete;

    // Runs the start-up and shows the window; false when the start-up refused the PC.
    bool Create()
    {
        DialogState state;
        SurveyServices survey{boxes};
        survey.systemLanguage = [language = options.language] { return language; };
        const StartupResult startup = RunStartupSequence(state, survey);
        if (startup == StartupResult::Refused)
            return false;
        if (!options.firstSearch)
            state.firstTick = 0;
        // The lab runs as root; a window that refused the browser would hide the pages
        // that the commands open from the test's opener.
        const MainDialogServices services{
            boxes, options.urls ? *options.urls : SystemUrlOpener(), {}, false};
        dialog = std::make_unique<MainDialog>(nullptr, services, std::move(state), startup, *this);
        wiring = std::make_unique<ToolWiring>(*dialog, boxes, options.parts);
        dialog->show();
        return true;
    }

    void Run(int id) override
    {
        if (!wiring)
            return; // a first tick that arrives as the window goes
        QElapsedTimer timer;
        timer.start();
        wiring->Run(id);
        lastMs[id] = timer.elapsed();
        ++ended[id];
        if (id == kIdSearch || id == kIdFirstSearchCommand)
            ++searchesDone;
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

    // The texts of the message boxes shown so far.
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& shown : boxes.ShownBoxes())
            texts.push_back(shown.text);
        return texts;
    }

    // Runs the window's event loop until `done` holds or `limitMs` passed; `during` runs
    // once, `afterMs` into the wait, while the event loop (and so an operation's progress
    // passes) runs.
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

    bool WaitForSearches(int count, int limitMs = 120000, int afterMs = 0,
                         std::function<void()> during = {})
    {
        return RunUntil([&] { return searchesDone >= count; }, limitMs, afterMs, std::move(during));
    }

    // Presses a button (the window's own command path) and waits until its command ended.
    bool Press(int id, int limitMs = 120000, int afterMs = 0, std::function<void()> during = {})
    {
        const int target = ended[id] + 1;
        QTimer::singleShot(0, dialog.get(), [this, id] { dialog->OnCommand(id); });
        return RunUntil([&] { return ended[id] >= target; }, limitMs, afterMs, std::move(during));
    }

    // Presses Search and waits for that search to end.
    bool Search(int afterMs = 0, std::function<void()> during = {})
    {
        return Press(kIdSearch, 120000, afterMs, std::move(during));
    }

    // The unit list as shown, the PC's row 0 included: each row's column texts.
    std::vector<std::vector<std::string>> ListRows() const
    {
        std::vector<std::vector<std::string>> rows;
        const auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("list1001"));
        for (int r = 0; list && r < list->topLevelItemCount(); ++r) {
            std::vector<std::string> row;
            for (int c = 0; c < list->columnCount(); ++c)
                row.push_back(list->topLevelItem(r)->text(c).toStdString());
            rows.push_back(std::move(row));
        }
        return rows;
    }

    // The names of the listed units, row 0 (the PC) left out.
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

    // The window takes commands again: not busy, Search and Exit enabled.
    bool Usable() const
    {
        return dialog->State().m_bBusy == 0 && Enabled(kIdSearch) && Enabled(kIdExit);
    }
};

} // namespace zelvo::test
