// The temporary address through the real main window to units running busybox udhcpc.
#include "core/MessageCatalogue.h"
#include "platform/UdpPortHolder.h"
#include "support/FakeUrlOpener.h"
#include "support/LabWindow.h"

#include <QCheckBox>

#include <algorithm>
#include <net/if.h>

namespace zelvo {
namespace {

using test::Lab;
using test::LabOutput;
using test::LabWindow;
using Names = std::vector<std::string>;

const std::string kNas05Mac = "02-5a-e1-40-00-05";

// What the wire did, beyond what the tool logged: udhcpc logs "select" after an OFFER.
bool ClientWasOffered(const std::string& node)
{
    std::string log =
        ReadSmallFile(test::LabStateDirectory() + "/nodes/" + node + "/log/udhcpc.log", 1 << 20)
            .value_or("");
    std::transform(log.begin(), log.end(), log.begin(), ::tolower);
    return log.find("select") != std::string::npos;
}

bool Port67Bound()
{
    const auto table = ReadSmallFile("/proc/net/udp", 1 << 20);
    return table && !UdpSocketInodes(*table, 67).empty();
}

struct DhcpWindow : LabWindow
{
    FakeUrlOpener urls;
    DhcpWindow() : LabWindow({.urls = &urls}) {}

    // NAS05 holds an address, listed by name after the PC, its page opened.
    std::string ExpectNas05Served()
    {
        EXPECT_EQ(Lab("wait-addr NAS05 20"), 0) << "NAS05 took no address";
        const std::string address = LabOutput("unit-addr NAS05");
        const auto rows = ListRows();
        EXPECT_EQ(rows.size() > 1 ? rows[1] : Names{},
                  (Names{"NAS05", kNas05Mac, address, "VELDIX [0]"}));
        EXPECT_EQ(urls.Opened(), Names{"http://" + address + "/index.html"});
        EXPECT_FALSE(Port67Bound());
        EXPECT_TRUE(Usable());
        return address;
    }
};

// After the Yes NAS05 is served and Search skips its search; the foreign client (a PC of the
// LAN) gets no OFFER. The texts and the log lines are the responder's test's.
TEST(DhcpWindow, searchServesTheWaitingUnitBesideAForeignClient)
{
    ZELVO_REQUIRE_LAB();
    DhcpWindow w;
    ASSERT_TRUE(w.Start());
    ASSERT_EQ(w.ListedNames(), Names{"NAS01"});
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Search());
    w.ExpectNas05Served();
    EXPECT_EQ(w.ListedNames(), Names{"NAS05"}) << "Search searched after serving a unit";
    EXPECT_EQ(w.BoxesSinceMark().size(), 2u);
    EXPECT_FALSE(ClientWasOffered("FOREIGN"));
}

// With No nothing binds port 67, then or while asked. With Yes the unit is not served .50,
// which QUIET holds though it answers no echo.
TEST(DhcpWindow, setIpListensOnlyAfterYesAndThenServesTheUnit)
{
    ZELVO_REQUIRE_LAB();
    DhcpWindow w;
    ASSERT_TRUE(w.Start());
    auto* box = w.dialog->findChild<QCheckBox*>(QStringLiteral("check%1").arg(kIdEnableSetIp));
    ASSERT_TRUE(box && box->isEnabled());
    w.boxes.AddAnswer(MessageAnswer::Yes);
    box->click();
    ASSERT_TRUE(w.Enabled(kIdSetIp));
    std::vector<bool> boundWhileAsked;
    w.boxes.WhileShown([&](const std::string& text) {
        if (text == MessageCatalogue::Choose(409, 108, 109))
            boundWhileAsked.push_back(Port67Bound());
    });
    w.Mark();
    w.boxes.AddAnswer(MessageAnswer::No);
    ASSERT_TRUE(w.Press(kIdSetIp));
    EXPECT_EQ(w.BoxesSinceMark().size(), 1u);
    // The unit asks every 2 s, five times in a row: 6 s always hold two of its DISCOVERs.
    w.RunUntil([] { return false; }, 6000);
    EXPECT_EQ(w.LogSinceMark().find("Received Dhcp"), std::string::npos) << w.LogSinceMark();
    EXPECT_TRUE(w.Usable());

    w.Mark();
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Press(kIdSetIp));
    EXPECT_EQ(boundWhileAsked, (std::vector<bool>{false, false}));
    const std::string address = w.ExpectNas05Served();
    EXPECT_NE(address, "10.231.7.50") << "offered the address of a host that drops echo";
    EXPECT_EQ(w.BoxesSinceMark().size(), 2u);
    EXPECT_NE(
        w.LogSinceMark().find("  10.231.7.50 is silent but in the neighbour table: in use\r\n"),
        std::string::npos)
        << w.LogSinceMark();
}

// NAS09 waits on eth1, a card of the PC without an address: not answered (a Yes is ready).
TEST(DhcpWindow, requestsOnAnotherCardThanThePcsAreNotAnswered)
{
    ZELVO_REQUIRE_LAB();
    const unsigned card = ::if_nametoindex("eth1");
    ASSERT_NE(card, 0u) << "the lab gave the PC no second card";
    DhcpWindow w;
    ASSERT_TRUE(w.Start());
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Search());
    const auto texts = w.Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), CardWithoutAddressText(409, "eth1")), 1);
    const std::string log = w.LogSinceMark();
    const std::string notAnswered =
        "  Request on interface " + std::to_string(card) + ", not on the PC's (" +
        std::to_string(::if_nametoindex("eth0")) + "): not answered\r\n";
    // Five DISCOVERs 2 s apart, then a 2 s pause: 10 s of listening hear at least two.
    const std::size_t first = log.find(notAnswered);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(notAnswered, first + 1), std::string::npos) << log;
    EXPECT_EQ(log.find("Send reply"), std::string::npos) << log;
    EXPECT_EQ(w.ListedNames(), Names{"NAS01"});
    EXPECT_FALSE(ClientWasOffered("NAS09"));
}

} // namespace
} // namespace zelvo
