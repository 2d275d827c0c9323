// The start and the end of a long operation as data: the three end variants of the
// enabling rule built from the window's state, and the scope that ends every path.
#include "core/OperationFrame.h"
#include "support/FakeDialogControls.h"

#include <cctype>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace zelvo {
namespace {

using test::FakeDialogControls;

// Controls in the rule's order: Back up, Restore, Set IP, Enable Set IP, Exit, Search.
const std::vector<int> kRuleControls{kIdBackup,      kIdRestore, kIdSetIp,
                                     kIdEnableSetIp, kIdExit,    kIdSearch};

std::string Enabled(const FakeDialogControls& c)
{
    std::string s;
    for (int id : kRuleControls)
        s += c.IsControlEnabled(id) ? '1' : '0';
    return s;
}

void SetAll(FakeDialogControls& c, char state)
{
    for (int id : kRuleControls)
        c.EnableControl(id, state == '1');
}

struct RuleRow
{
    const char* name;
    RefreshVariant variant;
    int unitsFound, dhcp, netInfo, noHostMac;
    bool zeroMac; // the MAC itself, which the rule must not look at
    int unitCount;
    bool setIpOffered;
    const char* expected; // '-': left as it was
};
void PrintTo(const RuleRow& row, std::ostream* os)
{
    *os << row.name;
}
constexpr RefreshVariant kT = RefreshVariant::Transfer, kS = RefreshVariant::Search,
                         kA = RefreshVariant::Address;
const RuleRow kRules[] = {
    {"transfer, open", kT, 1, 0, 1, 0, false, 1, false, "110111"},
    {"transfer, DHCP server", kT, 1, 1, 1, 0, false, 1, false, "110011"},
    {"transfer, no net info", kT, 1, 0, 0, 0, false, 1, false, "110011"},
    {"transfer ignores unit flags", kT, 0, 0, 1, 1, true, 0, false, "110111"},
    {"search found units, DHCP", kS, 1, 1, 1, 0, false, 2, true, "110011"},
    {"search found units, open", kS, 1, 0, 1, 0, false, 2, true, "110111"},
    {"Search found nothing, open", kS, 0, 0, 1, 0, false, 0, true, "--1111"},
    {"first search found nothing, not ticked", kS, 0, 0, 1, 0, false, 0, false, "--0111"},
    {"Search saw only a nameless unit", kS, 1, 0, 1, 0, false, 0, true, "111111"},
    {"first search, nameless unit only", kS, 0, 0, 1, 0, false, 0, false, "--0111"},
    {"search, open but no MAC", kS, 0, 0, 1, 1, true, 0, true, "--0-11"},
    {"search, no net info", kS, 0, 0, 0, 0, false, 0, true, "--0-11"},
    {"search, DHCP and no MAC", kS, 0, 1, 1, 1, true, 0, true, "--0011"},
    {"search, DHCP, nothing found", kS, 0, 1, 1, 0, false, 0, true, "--0011"},
    // A failed network browse check skips the MAC step of the start: the flag stays 0
    // with an all-zero MAC, and the flag is what counts.
    {"search after failed browse check, zero MAC", kS, 0, 0, 1, 0, true, 0, true, "--1111"},
    {"address after failed browse check, zero MAC", kA, 0, 0, 1, 0, true, 0, false, "--1111"},
    {"search, flag set with a MAC", kS, 0, 0, 1, 1, false, 0, true, "--0-11"},
    {"address given, open", kA, 1, 0, 1, 0, false, 1, false, "111111"},
    {"address run found nothing, open", kA, 0, 0, 1, 0, false, 0, false, "--1111"},
    {"address run, DHCP", kA, 1, 1, 1, 0, false, 1, false, "110011"},
    {"address run, no net info", kA, 1, 0, 0, 0, false, 1, false, "110-11"},
    {"address run, no MAC", kA, 0, 0, 1, 1, true, 0, false, "--0-11"},
};

class EndRule : public testing::TestWithParam<RuleRow>
{
};

// Starting from all on and from all off tells "left as it was" from a set state.
TEST_P(EndRule, appliesTheVariantFromTheStateAndClearsBusy)
{
    const RuleRow& r = GetParam();
    for (const char before : {'1', '0'}) {
        DialogState state;
        FakeDialogControls controls;
        SetAll(controls, '1');
        OperationFrame frame(state, controls);
        frame.Begin();
        EXPECT_EQ(Enabled(controls), "110011") << "the start takes Set IP and the box only";
        EXPECT_TRUE(frame.Busy());

        SetAll(controls, before);
        state.UnitsFound = r.unitsFound;
        state.host.DhcpServerPresent = r.dhcp;
        state.host.NetInfoAvailable = r.netInfo;
        state.NoHostMac = r.noHostMac;
        state.host.pcMac = r.zeroMac ? MacAddress{} : MacAddress{0x00, 0x16, 0x3e, 1, 2, 3};
        state.devices.UnitCount = r.unitCount;
        frame.End(r.variant, r.setIpOffered);

        std::string expected = r.expected;
        for (char& c : expected)
            c = c == '-' ? before : c;
        EXPECT_EQ(Enabled(controls), expected) << "from " << before;
        EXPECT_EQ(state.m_bBusy, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, EndRule, testing::ValuesIn(kRules),
                         [](const testing::TestParamInfo<RuleRow>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

TEST(OperationScope, endsAnUnfinishedPathWithItsVariant)
{
    DialogState state;
    state.host.NetInfoAvailable = 1;
    FakeDialogControls controls;
    {
        OperationScope scope(OperationFrame(state, controls), RefreshVariant::Transfer);
        EXPECT_EQ(state.m_bBusy, 1);
        EXPECT_EQ(Enabled(controls), "000000");
    } // an early return
    EXPECT_EQ(state.m_bBusy, 0);
    EXPECT_EQ(Enabled(controls), "110111");
}

TEST(OperationScope, endsOnceWhenEndedOnItsPath)
{
    for (const bool refresh : {true, false}) {
        DialogState state;
        state.host.NetInfoAvailable = 1;
        FakeDialogControls controls;
        {
            OperationScope scope(OperationFrame(state, controls), RefreshVariant::Search);
            refresh ? scope.End(true) : scope.EndWithoutRefresh();
            EXPECT_EQ(state.m_bBusy, 0);
            // Whatever happens after the end belongs to the command, not the scope.
            SetAll(controls, '0');
            state.m_bBusy = 1;
        }
        EXPECT_EQ(Enabled(controls), "000000") << "refresh " << refresh;
        EXPECT_EQ(state.m_bBusy, 1);
    }
}

TEST(OperationFrame, busyAgainLeavesTheControls)
{
    DialogState state;
    FakeDialogControls controls;
    SetAll(controls, '1');
    OperationFrame frame(state, controls);
    frame.ResumeBusy();
    EXPECT_TRUE(frame.Busy());
    EXPECT_EQ(Enabled(controls), "111111");
    frame.EndWithoutRefresh();
    EXPECT_FALSE(frame.Busy());
    EXPECT_EQ(Enabled(controls), "111111");
}

} // namespace
} // namespace zelvo
