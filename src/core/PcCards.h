#pragma once
#include "core/HostInfo.h"
#include "platform/HostPlatform.h"
#include "platform/NetAddress.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// One network card of the PC that the search and the responder work on: up, with
// carrier, a hardware address and an IPv4 address the units can share.
struct PcCard
{
    int index = 0;    // ifindex
    std::string name; // "eth0"
    MacAddress mac = {};
    Ipv4Address address; // its first usable IPv4 address
    SubnetMask mask{255, 255, 255, 0};
};

// The cards a search or a responder run works on, read afresh for each.
struct PcCards
{
    // Cards that carry the default route come first (lowest metric first), then the
    // others in ifindex order.
    std::vector<PcCard> usable;
    // Cards that are up, with carrier and a hardware address, but without an IPv4
    // address (or with only a link-local 169.254 one): a unit cabled there is heard but
    // cannot be reached. Only index and name are filled.
    std::vector<PcCard> withoutAddress;
    // The user asked for one card (--interface): what other links show is left out.
    bool restricted = false;

    const PcCard* Find(int interfaceIndex) const;
    const PcCard* FindWithoutAddress(int interfaceIndex) const;
    // The name of the card, of either list; empty when it is none of them.
    std::string NameOf(int interfaceIndex) const;
};

// True for an address the units could reach: not 0.0.0.0, not loopback, not link-local.
bool IsRoutableCardAddress(Ipv4Address address);

// The PC's cards as one read of its links shows them. Tunnels (no hardware address),
// loopback and links without carrier (a bridge without ports, an unplugged cable) are
// never cards.
PcCards ChooseCards(const HostNetworkState& state);

// Keeps only the card named name (both lists); the others are left alone.
void RestrictCards(PcCards& cards, const std::string& name);

// The card name the process's commands are restricted to (the command line's
// --interface); empty: every card. Set once before the first search.
std::string& ProcessCardRestriction();

// Under a restriction, every link but the named card and loopback counts as down, so
// that the start-up survey takes that card as the PC's.
void ApplyCardRestriction(HostNetworkState& state);

// Why the card named name cannot be worked on, in one English sentence without a line
// end; empty when it is a usable card.
std::string CardRefusal(const Outcome<HostNetworkState>& read, const std::string& name);

// This PC's cards now, restricted as ProcessCardRestriction says. Any thread.
PcCards SystemPcCards();

// The message for a unit heard on the card named cardName, which has no IPv4 address.
std::string CardWithoutAddressText(int language, const std::string& cardName);

// Logs the cards and the host block of each, when there are several ("Card[1]" ...).
void LogCardBlocks(const PcCards& cards);

// Where a search or a responder run reads the cards; empty: the PC's own card only.
using CardSource = std::function<PcCards()>;

// The cards one run works on. Without a source, the PC's address and mask from the
// start-up survey as one card. With one, the PC's card keeps the mask the survey settled
// on (a DHCP server's, or the interface's); the others take their prefix's.
PcCards CardsForRun(const CardSource& source, const HostInfo& host, const PcSubnet& subnet);

} // namespace zelvo
