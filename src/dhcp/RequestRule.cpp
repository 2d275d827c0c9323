#include "dhcp/RequestRule.h"

#include <algorithm>

namespace zelvo {

RequestVerdict JudgeRequest(const ExchangeAgreement& agreement, const MacAddress& client,
                            const RequestFields& request)
{
    if (request.serverId) {
        bool offeredToIt = false;
        for (const OfferMade& offer : agreement.offers) {
            if (offer.client != client)
                continue;
            if (offer.server == *request.serverId)
                return RequestVerdict::Answer;
            offeredToIt = true;
        }
        return offeredToIt ? RequestVerdict::OtherServer : RequestVerdict::NoOfferToIt;
    }
    if (!request.ciaddr.IsZero() || !request.requested)
        return RequestVerdict::NoLeaseOfThisRun;
    const bool agreed = agreement.agreedForEveryClient ||
                        std::find(agreement.agreed.begin(), agreement.agreed.end(), client) !=
                            agreement.agreed.end();
    return agreed ? RequestVerdict::Answer : RequestVerdict::RebootNotAgreed;
}

std::string RequestVerdictText(RequestVerdict verdict, const RequestFields& request)
{
    const std::string server = request.serverId ? request.serverId->Dotted() : std::string();
    switch (verdict) {
    case RequestVerdict::Answer:
        return {};
    case RequestVerdict::NoOfferToIt:
        return "server " + server + ", no offer of this run to it";
    case RequestVerdict::OtherServer:
        return "server " + server + ", not ours";
    case RequestVerdict::RebootNotAgreed:
        return "rebooting, not agreed to in this run";
    case RequestVerdict::NoLeaseOfThisRun:
        return request.ciaddr.IsZero() ? "no address asked for"
                                       : "renewing " + request.ciaddr.Dotted();
    }
    return {};
}

} // namespace zelvo
