// The temporary address end to end through the real main window: units without an address
// run busybox udhcpc and must end up with the window's address, listed by name, told and
// opened. ctest picks the case that belongs to the lab.
#include "core/MessageCatalogue.h"
#include "platform/UdpPortHolder.h"
#include "support/FakeUrlOpener.h"
#include "support/LabWindow.h"

#include <QCheckBox>

#include <algorithm>
#include <net/if.h>
#include <unistd.h>

namespace zelvo {
namespace {

using test::Lab;
using test::LabOutput;
using test::LabWindow;
using Names = std::vector<std::string>;
using Shown = ScriptedMessageBoxes::Shown;

const std::string kNas05Mac = "02-5a-e1-40-00-05";

std::string Text(int id)
{
    return MessageCatalogue::Choose(409, id - 1, id);
}

bool Port67Bound()
{
    const auto table = ReadSmallFile("/proc/net/udp", 1 << 20);
    return table && !UdpSocketInodes(*table, 67).empty();
}

// The DHCP client of a lab node took an OFFER (busybox udhcpc then sends its "select").
bool ClientWasOffered(const std::string& node)
{
    std::string log =
        ReadSmallFile(test::LabStateDirectory() + "/nodes/" + node + "/log/udhcpc.log", 1 << 20)
            .value_or("");
    std::transform(log.begin(), log.end(), log.begin(), ::tolower);
    return log.find("select") != std::string::npos;
}

// "010.231.007.050" with a separator of the log line (".") or of the message (". ").
std::string Padded(const std::string& dotted, const char* separator = ".")
{
    int o[4] = {};
    std::sscanf(dotted.c_str(), "%d.%d.%d.%d", &o[0], &o[1], &o[2], &o[3]);
    char text[64];
    std::snprintf(text, sizeof text, "%03d%s%03d%s%03d%s%03d", o[0], separator, o[1], separator,
                  o[2], separator, o[3]);
    return text;
}

struct DhcpWindow : LabWindow
{
    FakeUrlOpener urls;
    DhcpWindow() : LabWindow({.urls = &urls}) {}

    // Ticks Enable Set IP as a user does, answering its question Yes.
    bool EnableSetIp()
    {
        auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("check%1").arg(kIdEnableSetIp));
        if (!box || !box->isEnabled())
            return false;
        boxes.AddAnswer(MessageAnswer::Yes);
        box->click();
        return Enabled(kIdSetIp);
    }
    bool AskedYesNo() const
    {
        const auto shown = BoxesSinceMark();
        return std::any_of(shown.begin(), shown.end(),
                           [](const Shown& b) { return b.buttons == MessageButtons::YesNo; });
    }
    // NAS05 holds an address, listed by name after the PC, its page opened; the address.
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
    // The log since the mark holds each line and none of the absent ones.
    void ExpectLog(const Names& lines, const Names& absent = {})
    {
        const std::string log = LogSinceMark();
        for (const std::string& line : lines)
            EXPECT_NE(log.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << log;
        for (const std::string& line : absent)
            EXPECT_EQ(log.find(line), std::string::npos) << "there: " << line << "\nin:\n" << log;
    }
};

// Search listens first: NAS05 waits for an address beside a foreign client (FOREIGN) and
// NAS01 with its own. After the Yes NAS05 is served and Search skips its search; the next
// Search hears only FOREIGN, rejects it and lists both units.
TEST(DhcpWindow, searchServesTheWaitingUnitAndNeverTheForeignClient)
{
    ZELVO_REQUIRE_LAB();
    DhcpWindow w;
    ASSERT_TRUE(w.Start());
    ASSERT_EQ(w.ListedNames(), Names{"NAS01"});
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Search());
    const std::string address = w.ExpectNas05Served();
    EXPECT_EQ(w.ListedNames(), Names{"NAS05"}) << "Search searched after serving a unit";
    const auto boxes = w.BoxesSinceMark();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, Text(131) + " : " + kNas05Mac + "\r\n\r\n" + Text(109));
    EXPECT_EQ(boxes[1].text, Text(121) + " : " + Padded(address, ". ") + ".\n\n" + Text(135));
    w.ExpectLog({" Rcv  : Dhcp_Discover [" + kNas05Mac + "] ... Accept.\r\n",
                 "  [Phase 3] Reserved IP address : " + Padded(address),
                 " Rcv  : Dhcp_Request  [" + kNas05Mac + "] ... Accept.\r\n",
                 " Send reply\r\n  sendto (312:312)\r\n", "<<< Close DHCP function (1).\r\n"},
                {">>> Start to retrieve network table"});

    w.Mark();
    ASSERT_TRUE(w.Search());
    Names names = w.ListedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Names{"NAS01", "NAS05"}));
    EXPECT_FALSE(w.AskedYesNo());
    w.ExpectLog({" Rcv  : Dhcp_Discover [02-11-22-33-44-55] ... Reject.\r\n",
                 "<<< Close DHCP function (0).\r\n"},
                {"Send reply"});
    EXPECT_FALSE(ClientWasOffered("FOREIGN"));
    EXPECT_EQ(w.urls.Opened().size(), 1u);
}

// Set IP asks before it listens: with No nothing binds port 67, then or while asked, and
// the unit stays without an address. With Yes it is served in the Set IP forms of log and
// message, not at .50, which QUIET holds though it answers no echo.
TEST(DhcpWindow, setIpListensOnlyAfterYesAndThenServesTheUnit)
{
    ZELVO_REQUIRE_LAB();
    DhcpWindow w;
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(w.EnableSetIp());
    std::vector<bool> boundWhileAsked;
    w.boxes.WhileShown([&](const std::string& text) {
        if (text == Text(109))
            boundWhileAsked.push_back(Port67Bound());
    });
    w.Mark();
    w.boxes.AddAnswer(MessageAnswer::No);
    ASSERT_TRUE(w.Press(kIdSetIp));
    EXPECT_EQ(w.BoxesSinceMark().size(), 1u);
    // The unit asks every 2 s, five times in a row: 6 s always hold two of its DISCOVERs.
    w.RunUntil([] { return false; }, 6000);
    EXPECT_FALSE(ClientWasOffered("NAS05"));
    w.ExpectLog({}, {"Received Dhcp"});
    EXPECT_TRUE(w.Usable());

    w.Mark();
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Press(kIdSetIp));
    EXPECT_EQ(boundWhileAsked, (std::vector<bool>{false, false}));
    const std::string address = w.ExpectNas05Served();
    EXPECT_NE(address, "10.231.7.50") << "offered the address of a host that drops echo";
    const auto boxes = w.BoxesSinceMark();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, Text(121) + " : " + Padded(address, ". ") + ".\n" + Text(135));
    w.ExpectLog({"Received Dhcp_Discover.\r\n",
                 "  10.231.7.50 is silent but in the neighbour table: in use\r\n",
                 "  [Phase 3] Reserved IP address : " + Padded(address)},
                {"Rcv  :"}); // Set IP logs no client MAC lines
}

// NAS09 waits on a second card of the PC (eth1, without an address); NAS01 is on eth0.
// Search's 10 s hear NAS09's DISCOVERs: none is answered nor asked about (a Yes is ready),
// each is logged, the user is told once which card hears the unit.
TEST(DhcpWindow, requestsOnAnotherCardThanThePcsAreNotAnswered)
{
    ZELVO_REQUIRE_LAB();
    const unsigned card = ::if_nametoindex("eth1");
    ASSERT_NE(card, 0u) << "the lab gave the PC no second card";
    DhcpWindow w;
    ASSERT_TRUE(w.Start());
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Search());
    EXPECT_FALSE(w.AskedYesNo());
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
    w.ExpectLog({}, {"Send reply"});
    EXPECT_EQ(w.ListedNames(), Names{"NAS01"});
    EXPECT_FALSE(ClientWasOffered("NAS09"));
    EXPECT_TRUE(w.urls.Opened().empty());
}

} // namespace
} // namespace zelvo
