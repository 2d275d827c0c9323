#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace zelvo {

// Whether this process runs in the network namespace of process 1, the one the
// machine's own network managers (NetworkManager, systemd-networkd) serve. They answer
// by interface name and index, and in another namespace (a container, a lab, the demo)
// the same name or index is another link. nullopt when it cannot be told.
//
// /proc/self/ns/net and /proc/1/ns/net are compared first; an account that may not look
// at process 1's namespace links (anyone but root) learns it instead from process 1's
// own socket table, /proc/1/net/netlink, which lists every netlink socket of that
// namespace: a socket of ours appears there only when the namespace is the same.
std::optional<bool> InInitialNetworkNamespace();

// The second way alone, for tests: whether the netlink socket table netlinkTable (the
// text of a /proc/<pid>/net/netlink) lists a socket with inode number inode.
bool NetlinkTableListsInode(std::string_view netlinkTable, unsigned long inode);

// The namespace link of a /proc/<pid> directory ("net:[4026531840]"); empty when it
// cannot be read.
std::string NetworkNamespaceOf(const std::string& procDirectory);

} // namespace zelvo
