#pragma once
// The tool's main window in a lab's PC namespace (started by tests/lab/lab-ctest.sh, which
// puts this program and manager.ini into a folder of the test's own): the lab's commands,
// the log beside the program, and the window started and searched once. Header only: its
// users link zelvo_app.
#include "support/ToolWindow.h"

#include <QApplication>
#include <QKeyEvent>

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// A lab test outside a lab says why it does not run, and shows as skipped.
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

// A command line of the lab on this test's lab: "unit-exec NAS02 -- ip link set eth0 down".
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

// What a command of the lab prints, without its trailing line ends: "unit-addr NAS05".
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

// The lab's state folder (its nodes' logs are under nodes/<name>/log/).
inline std::string LabStateDirectory()
{
    return std::string("/run/zelvo-lab/") + std::getenv("ZELVO_LAB_PREFIX");
}

inline std::string ManagerLogPath()
{
    return ExeDirectory() + "/manager.log";
}

inline std::string ManagerLog()
{
    return ReadSmallFile(ManagerLogPath(), 1 << 20).value_or("");
}

// Empties the neighbour tables of the PC and of the named hosts, so that a search starts
// from a segment where nobody knows anybody: a unit that still knows the PC answers its
// echo without asking for the PC's MAC, and the PC would learn nothing about it.
inline bool ForgetNeighbours(const std::vector<std::string>& hosts)
{
    bool ok = std::system("ip -4 neigh flush all") == 0;
    for (const std::string& host : hosts)
        ok = Lab("unit-exec " + host + " -- ip -4 neigh flush all") == 0 && ok;
    return ok;
}

struct LabWindow : ToolWindow
{
    using ToolWindow::ToolWindow;

    // Creates the window and, unless the options turn it off, waits for its first search.
    ::testing::AssertionResult Start()
    {
        if (!Create()) {
            auto failure = ::testing::AssertionFailure() << "the window was not created";
            for (const std::string& text : Texts())
                failure << "; it said: " << text;
            return failure;
        }
        if (options.firstSearch && !WaitForSearches(1))
            return ::testing::AssertionFailure() << "the first search did not end";
        Mark();
        return ::testing::AssertionSuccess();
    }

    // From here on: what the log gained and which boxes were shown since the last Mark().
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

    // Exit, Esc and the close box, as a user tries them: true when the window is still
    // shown and busy afterwards.
    bool TryToClose()
    {
        dialog->OnCommand(kIdExit);
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &esc);
        dialog->close();
        return dialog->isVisible() && dialog->State().m_bBusy == 1;
    }

    std::size_t logMark = 0;
    std::size_t boxMark = 0;
};

} // namespace zelvo::test
