// Only in the machine's first network namespace are its network managers asked about its
// links. In namespaces the test makes (root), also as an account that cannot see process 1's.
#include "platform/NetworkNamespace.h"
#include "platform/HostPlatform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelvo {
namespace {

TEST(NetlinkTable, findsAnInodeOnlyInTheLastColumn)
{
    const std::string table =
        "sk               Eth Pid        Groups   Rmem     Wmem     Dump  Locks    Drops    Inode\n"
        "0000000088ee6709 0   0          00000000 0        0        0     2        0        4       \n"
        "0000000009223467 4   0          00000000 0        0        0     2        0        84      \n"
        "00000000e2a1c3f0 0   3121       00000000 0        0        0     2        0        41977\n";
    EXPECT_TRUE(NetlinkTableListsInode(table, 4));
    EXPECT_TRUE(NetlinkTableListsInode(table, 41977));
    EXPECT_FALSE(NetlinkTableListsInode(table, 8));    // a prefix of 84
    EXPECT_FALSE(NetlinkTableListsInode(table, 3121)); // a port, not an inode
    EXPECT_FALSE(NetlinkTableListsInode(table, 0));
    EXPECT_FALSE(NetlinkTableListsInode("", 4));
    EXPECT_FALSE(NetlinkTableListsInode("sk Eth Pid Inode\n", 4));
}

// Runs body in a child process after unshare(flags) and, with asAccount, as that account;
// the child's exit status comes back (-1 when it did not exit).
int InChild(int flags, std::optional<uid_t> asAccount, const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit((flags != 0 && ::unshare(flags) != 0) ||
                        (asAccount && (::setgid(*asAccount) != 0 || ::setuid(*asAccount) != 0))
                    ? 90
                    : body());
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status)
                                                                             : -1;
}

int Verdict() // 1 in the first namespace, 0 not, 2 unknown
{
    const std::optional<bool> initial = InInitialNetworkNamespace();
    return initial ? (*initial ? 1 : 0) : 2;
}

class InNamespaces : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "skipped: making namespaces needs root";
    }
    const int m_verdict = Verdict(); // this test process's
};

TEST_F(InNamespaces, tellsTheFirstNamespaceFromAnotherAlsoWithoutRoot)
{
    constexpr uid_t kNobody = 65534;
    ASSERT_NE(m_verdict, 2) << "root can always tell";
    // Where process 1's link can be read, it alone decides.
    const std::string own = NetworkNamespaceOf("/proc/self");
    const std::string first = NetworkNamespaceOf("/proc/1");
    if (!own.empty() && !first.empty()) {
        EXPECT_EQ(m_verdict, own == first ? 1 : 0);
    }
    EXPECT_EQ(InChild(CLONE_NEWNET, std::nullopt, Verdict), 0);
    // An ordinary account may not read process 1's namespace link, yet tells the same.
    EXPECT_EQ(InChild(CLONE_NEWNET, kNobody, [] { return NetworkNamespaceOf("/proc/1").empty(); }),
              1);
    EXPECT_EQ(InChild(CLONE_NEWNET, kNobody, Verdict), 0);
    EXPECT_EQ(InChild(0, kNobody, Verdict), m_verdict);
}

// A networkd lease of the first namespace's link 1 ("lo" is 1 in every namespace), in a
// /run of the child's own. Returns the source that answered for link 1.
int LeaseSourceFor(bool ownNetwork)
{
    if (::unshare(CLONE_NEWNS | (ownNetwork ? CLONE_NEWNET : 0)) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") != 0)
        return 90;
    for (const char* d : {"/run/systemd", "/run/systemd/netif", "/run/systemd/netif/leases"})
        ::mkdir(d, 0755);
    std::ofstream("/run/systemd/netif/leases/1")
        << "ADDRESS=10.231.7.10\nNETMASK=255.255.255.0\nROUTER=10.231.7.1\n";
    return int(SystemHostPlatform().AskDhcpClients("lo", 1).ValueOr({}).source);
}

TEST_F(InNamespaces, theMachinesLeaseFilesAreReadOnlyInTheFirstNamespace)
{
    EXPECT_EQ(InChild(0, std::nullopt, [] { return LeaseSourceFor(true); }),
              int(DhcpClientSource::None));
    if (m_verdict != 1)
        GTEST_SKIP() << "skipped: the test does not run in the first network namespace";
    // The same lease file is read where it belongs: the check above is not vacuous.
    EXPECT_EQ(InChild(0, std::nullopt, [] { return LeaseSourceFor(false); }),
              int(DhcpClientSource::Networkd));
}

} // namespace
} // namespace zelvo
