#pragma once
#include "platform/DatagramIo.h"
#include "platform/UniqueFd.h"
#include "platform/WaitReadable.h"
#include "platform/sockhelper/SockHelperProtocol.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zelvo {

using PrivilegedSocketKind = sockhelper::SocketKind;

// Why no socket came back.
enum class SocketProblem
{
    None,               // the socket is open
    HelperMissing,      // no capability of our own, and the helper could not be started
    HelperNotPermitted, // the helper is there, but this account may not run it (not in
                        // its group, zelvo-setup)
    HelperUnprivileged, // the helper runs but was not given its capabilities
    HelperFailed,       // the helper did not answer as it should
    OpenFailed,         // the privilege was there, the socket still failed (EADDRINUSE, EMFILE)
};

class SockHelperSession;

// What a privileged socket is opened for.
struct PrivilegedSocketRequest
{
    PrivilegedSocketKind kind = PrivilegedSocketKind::RawIcmp;
    // RawIcmp only: the source of the echo requests and the card that holds it, through
    // which they leave (both zero: the routing table decides); the identifier bytes of
    // the requests, as they are to leave (offsets 4 and 5); SO_BROADCAST.
    Ipv4Address source;
    int interfaceIndex = 0;
    std::array<uint8_t, 2> identifierBytes{};
    bool broadcast = false;
};

struct SocketAcquisition
{
    UniqueFd socket; // this process's own socket: it holds the capability (root)
    std::unique_ptr<SockHelperSession> session; // otherwise the helper's session
    SocketProblem problem = SocketProblem::None;
    int error = 0;      // errno of the step that failed
    std::string detail; // one plain sentence for the log, without a line end
};

// A raw ICMP socket, or a UDP socket bound to 0.0.0.0:67 with SO_BROADCAST and
// IP_PKTINFO, opened by this process when it holds the capability (root, a CI or lab
// run). Otherwise a session of zelvo-sockhelper beside the executable, which only members
// of the group zelvo-setup may run: the socket stays in the helper, which sends and
// passes back for this process what the session allows (see SockHelperSession).
// Callable from any thread.
SocketAcquisition AcquirePrivilegedSocket(const PrivilegedSocketRequest& request);

// A session of the helper at helperPath (AcquirePrivilegedSocket takes the one beside the
// executable).
SocketAcquisition StartSockHelper(const std::string& helperPath,
                                  const PrivilegedSocketRequest& request);

// Where the tool looks for its helper: beside its own executable.
std::string DefaultSockHelperPath();

// The group whose members may run the helper.
constexpr const char* kHelperGroup = "zelvo-setup";

// One helper process, for the life of one socket session; it holds no capability once the
// socket is open, and ends when the session is destroyed. A RawIcmp session sends the
// tool's echo requests (the helper builds each from the request's identifier, sequence
// and tick count) and passes back echo replies with that identifier and the ICMP errors
// that quote such a request. A DhcpServer session passes back every datagram that
// reaches port 67, with its card, and sends one DHCP reply (a BOOTREPLY of the tool's
// form, broadcast to port 68) per datagram received on the card it leaves through. The
// helper refuses anything else and ends the session.
// Thread safety: Send and Receive may run on two threads at once; each on one at a time.
class SockHelperSession
{
public:
    SockHelperSession(UniqueFd channel, pid_t pid, PrivilegedSocketKind kind);
    ~SockHelperSession();
    SockHelperSession(const SockHelperSession&) = delete;
    SockHelperSession& operator=(const SockHelperSession&) = delete;

    // The session's first message: 0 once the socket is open, or the errno the helper
    // gave. Fails when the helper gave no proper answer.
    Outcome<int32_t> Open(const sockhelper::Message& open);
    // Sends one datagram and waits for the helper's word: the bytes sent (EPERM: refused,
    // the session is over). The port is the DHCP client's; an echo request leaves through
    // the session's card whatever to.interfaceIndex says.
    Outcome<std::size_t> Send(std::span<const uint8_t> bytes, const DatagramDestination& to);
    // Waits for what the helper passes back: an ICMP message from its type byte on, or a
    // datagram received on port 67 with its card. Fails with EPIPE once the session ended.
    Outcome<DatagramReceipt> Receive(std::span<uint8_t> buffer, const WaitLimit& limit);
    // The helper's process id (for tests that look at it).
    pid_t HelperPid() const { return m_pid; }

private:
    struct Arrival
    {
        Ipv4Address source;
        int interfaceIndex = 0;
        bool truncated = false;
        std::vector<uint8_t> bytes;
    };
    bool ReadOneLocked();
    Outcome<WaitEnd> WaitSlice(const WaitLimit& limit);

    std::mutex m_mutex;
    UniqueFd m_channel;
    const pid_t m_pid;
    const PrivilegedSocketKind m_kind;
    std::deque<Arrival> m_arrivals;
    std::optional<int32_t> m_sent;
    bool m_ended = false;
};

} // namespace zelvo
