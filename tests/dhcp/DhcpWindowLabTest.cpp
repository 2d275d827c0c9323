// The temporary address end to end through the real main window in a lab's PC namespace:
// units without an address run a real DHCP client (busybox udhcpc) and must end up
// holding the address the window gave them, listed by name, with the address message
// shown and their page asked of the URL opener. Around them: a foreign client, another
// DHCP server holding port 67, a host sending noise or stray REQUESTs to port 67, and a
// second card of the PC on which a unit waits. Each lab has its own copy of this program
// (the window writes manager.log beside it); ctest picks the case that belongs to the lab.
#include "core/MessageCatalogue.h"
#include "platform/Files.h"
#include "platform/UdpPortHolder.h"
#include "support/ChildProcess.h"
#include "support/FakeUrlOpener.h"
#include "support/ToolWindow.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <net/if.h>
#include <unistd.h>

namespace zelvo {
namespace {

using test::InLab;
using test::Lab;
using test::LabOutput;
using test::ManagerLog;
using test::ToolWindow;
using Names = std::vector<std::string>;
using Shown = ScriptedMessageBoxes::Shown;

#define REQUIRE_LAB()                                                                              \
    if (!InLab())                                                                                  \
    GTEST_SKIP() << "runs in the lab's PC namespace (ctest -L lab, as root)"

// The web tool's page in the manager.ini beside the test program.
constexpr const char* kWebPage = "/index.html";

std::string Text(int id)
{
    return MessageCatalogue::Choose(409, id - 1, id);
}

std::string UnitAddress(const std::string& unit)
{
    return LabOutput("unit-addr " + unit);
}

// Something in this namespace is bound to UDP port 67.
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

// " : 010. 231. 007. 050." and the line ends of the run's form.
std::string AddressPart(const std::string& dotted, const char* ends)
{
    int o[4] = {};
    std::sscanf(dotted.c_str(), "%d.%d.%d.%d", &o[0], &o[1], &o[2], &o[3]);
    char text[64];
    std::snprintf(text, sizeof text, " : %03d. %03d. %03d. %03d.%s", o[0], o[1], o[2], o[3], ends);
    return text;
}

// "010.231.007.050", as the reservation's log line writes it.
std::string Padded(const std::string& dotted)
{
    int o[4] = {};
    std::sscanf(dotted.c_str(), "%d.%d.%d.%d", &o[0], &o[1], &o[2], &o[3]);
    char text[32];
    std::snprintf(text, sizeof text, "%03d.%03d.%03d.%03d", o[0], o[1], o[2], o[3]);
    return text;
}

std::vector<Shown> ShownSince(const ToolWindow& w, std::size_t from)
{
    const auto& all = w.boxes.ShownBoxes();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
}

// Ticks Enable Set IP as a user does (answering its question Yes): Set IP becomes usable.
bool EnableSetIp(ToolWindow& w)
{
    auto* box = w.dialog->findChild<QCheckBox*>(QStringLiteral("check%1").arg(kIdEnableSetIp));
    if (!box || !box->isEnabled())
        return false;
    w.boxes.AddAnswer(MessageAnswer::Yes);
    box->click();
    return w.Enabled(kIdSetIp);
}

struct Served
{
    std::string address;
    std::vector<std::string> row;
};

// After a run that should have served `unit`: it holds an address, and the window lists
// it by name in the row after the PC's with its MAC and that address.
void ExpectServed(const ToolWindow& w, const std::string& unit, const std::string& macText,
                  Served& served)
{
    ASSERT_EQ(Lab("wait-addr " + unit + " 20"), 0) << unit << " took no address";
    served.address = UnitAddress(unit);
    const auto rows = w.ListRows();
    ASSERT_GE(rows.size(), 2u);
    served.row = rows[1];
    ASSERT_GE(served.row.size(), 3u);
    EXPECT_EQ(served.row[0], unit);
    EXPECT_EQ(served.row[1], macText);
    EXPECT_EQ(served.row[2], served.address)
        << "the window lists another address than " << unit << " holds";
}

// What the noise sender wrote when it ended: datagrams sent, our replies it heard
// (addressed to it) and the others it heard. Waits for its file up to its run time + 10 s.
struct NoiseCounts
{
    long sent = 0, ours = -1, others = 0;
};

::testing::AssertionResult ReadNoiseCounts(const std::string& result, int seconds,
                                           NoiseCounts& counts)
{
    if (!test::WaitUntil(std::chrono::seconds(seconds + 10),
                         [&] { return std::filesystem::exists(result); }))
        return ::testing::AssertionFailure() << "the noise sender wrote no " << result;
    const std::string text = ReadSmallFile(result, 4096).value_or("");
    std::filesystem::remove(result);
    if (std::sscanf(text.c_str(), "sent=%ld ours=%ld others=%ld", &counts.sent, &counts.ours,
                    &counts.others) != 3)
        return ::testing::AssertionFailure() << text;
    return ::testing::AssertionSuccess();
}

void ExpectContains(const std::string& log, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        EXPECT_NE(log.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << log;
}

// Search first listens for a unit that waits for an address. NAS05 does, beside a
// foreign client (FOREIGN, also without an address) and a named unit with a fixed
// address (NAS01). The user says Yes: NAS05 is served, listed by name, told and opened,
// and Search skips its own search (NAS01 stays unlisted). The next Search hears only the
// foreign client, rejects it and searches: both units are listed; FOREIGN never got an
// offer.
TEST(DhcpWindow, searchServesTheWaitingUnitAndNeverTheForeignClient)
{
    REQUIRE_LAB();
    FakeUrlOpener urls;
    ToolWindow w({.urls = &urls});
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.WaitForSearches(1));
    ASSERT_EQ(w.ListedNames(), Names{"NAS01"});
    ASSERT_EQ(UnitAddress("NAS05"), "");

    std::size_t logFrom = ManagerLog().size();
    std::size_t boxesFrom = w.boxes.ShownBoxes().size();
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Search());

    Served served;
    ExpectServed(w, "NAS05", "02-5a-e1-40-00-05", served);
    EXPECT_EQ(w.ListedNames(), Names{"NAS05"}) << "Search searched after serving a unit";
    EXPECT_EQ(served.row.at(3), "VELDIX [0]");
    const auto boxes = ShownSince(w, boxesFrom);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, Text(131) + " : 02-5a-e1-40-00-05\r\n\r\n" + Text(109));
    EXPECT_EQ(boxes[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(boxes[1].text, Text(121) + AddressPart(served.address, "\n\n") + Text(135));
    EXPECT_EQ(boxes[1].icon, MessageIcon::Question);
    EXPECT_EQ(boxes[1].buttons, MessageButtons::Ok);
    EXPECT_EQ(urls.Opened(), Names{"http://" + served.address + kWebPage});

    std::string log = ManagerLog().substr(logFrom);
    ExpectContains(log, {"\r\n>>> Start DHCP function.\r\n", " Create socket\r\n",
                         " Rcv  : Dhcp_Discover [02-5a-e1-40-00-05] ... Accept.\r\n",
                         "  VELDIX found with no IP address\r\n",
                         "  [Phase 1] Reserved IP address : " + Padded(served.address),
                         "  [Phase 3] Reserved IP address : " + Padded(served.address),
                         " Rcv  : Dhcp_Request  [02-5a-e1-40-00-05] ... Accept.\r\n",
                         " Send reply\r\n  sendto (312:312)\r\n", " Close socket\r\n",
                         " counter:1  \r\n", "\r\n Going to Get VELDIX Name.\r\n",
                         "<<< Close DHCP function (1).\r\n"});
    EXPECT_EQ(log.find(">>> Start to retrieve network table"), std::string::npos)
        << "the search ran after the unit was served";
    EXPECT_TRUE(w.Usable());
    EXPECT_TRUE(w.Enabled(kIdBackup));
    EXPECT_FALSE(Port67Bound());

    // NAS05 asks no more: this time the responder hears only FOREIGN's DISCOVERs.
    logFrom = ManagerLog().size();
    boxesFrom = w.boxes.ShownBoxes().size();
    ASSERT_TRUE(w.Search());
    Names names = w.ListedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Names{"NAS01", "NAS05"}));
    for (const Shown& box : ShownSince(w, boxesFrom))
        EXPECT_NE(box.buttons, MessageButtons::YesNo) << "asked about: " << box.text;
    log = ManagerLog().substr(logFrom);
    ExpectContains(log,
                   {" Rcv  : Dhcp_Discover [02-11-22-33-44-55] ... Reject.\r\n",
                    "<<< Close DHCP function (0).\r\n", ">>> Start to retrieve network table"});
    EXPECT_EQ(log.find("Accept"), std::string::npos) << log;
    EXPECT_EQ(log.find("Send reply"), std::string::npos) << log;
    EXPECT_EQ(UnitAddress("FOREIGN"), "");
    EXPECT_FALSE(ClientWasOffered("FOREIGN"));
    EXPECT_EQ(urls.Opened().size(), 1u);
    EXPECT_TRUE(w.Usable());
}

// Set IP asks before it listens: with No nothing is bound to port 67 while the question
// is open nor afterwards, and the unit, which keeps asking, stays without an address.
// With Yes the unit is served as by Search, in the Set IP forms of the log and message,
// and not at .50, which QUIET holds though it answers no echo.
TEST(DhcpWindow, setIpListensOnlyAfterYesAndThenServesTheUnit)
{
    REQUIRE_LAB();
    FakeUrlOpener urls;
    ToolWindow w({.urls = &urls});
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.WaitForSearches(1));
    ASSERT_TRUE(EnableSetIp(w));
    std::vector<bool> boundWhileAsked;
    w.boxes.WhileShown([&](const std::string& text) {
        if (text == Text(109))
            boundWhileAsked.push_back(Port67Bound());
    });

    std::size_t logFrom = ManagerLog().size();
    std::size_t boxesFrom = w.boxes.ShownBoxes().size();
    w.boxes.AddAnswer(MessageAnswer::No);
    ASSERT_TRUE(w.Press(kIdSetIp));
    auto boxes = ShownSince(w, boxesFrom);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Text(109));
    EXPECT_EQ(boxes[0].buttons, MessageButtons::YesNo);
    EXPECT_FALSE(Port67Bound());
    // The unit asks every 2 s, five times in a row: 6 s always hold two of its DISCOVERs.
    w.RunUntil([] { return false; }, 6000);
    EXPECT_EQ(UnitAddress("NAS05"), "");
    EXPECT_FALSE(ClientWasOffered("NAS05"));
    EXPECT_EQ(ManagerLog().find("Received Dhcp", logFrom), std::string::npos);
    EXPECT_TRUE(w.Usable());

    logFrom = ManagerLog().size();
    boxesFrom = w.boxes.ShownBoxes().size();
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Press(kIdSetIp));
    EXPECT_EQ(boundWhileAsked, (std::vector<bool>{false, false}));

    Served served;
    ExpectServed(w, "NAS05", "02-5a-e1-40-00-05", served);
    EXPECT_NE(served.address, "10.231.7.50") << "offered the address of a host that drops echo";
    boxes = ShownSince(w, boxesFrom);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, Text(121) + AddressPart(served.address, "\n") + Text(135));
    EXPECT_EQ(urls.Opened(), Names{"http://" + served.address + kWebPage});
    const std::string log = ManagerLog().substr(logFrom);
    ExpectContains(log,
                   {"Received Dhcp_Discover.\r\n",
                    "  10.231.7.50 is silent but in the neighbour table: in use\r\n",
                    "  [Phase 2] Reserved IP address : " + Padded(served.address),
                    "Received Dhcp_Request.\r\n",
                    "  [Phase 3] Reserved IP address : " + Padded(served.address),
                    " Send reply\r\n  sendto (312:312)\r\n", "\r\nGoing to Get VELDIX Name.\r\n"});
    EXPECT_EQ(log.find("Rcv  :"), std::string::npos) << "Set IP logs no client MAC lines";
    EXPECT_FALSE(Port67Bound());
    EXPECT_TRUE(w.Usable());
    EXPECT_TRUE(w.Enabled(kIdBackup));
}

// Another DHCP server of the PC holds port 67. Search's listening step tells the user
// once in this program run (not at the next Search); Set IP, which the user asked for,
// tells it every time. Each run still ends, logs why, and leaves the window usable. Once
// the port is free, Set IP serves the unit.
TEST(DhcpWindow, port67HeldByAnotherServerIsToldOnceBySearchAndAtEverySetIp)
{
    REQUIRE_LAB();
    const std::string leases = "/tmp/zelvo-dhcpwin-leases-" + std::to_string(::getpid());
    test::ChildProcess dnsmasq;
    // Ignores every client: it only holds the port.
    ASSERT_TRUE(
        dnsmasq.Start({"dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--port=0",
                       "--dhcp-range=10.231.7.200,10.231.7.210,1h", "--dhcp-ignore=tag:!known",
                       "--dhcp-leasefile=" + leases, "--pid-file=", "--user=root"}));
    ASSERT_TRUE(test::WaitUntil(std::chrono::seconds(10), [] { return Port67Bound(); }))
        << "dnsmasq did not bind port 67";

    FakeUrlOpener urls;
    ToolWindow w({.urls = &urls});
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.WaitForSearches(1));
    const auto portBoxes = [&] {
        std::vector<Shown> found;
        for (const Shown& box : w.boxes.ShownBoxes())
            if (box.text.rfind(Text(931), 0) == 0 || box.text.rfind(Text(933), 0) == 0 ||
                box.text.rfind(Text(935), 0) == 0 || box.text.rfind(Text(937), 0) == 0)
                found.push_back(box);
        return found;
    };
    const std::size_t logFrom = ManagerLog().size();
    ASSERT_TRUE(w.Search());
    auto told = portBoxes();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, Text(931) + "dnsmasq");
    EXPECT_EQ(told[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(w.Usable());

    ASSERT_TRUE(w.Search());
    EXPECT_EQ(portBoxes().size(), 1u) << "Search told it more than once";
    ASSERT_TRUE(EnableSetIp(w));
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Press(kIdSetIp));
    told = portBoxes();
    ASSERT_EQ(told.size(), 2u) << "Set IP ended silently";
    EXPECT_EQ(told[1].text, Text(931) + "dnsmasq");
    EXPECT_TRUE(w.Usable());
    const std::string log = ManagerLog().substr(logFrom);
    std::size_t heldLines = 0;
    for (std::size_t at = 0; (at = log.find("; held by dnsmasq\r\n", at)) != std::string::npos;
         ++at)
        ++heldLines;
    EXPECT_EQ(heldLines, 3u) << log;
    EXPECT_EQ(log.find("Received Dhcp"), std::string::npos);
    EXPECT_EQ(UnitAddress("NAS05"), "");

    dnsmasq.Kill(SIGTERM);
    ASSERT_TRUE(dnsmasq.WaitFor(std::chrono::seconds(10)).has_value());
    std::filesystem::remove(leases);
    ASSERT_FALSE(Port67Bound());
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Press(kIdSetIp));
    Served served;
    ExpectServed(w, "NAS05", "02-5a-e1-40-00-05", served);
    EXPECT_EQ(urls.Opened(), Names{"http://" + served.address + kWebPage});
    EXPECT_EQ(portBoxes().size(), 2u);
}

// While Set IP runs, NOISE (a host with an address on the same segment) sends port 67
// cut-off, oversized, malformed and foreign requests and another server's reply, every
// second. The window refuses to close meanwhile; the unit is served all the same, none
// of the noise is answered, and the window works and closes afterwards.
TEST(DhcpWindow, setIpServesTheUnitThroughNoiseAndRefusesToClose)
{
    REQUIRE_LAB();
    const std::string result = "/tmp/zelvo-dhcpwin-noise-" + std::to_string(::getpid());
    std::filesystem::remove(result);
    FakeUrlOpener urls;
    ToolWindow w({.urls = &urls});
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.WaitForSearches(1));
    ASSERT_TRUE(EnableSetIp(w));

    const int noiseSeconds = 20;
    ASSERT_EQ(Lab("unit-exec NOISE -- " + ExeDirectory() + "/dhcp_noise_sender " +
                  std::to_string(noiseSeconds) + " " + result + " >/dev/null 2>&1 &"),
              0);
    bool stillShown = false;
    const std::size_t logFrom = ManagerLog().size();
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Press(kIdSetIp, 120000, 1500, [&] {
        w.dialog->OnCommand(kIdExit);
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(w.dialog.get(), &esc);
        w.dialog->close();
        stillShown = w.dialog->isVisible() && w.dialog->State().m_bBusy == 1;
    }));
    EXPECT_TRUE(stillShown) << "the window closed while Set IP ran";

    Served served;
    ExpectServed(w, "NAS05", "02-5a-e1-40-00-05", served);
    EXPECT_EQ(urls.Opened(), Names{"http://" + served.address + kWebPage});
    NoiseCounts noise;
    ASSERT_TRUE(ReadNoiseCounts(result, noiseSeconds, noise));
    EXPECT_GT(noise.sent, 6 * 5);
    EXPECT_EQ(noise.ours, 0) << "the responder answered the noise";
    EXPECT_GE(noise.others, 2) << "the noise host heard not even the unit's OFFER and ACK";
    const std::string log = ManagerLog().substr(logFrom);
    ExpectContains(
        log, {"  Datagram longer than 1536 bytes: dropped\r\n", "Received Dhcp_Request.\r\n"});
    EXPECT_TRUE(w.Usable());

    w.dialog->OnCommand(kIdExit);
    EXPECT_FALSE(w.dialog->isVisible());
}

// During Search's listening step NOISE sends, every second, the REQUEST of a unit that
// took another server's OFFER and that of a unit that reboots. Neither belongs to an
// exchange of the run: each is logged as rejected, none is answered nor asked about, and
// the search runs and lists NAS01.
TEST(DhcpWindow, searchLeavesRequestsOutsideItsExchangeAlone)
{
    REQUIRE_LAB();
    const std::string result = "/tmp/zelvo-dhcpwin-requests-" + std::to_string(::getpid());
    std::filesystem::remove(result);
    ToolWindow w;
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.WaitForSearches(1));
    const int seconds = 12;
    ASSERT_EQ(Lab("unit-exec NOISE -- " + ExeDirectory() + "/../window-noise/dhcp_noise_sender " +
                  std::to_string(seconds) + " " + result + " eth0 requests >/dev/null 2>&1 &"),
              0);
    const std::size_t logFrom = ManagerLog().size();
    const std::size_t boxesFrom = w.boxes.ShownBoxes().size();
    ASSERT_TRUE(w.Search());

    for (const Shown& box : ShownSince(w, boxesFrom))
        EXPECT_NE(box.buttons, MessageButtons::YesNo) << "asked about: " << box.text;
    const std::string log = ManagerLog().substr(logFrom);
    const std::string rejected = " Rcv  : Dhcp_Request  [02-5a-e1-40-00-77] ... Reject (";
    ExpectContains(log,
                   {rejected + "server 10.231.7.1, no offer of this run to it).\r\n",
                    rejected + "rebooting, not agreed to in this run).\r\n",
                    "<<< Close DHCP function (0).\r\n", ">>> Start to retrieve network table"});
    EXPECT_EQ(log.find("Send reply"), std::string::npos) << log;
    EXPECT_EQ(w.ListedNames(), Names{"NAS01"});
    NoiseCounts noise;
    ASSERT_TRUE(ReadNoiseCounts(result, seconds, noise));
    EXPECT_GT(noise.sent, 0);
    EXPECT_EQ(noise.ours, 0) << "the responder answered a REQUEST outside its exchange";
    EXPECT_TRUE(w.Usable());
}

// NAS09 waits for an address on a second card of the PC (eth1, without an address of its
// own); NAS01 has its address on the segment of the PC's address (eth0). Search listens
// for its 10 s and hears NAS09's DISCOVERs on eth1: none is answered nor asked about
// (a Yes is ready in case), each is logged as not answered, the user is told once which
// card hears the unit and what to do, and the search lists NAS01.
TEST(DhcpWindow, requestsOnAnotherCardThanThePcsAreNotAnswered)
{
    REQUIRE_LAB();
    const unsigned card = ::if_nametoindex("eth1");
    const unsigned pcCard = ::if_nametoindex("eth0");
    ASSERT_NE(card, 0u) << "the lab gave the PC no second card";
    FakeUrlOpener urls;
    ToolWindow w({.urls = &urls});
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.WaitForSearches(1));
    const std::size_t logFrom = ManagerLog().size();
    const std::size_t boxesFrom = w.boxes.ShownBoxes().size();
    w.boxes.AddAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(w.Search());

    int toldOfTheCard = 0;
    for (const Shown& box : ShownSince(w, boxesFrom)) {
        EXPECT_NE(box.buttons, MessageButtons::YesNo) << "asked about: " << box.text;
        if (box.text == CardWithoutAddressText(409, "eth1"))
            ++toldOfTheCard;
    }
    EXPECT_EQ(toldOfTheCard, 1);
    const std::string log = ManagerLog().substr(logFrom);
    const std::string notAnswered = "  Request on interface " + std::to_string(card) +
                                    ", not on the PC's (" + std::to_string(pcCard) +
                                    "): not answered\r\n";
    ExpectContains(log, {notAnswered, "<<< Close DHCP function (0).\r\n"});
    // Five DISCOVERs 2 s apart, then a 2 s pause: 10 s of listening hear at least two.
    EXPECT_NE(log.find(notAnswered, log.find(notAnswered) + 1), std::string::npos) << log;
    EXPECT_EQ(log.find("Send reply"), std::string::npos) << log;
    EXPECT_EQ(log.find("Rcv  : Dhcp_Discover"), std::string::npos) << log;
    EXPECT_EQ(w.ListedNames(), Names{"NAS01"});
    EXPECT_EQ(UnitAddress("NAS09"), "");
    EXPECT_FALSE(ClientWasOffered("NAS09"));
    EXPECT_TRUE(urls.Opened().empty());
    EXPECT_TRUE(w.Usable());
}

} // namespace
} // namespace zelvo
