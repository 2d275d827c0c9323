#include "dhcp/DhcpCommands.h"

#include "core/IsUnitMac.h"
#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"
#include "core/OperationFrame.h"
#include "core/WaitWithProgress.h"
#include "dhcp/CompleteAssignment.h"
#include "dhcp/DhcpMessage.h"
#include "dhcp/FirewallNotice.h"
#include "dhcp/PortProblemMessage.h"
#include "dhcp/ReceiveWorker.h"
#include "dhcp/RequestCard.h"
#include "dhcp/RequestRule.h"
#include "dhcp/ReserveAddress.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

namespace zelvo {

namespace {
constexpr int kListenWindowSeconds = 10;
constexpr int kAfterYesWindowSeconds = 30;
constexpr int kListenNameWindowSeconds = 80;
constexpr int kProbeTimeoutMs = 2000;
constexpr int kPhaseSearching = 0;
constexpr int kPhaseSetting = 1;
// The longest the exchange goes without a progress pass while datagrams keep coming.
constexpr int64_t kPassDueMs = 1000;
// How long the receive worker gets to take a datagram that is already waiting.
constexpr auto kWaitingDatagramGrace = std::chrono::milliseconds(20);

// True when the worker took a datagram within the grace: one was waiting already.
bool ReadSoon(const ReceiveJob& job)
{
    return WaitForDone(job, kWaitingDatagramGrace);
}
} // namespace

struct DhcpCommands::Exchange
{
    Form form;
    DhcpServerSocket& socket;
    int window = 0;
    int64_t startMs = 0;
    int phase = kPhaseSearching;
    bool asked = false;
    // The card the exchange serves: that of its first reply (one unit a run).
    std::optional<int> cardIndex = std::nullopt;
    bool assigned = false;
    int datagrams = 0; // received in this exchange
    // The OFFERs sent and the user's Yes: only a REQUEST within them is answered.
    ExchangeAgreement agreement{};
};

DhcpCommands::DhcpCommands(DhcpServices services) : m_services(std::move(services)) {}

int DhcpCommands::ElapsedSeconds(int64_t startMs) const
{
    return static_cast<int>((m_services.clock.MonotonicMs() - startMs) / 1000);
}

void DhcpCommands::SetIpRun()
{
    OperationFrame frame(m_services.state, m_services.front);
    if (frame.Busy())
        return;
    Run(Form::SetIp);
}

int DhcpCommands::ListenRun()
{
    // Search has made the window busy already and runs this as its first step.
    return Run(Form::Listen);
}

int DhcpCommands::Run(Form form)
{
    RunState& state = m_services.state;
    OperationFrame frame(state, m_services.front);
    const bool listen = form == Form::Listen;
    if (listen)
        LogWriter::Append("\r\n>>> Start DHCP function.\r\n");

    if (!listen &&
        m_services.boxes.Show(MessageCatalogue::Choose(state.language, 108, 109),
                              MessageIcon::Question, MessageButtons::YesNo) != MessageAnswer::Yes) {
        frame.End(RefreshVariant::Address);
        return 0;
    }
    frame.Begin();

    if (std::unique_ptr<DhcpServerSocket> socket = OpenSocket(form)) {
        CheckFirewall();
        int secondsLeft = 0;
        const bool assigned = RunExchange(form, *socket, secondsLeft);
        // A Set IP that heard nothing at all would otherwise end without a word.
        if (!listen && !assigned && m_datagramsHeard == 0)
            m_services.boxes.Show(MessageCatalogue::Choose(state.language, 954, 955),
                                  MessageIcon::Exclamation, MessageButtons::Ok);
        if (listen)
            LogWriter::Append(" Close socket\r\n");
        socket.reset();
        if (listen)
            LogWriter::Appendf(" counter:%d  \r\n", state.devices.RowCount);
        if (assigned)
            CompleteAssignment(
                CompletionServices{state, m_services.front, m_services.passes, m_services.boxes,
                                   m_services.urls, m_services.probes, m_services.clock,
                                   m_services.settings.WebToolPath()},
                listen ? AssignmentForm::Listen : AssignmentForm::SetIp,
                listen ? kListenNameWindowSeconds : secondsLeft, m_reserved, m_clientMac);
    }

    frame.End(RefreshVariant::Address);
    const int result = state.UnitsFound ? 1 : 0;
    if (listen)
        LogWriter::Appendf("<<< Close DHCP function (%d).\r\n", result);
    return listen ? result : 0;
}

std::unique_ptr<DhcpServerSocket> DhcpCommands::OpenSocket(Form form)
{
    const bool listen = form == Form::Listen;
    if (listen)
        LogWriter::Append(" Create socket\r\n");
    DhcpSocketOpen open = m_services.sockets.Open();
    if (open.socket)
        return std::move(open.socket);

    // The socket could not be made, or made but not bound to port 67 (taken by another
    // DHCP server, or no privilege to bind it).
    const bool bindStep = open.error == EADDRINUSE || open.error == EACCES || open.error == EPERM ||
                          open.problem != SocketProblem::OpenFailed;
    if (listen)
        LogWriter::Append(bindStep ? " Close socket\r\n" : " Fail to create socket\r\n");
    LogWriter::Appendf("  UDP port 67: %s%s%s\r\n", open.detail.c_str(),
                       open.portHolder.empty() ? "" : "; held by ", open.portHolder.c_str());
    // Set IP was asked for: its user learns every time why nothing happens. Search finds
    // units with an address without port 67; its listening step tells once per program
    // run, and not after Set IP has told it.
    if (!listen || !m_toldPortProblem) {
        m_toldPortProblem = true;
        m_services.boxes.Show(PortProblemMessage(m_services.state.language, open),
                              MessageIcon::Exclamation, MessageButtons::Ok);
    }
    return nullptr;
}

void DhcpCommands::CheckFirewall()
{
    if (!m_services.readFirewall)
        return;
    // Each card the run answers on: a unit's requests may come in on any of them.
    m_cards = CardsForRun(m_services.cards, m_services.state.host, m_services.host);
    std::optional<FirewallRuleset> firewall;
    for (const PcCard& card : m_cards.usable) {
        if (card.name.empty())
            continue;
        if (!firewall)
            firewall = m_services.readFirewall();
        const FirewallNotice notice =
            FirewallNoticeFor(m_services.state.language, *firewall, card.name, card.address);
        LogWriter::Append(notice.logLine.c_str());
        if (notice.message.empty() || m_toldFirewall)
            continue;
        m_toldFirewall = true;
        m_services.boxes.Show(notice.message, MessageIcon::Exclamation, MessageButtons::Ok);
    }
}

bool DhcpCommands::RunExchange(Form form, DhcpServerSocket& socket, int& secondsLeftAtEnd)
{
    m_reserved = Ipv4Address();
    m_clientMac = {};
    m_datagramsHeard = 0;
    m_cards = CardsForRun(m_services.cards, m_services.state.host, m_services.host);
    LogCardBlocks(m_cards);
    Exchange x{form, socket};
    x.window = form == Form::SetIp ? m_services.setIpWindowSeconds : kListenWindowSeconds;
    // Set IP asked before it listened: its Yes holds for every unit it serves.
    x.agreement.agreedForEveryClient = form == Form::SetIp;
    x.startMs = m_services.clock.MonotonicMs();
    int secondsLeft = m_services.setIpWindowSeconds;

    // A pass per datagram would let a busy segment's foreign requests, each costing a
    // second, bury the unit's behind them. Datagrams that are already waiting are read
    // back to back instead, and a pass still runs at least once a second, so the window
    // stays responsive while a flood lasts.
    bool justHandled = false;
    int64_t lastPassMs = m_services.clock.MonotonicMs();
    // Read back to back, a flood would write its three receive lines a datagram into
    // manager.log for as long as the window lasts. Past the first kLoggedDatagrams of an
    // exchange only the unit's steps and the replies are logged, and the rest counted.
    struct UnloggedCount
    {
        const Exchange& x;
        bool& quiet;
        ~UnloggedCount()
        {
            if (x.datagrams > kLoggedDatagrams)
                LogWriter::Appendf("  Receive lines of %d more datagrams on port 67 not logged\r\n",
                                   x.datagrams - kLoggedDatagrams);
            quiet = false;
        }
    } unlogged{x, m_quiet};
    // One receive worker for the run, ended and joined on every way out. It waits in
    // short slices and notices the stop within ~50 ms.
    auto job = std::make_shared<ReceiveJob>(socket);
    struct ReceiveThread
    {
        ReceiveJob& job;
        std::thread thread;
        ~ReceiveThread()
        {
            job.Stop();
            thread.join();
        }
    } receiver{*job, std::thread([job] { ReceiveWorker(*job); })};
    const FollowedWorker followed(m_services.passes, *job);
    for (bool first = true;; first = false) {
        m_quiet = x.datagrams >= kLoggedDatagrams;
        if (!first)
            job->Next(m_quiet);
        RunPasses(
            *job,
            [&] {
                const bool waiting = justHandled && ReadSoon(*job);
                if (!waiting || m_services.clock.MonotonicMs() - lastPassMs >= kPassDueMs) {
                    m_services.passes.RunTimedPass(secondsLeft, x.phase);
                    lastPassMs = m_services.clock.MonotonicMs();
                }
                justHandled = false;
            },
            [&] {
                secondsLeft = x.window - ElapsedSeconds(x.startMs);
                return secondsLeft < 1;
            });
        // A datagram that came in the pass in which the window ran out is dropped.
        secondsLeft = x.window - ElapsedSeconds(x.startMs);
        if (secondsLeft < 1)
            return false;
        if (job->length >= 0 || job->tooLong)
            m_datagramsHeard = ++x.datagrams;
        if (job->tooLong) {
            // Any host could end every run by sending one oversized datagram.
            if (!m_quiet)
                LogWriter::Append("  Datagram longer than 1536 bytes: dropped\r\n");
            justHandled = true;
            continue;
        }
        if (job->length < 0)
            return false;
        const std::span<const uint8_t> received(job->buffer, static_cast<std::size_t>(job->length));
        justHandled = true;
        if (!Handle(x, received, job->interfaceIndex)) {
            secondsLeftAtEnd = x.window - ElapsedSeconds(x.startMs);
            return x.assigned;
        }
    }
}

bool DhcpCommands::Handle(Exchange& x, std::span<const uint8_t> received, int interfaceIndex)
{
    const bool listen = x.form == Form::Listen;
    if (received.empty() || received[dhcp::kOp] != dhcp::kBootRequest)
        return true;
    const auto type = static_cast<int8_t>(ParseMessageType(received));
    if (type != kDhcpDiscover && type != kDhcpRequest && type != kDhcpDecline &&
        type != kDhcpRelease && type != kDhcpInform)
        return true;

    const MacAddress mac = ClientMac(received);
    const PcCard* card = CardFor(x, interfaceIndex, mac);
    if (card == nullptr)
        return true;

    switch (type) {
    case kDhcpDiscover:
        if (listen) {
            if (CheckClientMac(kDhcpDiscover, mac) == 0)
                return true;
            if (!x.asked) {
                x.asked = true;
                if (AskAssignAddress(mac) != MessageAnswer::Yes)
                    return false;
                x.agreement.agreed.push_back(mac);
                x.phase = kPhaseSetting;
                x.window = kAfterYesWindowSeconds;
                x.startMs = m_services.clock.MonotonicMs();
                if (!Reserve(*card, kReserveFound))
                    return false;
            }
        } else {
            if (!SetIpServes(mac))
                return true;
            LogWriter::Append("Received Dhcp_Discover.\r\n");
        }
        return SendReplyTo(x, received, kDhcpOffer, *card);

    case kDhcpRequest: {
        const bool served = listen ? IsUnitMac(mac) : SetIpServes(mac);
        if (served) {
            const RequestFields fields = ReadRequestFields(received);
            const RequestVerdict verdict = JudgeRequest(x.agreement, mac, fields);
            if (verdict != RequestVerdict::Answer) {
                // Not answered, and the exchange goes on.
                if (!m_quiet)
                    LogWriter::Appendf(" Rcv  : Dhcp_Request  [%s] ... Reject (%s).\r\n",
                                       MacDashText(mac).c_str(),
                                       RequestVerdictText(verdict, fields).c_str());
                return true;
            }
        }
        if (listen ? CheckClientMac(kDhcpRequest, mac) == 0 : !served)
            return true;
        DeviceList& devices = m_services.state.devices;
        // The next free record takes the unit's MAC, when the table has one left.
        if (devices.RowCount >= 0 && devices.RowCount < DeviceList::kRows) {
            DeviceRecord& next = devices.rows[devices.RowCount];
            next.mac = mac;
            next.SetMacText(MacDashText(mac).c_str());
        }
        m_clientMac = mac;
        if (!listen)
            LogWriter::Append("Received Dhcp_Request.\r\n");
        x.assigned = SendReplyTo(x, received, kDhcpAck, *card);
        return false;
    }

    case kDhcpDecline:
        LogWriter::Append(listen ? "  Rcv : Dhcp_Decline.\r\n" : "Received Dhcp_Decline.\r\n");
        return true;
    case kDhcpRelease:
        LogWriter::Append(listen ? "  Rcv : Dhcp_Release.\r\n" : "Received Dhcp_Release.\r\n");
        return true;
    default: // kDhcpInform
        LogWriter::Append(listen ? "  Rcv : Dhcp_Inform.\r\n" : "Received Dhcp_Inform.\r\n");
        return true;
    }
}

const PcCard* DhcpCommands::CardFor(Exchange& x, int interfaceIndex, const MacAddress& mac)
{
    const RequestCard choice = ChooseRequestCard(m_cards, x.cardIndex, interfaceIndex);
    if (choice.verdict == RequestCard::Verdict::Answer) {
        m_card = choice.card;
        return &m_card;
    }
    // An address of a card's block is reachable only on that card, and one unit is
    // served a run: requests on another card are left to that network.
    if (!m_quiet) {
        const PcCard* serving = x.cardIndex ? m_cards.Find(*x.cardIndex) : nullptr;
        const int pcIndex = serving                  ? serving->index
                            : m_cards.usable.empty() ? 0
                                                     : m_cards.usable[0].index;
        LogWriter::Appendf("  Request on interface %d, not on the PC's (%d): not answered\r\n",
                           interfaceIndex, pcIndex);
    }
    // A unit heard on a card without an address cannot be given one of a block there.
    if (choice.verdict == RequestCard::Verdict::CardWithoutAddress && IsUnitMac(mac) &&
        !m_services.state.toldCardWithoutAddress) {
        m_services.state.toldCardWithoutAddress = true;
        LogWriter::Appendf("  VELDIX on %s, a card without an IP address\r\n",
                           choice.card.name.c_str());
        m_services.boxes.Show(CardWithoutAddressText(m_services.state.language, choice.card.name),
                              MessageIcon::Exclamation, MessageButtons::Ok);
    }
    return nullptr;
}

bool DhcpCommands::Reserve(const PcCard& card, int phase)
{
    ReservationInputs inputs;
    inputs.pcAddress = card.address;
    inputs.subnetMask = card.mask;
    inputs.inUse = m_services.used.InUseList(card.address, card.mask);
    std::shared_ptr<UnitProbes> probes = m_services.probes;
    const std::function<NeighbourRead()>& neighbours = m_services.neighbours;
    return ReserveAddress(phase, m_reserved, inputs, [&probes, &neighbours](Ipv4Address candidate) {
        if (probes && probes->EchoProbe(candidate, kProbeTimeoutMs) != 0)
            return 1;
        // A host that drops echo requests still answered the probe's ARP request.
        if (neighbours && NeighbourHolds(neighbours().ValueOr({}), candidate)) {
            LogWriter::Appendf("  %s is silent but in the neighbour table: in use\r\n",
                               candidate.Dotted().c_str());
            return 1;
        }
        return 0;
    });
}

bool DhcpCommands::SendReplyTo(Exchange& x, std::span<const uint8_t> received, uint8_t type,
                               const PcCard& card)
{
    if (!Reserve(card, type == kDhcpOffer ? kReserveOffer : kReserveAck))
        return false;
    // The address was chosen from this card's block: the exchange stays on this card.
    x.cardIndex = card.index;
    ReplyAddresses addresses;
    addresses.offered = m_reserved;
    addresses.server = card.address;
    addresses.subnetMask = card.mask;
    const std::array<uint8_t, dhcp::kReplyLength> reply = BuildReply(received, type, addresses);
    SendReply(x.socket, reply, Ipv4Address::FromOctets(255, 255, 255, 255), card.index);
    if (type == kDhcpOffer)
        x.agreement.offers.push_back({ClientMac(received), addresses.server});
    return true;
}

void DhcpCommands::SendReply(DhcpServerSocket& socket, std::span<const uint8_t> reply,
                             Ipv4Address to, int interfaceIndex)
{
    LogWriter::Append(" Send reply\r\n");
    const Outcome<std::size_t> result = socket.Send(reply, to, interfaceIndex);
    const long sent = result.Ok() ? static_cast<long>(result.Value()) : -1;
    const int wanted = static_cast<int>(reply.size());
    // " (Error)" follows the line end: it opens the next line of the log.
    LogWriter::Appendf("  sendto (%d:%ld)\r\n%s", wanted, sent, sent != wanted ? " (Error)" : "");
}

bool DhcpCommands::SetIpServes(const MacAddress& mac) const
{
    return IsUnitMac(mac) && (!m_services.onlyUnit || *m_services.onlyUnit == mac);
}

int DhcpCommands::CheckClientMac(int type, const MacAddress& mac)
{
    const char* label = type == kDhcpDiscover ? " Rcv  : Dhcp_Discover " : " Rcv  : Dhcp_Request  ";
    const bool accept = IsUnitMac(mac);
    if (m_quiet && !accept)
        return 0;
    LogWriter::Appendf("%s[%s] ... %s.\r\n", label, MacDashText(mac).c_str(),
                       accept ? "Accept" : "Reject");
    return accept ? 1 : 0;
}

MessageAnswer DhcpCommands::AskAssignAddress(const MacAddress& mac)
{
    const int language = m_services.state.language;
    const std::string text = MessageCatalogue::Choose(language, 130, 131) + " : " +
                             MacDashText(mac) + "\r\n\r\n" +
                             MessageCatalogue::Choose(language, 108, 109);
    return m_services.boxes.Show(text, MessageIcon::Question, MessageButtons::YesNo);
}

} // namespace zelvo
