#include "platform/PrivilegedSockets.h"

#include "platform/ErrnoText.h"
#include "platform/Files.h"
#include "platform/WaitReadable.h"

#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace zelvo {

namespace {
// How long the helper may take to open its socket or to send.
constexpr int kAnswerTimeoutMs = 3000;
// How long a helper whose channel closed may take to end.
constexpr int kReapTimeoutMs = 1000;
// How often a wait for the helper looks again whether another thread took its message.
constexpr int kSliceMs = 50;
// Arrivals kept for a reader that is not reading (a socket's queue would drop more, too).
constexpr std::size_t kMaxQueued = 256;
constexpr uint16_t kDhcpServerPort = 67;

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

// Our own attempt; the errno of the failing step when it has no socket.
Outcome<UniqueFd> OpenOwn(PrivilegedSocketKind kind)
{
    const bool raw = kind == PrivilegedSocketKind::RawIcmp;
    UniqueFd fd(::socket(AF_INET, raw ? SOCK_RAW | SOCK_CLOEXEC : SOCK_DGRAM | SOCK_CLOEXEC,
                         raw ? IPPROTO_ICMP : 0));
    if (!fd.Valid())
        return Failure{errno};
    if (raw)
        return fd;
    const int on = 1;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(kDhcpServerPort);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::setsockopt(fd.Get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0)
        return Failure{errno};
    return fd;
}

SocketAcquisition Failed(SocketProblem problem, int error, std::string detail)
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

SocketAcquisition AcquirePrivilegedSocket(const PrivilegedSocketRequest& request)
{
    Outcome<UniqueFd> opened = OpenOwn(request.kind);
    if (opened.Ok()) {
        SocketAcquisition own;
        own.socket = std::move(opened.Value());
        return own;
    }
    const int error = opened.Code();
    if (!IsPrivilegeError(error))
        return Failed(SocketProblem::OpenFailed, error,
                      std::string("the ") + SocketName(request.kind) +
                          " could not be opened: " + ErrnoText(error));
    SocketAcquisition helper = StartSockHelper(DefaultSockHelperPath(), request);
    if (helper.problem != SocketProblem::None)
        helper.detail =
            std::string("no ") + CapabilityName(request.kind) + ", and " + helper.detail;
    return helper;
}

namespace {

// Starts the helper on one end of a new channel. Sets failure when it cannot.
pid_t Spawn(const std::string& path, UniqueFd& channel, SocketAcquisition& failure)
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        failure = Failed(SocketProblem::HelperFailed, errno,
                         "no channel to the helper: " + ErrnoText(errno));
        return -1;
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
    const int spawnError = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawnError == EACCES) {
        failure =
            Failed(SocketProblem::HelperNotPermitted, spawnError,
                   "this account may not run the helper " + path + ": only members of the group " +
                       kHelperGroup + " may (as root: usermod -aG " + kHelperGroup + " " +
                       AccountName() + ", then log in again)");
        return -1;
    }
    if (spawnError != 0) {
        failure = Failed(SocketProblem::HelperMissing, spawnError,
                         "the helper " + path + " could not be started: " + ErrnoText(spawnError));
        return -1;
    }
    channel = std::move(ours);
    return pid;
}

// Waits for the helper to end once its channel is closed; kills it when it does not.
void Reap(pid_t pid)
{
    if (pid <= 0)
        return;
    UniqueFd process(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (process.Valid()) {
        pollfd ended{process.Get(), POLLIN, 0};
        while (::poll(&ended, 1, kReapTimeoutMs) < 0 && errno == EINTR) {
        }
    }
    if (::waitpid(pid, nullptr, WNOHANG) != 0)
        return; // reaped, or not ours to reap
    if (!process.Valid()) {
        for (int i = 0; i < kReapTimeoutMs / 10; ++i) {
            SystemClock().SleepMs(10);
            if (::waitpid(pid, nullptr, WNOHANG) != 0)
                return;
        }
    }
    ::kill(pid, SIGKILL); // our own child, stuck: it must not outlive its session
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// One message to the helper: the header, then bytes.
bool Tell(int channel, const sockhelper::Message& header, std::span<const uint8_t> bytes)
{
    iovec iov[2] = {{const_cast<sockhelper::Message*>(&header), sizeof header},
                    {const_cast<uint8_t*>(bytes.data()), bytes.size()}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = bytes.empty() ? 1 : 2;
    ssize_t sent;
    do
        sent = ::sendmsg(channel, &msg, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(sizeof header + bytes.size());
}

// Reads one message that is waiting. 0: the helper closed the channel; -1 with errno
// (EAGAIN: nothing waits; EBADMSG: not a message of the helper's).
ssize_t ReadMessage(int channel, sockhelper::Message& header, std::vector<uint8_t>& bytes)
{
    uint8_t buffer[sizeof header + sockhelper::kMaxDatagram];
    iovec iov{buffer, sizeof buffer};
    // Room for descriptors, so that any that came are closed here and never kept.
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do
        n = ::recvmsg(channel, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    if (n <= 0)
        return n;
    bool descriptors = false;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        descriptors = true;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            ::close(fd);
        }
    }
    if (descriptors || (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0 ||
        n < static_cast<ssize_t>(sizeof header)) {
        errno = EBADMSG;
        return -1;
    }
    std::memcpy(&header, buffer, sizeof header);
    if (header.magic != sockhelper::kMagic) {
        errno = EBADMSG;
        return -1;
    }
    bytes.assign(buffer + sizeof header, buffer + n);
    return n;
}

} // namespace

SocketAcquisition StartSockHelper(const std::string& helperPath,
                                  const PrivilegedSocketRequest& request)
{
    SocketAcquisition result;
    UniqueFd channel;
    const pid_t pid = Spawn(helperPath, channel, result);
    if (pid < 0)
        return result;
    auto session = std::make_unique<SockHelperSession>(std::move(channel), pid, request.kind);

    sockhelper::Message open;
    open.type = static_cast<uint32_t>(sockhelper::MessageType::Open);
    open.kind = static_cast<uint32_t>(request.kind);
    open.address = request.source.nbo;
    open.interfaceIndex = request.interfaceIndex;
    open.identifier[0] = request.identifierBytes[0];
    open.identifier[1] = request.identifierBytes[1];
    open.broadcast = request.broadcast ? 1 : 0;
    const Outcome<int32_t> answer = session->Open(open);
    if (!answer.Ok())
        return Failed(
            SocketProblem::HelperFailed, answer.Code(),
            "the helper " + helperPath +
                (answer.Code() == ETIMEDOUT ? " did not answer" : " gave no proper answer"));
    const int32_t opened = answer.Value();
    if (opened == 0) {
        result.session = std::move(session);
        return result;
    }
    if (IsPrivilegeError(opened))
        return Failed(SocketProblem::HelperUnprivileged, opened,
                      "the helper " + helperPath + " lacks " + CapabilityName(request.kind) +
                          ": as root, give it with scripts/install-helper.sh " + helperPath);
    return Failed(SocketProblem::OpenFailed, opened,
                  std::string("the helper could not open the ") + SocketName(request.kind) + ": " +
                      ErrnoText(opened));
}

SockHelperSession::SockHelperSession(UniqueFd channel, pid_t pid, PrivilegedSocketKind kind)
    : m_channel(std::move(channel)), m_pid(pid), m_kind(kind)
{
}

SockHelperSession::~SockHelperSession()
{
    m_channel.Reset(); // the helper sees the channel close and ends
    Reap(m_pid);
}

Outcome<int32_t> SockHelperSession::Open(const sockhelper::Message& open)
{
    if (!Tell(m_channel.Get(), open, {}))
        return Failure{errno};
    const Clock& clock = SystemClock();
    const WaitLimit limit{clock, DeadlineAfter(clock, kAnswerTimeoutMs)};
    std::lock_guard lock(m_mutex);
    while (!m_ended) {
        const Outcome<WaitEnd> ready = WaitReadable(m_channel.Get(), limit);
        if (!IsReady(ready))
            return Failure{ready.Ok() ? ETIMEDOUT : ready.Code()};
        sockhelper::Message header;
        std::vector<uint8_t> bytes;
        const ssize_t n = ReadMessage(m_channel.Get(), header, bytes);
        if (n < 0 && errno == EAGAIN)
            continue;
        if (n <= 0 || header.type != static_cast<uint32_t>(sockhelper::MessageType::Opened) ||
            !bytes.empty() || header.value < 0) {
            m_ended = true;
            return Failure{n == 0 ? EPIPE : EBADMSG};
        }
        m_ended = header.value != 0;
        return header.value;
    }
    return Failure{EPIPE};
}

bool SockHelperSession::ReadOneLocked()
{
    sockhelper::Message header;
    std::vector<uint8_t> bytes;
    const ssize_t n = ReadMessage(m_channel.Get(), header, bytes);
    if (n < 0 && errno == EAGAIN)
        return false;
    const auto type = static_cast<sockhelper::MessageType>(header.type);
    if (n > 0 && type == sockhelper::MessageType::Arrived) {
        if (m_arrivals.size() < kMaxQueued)
            m_arrivals.push_back({Ipv4Address{header.address}, header.interfaceIndex,
                                  header.truncated != 0, std::move(bytes)});
        return true;
    }
    if (n > 0 && type == sockhelper::MessageType::Sent && bytes.empty()) {
        m_sent = header.value;
        return true;
    }
    m_ended = true; // closed, broken or garbled: nothing more comes of this session
    return true;
}

Outcome<WaitEnd> SockHelperSession::WaitSlice(const WaitLimit& limit)
{
    // In slices: another thread may take the message this one waits for.
    const int64_t slice = DeadlineAfter(limit.clock, kSliceMs);
    const WaitLimit shorter{limit.clock, std::min(limit.deadlineMs, slice), limit.stop};
    const Outcome<WaitEnd> ready = WaitReadable(m_channel.Get(), shorter);
    if (ready.Ok() && ready.Value() == WaitEnd::TimedOut &&
        limit.clock.MonotonicMs() < limit.deadlineMs)
        return WaitEnd::Ready;
    return ready;
}

Outcome<std::size_t> SockHelperSession::Send(std::span<const uint8_t> bytes,
                                             const DatagramDestination& to)
{
    const bool echo = m_kind == PrivilegedSocketKind::RawIcmp;
    sockhelper::Message header;
    header.type = static_cast<uint32_t>(echo ? sockhelper::MessageType::SendEcho
                                             : sockhelper::MessageType::SendReply);
    header.address = to.address.nbo;
    header.port = echo ? 0 : to.port;
    header.interfaceIndex = echo ? 0 : to.interfaceIndex;
    const Clock& clock = SystemClock();
    const WaitLimit limit{clock, DeadlineAfter(clock, kAnswerTimeoutMs)};
    {
        std::lock_guard lock(m_mutex);
        if (m_ended || bytes.size() > sockhelper::kMaxDatagram)
            return Failure{m_ended ? EPIPE : EMSGSIZE};
        m_sent.reset();
        if (!Tell(m_channel.Get(), header, bytes)) {
            Failure failed{errno};
            m_ended = true;
            return failed;
        }
    }
    while (true) {
        {
            std::lock_guard lock(m_mutex);
            while (!m_sent && !m_ended && ReadOneLocked()) {
            }
            if (m_sent) {
                const int32_t value = *std::exchange(m_sent, std::nullopt);
                if (value >= 0)
                    return static_cast<std::size_t>(value);
                return Failure{-value};
            }
            if (m_ended)
                return Failure{EPIPE};
        }
        const Outcome<WaitEnd> ready = WaitSlice(limit);
        if (!IsReady(ready))
            return Failure{ready.Ok() ? ETIMEDOUT : ready.Code()};
    }
}

Outcome<DatagramReceipt> SockHelperSession::Receive(std::span<uint8_t> buffer,
                                                    const WaitLimit& limit)
{
    while (true) {
        {
            std::lock_guard lock(m_mutex);
            while (m_arrivals.empty() && !m_ended && ReadOneLocked()) {
            }
            if (!m_arrivals.empty()) {
                const Arrival& next = m_arrivals.front();
                DatagramReceipt receipt;
                receipt.length = std::min(next.bytes.size(), buffer.size());
                std::copy_n(next.bytes.begin(), receipt.length, buffer.begin());
                receipt.truncated = next.truncated || next.bytes.size() > buffer.size();
                receipt.source = next.source;
                receipt.interfaceIndex = next.interfaceIndex;
                m_arrivals.pop_front();
                return receipt;
            }
            if (m_ended)
                return Failure{EPIPE};
        }
        const Outcome<WaitEnd> ready = WaitSlice(limit);
        if (!IsReady(ready))
            return NothingReceived(ready);
    }
}

} // namespace zelvo
