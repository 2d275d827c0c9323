#include "platform/PrivilegedSockets.h"

#include "platform/Files.h"
#include "platform/WaitReadable.h"

#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zelvo {

namespace {
constexpr int kReplyTimeoutMs = 3000;
constexpr uint16_t kDhcpServerPort = 67;

std::string ErrorText(int error)
{
    char text[256];
    return ::strerror_r(error, text, sizeof text);
}

const char* SocketName(PrivilegedSocketKind kind)
{
    return kind == PrivilegedSocketKind::RawIcmp ? "raw ICMP socket"
                                                 : "DHCP server socket (UDP 67)";
}

const char* CapabilityName(PrivilegedSocketKind kind)
{
    return kind == PrivilegedSocketKind::RawIcmp ? "CAP_NET_RAW" : "CAP_NET_BIND_SERVICE";
}

// The account's name for advice such as "usermod -aG zelvo-setup NAME".
std::string AccountName()
{
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found)
        return found->pw_name;
    return "USER";
}

bool IsPrivilegeError(int error)
{
    return error == EPERM || error == EACCES;
}

// Our own attempt. Sets error to the errno of the failing step when it returns no socket.
UniqueFd OpenOwn(PrivilegedSocketKind kind, int& error)
{
    if (kind == PrivilegedSocketKind::RawIcmp) {
        UniqueFd fd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
        error = fd.Valid() ? 0 : errno;
        return fd;
    }
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        error = errno;
        return fd;
    }
    const int on = 1;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(kDhcpServerPort);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::setsockopt(fd.Get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        error = errno;
        return UniqueFd();
    }
    error = 0;
    return fd;
}

SocketAcquisition Failure(SocketProblem problem, int error, std::string detail)
{
    SocketAcquisition a;
    a.problem = problem;
    a.error = error;
    a.detail = std::move(detail);
    return a;
}
} // namespace

std::string DefaultSockHelperPath()
{
    std::string exe = ModulePath();
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos)
        return sockhelper::kHelperFileName;
    return exe.substr(0, slash + 1) + sockhelper::kHelperFileName;
}

SocketAcquisition AcquirePrivilegedSocket(PrivilegedSocketKind kind)
{
    int error = 0;
    SocketAcquisition own;
    own.socket = OpenOwn(kind, error);
    if (own.socket.Valid())
        return own;
    if (!IsPrivilegeError(error))
        return Failure(SocketProblem::OpenFailed, error,
                       std::string("the ") + SocketName(kind) +
                           " could not be opened: " + ErrorText(error));
    // Leaked on purpose: a worker may still ask for a socket while the process exits.
    static SockHelperClient* helper = new SockHelperClient(DefaultSockHelperPath());
    return helper->Request(kind);
}

SockHelperClient::SockHelperClient(std::string helperPath) : m_path(std::move(helperPath)) {}

SockHelperClient::~SockHelperClient()
{
    std::lock_guard lock(m_mutex);
    StopLocked();
}

pid_t SockHelperClient::HelperPid()
{
    std::lock_guard lock(m_mutex);
    return m_pid;
}

bool SockHelperClient::StartLocked(SocketAcquisition& failure)
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        failure = Failure(SocketProblem::HelperFailed, errno,
                          "no channel to the helper: " + ErrorText(errno));
        return false;
    }
    UniqueFd ours(pair[0]);
    UniqueFd theirs(pair[1]);
    // dup2 onto the same number would leave close-on-exec set: keep the child's end off 3.
    if (theirs.Get() == sockhelper::kChannelFd)
        theirs = UniqueFd(::fcntl(theirs.Get(), F_DUPFD_CLOEXEC, sockhelper::kChannelFd + 1));

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, theirs.Get(), sockhelper::kChannelFd);
    char* argv[] = {const_cast<char*>(sockhelper::kHelperFileName), nullptr};
    char* envp[] = {nullptr}; // the helper needs no environment, so it gets none
    pid_t pid = -1;
    const int spawnError = ::posix_spawn(&pid, m_path.c_str(), &actions, nullptr, argv, envp);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawnError == EACCES) {
        failure = Failure(SocketProblem::HelperNotPermitted, spawnError,
                          "this account may not run the helper " + m_path +
                              ": only members of the group " + kHelperGroup +
                              " may (as root: usermod -aG " + kHelperGroup + " " + AccountName() +
                              ", then log in again)");
        return false;
    }
    if (spawnError != 0) {
        failure =
            Failure(SocketProblem::HelperMissing, spawnError,
                    "the helper " + m_path + " could not be started: " + ErrorText(spawnError));
        return false;
    }
    m_pid = pid;
    m_channel = std::move(ours);
    return true;
}

void SockHelperClient::StopLocked()
{
    m_channel.Reset(); // the helper sees the channel close and ends
    if (m_pid <= 0)
        return;
    for (int i = 0; i < 50; ++i) {
        const pid_t r = ::waitpid(m_pid, nullptr, WNOHANG);
        if (r == m_pid || (r < 0 && errno == ECHILD)) {
            m_pid = -1;
            return;
        }
        SystemClock().SleepMs(10);
    }
    ::kill(m_pid, SIGKILL); // our own child, stuck: it must not outlive its channel
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

// One request and its reply. false when the channel broke (the helper died or garbled
// its answer); out then holds the failure.
bool SockHelperClient::ExchangeLocked(PrivilegedSocketKind kind, SocketAcquisition& out)
{
    sockhelper::RequestMessage request;
    request.kind = static_cast<uint32_t>(kind);
    if (::send(m_channel.Get(), &request, sizeof request, MSG_NOSIGNAL) !=
        static_cast<ssize_t>(sizeof request)) {
        out = Failure(SocketProblem::HelperFailed, errno, "the helper " + m_path + " went away");
        return false;
    }
    const Clock& clock = SystemClock();
    int error = 0;
    const IoStatus ready =
        WaitReadable(m_channel.Get(), {clock, DeadlineAfter(clock, kReplyTimeoutMs)}, error);
    if (ready != IoStatus::Ok) {
        out = Failure(SocketProblem::HelperFailed, ready == IoStatus::TimedOut ? ETIMEDOUT : error,
                      "the helper " + m_path + " did not answer");
        return false;
    }

    sockhelper::ReplyMessage reply;
    iovec iov{&reply, sizeof reply};
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(m_channel.Get(), &msg, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
    // Collect every descriptor that came, so that none leaks whatever the verdict.
    UniqueFd received;
    int extra = 0;
    for (cmsghdr* c = n > 0 ? CMSG_FIRSTHDR(&msg) : nullptr; c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            if (!received.Valid())
                received.Reset(fd);
            else {
                ::close(fd);
                ++extra;
            }
        }
    }
    const bool wellFormed = n == static_cast<ssize_t>(sizeof reply) &&
                            (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0 &&
                            reply.magic == sockhelper::kMagic && reply.kind == request.kind &&
                            extra == 0 && (reply.error == 0) == received.Valid();
    if (!wellFormed) {
        out = Failure(SocketProblem::HelperFailed, n < 0 ? errno : EBADMSG,
                      "the helper " + m_path + (n == 0 ? " ended" : " gave a garbled answer"));
        return false;
    }
    if (reply.error == 0) {
        out = SocketAcquisition{};
        out.socket = std::move(received);
        out.viaHelper = true;
        return true;
    }
    if (IsPrivilegeError(reply.error))
        out = Failure(SocketProblem::HelperUnprivileged, reply.error,
                      "the helper " + m_path + " lacks " + CapabilityName(kind) +
                          ": as root, give it with scripts/install-helper.sh " + m_path);
    else
        out = Failure(SocketProblem::OpenFailed, reply.error,
                      std::string("the helper could not open the ") + SocketName(kind) + ": " +
                          ErrorText(reply.error));
    return true;
}

SocketAcquisition SockHelperClient::Request(PrivilegedSocketKind kind)
{
    std::lock_guard lock(m_mutex);
    SocketAcquisition result;
    StopLocked(); // the last request's helper has nothing left to give
    if (StartLocked(result) && !ExchangeLocked(kind, result))
        StopLocked();
    if (result.problem != SocketProblem::None)
        result.detail = std::string("no ") + CapabilityName(kind) + ", and " + result.detail;
    return result;
}

} // namespace zelvo
