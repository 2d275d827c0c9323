#pragma once
#include "dhcp/DhcpMessage.h"
#include "platform/NetAddress.h"

#include <vector>

namespace zelvo {

// An OFFER of this run: to which client, naming which server (option 54).
struct OfferMade
{
    MacAddress client{};
    Ipv4Address server;
};

// What a responder run has agreed to so far: the OFFERs it sent and the clients the
// user said Yes for.
struct ExchangeAgreement
{
    std::vector<OfferMade> offers;
    std::vector<MacAddress> agreed;
    // Set IP: the user said Yes before any client was heard, for every unit it serves.
    bool agreedForEveryClient = false;
};

enum class RequestVerdict
{
    Answer,
    NoOfferToIt,      // names a server, but this run offered that client nothing
    OtherServer,      // chose another server's OFFER
    RebootNotAgreed,  // a rebooting client the user did not say Yes for
    NoLeaseOfThisRun, // renews a lease (ciaddr set) or asks for no address
};

// Whether a client's REQUEST belongs to an exchange this run agreed to. A client that
// chose an OFFER is answered only when this run offered it one naming the server it
// chose; a client that reboots (no server named, ciaddr zero, an address asked for)
// only when the user said Yes for it in this run. Everything else is another server's
// business: a unit rebooting on a LAN with a DHCP server, a client taking another
// server's OFFER, a renewal, or a forged REQUEST.
RequestVerdict JudgeRequest(const ExchangeAgreement& agreement, const MacAddress& client,
                            const RequestFields& request);

// The reason in the log line of a REQUEST that is not answered ("" for Answer).
std::string RequestVerdictText(RequestVerdict verdict, const RequestFields& request);

} // namespace zelvo
