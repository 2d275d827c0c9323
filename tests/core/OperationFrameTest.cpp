// The start and the end of a long operation as data: the three end variants of the
// enabling rule built from the run's state, and the scope that ends every path.
#include "core/OperationFrame.h"
#include "support/FakeFrontEnd.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

using test::FakeFrontEnd;

constexpr RefreshVariant kT = RefreshVariant::Transfer, kS = RefreshVariant::Search,
                         kA = RefreshVariant::Address;

// Buttons in the rule's order: Back up, Restore, Set IP, Enable Set IP, Exit, Search;
// '-': left as it was.
TEST(OperationFrame, endsWithTheVariantsRuleReadFromTheRunsState)
{
    // name, variant, units found, DHCP server, net info, no host MAC, an all-zero MAC (which
    // the rule must not look at), unit count, Set IP offered, buttons.
    const std::tuple<const char*, RefreshVariant, int, int, int, int, bool, int, bool, const char*>
        rows[] = {
            {"transfer, DHCP server", kT, 1, 1, 1, 0, false, 1, false, "110011"},
            {"transfer, no net info", kT, 1, 0, 0, 0, false, 1, false, "110011"},
            {"transfer ignores unit flags", kT, 0, 0, 1, 1, true, 0, false, "110111"},
            {"search found units, open", kS, 1, 0, 1, 0, false, 2, true, "110111"},
            {"first search found nothing, not ticked", kS, 0, 0, 1, 0, false, 0, false, "--0111"},
            {"Search saw only a nameless unit", kS, 1, 0, 1, 0, false, 0, true, "111111"},
            {"search, DHCP and no MAC", kS, 0, 1, 1, 1, true, 0, true, "--0011"},
            // A failed network browse check skips the MAC step of the start: the flag stays 0
            // with an all-zero MAC, and the flag is what counts.
            {"search after failed browse check, zero MAC", kS, 0, 0, 1, 0, true, 0, true, "--1111"},
            {"address given, open", kA, 1, 0, 1, 0, false, 1, false, "111111"},
            {"address run, DHCP", kA, 1, 1, 1, 0, false, 1, false, "110011"},
            {"address run, no net info", kA, 1, 0, 0, 0, false, 1, false, "110-11"},
            {"address run, no MAC", kA, 0, 0, 1, 1, true, 0, false, "--0-11"}};
    for (const auto& [name, variant, unitsFound, dhcp, netInfo, noHostMac, zeroMac, unitCount,
                      setIpOffered, buttons] : rows) {
        RunState state;
        FakeFrontEnd front;
        OperationFrame frame(state, front);
        frame.Begin();
        EXPECT_EQ(front.Buttons(), "--00--") << "the start takes Set IP and the box only";
        EXPECT_TRUE(frame.Busy());
        front.buttons = {};
        state.UnitsFound = unitsFound;
        state.host.DhcpServerPresent = dhcp;
        state.host.NetInfoAvailable = netInfo;
        state.NoHostMac = noHostMac;
        state.host.pcMac = zeroMac ? MacAddress{} : MacAddress{0x00, 0x16, 0x3e, 1, 2, 3};
        state.devices.UnitCount = unitCount;
        frame.End(variant, setIpOffered);
        EXPECT_EQ(front.Buttons(), buttons) << name;
        EXPECT_FALSE(frame.Busy()) << name;
    }
}

// An early return ends with the scope's variant; a path that ended the scope itself is
// not ended again, and whatever it does after that stays.
TEST(OperationScope, endsEveryPathOnce)
{
    for (const int path : {0, 1, 2}) { // left early, ended, ended without refresh
        RunState state;
        state.host.NetInfoAvailable = 1;
        FakeFrontEnd front;
        {
            OperationScope scope(OperationFrame(state, front), RefreshVariant::Transfer);
            EXPECT_EQ(state.m_bBusy, 1);
            if (path == 1)
                scope.End();
            if (path == 2)
                scope.EndWithoutRefresh();
            if (path != 0) {
                EXPECT_EQ(state.m_bBusy, 0);
                state.m_bBusy = 1, front.buttons = {};
            }
        }
        EXPECT_EQ(front.Buttons(), path == 0 ? "110111" : "------") << path;
        EXPECT_EQ(state.m_bBusy, path == 0 ? 0 : 1) << path;
    }
}

} // namespace
} // namespace zelvo
