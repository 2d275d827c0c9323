#pragma once
#include "core/PcCards.h"

#include <optional>

namespace zelvo {

// Which card answers a request that came in on interfaceIndex.
struct RequestCard
{
    enum class Verdict
    {
        Answer,             // card answers, from its own block
        OtherCard,          // not answered: another card, or one the exchange does not serve
        CardWithoutAddress, // not answered: heard on a card that has no IPv4 address
    };
    Verdict verdict = Verdict::OtherCard;
    PcCard card; // Answer: the card, its index the interface to reply out of;
                 // CardWithoutAddress: the card heard on; OtherCard: none
};

// The card of a request. A request answers on the card it came in on, from that card's
// block; an exchange serves one card, that of its first reply (exchangeCard).
// Where the interface is not known (0: the datagram did not say) or the run knows the
// PC's card only without its interface, the first card answers, out of the interface the
// request came in on.
RequestCard ChooseRequestCard(const PcCards& cards, std::optional<int> exchangeCard,
                              int interfaceIndex);

} // namespace zelvo
