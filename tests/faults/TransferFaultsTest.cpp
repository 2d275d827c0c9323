// A transfer's fault that only a real network shows: the real window, search and FTP client
// in a lab against a unit whose vsftpd takes connections and never greets. The backup ends
// in a time-out, with no hang, and the window handles events throughout and takes commands
// again. A server cut off mid-transfer is the FTP client's test (the earlier backup kept, no
// part file) and the jobs' (nothing deleted on the unit).
#include "support/FakeUrlOpener.h"
#include "support/LabWindow.h"
#include "support/ScriptedUnitDialogs.h"

#include <QTimer>

#include <filesystem>
#include <gtest/gtest.h>

namespace zelvo::faults {
namespace {

constexpr int kTransferLimitMs = 90000; // hang guard only: the budget is a minute

// A server that takes connections and never says a word: its listener stopped.
TEST(TransferFaults, silentServerEndsInATimeOutWhileTheWindowStaysResponsive)
{
    ZELVO_REQUIRE_LAB();
    char scratch[] = "/tmp/zelvo-transfer-faults-XXXXXX";
    ASSERT_TRUE(::mkdtemp(scratch));
    FakeUrlOpener urls;
    test::ToolWindowOptions options;
    options.urls = &urls;
    options.parts.unitPick = std::make_shared<ScriptedUnitPickDialog>(
        std::vector<std::optional<int>>(20, std::optional<int>(0)));
    options.parts.backupFolder = std::string(scratch) + "/";
    test::LabWindow window(std::move(options));
    ASSERT_TRUE(window.Start());
    ASSERT_EQ(window.ListedNames(), std::vector<std::string>{"NAS01"});
    ASSERT_EQ(std::system(("for p in $(ip netns pids " + test::LabOutput("ns NAS01") +
                           "); do [ \"$(cat /proc/$p/comm)\" != vsftpd ] || kill -STOP $p; done")
                              .c_str()),
              0);

    int busyTicks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (window.dialog->State().m_bBusy)
            ++busyTicks;
    });
    ticker.start(250);
    ASSERT_TRUE(window.Press(kIdBackup, kTransferLimitMs)) << "the command hung";
    ticker.stop();
    // A quarter-second timer over a wait of a minute: 240 ticks. A window that froze, or
    // that handled its events only between passes of a second, gets a quarter of them.
    EXPECT_GE(busyTicks, 120);
    EXPECT_TRUE(window.Usable());
    std::filesystem::remove_all(scratch);
}

} // namespace
} // namespace zelvo::faults
