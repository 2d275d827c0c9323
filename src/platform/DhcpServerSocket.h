#pragma once
#include "platform/DatagramIo.h"
#include "platform/NetAddress.h"
#include "platform/PrivilegedSockets.h" // SocketProblem

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zelvo {

// The temporary-address responder's UDP socket, bound to 0.0.0.0:67 with SO_BROADCAST and
// IP_PKTINFO: this process's own, or the socket helper's session. Each received datagram
// tells the interface it came in on; replies go out with an IP_PKTINFO control message
// naming an interface, so that a broadcast to 255.255.255.255 leaves through the card the
// unit is on even when the PC has no default route or several cards.
// Thread safety: Receive and Send may run on two threads at once, each on one at a time.
class DhcpServerSocket
{
public:
    virtual ~DhcpServerSocket() = default;
    // Waits for one datagram (its bytes, sender and receiving interface) until one
    // arrives, the receive fails or stop (may be null) is set; stop is looked at every
    // few tens of milliseconds.
    virtual Outcome<DatagramReceipt> Receive(std::span<uint8_t> buffer,
                                             const std::atomic<bool>* stop) = 0;
    // Sends bytes to destination, UDP port 68, out of interfaceIndex (0: routing decides).
    // The bytes sent.
    virtual Outcome<std::size_t> Send(std::span<const uint8_t> bytes, Ipv4Address destination,
                                      int interfaceIndex) = 0;
};

struct DhcpSocketOpen
{
    std::unique_ptr<DhcpServerSocket> socket; // null when it could not be opened
    SocketProblem problem = SocketProblem::None;
    int error = 0;          // errno of the failing step (EADDRINUSE: port 67 is taken)
    std::string detail;     // one plain sentence for the log, without a line end
    std::string portHolder; // when port 67 is taken: the program that holds it, if known
};

// Opens the responder's socket. Tests substitute a fake.
// Thread safety: Open from any thread.
class DhcpSocketOpener
{
public:
    virtual ~DhcpSocketOpener() = default;
    virtual DhcpSocketOpen Open() = 0;
};

// This PC's: our own socket when the process may bind port 67, else a session of the
// socket helper, which keeps the socket.
// When the port is taken, it names the program that holds it when it can see it.
DhcpSocketOpener& SystemDhcpSockets();

// A DhcpServerSocket over a descriptor it owns (the Linux socket, or any datagram socket
// in tests).
std::unique_ptr<DhcpServerSocket> MakeDhcpServerSocket(UniqueFd fd);

} // namespace zelvo
