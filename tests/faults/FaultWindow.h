#pragma once
// The tool's main window wired by the tool's own wiring, message boxes
// from a script, for the fault matrix's end-to-end runs in a lab's PC namespace.
#include "app/MainDialog.h"
#include "app/ToolWiring.h"
#include "core/ExePath.h"
#include "core/ScriptedMessageBoxes.h"
#include "platform/Files.h"

#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zelvo::faults {

inline bool InLab()
{
    const char* prefix = std::getenv("ZELVO_LAB_PREFIX");
    return prefix && *prefix;
}

// Runs a command of the lab on this test's lab: "unit-exec NAS02 -- ip link set eth0 down".
inline int Lab(const std::string& arguments)
{
    const std::string command = std::string("\"") + std::getenv("ZELVO_LAB") + "\" " +
                                arguments.substr(0, arguments.find(' ')) + " " +
                                std::getenv("ZELVO_LAB_PREFIX") +
                                arguments.substr(arguments.find(' '));
    return std::system(command.c_str());
}

inline std::string ManagerLogPath()
{
    return ExeDirectory() + "/manager.log";
}

inline std::string ManagerLog()
{
    return ReadSmallFile(ManagerLogPath(), 1 << 20).value_or("");
}

struct FaultWindow
{
    ScriptedMessageBoxes boxes;
    std::unique_ptr<MainDialog> dialog;
    std::unique_ptr<ToolWiring> wiring;
    int searchesDone = 0;

    FaultWindow()
    {
        MainDialogServices services = ToolWiring::WindowServices(boxes);
        services.language = [] { return 409; };
        dialog = std::make_unique<MainDialog>(nullptr, services);
    }

    bool Create()
    {
        if (!dialog->Create(false))
            return false;
        wiring = std::make_unique<ToolWiring>(*dialog, boxes);
        auto counted = [this](std::function<void(MainDialog&)> hook) {
            return [this, hook](MainDialog& d) { hook(d), ++searchesDone; };
        };
        MainDialogCommands commands = wiring->Commands();
        commands.firstSearch = counted(commands.firstSearch);
        commands.searchAgain = counted(commands.searchAgain);
        dialog->SetCommands(std::move(commands));
        dialog->show();
        return true;
    }

    // Runs the window's event loop until `count` searches have ended or `limitMs` passed;
    // `during` runs once, `afterMs` into the wait, while the event loop (and so the search's
    // progress passes) runs.
    bool WaitForSearches(int count, int limitMs = 120000, int afterMs = 0,
                         std::function<void()> during = {})
    {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (searchesDone >= count)
                loop.quit();
        });
        poll.start(50);
        if (during)
            QTimer::singleShot(afterMs, dialog.get(), during);
        QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
        loop.exec();
        return searchesDone >= count;
    }

    // Presses Search (the window's own command path) and waits for that search to end.
    bool Search(int afterMs = 0, std::function<void()> during = {})
    {
        const int target = searchesDone + 1;
        QTimer::singleShot(0, dialog.get(), [this] { dialog->OnCommand(kIdSearch); });
        return WaitForSearches(target, 120000, afterMs, std::move(during));
    }

    // The names of the listed units, row 0 (the PC) left out.
    std::vector<std::string> ListedNames() const
    {
        std::vector<std::string> names;
        const auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("list1001"));
        for (int r = 1; list && r < list->topLevelItemCount(); ++r)
            names.push_back(list->topLevelItem(r)->text(0).toStdString());
        return names;
    }

    // The window takes commands again: not busy, Search and Exit enabled.
    bool Usable() const
    {
        const auto enabled = [this](int id) {
            const QWidget* w = dialog->findChild<QWidget*>(QStringLiteral("button%1").arg(id));
            return w && w->isEnabled();
        };
        return dialog->State().m_bBusy == 0 && enabled(kIdSearch) && enabled(kIdExit);
    }
};

} // namespace zelvo::faults
