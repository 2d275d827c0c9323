// The end-of-operation enabling rule in its three variants, applied to a real main
// window: which buttons each variant enables, disables or leaves as they were.
#include "MainDialogTestSupport.h"

#include <QTest>

using namespace zelvo;
using namespace zelvo::test;

namespace {

// The controls in the order of the expectation strings below.
constexpr int kRuleControls[] = {kIdBackup,      kIdRestore, kIdSetIp,
                                 kIdEnableSetIp, kIdExit,    kIdSearch};

struct RuleCase
{
    const char* name;
    RefreshVariant variant;
    int unitsFound, dhcpServerPresent, netInfoAvailable, noHostMac, unitCount;
    bool setIpOffered;
    // One character per control of kRuleControls: '1' enabled, '0' disabled, '-' left
    // as it was before the rule ran.
    const char* expected;
};

// The cases the enabling rules are known by. "Open" is: no DHCP server configured the
// PC and network information is available.
const RuleCase kCases[] = {
    // Back up, restore, firmware upload.
    {"transfer, open network", RefreshVariant::Transfer, 1, 0, 1, 0, 1, false, "110111"},
    {"transfer, DHCP server", RefreshVariant::Transfer, 1, 1, 1, 0, 1, false, "110011"},
    {"transfer, no network information", RefreshVariant::Transfer, 1, 0, 0, 0, 1, false, "110011"},
    {"transfer ignores the unit flags", RefreshVariant::Transfer, 0, 0, 1, 1, 0, false, "110111"},

    // Search and first search.
    {"search found units, DHCP server", RefreshVariant::Search, 1, 1, 1, 0, 2, true, "110011"},
    {"search found units, open network", RefreshVariant::Search, 1, 0, 1, 0, 2, true, "110111"},
    {"Search found nothing on an open network", RefreshVariant::Search, 0, 0, 1, 0, 0, true,
     "--1111"},
    {"first search found nothing, box was not ticked", RefreshVariant::Search, 0, 0, 1, 0, 0, false,
     "--0111"},
    {"Search saw only a nameless unit", RefreshVariant::Search, 1, 0, 1, 0, 0, true, "111111"},
    {"first search saw only a nameless unit", RefreshVariant::Search, 0, 0, 1, 0, 0, false,
     "--0111"},
    {"search, open network but no MAC", RefreshVariant::Search, 0, 0, 1, 1, 0, true, "--0-11"},
    {"search, no network information", RefreshVariant::Search, 0, 0, 0, 0, 0, true, "--0-11"},
    {"search, DHCP server and no MAC", RefreshVariant::Search, 0, 1, 1, 1, 0, true, "--0011"},
    {"search, DHCP server, nothing found", RefreshVariant::Search, 0, 1, 1, 0, 0, true, "--0011"},

    // A temporary address assignment.
    {"address given on an open network", RefreshVariant::Address, 1, 0, 1, 0, 1, false, "111111"},
    {"address run found nothing, open network", RefreshVariant::Address, 0, 0, 1, 0, 0, false,
     "--1111"},
    {"address run, DHCP server", RefreshVariant::Address, 1, 1, 1, 0, 1, false, "110011"},
    {"address run, no network information", RefreshVariant::Address, 1, 0, 0, 0, 1, false,
     "110-11"},
    {"address run, no MAC", RefreshVariant::Address, 0, 0, 1, 1, 0, false, "--0-11"},
};

} // namespace

class MainDialogButtonRulesTest : public QObject
{
    Q_OBJECT
private slots:
    void variantsEnableTheButtons_data()
    {
        QTest::addColumn<int>("caseIndex");
        QTest::addColumn<bool>("before");
        for (int i = 0; i < int(std::size(kCases)); ++i) {
            QTest::addRow("%s (all on before)", kCases[i].name) << i << true;
            QTest::addRow("%s (all off before)", kCases[i].name) << i << false;
        }
    }
    void variantsEnableTheButtons()
    {
        QFETCH(int, caseIndex);
        QFETCH(bool, before);
        const RuleCase& c = kCases[caseIndex];

        DialogFixture f;
        TestPc pc;
        pc.zeroMac = c.noHostMac != 0;
        QVERIFY(f.Make(pc));
        MainDialog& d = *f.dialog;

        d.BeginOperation();
        QCOMPARE(d.State().m_bBusy, 1);
        for (int id : kRuleControls)
            d.EnableControl(id, before);
        DialogState& s = d.State();
        s.UnitsFound = c.unitsFound;
        s.host.DhcpServerPresent = c.dhcpServerPresent;
        s.host.NetInfoAvailable = c.netInfoAvailable;
        s.NoHostMac = c.noHostMac;
        s.devices.UnitCount = c.unitCount;

        d.RefreshCommandButtons(c.variant, c.setIpOffered);

        QCOMPARE(s.m_bBusy, 0);
        for (int i = 0; i < 6; ++i) {
            const char want = c.expected[i];
            const bool expected = want == '-' ? before : want == '1';
            QVERIFY2(d.IsControlEnabled(kRuleControls[i]) == expected,
                     qPrintable(QStringLiteral("control %1 should be %2")
                                    .arg(kRuleControls[i])
                                    .arg(expected ? "enabled" : "disabled")));
        }
    }

    void startOfAnOperationTurnsSetIpAway()
    {
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        MainDialog& d = *f.dialog;
        for (int id : kRuleControls)
            d.EnableControl(id, true);
        d.BeginOperation();
        QCOMPARE(d.State().m_bBusy, 1);
        QVERIFY(!d.IsControlEnabled(kIdSetIp));
        QVERIFY(!d.IsControlEnabled(kIdEnableSetIp));
        for (int id : {kIdBackup, kIdRestore, kIdExit, kIdSearch})
            QVERIFY(d.IsControlEnabled(id));
    }

    // The /set layout: Set IP stays off after a search that listed units and comes on
    // after a Search that listed none on an open network.
    void setLayoutEnablesSetIpOnlyWhenSearchFindsNothing()
    {
        DialogFixture f;
        TestPc pc;
        pc.setIpLayout = 1;
        QVERIFY(f.Make(pc));
        MainDialog& d = *f.dialog;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));

        d.BeginOperation();
        d.State().UnitsFound = 1;
        d.State().devices.UnitCount = 1;
        d.RefreshCommandButtons(RefreshVariant::Search, true);
        QVERIFY(d.Control(kIdSetIp)->isVisible());
        QVERIFY(!d.IsControlEnabled(kIdSetIp));

        d.BeginOperation();
        d.State().UnitsFound = 0;
        d.State().devices.UnitCount = 0;
        d.RefreshCommandButtons(RefreshVariant::Search, true);
        QVERIFY(d.IsControlEnabled(kIdSetIp));
        // The box itself stays hidden in this layout, enabled or not.
        QVERIFY(!d.Control(kIdEnableSetIp)->isVisible());
    }
};

QTEST_MAIN(MainDialogButtonRulesTest)
#include "MainDialogButtonRulesTest.moc"
