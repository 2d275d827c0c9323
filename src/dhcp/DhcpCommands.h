#pragma once
#include "core/FrontEnd.h"
#include "core/HostInfo.h"
#include "core/IniSettings.h"
#include "core/MessageBoxes.h"
#include "core/PcCards.h"
#include "core/ProgressPasses.h"
#include "core/RunState.h"
#include "core/UnitProbes.h"
#include "core/UsedAddressTable.h"
#include "platform/Clock.h"
#include "platform/DhcpServerSocket.h"
#include "platform/FirewallRuleset.h"
#include "platform/NeighbourTable.h"
#include "platform/UrlOpener.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace zelvo {

// What the two responder runs work on: the run's state, the front end that shows the
// buttons and the list, its progress passes, message boxes and URL opener; the rest
// defaults to this PC's.
struct DhcpServices
{
    RunState& state;
    FrontEnd& front;
    ProgressPasses& passes;
    MessageBoxes& boxes;
    UrlOpener& urls;
    std::shared_ptr<UnitProbes> probes; // the reservation's echoes and the unit's name
    DhcpSocketOpener& sockets = SystemDhcpSockets();
    const Clock& clock = SystemClock();
    PcSubnet& host = ProcessPcSubnet(); // the PC's address and subnet mask
    UsedAddressTable& used = ProcessUsedAddresses();
    const IniValues& settings = Settings(); // the web tool's page
    // How long Set IP listens; the command line lets its user choose.
    int setIpWindowSeconds = 80;
    // Set IP serves only this unit when set (the command line's --mac); otherwise any
    // unit's MAC.
    std::optional<MacAddress> onlyUnit = std::nullopt;
    // What the responder reads of the host firewall when it starts.
    std::function<FirewallRuleset()> readFirewall = ReadFirewallRuleset;
    // The PC's neighbour table, read after each probe of a candidate address.
    std::function<NeighbourRead()> neighbours = [] { return ReadNeighbourTable(true); };
    // The cards to answer on, read at the start of every run; empty: the PC's own card
    // of the start-up survey.
    CardSource cards = {};
};

// The temporary-address responder: the PC acts as a DHCP server for one storage unit
// that has no address, answers its DISCOVER with an OFFER and its REQUEST with an ACK
// carrying a free address of the PC's block, then waits for the unit, lists it by name
// and opens its web page so that the user can give it a fixed address. A REQUEST is
// answered only within an exchange the run agreed to (see JudgeRequest); any other is
// logged and left to the network's own DHCP server.
//
// SetIpRun is the Set IP button: it asks first and listens for 80 s. ListenRun opens
// every Search: it listens for 10 s and asks when a unit's DISCOVER comes (then 30 s
// more); it returns 1 when a unit is listed at its end, so the search is skipped.
//
// UI thread only; a run occupies it and keeps the window alive through progress passes.
// The run's receive and name workers are asked to stop and joined before it returns,
// so no thread of a run outlives it.
class DhcpCommands
{
public:
    explicit DhcpCommands(DhcpServices services);
    DhcpCommands(const DhcpCommands&) = delete;
    DhcpCommands& operator=(const DhcpCommands&) = delete;

    void SetIpRun();
    int ListenRun();

    // The address chosen by the last run (zero when it chose none).
    Ipv4Address ReservedAddress() const { return m_reserved; }

private:
    enum class Form
    {
        SetIp,
        Listen
    };
    struct Exchange; // the run-local state of one exchange

    int Run(Form form);
    // Opens port 67; on failure logs it and returns null. Set IP tells the user every
    // time, Search's listening step once per program run.
    std::unique_ptr<DhcpServerSocket> OpenSocket(Form form);
    // Listens and answers until an ACK went out, the window ran out, a receive failed,
    // the user said No or no address was left. True when an ACK went out.
    bool RunExchange(Form form, DhcpServerSocket& socket, int& secondsLeftAtEnd);
    // One received datagram; false when the exchange ends with it.
    bool Handle(Exchange& x, std::span<const uint8_t> received, int interfaceIndex);
    // The card of a unit's request: the exchange's card once it has one; null (after
    // logging why, and telling the user of a card without an address) when the request
    // is not to be answered.
    const PcCard* CardFor(Exchange& x, int interfaceIndex, const MacAddress& mac);
    bool Reserve(const PcCard& card, int phase);
    // Builds the OFFER or ACK to received and broadcasts it. False when no address
    // could be reserved (nothing is sent then).
    bool SendReplyTo(Exchange& x, std::span<const uint8_t> received, uint8_t type,
                     const PcCard& card);
    void SendReply(DhcpServerSocket& socket, std::span<const uint8_t> reply, Ipv4Address to,
                   int interfaceIndex);
    int CheckClientMac(int type, const MacAddress& mac);
    // Set IP's test of a client: a unit's MAC, and the one unit asked for when there is one.
    bool SetIpServes(const MacAddress& mac) const;
    MessageAnswer AskAssignAddress(const MacAddress& mac);
    // Logs whether the host firewall lets UDP 67 in on each card of the run; tells the
    // user once per program run when it does not.
    void CheckFirewall();
    int ElapsedSeconds(int64_t startMs) const;

    DhcpServices m_services;
    Ipv4Address m_reserved;
    MacAddress m_clientMac{};
    PcCards m_cards; // the cards of the current run
    PcCard m_card;   // the card of the request in hand
    bool m_toldPortProblem = false;
    bool m_toldFirewall = false;
    int m_datagramsHeard = 0; // in the last exchange
    // Past the first datagrams of an exchange, foreign ones go unlogged (see RunExchange).
    static constexpr int kLoggedDatagrams = 200;
    bool m_quiet = false;
};

} // namespace zelvo
