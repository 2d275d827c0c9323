#include "dhcp/RequestCard.h"

namespace zelvo {

RequestCard ChooseRequestCard(const PcCards& cards, std::optional<int> exchangeCard,
                              int interfaceIndex)
{
    RequestCard choice;
    const PcCard* card = cards.Find(interfaceIndex);
    if (card != nullptr) {
        choice.card = *card;
    } else if (!cards.usable.empty() && (interfaceIndex <= 0 || cards.usable[0].index <= 0)) {
        choice.card = cards.usable[0];
        if (interfaceIndex > 0)
            choice.card.index = interfaceIndex;
    } else {
        if (const PcCard* silent = cards.FindWithoutAddress(interfaceIndex)) {
            choice.verdict = RequestCard::Verdict::CardWithoutAddress;
            choice.card = *silent;
        }
        return choice;
    }
    if (!exchangeCard || *exchangeCard == choice.card.index)
        choice.verdict = RequestCard::Verdict::Answer;
    else
        choice.card = PcCard{};
    return choice;
}

} // namespace zelvo
