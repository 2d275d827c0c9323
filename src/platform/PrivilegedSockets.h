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
// run); otherwise asked of zelvo-sockhelper beside the executable.
// Callable from any thread.
SocketAcquisition AcquirePrivilegedSocket(PrivilegedSocketKind kind);

// Where the tool looks for its helper: beside its own executable.
std::string DefaultSockHelperPath();

// The tool's side of the helper: starts the helper on first use and keeps it running,
// one request at a time, until the client goes (the helper then sees the channel close
// and ends). A helper that died is started again on the next request.
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
