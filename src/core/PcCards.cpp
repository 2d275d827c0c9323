#include "core/PcCards.h"

#include "core/HostBlockRange.h"
#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"

#include <algorithm>
#include <cstdint>

namespace zelvo {

namespace {

SubnetMask MaskOfPrefix(int prefixLength)
{
    const int bits = std::clamp(prefixLength, 0, 32);
    const uint32_t host = bits == 0 ? 0u : 0xFFFFFFFFu << (32 - bits);
    return {static_cast<uint8_t>(host >> 24), static_cast<uint8_t>(host >> 16),
            static_cast<uint8_t>(host >> 8), static_cast<uint8_t>(host)};
}

bool IsCard(const HostInterface& link)
{
    return link.up && link.carrier && !link.loopback && link.hasMac && !IsZeroMac(link.mac);
}

// The lowest metric of the default routes through the link, if any.
std::optional<uint32_t> DefaultRouteMetric(const HostNetworkState& state, int index)
{
    std::optional<uint32_t> best;
    for (const HostDefaultRoute& route : state.defaultRoutes)
        if (route.interfaceIndex == index && (!best || route.metric < *best))
            best = route.metric;
    return best;
}

} // namespace

const PcCard* PcCards::Find(int interfaceIndex) const
{
    for (const PcCard& card : usable)
        if (card.index == interfaceIndex)
            return &card;
    return nullptr;
}

const PcCard* PcCards::FindWithoutAddress(int interfaceIndex) const
{
    for (const PcCard& card : withoutAddress)
        if (card.index == interfaceIndex)
            return &card;
    return nullptr;
}

std::string PcCards::NameOf(int interfaceIndex) const
{
    if (const PcCard* card = Find(interfaceIndex))
        return card->name;
    if (const PcCard* card = FindWithoutAddress(interfaceIndex))
        return card->name;
    return {};
}

bool IsRoutableCardAddress(Ipv4Address address)
{
    const auto o = address.Octets();
    return !address.IsZero() && o[0] != 127 && !(o[0] == 169 && o[1] == 254);
}

PcCards ChooseCards(const HostNetworkState& state)
{
    PcCards cards;
    struct Ranked
    {
        PcCard card;
        std::optional<uint32_t> metric;
    };
    std::vector<Ranked> ranked;
    for (const HostInterface& link : state.interfaces) {
        if (!IsCard(link))
            continue;
        const auto usable =
            std::find_if(link.addresses.begin(), link.addresses.end(),
                         [](const HostIfAddress& a) { return IsRoutableCardAddress(a.address); });
        PcCard card;
        card.index = link.index;
        card.name = link.name;
        card.mac = link.mac;
        if (usable == link.addresses.end()) {
            cards.withoutAddress.push_back(card);
            continue;
        }
        card.address = usable->address;
        card.mask = MaskOfPrefix(usable->prefixLength);
        ranked.push_back({card, DefaultRouteMetric(state, link.index)});
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.metric.has_value() != b.metric.has_value())
            return a.metric.has_value();
        if (a.metric && *a.metric != *b.metric)
            return *a.metric < *b.metric;
        return a.card.index < b.card.index;
    });
    for (const Ranked& r : ranked)
        cards.usable.push_back(r.card);
    return cards;
}

void RestrictCards(PcCards& cards, const std::string& name)
{
    const auto other = [&name](const PcCard& card) { return card.name != name; };
    std::erase_if(cards.usable, other);
    std::erase_if(cards.withoutAddress, other);
    cards.restricted = true;
}

std::string& ProcessCardRestriction()
{
    static std::string name;
    return name;
}

void ApplyCardRestriction(HostNetworkState& state)
{
    const std::string& name = ProcessCardRestriction();
    if (name.empty())
        return;
    for (HostInterface& link : state.interfaces)
        if (!link.loopback && link.name != name)
            link.up = false;
}

std::string CardRefusal(const Outcome<HostNetworkState>& read, const std::string& name)
{
    if (!read.Ok())
        return "the network cards cannot be read (error " + std::to_string(read.Code()) + ")";
    const HostNetworkState& state = read.Value();
    const auto link = std::find_if(state.interfaces.begin(), state.interfaces.end(),
                                   [&name](const HostInterface& l) { return l.name == name; });
    std::string why;
    if (link == state.interfaces.end())
        why = "there is no network card " + name;
    else if (link->loopback || !link->hasMac || IsZeroMac(link->mac))
        why = name + " is not a network card (it has no hardware address)";
    else if (!link->up)
        why = name + " is down";
    else if (!link->carrier)
        why = name + " has no carrier: no cable, or nothing at its other end";
    else if (ChooseCards(state).Find(link->index) == nullptr)
        why = name + " has no IPv4 address: give it a fixed address in the units' range";
    else
        return {};
    std::string usable;
    for (const PcCard& card : ChooseCards(state).usable)
        usable += (usable.empty() ? "" : ", ") + card.name;
    return why + "; cards that can be used: " + (usable.empty() ? "none" : usable);
}

PcCards SystemPcCards()
{
    PcCards cards = ChooseCards(SystemHostPlatform().ReadNetworkState().ValueOr({}));
    if (!ProcessCardRestriction().empty())
        RestrictCards(cards, ProcessCardRestriction());
    return cards;
}

std::string CardWithoutAddressText(int language, const std::string& cardName)
{
    return MessageCatalogue::Choose(language, 990, 991) + cardName +
           MessageCatalogue::Choose(language, 992, 993);
}

void LogCardBlocks(const PcCards& cards)
{
    if (cards.usable.size() < 2)
        return;
    int n = 0;
    for (const PcCard& card : cards.usable) {
        const HostBlock block = HostBlockRange(card.mask, card.address.Octets());
        const auto& m = card.mask;
        LogWriter::Appendf(" Card[%d]\t: %s %s Mask %03d.%03d.%03d.%03d Net Addr base.baseend: "
                           "%03d.%03d\r\n",
                           ++n, card.name.c_str(), card.address.LogForm().c_str(), m[0], m[1], m[2],
                           m[3], block.first, block.limit);
    }
}

PcCards CardsForRun(const CardSource& source, const HostInfo& host, const PcSubnet& subnet)
{
    if (!source) {
        PcCards cards;
        PcCard card;
        card.index = host.adapterIndex;
        card.name = host.adapterName;
        card.mac = host.pcMac;
        card.address = subnet.pcAddress;
        card.mask = subnet.subnetMask;
        cards.usable.push_back(card);
        return cards;
    }
    PcCards cards = source();
    for (PcCard& card : cards.usable)
        if (card.address == subnet.pcAddress)
            card.mask = subnet.subnetMask;
    return cards;
}

} // namespace zelvo
