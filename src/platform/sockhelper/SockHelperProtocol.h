#pragma once
#include <cstdint>

// The conversation between the tool and zelvo-sockhelper, its small privileged helper.
//
// The tool starts the helper with one end of an AF_UNIX SOCK_SEQPACKET socket pair as
// descriptor 3. Each request is one RequestMessage; each is answered by one ReplyMessage,
// which on success carries exactly one descriptor (SCM_RIGHTS). The helper ends when the
// tool closes its end. Both ends run on the same machine: fields are in host byte order.
namespace zelvo::sockhelper {

constexpr int kChannelFd = 3;
constexpr const char* kHelperFileName = "zelvo-sockhelper";
constexpr uint32_t kMagic = 0x5A534831; // "ZSH1": guards against a stray writer

enum class SocketKind : uint32_t
{
    // socket(AF_INET, SOCK_RAW, IPPROTO_ICMP): needs CAP_NET_RAW
    RawIcmp = 1,
    // UDP bound to 0.0.0.0:67 with SO_BROADCAST and IP_PKTINFO: needs CAP_NET_BIND_SERVICE
    DhcpServer = 2,
};

struct RequestMessage
{
    uint32_t magic = kMagic;
    uint32_t kind = 0; // a SocketKind
};

struct ReplyMessage
{
    uint32_t magic = kMagic;
    uint32_t kind = 0; // echoes the request's kind
    int32_t error = 0; // 0: the descriptor is attached; otherwise the errno of the failure
};

// The helper's answer to anything that is not a well-formed request for a known kind.
constexpr int32_t kRefused = 1; // EPERM

} // namespace zelvo::sockhelper
