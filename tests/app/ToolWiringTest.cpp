// The tool's wiring on the offscreen platform, with a made-up PC and network: the
// window's hooks reach the tool's own commands, and a wiring that is gone leaves no hook
// behind. The lab's end-to-end tests run the same wiring against real units.
#include "app/ToolWiring.h"
#include "core/MessageCatalogue.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/FakeClock.h"

#include <QTest>
#include <QTreeWidget>

#include <cerrno>
#include <mutex>
#include <unistd.h>

using namespace zelvo;

namespace {

// One named unit behind the broadcast. Any thread.
class OneUnitNetwork final : public SearchNetwork
{
public:
    int EchoProbe(Ipv4Address, int) override { return Note(), 1; }
    int BroadcastEcho() override { return Note(), 1; }
    NeighbourRead ReadNeighbours() override
    {
        Note();
        NeighbourRead read;
        read.entries = {{Ipv4Address::FromOctets(10, 0, 0, 20), {0x02, 0x5a, 0xe1, 0x42, 0, 1}}};
        return read;
    }
    std::optional<std::string> ReverseName(Ipv4Address) override { return Note(), "NAS20"; }
    int Calls()
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    void Note()
    {
        std::lock_guard lock(m_mutex);
        ++m_calls;
    }
    std::mutex m_mutex;
    int m_calls = 0;
};

// Port 67 is never had here: the test runs on this PC's own network.
struct TakenPort final : DhcpSocketOpener
{
    int opens = 0;
    DhcpSocketOpen Open() override
    {
        ++opens;
        DhcpSocketOpen open;
        open.problem = SocketProblem::OpenFailed;
        open.error = EADDRINUSE;
        return open;
    }
};

struct Tool
{
    TakenPort port;
    ScriptedMessageBoxes boxes;
    std::shared_ptr<OneUnitNetwork> network = std::make_shared<OneUnitNetwork>();
    std::unique_ptr<MainDialog> dialog;
    std::unique_ptr<ToolWiring> wiring;

    explicit Tool(int netInfo)
    {
        MainDialogServices services = ToolWiring::WindowServices(boxes);
        services.language = [] { return 409; };
        services.survey = [netInfo](MainDialog& d, bool) {
            d.State().host.NetInfoAvailable = netInfo;
            d.State().host.pcAddress = Ipv4Address::FromOctets(10, 0, 0, 10);
            d.State().host.pcMac = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
            d.State().devices.rows[0].SetName("OFFICE-PC");
            return 0;
        };
        services.networkBrowseCheck = {}; // this PC's interfaces are not the test's
        services.readInterfaceMask = {};
        dialog = std::make_unique<MainDialog>(nullptr, services);
        dialog->State().firstTick = 0; // the test posts the commands itself
        if (dialog->Create(false)) {
            wiring =
                std::make_unique<ToolWiring>(*dialog, boxes,
                                             ToolParts{.searchNetwork = network,
                                                       .clock = std::make_shared<test::FakeClock>(),
                                                       .dhcpSockets = &port,
                                                       .cards = {}});
            wiring->Attach();
        }
    }
    int ListRows() const
    {
        return dialog->findChild<QTreeWidget*>(QStringLiteral("list1001"))->topLevelItemCount();
    }
};

} // namespace

class ToolWiringTest : public QObject
{
    Q_OBJECT
private slots:
    void windowServicesReachThisPc()
    {
        ScriptedMessageBoxes boxes;
        const MainDialogServices services = ToolWiring::WindowServices(boxes);
        QCOMPARE(&services.boxes, static_cast<MessageBoxes*>(&boxes));
        QVERIFY(services.networkBrowseCheck && services.readInterfaceMask);
        QVERIFY(services.runningAsRoot);
        QCOMPARE(services.runningAsRoot(), ::geteuid() == 0);
    }

    // Without a subnet mask the first search only says so: it is the tool's search that
    // answered the window's internal command.
    void firstSearchCommandRunsTheToolsSearch()
    {
        Tool t(0);
        QVERIFY(t.wiring);
        QCOMPARE(t.dialog->Passes(), &t.wiring->Passes());
        t.dialog->OnCommand(kIdFirstSearchCommand);
        QCOMPARE(t.boxes.ShownBoxes().size(), size_t(1));
        QCOMPARE(t.boxes.ShownBoxes()[0].text,
                 std::string("On your PC Subnet mask information can't be acquired."));
        QCOMPARE(t.network->Calls(), 0);
    }

    void searchButtonListsWhatTheNetworkShows()
    {
        Tool t(1);
        QVERIFY(t.wiring);
        t.dialog->OnCommand(kIdSearch);
        QCOMPARE(t.ListRows(), 2);
        QCOMPARE(t.dialog->State().devices.UnitCount, 1);
        QVERIFY(t.network->Calls() >= 3); // broadcast, table, name
        // Search first listened for a unit without an address: the port was taken.
        QCOMPARE(t.port.opens, 1);
        QCOMPARE(t.boxes.ShownBoxes().size(), size_t(1));
        QCOMPARE(t.boxes.ShownBoxes()[0].text, std::string(MessageCatalogue::Text(933)));
        QCOMPARE(t.dialog->State().m_bBusy, 0);
    }

    void setIpButtonRunsTheResponder()
    {
        Tool t(1);
        QVERIFY(t.wiring);
        t.boxes.AddAnswer(MessageAnswer::No);
        t.dialog->OnCommand(kIdSetIp);
        QCOMPARE(t.boxes.ShownBoxes().size(), size_t(1));
        QCOMPARE(t.boxes.ShownBoxes()[0].text, std::string(MessageCatalogue::Text(109)));
        QCOMPARE(t.port.opens, 0);
    }

    void aWiringThatIsGoneLeavesNoHook()
    {
        Tool t(1);
        QVERIFY(t.wiring);
        t.wiring.reset();
        QCOMPARE(t.dialog->Passes(), static_cast<ProgressPasses*>(nullptr));
        t.dialog->OnCommand(kIdSearch);
        t.dialog->OnCommand(kIdFirstSearchCommand);
        QCOMPARE(t.network->Calls(), 0);
        QCOMPARE(t.ListRows(), 1);
    }
};

QTEST_MAIN(ToolWiringTest)
#include "ToolWiringTest.moc"
