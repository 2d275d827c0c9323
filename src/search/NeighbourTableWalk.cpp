#include "search/NeighbourTableWalk.h"

#include "core/IsUnitMac.h"
#include "core/LogWriter.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace zelvo {
namespace {

constexpr int kInsufficientBuffer = 122;

__attribute__((format(printf, 2, 3))) void AddLine(std::vector<std::string>& lines,
                                                   const char* format, ...)
{
    char line[LogWriter::kLineBuffer];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    lines.emplace_back(line);
}

} // namespace

long PublishedTableBytes(std::size_t entries)
{
    return 4 + 24 * static_cast<long>(entries);
}

NeighbourWalkResult WalkNeighbourTable(const NeighbourRead& read, SearchTable& table,
                                       const PcCards& cards)
{
    NeighbourWalkResult result;
    const bool nameCards = cards.usable.size() > 1;
    auto& lines = result.logLines;

    if (!read.Ok()) {
        AddLine(lines, " Phase1 : retcd=%d buf=%d\r\n", read.Code(), 0);
        // The system's text, cut to what one log line holds.
        AddLine(lines, "%.*s\r\n", static_cast<int>(LogWriter::kLineBuffer - 3),
                read.Error().reason.c_str());
        return result;
    }
    std::vector<NeighbourEntry> restricted;
    if (cards.restricted)
        for (const NeighbourEntry& entry : read.Value())
            if (!cards.NameOf(entry.interfaceIndex).empty())
                restricted.push_back(entry);
    const std::vector<NeighbourEntry>& entries = cards.restricted ? restricted : read.Value();
    if (entries.empty()) {
        AddLine(lines, " Phase1 : retcd=%d buf=%d\r\n", 0, 0);
        return result;
    }

    const long bytes = PublishedTableBytes(entries.size());
    AddLine(lines, " Phase1 : retcd=%d buf=%ld\r\n", kInsufficientBuffer, bytes);
    AddLine(lines, " Phase2 : retcd=%d buf=%ld\r\n", 0, bytes);

    // Every entry is logged and looked at: a unit above the 256 lowest neighbours is as
    // much a unit. Only the addresses for the used-address table stop at its capacity.
    const std::size_t kept =
        entries.size() < SearchTable::kArpAddresses ? entries.size() : SearchTable::kArpAddresses;
    table.arpCount = static_cast<int32_t>(kept);
    AddLine(lines, " %zu entries are available\r\n", entries.size());
    lines.emplace_back(" No     IP Address         MAC Address\r\n");

    // With several cards, a busy office network on one must not crowd the units' cable
    // out of the used addresses: the cards take turns, each in address order.
    std::vector<std::size_t> keptOrder;
    if (nameCards) {
        std::vector<std::vector<std::size_t>> byCard;
        std::vector<int> cardOf;
        for (std::size_t j = 0; j < entries.size(); ++j) {
            const int index = entries[j].interfaceIndex;
            const auto at = static_cast<std::size_t>(
                std::find(cardOf.begin(), cardOf.end(), index) - cardOf.begin());
            if (at == cardOf.size()) {
                cardOf.push_back(index);
                byCard.emplace_back();
            }
            byCard[at].push_back(j);
        }
        for (std::size_t turn = 0; keptOrder.size() < kept; ++turn)
            for (const auto& ofCard : byCard)
                if (turn < ofCard.size() && keptOrder.size() < kept)
                    keptOrder.push_back(ofCard[turn]);
    }
    for (std::size_t k = 0; k < keptOrder.size(); ++k)
        table.arpAddresses[k] = entries[keptOrder[k]].address;

    int nextSlot = table.slotCount > 0 ? table.slotCount : 1;
    for (std::size_t j = 0; j < entries.size(); ++j) {
        const NeighbourEntry& entry = entries[j];
        if (j < kept && keptOrder.empty())
            table.arpAddresses[j] = entry.address;
        const auto o = entry.address.Octets();
        AddLine(lines, " %02zu : %03d.%03d.%03d.%03d - %s\r\n", j + 1, o[0], o[1], o[2], o[3],
                MacLogText(entry.mac).c_str());
        if (nameCards) {
            const std::string card = cards.NameOf(entry.interfaceIndex);
            std::string& line = lines.back();
            line.insert(line.size() - 2, " (" + (card.empty() ? "-" : card) + ")");
        }
        if (!IsUnitMac(entry.mac))
            continue;
        table.unitSeen = 1;
        if (table.unitOnCardWithoutAddress == 0 &&
            cards.FindWithoutAddress(entry.interfaceIndex) != nullptr)
            table.unitOnCardWithoutAddress = entry.interfaceIndex;
        if (nextSlot >= SearchTable::kSlots)
            continue; // every unit slot is taken: the entry is logged, not kept
        table.macs[nextSlot] = entry.mac;
        table.addresses[nextSlot] = entry.address;
        table.names[nextSlot][0] = '\0';
        table.unitSlots[table.unitCount++] = nextSlot;
        ++nextSlot;
    }
    table.slotCount = nextSlot;
    return result;
}

} // namespace zelvo
