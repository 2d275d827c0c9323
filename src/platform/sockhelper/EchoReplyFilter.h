#pragma once
#include <linux/filter.h>

#include <array>

// The classic BPF program on the helper's raw ICMP socket. A raw socket sees every ICMP
// message the host receives; the probes read only echo replies and the ICMP errors
// (destination unreachable, time exceeded, parameter problem) that quote an echo request.
// Everything else (echo and timestamp requests, errors about other protocols, redirects,
// later fragments) is dropped by the kernel before the helper wakes; the helper then
// checks the identifier itself (SessionRules.h).
//
// A raw IPv4 socket's filter sees the datagram from its IPv4 header on.
namespace zelvo::sockhelper {

inline constexpr std::array<sock_filter, 21> kEchoReplyFilter = {{
    /* 0 */ BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 9),               // protocol
    /* 1 */ BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 1, 0, 18),       //   not ICMP: drop
    /* 2 */ BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 6),               // flags and fragment offset
    /* 3 */ BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, 0x1FFF, 16, 0), // a later fragment: drop
    /* 4 */ BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),              // X = IPv4 header length
    /* 5 */ BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),               // ICMP type
    /* 6 */ BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 12, 0),       //   echo reply: keep
    /* 7 */ BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 3, 2, 0),        //   destination unreachable
    /* 8 */ BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 11, 1, 0),       //   time exceeded
    /* 9 */ BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 12, 0, 10),      //   parameter problem; else drop
    // An error: 8 bytes of ICMP header, then the IPv4 header of the datagram in error.
    /* 10 */ BPF_STMT(BPF_LD | BPF_B | BPF_IND, 8 + 9),    // its protocol
    /* 11 */ BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 1, 0, 8), //   not ICMP: drop
    /* 12 */ BPF_STMT(BPF_LD | BPF_B | BPF_IND, 8),        // its version and header length
    /* 13 */ BPF_STMT(BPF_ALU | BPF_AND | BPF_K, 0x0F),
    /* 14 */ BPF_STMT(BPF_ALU | BPF_LSH | BPF_K, 2),
    /* 15 */ BPF_STMT(BPF_ALU | BPF_ADD | BPF_X, 0), // + the outer header's length
    /* 16 */ BPF_STMT(BPF_MISC | BPF_TAX, 0),
    /* 17 */ BPF_STMT(BPF_LD | BPF_B | BPF_IND, 8),        // the quoted ICMP type
    /* 18 */ BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 8, 0, 1), //   an echo request: keep
    /* 19 */ BPF_STMT(BPF_RET | BPF_K, 0x40000),           // keep, whole
    /* 20 */ BPF_STMT(BPF_RET | BPF_K, 0),                 // drop
}};

} // namespace zelvo::sockhelper
