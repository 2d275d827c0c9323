// The single-instance lock in a place other accounts share: a name taken by someone else, a
// planted link or an open folder leaves the tool running unguarded, never keeps it from starting.
#include "platform/SingleInstanceLock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvo {
namespace {

namespace fs = std::filesystem;
constexpr const char* kName = "GuardUnderTest";
constexpr uid_t kOtherAccount = 65534; // nobody

// Another account's file or folder: needs root to give it away.
bool GiveAway(const fs::path& path)
{
    return ::lchown(path.c_str(), kOtherAccount, kOtherAccount) == 0;
}

class InstanceLockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/zelvo-guard-XXXXXX";
        m_dir = ::mkdtemp(dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string LockFile() const { return (m_dir / (std::string(kName) + ".lock")).string(); }
    fs::path m_dir;
};

TEST_F(InstanceLockTest, firstHoldsASecondFindsItRunningAndTheFileIsPrivate)
{
    const mode_t oldMask = ::umask(0);
    std::string why;
    // The first's descriptor stays open, as in the tool: a second open cannot take the lock.
    EXPECT_EQ(AcquireInstanceLock(kName, m_dir.string(), &why), InstanceCheck::First) << why;
    ::umask(oldMask);
    EXPECT_EQ(AcquireInstanceLock(kName, m_dir.string(), &why), InstanceCheck::AlreadyRunning);
    struct stat st = {};
    ASSERT_EQ(::lstat(LockFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(InstanceLockTest, aPlantedFileLeavesTheToolRunningUnguardedAndSaysWhy)
{
    for (const auto& [kind, mention] : {std::pair{"foreign file", "belongs to uid 65534"},
                                        {"link", "symbolic link"},
                                        {"fifo", "not a regular file"}}) {
        if (kind == std::string("foreign file") && ::geteuid() != 0)
            continue; // giving a file to another account needs root
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        if (kind == std::string("foreign file")) {
            std::ofstream(LockFile()) << "";
            ASSERT_TRUE(GiveAway(LockFile()));
        } else if (kind == std::string("link")) {
            fs::create_symlink(m_dir / "victim", LockFile());
        } else {
            ASSERT_EQ(::mkfifo(LockFile().c_str(), 0600), 0);
        }
        std::string why;
        EXPECT_EQ(AcquireInstanceLock(kName, m_dir.string(), &why), InstanceCheck::Unguarded)
            << kind;
        EXPECT_NE(why.find(mention), std::string::npos) << why;
        EXPECT_NE(why.find(LockFile()), std::string::npos) << why;
    }
}

// Without a runtime directory the lock goes into a folder of the account's own below
// the shared base; a folder of that name made by someone else is refused.
TEST_F(InstanceLockTest, privateFolderInASharedBase)
{
    const std::string expected =
        (m_dir / (std::string(kName) + "-")).string() + std::to_string(::geteuid());
    std::string why;
    EXPECT_EQ(PrivateLockDirectory(m_dir.string(), kName, &why), expected) << why;
    // Found again on the next start.
    EXPECT_EQ(PrivateLockDirectory(m_dir.string(), kName, &why), expected) << why;

    ASSERT_EQ(::chmod(expected.c_str(), 0777), 0);
    EXPECT_EQ(PrivateLockDirectory(m_dir.string(), kName, &why), "");
    EXPECT_NE(why.find("open to other accounts"), std::string::npos) << why;

    fs::remove(expected);
    fs::create_symlink(m_dir, expected);
    EXPECT_EQ(PrivateLockDirectory(m_dir.string(), kName, &why), "");
    EXPECT_NE(why.find("not a directory"), std::string::npos) << why;

    if (::geteuid() != 0)
        return; // the last case needs another account's folder
    fs::remove(expected);
    ASSERT_EQ(::mkdir(expected.c_str(), 0700), 0);
    ASSERT_TRUE(GiveAway(expected));
    EXPECT_EQ(PrivateLockDirectory(m_dir.string(), kName, &why), "");
    EXPECT_NE(why.find("belongs to uid 65534"), std::string::npos) << why;
}

} // namespace
} // namespace zelvo
