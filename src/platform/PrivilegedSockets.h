#pragma once
#include "platform/UniqueFd.h"
#include "platform/sockhelper/SockHelperProtocol.h"

#include <mutex>
#include <string>
#include <sys/types.h>

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

struct SocketAcquisition
{
    UniqueFd socket;
    bool viaHelper = false;
    SocketProblem problem = SocketProblem::None;
    int error = 0;      // errno of the step that failed
    std::string detail; // one plain sentence for the log, without a line end
};

// A raw ICMP socket, or a UDP socket bound to 0.0.0.0:67 with SO_BROADCAST and
// IP_PKTINFO. Opened by this process when it holds the capability (root, a CI or lab
// run); otherwise asked of zelvo-sockhelper beside the executable, which only members of
// the group zelvo-setup may run. The helper's raw socket lets through echo replies and
// the ICMP errors that quote an echo request only.
// Callable from any thread.
SocketAcquisition AcquirePrivilegedSocket(PrivilegedSocketKind kind);

// Where the tool looks for its helper: beside its own executable.
std::string DefaultSockHelperPath();

// The group whose members may run the helper.
constexpr const char* kHelperGroup = "zelvo-setup";

// The tool's side of the helper: each request starts a helper of its own, which serves
// that one request and holds no capability once it has answered. The helper of the last
// request stays until the next request or until the client goes (it then sees the
// channel close and ends), so that tests can look at what it kept.
// Thread safety: Request may be called from any thread; calls are serialised.
class SockHelperClient
{
public:
    explicit SockHelperClient(std::string helperPath);
    ~SockHelperClient();
    SockHelperClient(const SockHelperClient&) = delete;
    SockHelperClient& operator=(const SockHelperClient&) = delete;

    SocketAcquisition Request(PrivilegedSocketKind kind);
    // The running helper's process id, or -1 (for tests that look at the helper).
    pid_t HelperPid();

private:
    bool StartLocked(SocketAcquisition& failure);
    void StopLocked();
    bool ExchangeLocked(PrivilegedSocketKind kind, SocketAcquisition& out);

    std::mutex m_mutex;
    const std::string m_path;
    UniqueFd m_channel;
    pid_t m_pid = -1;
};

} // namespace zelvo
